#ifndef BRIXHOLD_LAUNCHER_PLATFORM_H
#define BRIXHOLD_LAUNCHER_PLATFORM_H

// The kernel services the launcher calls, one plain function for each KERNEL32 call,
// under the same name and with the arguments the launcher chooses. PlatformWin32.cpp
// passes each to KERNEL32; the native tests link a double in its place, so this header
// must not need <windows.h>.

namespace Kernel {

typedef void* Handle;

// The handles of a started process; its ids are never used.
struct ProcessInformation {
    Handle Process;
    Handle Thread;
};

// The new process gets no console of its own and does not share its parent's.
const unsigned long DetachedProcess = 0x00000008;

// The attribute of a directory entry that is itself a directory.
const unsigned long FileAttributeDirectory = 0x00000010;

// The system's ANSI code page, the one of every call whose name ends in A.
const unsigned int AnsiCodePage = 0;

// A code page's lead bytes come as up to this many bytes of ranges.
const unsigned int MaxLeadBytes = 12;

// Copies the full path of module (null: the launcher's own executable file) into
// fileName, at most size characters. Returns the number of characters copied, 0 on
// failure, and size when the path was cut short, in which case older Windows leaves
// fileName without a terminator.
unsigned long GetModuleFileNameA(Handle module, char* fileName, unsigned long size);

// The same path in UTF-16, as Windows holds it; the A call gives it converted to the
// ANSI code page. Returns 0 where the system has no wide calls (Windows 9x).
unsigned long GetModuleFileNameW(Handle module, wchar_t* fileName, unsigned long size);

// Converts count bytes of text in codePage to UTF-16 in wideText, at most size
// characters, without a terminator unless text has one. Returns the number of
// characters written, 0 on failure.
int MultiByteToWideChar(unsigned int codePage, const char* text, int count,
                        wchar_t* wideText, int size);

// The lead-byte ranges of codePage: pairs of the first and last lead byte of a range,
// ended by a pair of zeros; all zeros for a code page of single bytes. Returns false
// when the code page is unknown.
bool GetCPInfo(unsigned int codePage, unsigned char (&leadByteRanges)[MaxLeadBytes]);

// Starts a search for the entry named fileName, file or directory. Returns false when
// nothing of that name exists; otherwise *find is a search handle to be closed, and
// *attributes the entry's attributes.
bool FindFirstFileA(const char* fileName, Handle* find, unsigned long* attributes);

bool FindClose(Handle find);

// Starts a process with the default start-up record, no STARTF flag set, and without
// security attributes. commandLine must be writable: Windows may change it in place
// while the call lasts. A null environment passes on the caller's own.
bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    unsigned long creationFlags, void* environment,
                    const char* currentDirectory, ProcessInformation* processInformation);

// The error number of the last failed call of this thread; read before any other call.
unsigned long GetLastError();

bool CloseHandle(Handle object);

} // namespace Kernel

#endif
