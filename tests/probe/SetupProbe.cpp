// A stand-in for SETUP.EXE in the real-run tests: it writes down what it was given.
//
// It writes probe.txt beside its own executable: its command line, its current
// directory, whether it has a console, what its standard handles are, the start-up
// record it got, the value of BRIXHOLD_PROBE_TOKEN, and what it could
// read through the handle that BRIXHOLD_PROBE_INHERITED names, if any. It then writes a
// line to each standard handle, so that a test can see whether any of them reaches the
// launcher's output. When BRIXHOLD_PROBE_WAIT_FOR names a file, it then waits for that
// file before writing probe-done.txt.

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

const char* HandleKind(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr) {
        return "null";
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return "invalid";
    }
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
        return "character";
    case FILE_TYPE_DISK:
        return "disk";
    case FILE_TYPE_PIPE:
        return "pipe";
    default:
        return "unknown";
    }
}

// GetConsoleWindow is no help: a console without a window, as under Wine without a
// display, has none. The process list of a console names at least its caller.
bool HasConsole()
{
    DWORD processes[4];
    return GetConsoleProcessList(processes, 4) != 0;
}

// What the probe can read through the handle whose value BRIXHOLD_PROBE_INHERITED gives
// (as printf's %p writes it), or why it read nothing: a handle to a file of the test's token when the
// probe inherited it. The same value may name some other object of the probe's, so only
// what is read counts; a file other than the token's reads as something else. Reading
// never blocks on a disk file, and nothing else is tried.
const char* ReadThroughInheritedHandle(char (&text)[64])
{
    char value[32] = "";
    if (GetEnvironmentVariableA("BRIXHOLD_PROBE_INHERITED", value, sizeof value) == 0) {
        return "none";
    }
    HANDLE handle = nullptr;
    if (sscanf(value, "%p", &handle) != 1 || GetFileType(handle) != FILE_TYPE_DISK) {
        return "not a file";
    }
    DWORD read = 0;
    if (ReadFile(handle, text, sizeof text - 1, &read, nullptr) == FALSE) {
        return "unreadable";
    }
    text[read] = '\0';
    return text;
}

// Builds the path of name in the probe's own directory.
bool PathBesideProbe(const char* name, char (&path)[MAX_PATH])
{
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    char* separator = strrchr(path, '\\');
    const size_t nameSize = strlen(name) + 1;
    if (separator == nullptr || nameSize > MAX_PATH - static_cast<size_t>(separator + 1 - path)) {
        return false;
    }
    memcpy(separator + 1, name, nameSize);
    return true;
}

// Writes text to the file name beside the probe, complete or not at all: it appears
// under its name only once written.
bool WriteBesideProbe(const char* name, const char* text)
{
    char temporary[MAX_PATH] = "";
    char path[MAX_PATH] = "";
    if (!PathBesideProbe("probe.tmp", temporary) || !PathBesideProbe(name, path)) {
        return false;
    }
    FILE* file = fopen(temporary, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = fputs(text, file) >= 0;
    if (fclose(file) != 0 || !written) {
        return false;
    }
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void WriteToStandardHandle(DWORD which, const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

} // namespace

int main()
{
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, directory);
    char token[MAX_PATH] = "";
    GetEnvironmentVariableA("BRIXHOLD_PROBE_TOKEN", token, MAX_PATH);

    STARTUPINFOA startupInfo = {};
    startupInfo.cb = sizeof startupInfo;
    GetStartupInfoA(&startupInfo);
    char inheritedText[64];
    const char* inherited = ReadThroughInheritedHandle(inheritedText);

    static char record[6 * MAX_PATH + 256];
    const int length = snprintf(record, sizeof record,
             "command-line=%s\ncurrent-directory=%s\nconsole=%s\n"
             "stdin=%s\nstdout=%s\nstderr=%s\n"
             "startup-flags=%lu\nshow-window=%u\ntitle=%s\n"
             "token=%s\ninherited-handle=%s\n",
             GetCommandLineA(), directory, HasConsole() ? "yes" : "no",
             HandleKind(STD_INPUT_HANDLE), HandleKind(STD_OUTPUT_HANDLE),
             HandleKind(STD_ERROR_HANDLE), startupInfo.dwFlags, startupInfo.wShowWindow,
             startupInfo.lpTitle == nullptr ? "(null)" : startupInfo.lpTitle,
             token, inherited);
    if (length < 0 || static_cast<size_t>(length) >= sizeof record ||
        !WriteBesideProbe("probe.txt", record)) {
        return 2;
    }
    WriteToStandardHandle(STD_OUTPUT_HANDLE, "probe wrote to its standard output\r\n");
    WriteToStandardHandle(STD_ERROR_HANDLE, "probe wrote to its standard error\r\n");

    char waitFor[MAX_PATH] = "";
    if (GetEnvironmentVariableA("BRIXHOLD_PROBE_WAIT_FOR", waitFor, MAX_PATH) == 0) {
        return 0;
    }
    while (GetFileAttributesA(waitFor) == INVALID_FILE_ATTRIBUTES) {
        Sleep(20);
    }
    return WriteBesideProbe("probe-done.txt", "released\n") ? 0 : 2;
}
