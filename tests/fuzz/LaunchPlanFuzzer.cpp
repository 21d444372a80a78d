// Feeds BuildLaunchPlan the code pages and module paths libFuzzer comes up with, and
// checks each result against the rules worked out here independently with std::string.
// An input is 12 bytes of lead-byte ranges, as CPINFO gives them (all zeros: a code page
// of single bytes), then a module path of 0 to 259 bytes of any value but the
// terminator. The path is copied into an allocation of exactly its size, so that the
// sanitizers catch a read past its terminator.

#include <cctype>
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

// Every byte of every range before the first pair of zeros begins a double-byte character.
std::vector<bool> LeadBytes(const CodePage& codePage)
{
    std::vector<bool> lead(256, false);
    for (size_t i = 0; i < MaxLeadBytes; i += 2) {
        const unsigned first = codePage.LeadByteRanges[i];
        const unsigned last = codePage.LeadByteRanges[i + 1];
        if (first == 0 && last == 0) {
            break;
        }
        for (unsigned byte = first; byte <= last; ++byte) {
            lead[byte] = true;
        }
    }
    return lead;
}

// The offset of the last backslash that is a character of its own, npos if none: a lead
// byte takes the byte after it, whatever that is.
size_t LastSeparator(const std::string& path, const std::vector<bool>& lead)
{
    size_t separator = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(path[i]);
        if (lead[byte]) {
            ++i;
        } else if (byte == '\\') {
            separator = i;
        }
    }
    return separator;
}

bool IsDriveDesignator(const std::string& directory)
{
    return directory.size() == 2 || (directory.size() == 6 && directory.compare(0, 4, "\\\\?\\") == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    CodePage codePage;
    if (size < MaxLeadBytes) {
        return 0;
    }
    std::memcpy(codePage.LeadByteRanges, data, MaxLeadBytes);
    const std::uint8_t* pathBytes = data + MaxLeadBytes;
    const size_t pathSize = size - MaxLeadBytes;
    if (pathSize >= MaxPath || std::memchr(pathBytes, '\0', pathSize) != nullptr) {
        return 0;
    }
    std::vector<char> modulePath(pathBytes, pathBytes + pathSize);
    modulePath.push_back('\0');

    LaunchPlan plan;
    std::memset(&plan, Unwritten, sizeof plan);
    const LaunchPlanResult result = BuildLaunchPlan(modulePath.data(), codePage, &plan);

    const std::string path(modulePath.data(), pathSize);
    const size_t separator = LastSeparator(path, LeadBytes(codePage));
    if (separator == std::string::npos) {
        Check(result == LaunchPlanResult::NoSeparator, "a path without a backslash was not refused");
        return 0;
    }
    std::string name = path.substr(separator + 1);
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (name == "SETUP.EXE") {
        Check(result == LaunchPlanResult::NamedSetupProgram, "a launcher named SETUP.EXE was not refused");
        return 0;
    }
    const std::string directory = path.substr(0, separator);
    const std::string sourceDir = IsDriveDesignator(directory) ? directory + "\\" : directory;
    const std::string infPath = directory + "\\BRIXHOLD.INF";
    const std::string setupPath = directory + "\\SETUP.EXE";
    const std::string commandLine = "SETUP.EXE -i " + infPath + " -s " + sourceDir;
    const bool fits = commandLine.size() < MaxPath && infPath.size() < MaxPath;
    if (!fits) {
        Check(result == LaunchPlanResult::TooLong, "a plan that does not fit was not refused");
        return 0;
    }
    Check(result == LaunchPlanResult::Built, "a plan that fits was refused");
    Check(StringIn(plan.SourceDir) == sourceDir, "wrong SourceDir");
    Check(StringIn(plan.InfPath) == infPath, "wrong InfPath");
    Check(StringIn(plan.SetupPath) == setupPath, "wrong SetupPath");
    Check(StringIn(plan.CommandLine) == commandLine, "wrong CommandLine");
    return 0;
}
