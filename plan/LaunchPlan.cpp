#include "plan/LaunchPlan.h"

#include <string.h>

namespace {

const char PathSeparator = '\\';
const char InfFileName[] = "BRIXHOLD.INF";
const char SetupProgram[] = "SETUP.EXE";
const size_t DriveDesignatorLength = 2;

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

} // namespace

LaunchPlanResult BuildLaunchPlan(const char* modulePath, LaunchPlan* plan)
{
    // The directory part is everything before the last backslash.
    size_t length = 0;
    size_t directoryLength = 0;
    bool separatorFound = false;
    for (; length < MaxPath && modulePath[length] != '\0'; ++length) {
        if (modulePath[length] == PathSeparator) {
            directoryLength = length;
            separatorFound = true;
        }
    }
    if (length == MaxPath) {
        return LaunchPlanResult::TooLong;
    }
    if (!separatorFound) {
        return LaunchPlanResult::NoSeparator;
    }

    const char separator[] = {PathSeparator, '\0'};
    size_t sourceDirLength = 0;
    size_t infPathLength = 0;
    size_t commandLineLength = 0;
    plan->SourceDir[0] = '\0';
    plan->InfPath[0] = '\0';
    plan->CommandLine[0] = '\0';

    // Only the length is tested: a directory part of two characters is taken for a bare
    // drive designator, whose root needs the backslash to be a directory of its own.
    // The command line is "%s -i %s -s %s" filled with SETUP.EXE, InfPath and SourceDir.
    const bool fits =
        AppendText(plan->SourceDir, &sourceDirLength, modulePath, directoryLength) &&
        (directoryLength != DriveDesignatorLength ||
         AppendString(plan->SourceDir, &sourceDirLength, separator)) &&
        AppendText(plan->InfPath, &infPathLength, modulePath, directoryLength) &&
        AppendString(plan->InfPath, &infPathLength, separator) &&
        AppendString(plan->InfPath, &infPathLength, InfFileName) &&
        AppendString(plan->CommandLine, &commandLineLength, SetupProgram) &&
        AppendString(plan->CommandLine, &commandLineLength, " -i ") &&
        AppendString(plan->CommandLine, &commandLineLength, plan->InfPath) &&
        AppendString(plan->CommandLine, &commandLineLength, " -s ") &&
        AppendString(plan->CommandLine, &commandLineLength, plan->SourceDir);
    return fits ? LaunchPlanResult::Built : LaunchPlanResult::TooLong;
}
