// The kernel services of Platform.h, passed to KERNEL32.

#include <windows.h>

#include "launcher/Platform.h"
#include "plan/LaunchPlan.h"

static_assert(MaxPath == MAX_PATH, "plan buffers are MAX_PATH characters");
static_assert(Kernel::DetachedProcess == DETACHED_PROCESS, "creation flag value");
static_assert(Kernel::FileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY, "attribute value");
static_assert(Kernel::AnsiCodePage == CP_ACP, "code page value");
static_assert(Kernel::MaxLeadBytes == MAX_LEADBYTES, "lead-byte ranges of CPINFO");
static_assert(sizeof(wchar_t) == sizeof(WCHAR), "UTF-16 characters");
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68,
              "the 32-bit start-up record is 68 bytes");

namespace Kernel {

unsigned long GetModuleFileNameA(Handle module, char* fileName, unsigned long size)
{
    return ::GetModuleFileNameA(static_cast<HMODULE>(module), fileName, size);
}

unsigned long GetModuleFileNameW(Handle module, wchar_t* fileName, unsigned long size)
{
    return ::GetModuleFileNameW(static_cast<HMODULE>(module), fileName, size);
}

int MultiByteToWideChar(unsigned int codePage, const char* text, int count,
                        wchar_t* wideText, int size)
{
    return ::MultiByteToWideChar(codePage, 0, text, count, wideText, size);
}

bool GetCPInfo(unsigned int codePage, unsigned char (&leadByteRanges)[MaxLeadBytes])
{
    CPINFO info;
    if (::GetCPInfo(codePage, &info) == FALSE) {
        return false;
    }
    for (unsigned int i = 0; i < MaxLeadBytes; ++i) {
        leadByteRanges[i] = info.LeadByte[i];
    }
    return true;
}

bool FindFirstFileA(const char* fileName, Handle* find, unsigned long* attributes)
{
    // Of what the search finds, only the entry's attributes are looked at.
    WIN32_FIND_DATAA findData;
    *find = ::FindFirstFileA(fileName, &findData);
    if (*find == INVALID_HANDLE_VALUE) {
        return false;
    }
    *attributes = findData.dwFileAttributes;
    return true;
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
