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

// Copies the full path of module (null: the launcher's own executable file) into
// fileName, at most size characters. Returns the number of characters copied, 0 on
// failure, and size when the path was cut short, in which case older Windows leaves
// fileName without a terminator.
unsigned long GetModuleFileNameA(Handle module, char* fileName, unsigned long size);

// Starts a search for the entry named fileName, file or directory. Returns false when
// nothing of that name exists; otherwise *find is a search handle to be closed.
bool FindFirstFileA(const char* fileName, Handle* find);

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
