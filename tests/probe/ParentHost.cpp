// Runs a command line as a user's command prompt or another program would, as the
// launcher's parent: in a console of its own, and holding an inheritable handle to a
// file of the test's token (BRIXHOLD_PROBE_TOKEN), parent-token.txt in the current
// directory. The command is started inheriting handles, and BRIXHOLD_PROBE_INHERITED
// gives it the handle's value. Ends with the command's exit status.
// Under Wine without a display a program has no console at all, and a test's shell
// holds no Windows handles, so without this host the launcher could not be seen to keep
// the setup program off its console and out of its parent's handles.
// Usage: ParentHost.exe COMMAND LINE...

#include <windows.h>

#include <stdio.h>

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

// Creates parent-token.txt holding the token, open for reading from its start through
// an inheritable handle, and names that handle in BRIXHOLD_PROBE_INHERITED.
bool HoldInheritableTokenFile()
{
    char token[MAX_PATH] = "";
    const DWORD tokenLength = GetEnvironmentVariableA("BRIXHOLD_PROBE_TOKEN", token, MAX_PATH);
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    HANDLE file = CreateFileA("parent-token.txt", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || tokenLength == 0 || tokenLength >= MAX_PATH ||
        WriteFile(file, token, tokenLength, &written, nullptr) == FALSE ||
        SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) {
        return false;
    }
    char value[32];
    const int length = snprintf(value, sizeof value, "%p", file);
    return length > 0 && static_cast<size_t>(length) < sizeof value &&
           SetEnvironmentVariableA("BRIXHOLD_PROBE_INHERITED", value) != FALSE;
}

} // namespace

int main()
{
    FreeConsole();
    if (AllocConsole() == FALSE) {
        return 101;
    }
    if (!HoldInheritableTokenFile()) {
        return 104;
    }
    STARTUPINFOA startupInfo = {};
    startupInfo.cb = sizeof startupInfo;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, CommandAfterProgramName(), nullptr, nullptr, TRUE, 0,
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
