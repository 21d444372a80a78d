// Feeds BuildLaunchPlan every module path of 0 to 259 bytes libFuzzer comes up with, any
// byte but the terminator, and checks each result against the rules worked out here
// independently with std::string. The path is copied into an allocation of exactly its
// size, so that the sanitizers catch a read past its terminator.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plan/LaunchPlan.h"

namespace {

const char Unwritten = '\x7f';

void Check(bool condition, const char* what)
{
    if (!condition) {
        static_cast<void>(std::fprintf(stderr, "BuildLaunchPlan: %s\n", what));
        std::abort();
    }
}

// The string in buffer, which must be terminated inside it and untouched after that.
std::string StringIn(const char (&buffer)[MaxPath])
{
    const void* terminator = std::memchr(buffer, '\0', MaxPath);
    Check(terminator != nullptr, "a string of the plan is not terminated inside its buffer");
    const size_t length = static_cast<size_t>(static_cast<const char*>(terminator) - buffer);
    for (size_t i = length + 1; i < MaxPath; ++i) {
        Check(buffer[i] == Unwritten, "a buffer of the plan was written past its string");
    }
    return std::string(buffer, length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size >= MaxPath || std::memchr(data, '\0', size) != nullptr) {
        return 0;
    }
    std::vector<char> modulePath(data, data + size);
    modulePath.push_back('\0');

    LaunchPlan plan;
    std::memset(&plan, Unwritten, sizeof plan);
    const LaunchPlanResult result = BuildLaunchPlan(modulePath.data(), &plan);

    const std::string path(modulePath.data(), size);
    const size_t separator = path.rfind('\\');
    if (separator == std::string::npos) {
        Check(result == LaunchPlanResult::NoSeparator, "a path without a backslash was not refused");
        return 0;
    }
    const std::string directory = path.substr(0, separator);
    const std::string sourceDir = directory.size() == 2 ? directory + "\\" : directory;
    const std::string infPath = directory + "\\BRIXHOLD.INF";
    const std::string commandLine = "SETUP.EXE -i " + infPath + " -s " + sourceDir;
    const bool fits = commandLine.size() < MaxPath && infPath.size() < MaxPath;
    if (!fits) {
        Check(result == LaunchPlanResult::TooLong, "a plan that does not fit was not refused");
        return 0;
    }
    Check(result == LaunchPlanResult::Built, "a plan that fits was refused");
    Check(StringIn(plan.SourceDir) == sourceDir, "wrong SourceDir");
    Check(StringIn(plan.InfPath) == infPath, "wrong InfPath");
    Check(StringIn(plan.CommandLine) == commandLine, "wrong CommandLine");
    return 0;
}
