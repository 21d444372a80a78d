// The yardstick for the launcher's start-up time: a program that does nothing but start
// SETUP.EXE from its own directory, the way the launcher does, and end.

#include <windows.h>

int main()
{
    char commandLine[] = "SETUP.EXE";
    STARTUPINFOA startupInfo = {};
    startupInfo.cb = sizeof startupInfo;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, DETACHED_PROCESS,
                       nullptr, nullptr, &startupInfo, &process) == FALSE) {
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
