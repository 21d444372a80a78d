// The kernel services of Platform.h, passed to KERNEL32.

#include <windows.h>

#include "launcher/Platform.h"
#include "plan/LaunchPlan.h"

static_assert(MaxPath == MAX_PATH, "plan buffers are MAX_PATH characters");
static_assert(Kernel::DetachedProcess == DETACHED_PROCESS, "creation flag value");
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68,
              "the 32-bit start-up record is 68 bytes");

namespace Kernel {

unsigned long GetModuleFileNameA(Handle module, char* fileName, unsigned long size)
{
    return ::GetModuleFileNameA(static_cast<HMODULE>(module), fileName, size);
}

bool FindFirstFileA(const char* fileName, Handle* find)
{
    // Only the existence of the entry matters; what the search finds is not looked at.
    WIN32_FIND_DATAA findData;
    *find = ::FindFirstFileA(fileName, &findData);
    return *find != INVALID_HANDLE_VALUE;
}

bool FindClose(Handle find)
{
    return ::FindClose(find) != FALSE;
}

bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    unsigned long creationFlags, void* environment,
                    const char* currentDirectory, ProcessInformation* processInformation)
{
    // With dwFlags 0 Windows ignores the rest of the record: the new process gets the
    // default window placement, console title and standard handles.
    STARTUPINFOA startupInfo = {};
    startupInfo.cb = sizeof startupInfo;
    PROCESS_INFORMATION created = {};
    if (::CreateProcessA(applicationName, commandLine, nullptr, nullptr,
                         inheritHandles ? TRUE : FALSE, creationFlags, environment,
                         currentDirectory, &startupInfo, &created) == FALSE) {
        return false;
    }
    processInformation->Process = created.hProcess;
    processInformation->Thread = created.hThread;
    return true;
}

unsigned long GetLastError()
{
    return ::GetLastError();
}

bool CloseHandle(Handle object)
{
    return ::CloseHandle(object) != FALSE;
}

} // namespace Kernel
