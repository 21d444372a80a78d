#ifndef BRIXHOLD_PLAN_LAUNCHPLAN_H
#define BRIXHOLD_PLAN_LAUNCHPLAN_H

// What starting the setup program needs, worked out from the launcher's own path.
// Pure string work: no platform header, so it builds and is tested on any host.

#include <stddef.h>

// Each string lives in a buffer of MAX_PATH characters, terminator included.
const size_t MaxPath = 260;

struct LaunchPlan {
    char SourceDir[MaxPath];   // the launcher's directory; a bare drive "A:" becomes "A:\"
    char InfPath[MaxPath];     // that directory, "\", "BRIXHOLD.INF"
    char SetupPath[MaxPath];   // that directory, "\", "SETUP.EXE": the program to start
    char CommandLine[MaxPath]; // "SETUP.EXE -i <InfPath> -s <SourceDir>", nothing quoted
};

// What the plan must know of the system's ANSI code page: which bytes begin a character
// of two bytes. Given as Windows describes them (CPINFO's LeadByte): pairs of the first
// and last lead byte of a range, ended by a pair of zeros; all zeros for a code page of
// single bytes.
const size_t MaxLeadBytes = 12;

struct CodePage {
    unsigned char LeadByteRanges[MaxLeadBytes];
};

enum class LaunchPlanResult {
    Built,
    NoSeparator,       // the module path holds no backslash
    NamedSetupProgram, // the launcher's own file is SETUP.EXE: it would start itself
    TooLong,           // a string of the plan would not fit in its buffer
};

// Builds the plan from modulePath, the full path of the launcher's executable file in
// the given code page. A lead byte and the byte after it are one character, never a
// separator. Reads modulePath up to its terminator and never more than MaxPath
// characters: a path without a terminator inside that bound is TooLong. Unless the
// result is Built, the contents of *plan are unspecified, but nothing is written
// outside it.
LaunchPlanResult BuildLaunchPlan(const char* modulePath, const CodePage& codePage,
                                 LaunchPlan* plan);

#endif
