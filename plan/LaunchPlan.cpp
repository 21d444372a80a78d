#include "plan/LaunchPlan.h"

#include <string.h>

namespace {

const char PathSeparator = '\\';
const char InfFileName[] = "BRIXHOLD.INF";
const char SetupProgram[] = "SETUP.EXE";
const size_t DriveDesignatorLength = 2;
// Before a drive designator, this prefix makes Windows take the path as it is.
const char LiteralPathPrefix[] = "\\\\?\\";
const size_t LiteralPathPrefixLength = sizeof LiteralPathPrefix - 1;

// Appends count characters of text to the string of *length characters in buffer and
// terminates it. Text that would not fit is refused whole, never cut: false, and the
// buffer is left as it was.
bool AppendText(char (&buffer)[MaxPath], size_t* length, const char* text, size_t count)
{
    if (count >= MaxPath - *length) {
        return false;
    }
    memcpy(buffer + *length, text, count);
    *length += count;
    buffer[*length] = '\0';
    return true;
}

bool AppendString(char (&buffer)[MaxPath], size_t* length, const char* text)
{
    return AppendText(buffer, length, text, strlen(text));
}

bool IsLeadByte(const CodePage& codePage, unsigned char byte)
{
    for (size_t i = 0; i + 1 < MaxLeadBytes; i += 2) {
        const unsigned char first = codePage.LeadByteRanges[i];
        const unsigned char last = codePage.LeadByteRanges[i + 1];
        if (first == 0 && last == 0) {
            break;
        }
        if (first <= byte && byte <= last) {
            return true;
        }
    }
    return false;
}

// Walks the module path a character at a time, so that the second byte of a double-byte
// character is never taken for a separator, and reads no further than MaxPath bytes.
// Returns the path's length, MaxPath when it has no terminator within that bound, and
// sets *lastSeparator to the offset of its last backslash, MaxPath when it has none.
size_t FindLastSeparator(const char* modulePath, const CodePage& codePage, size_t* lastSeparator)
{
    *lastSeparator = MaxPath;
    size_t length = 0;
    while (length < MaxPath && modulePath[length] != '\0') {
        const unsigned char byte = static_cast<unsigned char>(modulePath[length]);
        if (IsLeadByte(codePage, byte)) {
            // A lead byte right before the terminator is a cut character on its own.
            const bool trailFollows = length + 1 < MaxPath && modulePath[length + 1] != '\0';
            length += trailFollows ? 2 : 1;
            continue;
        }
        if (byte == PathSeparator) {
            *lastSeparator = length;
        }
        ++length;
    }
    return length;
}

// A drive designator, bare ("A:") or literal ("\\?\A:"), names the drive, not its root
// directory: that needs the backslash. Only the length is tested, as for a bare one.
bool IsDriveDesignator(const char* directory, size_t length)
{
    return length == DriveDesignatorLength ||
           (length == LiteralPathPrefixLength + DriveDesignatorLength &&
            memcmp(directory, LiteralPathPrefix, LiteralPathPrefixLength) == 0);
}

// Whether name is SETUP.EXE in any case. Its characters are all ASCII, so no byte of a
// double-byte character can match one of them.
bool IsSetupProgramName(const char* name, size_t length)
{
    if (length != sizeof SetupProgram - 1) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        const char c = name[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != SetupProgram[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

LaunchPlanResult BuildLaunchPlan(const char* modulePath, const CodePage& codePage,
                                 LaunchPlan* plan)
{
    // The directory part is everything before the last backslash.
    size_t directoryLength = 0;
    const size_t length = FindLastSeparator(modulePath, codePage, &directoryLength);
    if (length == MaxPath) {
        return LaunchPlanResult::TooLong;
    }
    if (directoryLength == MaxPath) {
        return LaunchPlanResult::NoSeparator;
    }
    // Windows looks for SETUP.EXE in the launcher's own directory first.
    if (IsSetupProgramName(modulePath + directoryLength + 1, length - directoryLength - 1)) {
        return LaunchPlanResult::NamedSetupProgram;
    }

    const char separator[] = {PathSeparator, '\0'};
    size_t sourceDirLength = 0;
    size_t infPathLength = 0;
    size_t setupPathLength = 0;
    size_t commandLineLength = 0;
    plan->SourceDir[0] = '\0';
    plan->InfPath[0] = '\0';
    plan->SetupPath[0] = '\0';
    plan->CommandLine[0] = '\0';

    // The command line is "%s -i %s -s %s" filled with SETUP.EXE, InfPath and SourceDir.
    const bool fits =
        AppendText(plan->SourceDir, &sourceDirLength, modulePath, directoryLength) &&
        (!IsDriveDesignator(modulePath, directoryLength) ||
         AppendString(plan->SourceDir, &sourceDirLength, separator)) &&
        AppendText(plan->InfPath, &infPathLength, modulePath, directoryLength) &&
        AppendString(plan->InfPath, &infPathLength, separator) &&
        AppendString(plan->InfPath, &infPathLength, InfFileName) &&
        AppendText(plan->SetupPath, &setupPathLength, modulePath, directoryLength) &&
        AppendString(plan->SetupPath, &setupPathLength, separator) &&
        AppendString(plan->SetupPath, &setupPathLength, SetupProgram) &&
        AppendString(plan->CommandLine, &commandLineLength, SetupProgram) &&
        AppendString(plan->CommandLine, &commandLineLength, " -i ") &&
        AppendString(plan->CommandLine, &commandLineLength, plan->InfPath) &&
        AppendString(plan->CommandLine, &commandLineLength, " -s ") &&
        AppendString(plan->CommandLine, &commandLineLength, plan->SourceDir);
    return fits ? LaunchPlanResult::Built : LaunchPlanResult::TooLong;
}
