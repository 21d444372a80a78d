#ifndef BRIXHOLD_TESTS_KERNELDOUBLE_H
#define BRIXHOLD_TESTS_KERNELDOUBLE_H

// A stand-in for KERNEL32 behind launcher/Platform.h: each call answers as scripted and
// is logged with its arguments, one line per call, in the order made.

#include <string>
#include <vector>

enum class ModuleFileNameTruncation {
    Terminated,   // a path that does not fit is cut and terminated (current Windows)
    Unterminated, // the buffer is filled to the last character, no terminator (Windows XP)
};

struct KernelScript {
    std::string ModuleFileName = "D:\\PKG\\DISK1\\BRIXHOLD.EXE";
    bool ModuleFileNameFails = false;
    ModuleFileNameTruncation Truncation = ModuleFileNameTruncation::Terminated;
    bool InfFound = true;
    bool CreateProcessSucceeds = true;
    unsigned long LastError = 0; // what GetLastError reports after a failed start
};

// Starts a new run of the double: the script for it, an empty log, no handle open.
void ResetKernel(const KernelScript& script);

// One line per call, such as: FindClose(find#1).
const std::vector<std::string>& KernelCalls();

// The handles the double has handed out and that are not closed yet.
std::vector<std::string> OpenHandles();

#endif
