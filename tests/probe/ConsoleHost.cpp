// Runs a command line in a console of its own, the way a user's command prompt would,
// and ends with the command's exit status. Under Wine without a display a program has
// no console at all, so without this host the launcher could not be seen to keep the
// setup program off its console.
// Usage: ConsoleHost.exe COMMAND LINE...

#include <windows.h>

namespace {

// The command line after the host's own name and the blanks that follow it.
char* CommandAfterProgramName()
{
    char* command = GetCommandLineA();
    if (*command == '"') {
        ++command;
        while (*command != '\0' && *command != '"') {
            ++command;
        }
        if (*command == '"') {
            ++command;
        }
    }
    while (*command != '\0' && *command != ' ' && *command != '\t') {
        ++command;
    }
    while (*command == ' ' || *command == '\t') {
        ++command;
    }
    return command;
}

} // namespace

int main()
{
    FreeConsole();
    if (AllocConsole() == FALSE) {
        return 101;
    }
    STARTUPINFOA startupInfo = {};
    startupInfo.cb = sizeof startupInfo;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, CommandAfterProgramName(), nullptr, nullptr, FALSE, 0,
                       nullptr, nullptr, &startupInfo, &process) == FALSE) {
        return 102;
    }
    DWORD status = 103;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
