#ifndef BRIXHOLD_TESTS_KERNELDOUBLE_H
#define BRIXHOLD_TESTS_KERNELDOUBLE_H

// A stand-in for KERNEL32 behind launcher/Platform.h: each call answers as scripted and
// is logged with its arguments, one line per call, in the order made.

#include <array>
#include <string>
#include <vector>

enum class ModuleFileNameTruncation {
    Terminated,   // a path that does not fit is cut and terminated (current Windows)
    Unterminated, // the buffer is filled to the last character, no terminator (Windows XP)
};

// What a directory search finds under a name.
enum class Entry {
    File,
    Directory,
    Absent,
};

struct KernelScript {
    std::string ModuleFileName = "D:\\PKG\\DISK1\\BRIXHOLD.EXE";
    bool ModuleFileNameFails = false;
    ModuleFileNameTruncation Truncation = ModuleFileNameTruncation::Terminated;
    // What GetModuleFileNameW reports; empty: ModuleFileName, each byte taken for the
    // character of the same number, the way MultiByteToWideChar converts here.
    std::wstring RealModuleFileName;
    bool WideCallsMissing = false; // GetModuleFileNameW reports 0, as on Windows 9x
    bool ConversionFails = false;  // MultiByteToWideChar reports 0
    std::array<unsigned char, 12> LeadByteRanges = {}; // of the ANSI code page
    // GetCPInfo fails, having written LeadByteRanges all the same.
    bool CodePageUnknown = false;
    // What the directory search finds, by the name after the last backslash.
    Entry Inf = Entry::File;   // BRIXHOLD.INF
    Entry Setup = Entry::File; // SETUP.EXE
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
