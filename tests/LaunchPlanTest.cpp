#include "plan/LaunchPlan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A plan between two guard zones, every byte preset, so that a write outside a string
// or past a buffer shows.
const char Unwritten = '\x7f';

struct GuardedPlan {
    char Before[32];
    LaunchPlan Plan;
    char After[32];
};

void PresetGuardedPlan(GuardedPlan* guarded)
{
    std::memset(guarded, Unwritten, sizeof *guarded);
}

void ExpectGuardsUntouched(const GuardedPlan& guarded)
{
    EXPECT_EQ(std::string(sizeof guarded.Before, Unwritten),
              std::string(guarded.Before, sizeof guarded.Before));
    EXPECT_EQ(std::string(sizeof guarded.After, Unwritten),
              std::string(guarded.After, sizeof guarded.After));
}

// The string in buffer: terminated inside it, and nothing written after its terminator.
std::string StringIn(const char (&buffer)[MaxPath])
{
    const void* terminator = std::memchr(buffer, '\0', MaxPath);
    if (terminator == nullptr) {
        ADD_FAILURE() << "no terminator inside the buffer";
        return std::string();
    }
    const size_t length = static_cast<size_t>(static_cast<const char*>(terminator) - buffer);
    for (size_t i = length + 1; i < MaxPath; ++i) {
        if (buffer[i] != Unwritten) {
            ADD_FAILURE() << "written after the terminator, at offset " << i;
            break;
        }
    }
    return std::string(buffer, length);
}

struct BuiltCase {
    const char* ModulePath;
    const char* SourceDir;
    const char* InfPath;
    const char* CommandLine;
};

TEST(BuildLaunchPlan, BuildsSourceDirInfPathAndCommandLine)
{
    const BuiltCase cases[] = {
        // A drive root gets its backslash back in SourceDir, and only one in InfPath.
        {"A:\\BRIXHOLD.EXE", "A:\\", "A:\\BRIXHOLD.INF", "SETUP.EXE -i A:\\BRIXHOLD.INF -s A:\\"},
        {"D:\\PKG\\DISK1\\BRIXHOLD.EXE", "D:\\PKG\\DISK1", "D:\\PKG\\DISK1\\BRIXHOLD.INF",
         "SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1"},
        // A share root is longer than a drive designator and stays as cut.
        {"\\\\HOST\\SHARE\\BRIXHOLD.EXE", "\\\\HOST\\SHARE", "\\\\HOST\\SHARE\\BRIXHOLD.INF",
         "SETUP.EXE -i \\\\HOST\\SHARE\\BRIXHOLD.INF -s \\\\HOST\\SHARE"},
        // Blanks go into the command line unquoted, after -i and after -s.
        {"C:\\NEW PKG\\BRIXHOLD.EXE", "C:\\NEW PKG", "C:\\NEW PKG\\BRIXHOLD.INF",
         "SETUP.EXE -i C:\\NEW PKG\\BRIXHOLD.INF -s C:\\NEW PKG"},
        // Any two characters count as a drive designator; no other length does.
        {"xy\\BRIXHOLD.EXE", "xy\\", "xy\\BRIXHOLD.INF", "SETUP.EXE -i xy\\BRIXHOLD.INF -s xy\\"},
        {"\\\\\\BRIXHOLD.EXE", "\\\\\\", "\\\\\\BRIXHOLD.INF",
         "SETUP.EXE -i \\\\\\BRIXHOLD.INF -s \\\\\\"},
        {"A\\BRIXHOLD.EXE", "A", "A\\BRIXHOLD.INF", "SETUP.EXE -i A\\BRIXHOLD.INF -s A"},
        {"A:B\\BRIXHOLD.EXE", "A:B", "A:B\\BRIXHOLD.INF", "SETUP.EXE -i A:B\\BRIXHOLD.INF -s A:B"},
        // The launcher's own name does not matter; forward slashes are ordinary characters.
        {"c:\\pkg/disk1\\launch.exe", "c:\\pkg/disk1", "c:\\pkg/disk1\\BRIXHOLD.INF",
         "SETUP.EXE -i c:\\pkg/disk1\\BRIXHOLD.INF -s c:\\pkg/disk1"},
        {"C:\\PKG\\", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF",
         "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
    };
    for (const BuiltCase& c : cases) {
        SCOPED_TRACE(c.ModulePath);
        GuardedPlan guarded;
        PresetGuardedPlan(&guarded);
        ASSERT_EQ(LaunchPlanResult::Built, BuildLaunchPlan(c.ModulePath, &guarded.Plan));
        EXPECT_EQ(c.SourceDir, StringIn(guarded.Plan.SourceDir));
        EXPECT_EQ(c.InfPath, StringIn(guarded.Plan.InfPath));
        EXPECT_EQ(c.CommandLine, StringIn(guarded.Plan.CommandLine));
        ExpectGuardsUntouched(guarded);
    }
}

TEST(BuildLaunchPlan, FailsWithoutBackslash)
{
    const char* const cases[] = {"", "BRIXHOLD.EXE", "A:/PKG/DISK1/BRIXHOLD.EXE", "A:BRIXHOLD.EXE"};
    for (const char* modulePath : cases) {
        SCOPED_TRACE(modulePath);
        GuardedPlan guarded;
        PresetGuardedPlan(&guarded);
        EXPECT_EQ(LaunchPlanResult::NoSeparator, BuildLaunchPlan(modulePath, &guarded.Plan));
        ExpectGuardsUntouched(guarded);
    }
}

// A module path of 259 characters or fewer whose directory part has the given length:
// "C:\ddd...d\" followed by a file name that fills it up to totalLength.
std::string ModulePath(size_t directoryLength, size_t totalLength)
{
    std::string path = "C:\\" + std::string(directoryLength - 3, 'd') + "\\";
    path.append(totalLength - path.size(), 'f');
    return path;
}

struct LengthCase {
    size_t DirectoryLength;
    size_t TotalLength;
};

// The command line, 2d + 30 characters, is the first string to outgrow its 259; the INF
// path, d + 13, only past 246.
TEST(BuildLaunchPlan, AcceptsDirectoriesUpTo114Characters)
{
    const LengthCase cases[] = {{113, 120}, {114, 120}, {114, 259}};
    for (const LengthCase& c : cases) {
        const std::string modulePath = ModulePath(c.DirectoryLength, c.TotalLength);
        SCOPED_TRACE(modulePath);
        GuardedPlan guarded;
        PresetGuardedPlan(&guarded);
        ASSERT_EQ(LaunchPlanResult::Built, BuildLaunchPlan(modulePath.c_str(), &guarded.Plan));
        const std::string directory = modulePath.substr(0, c.DirectoryLength);
        EXPECT_EQ(directory, StringIn(guarded.Plan.SourceDir));
        EXPECT_EQ(directory + "\\BRIXHOLD.INF", StringIn(guarded.Plan.InfPath));
        EXPECT_EQ(2 * c.DirectoryLength + 30, StringIn(guarded.Plan.CommandLine).size());
        ExpectGuardsUntouched(guarded);
    }
}

TEST(BuildLaunchPlan, RefusesWhatWouldNotFitItsBuffers)
{
    const LengthCase cases[] = {{115, 120}, {115, 259}, {246, 259}, {247, 259}, {258, 259}};
    for (const LengthCase& c : cases) {
        const std::string modulePath = ModulePath(c.DirectoryLength, c.TotalLength);
        SCOPED_TRACE(modulePath);
        GuardedPlan guarded;
        PresetGuardedPlan(&guarded);
        EXPECT_EQ(LaunchPlanResult::TooLong, BuildLaunchPlan(modulePath.c_str(), &guarded.Plan));
        ExpectGuardsUntouched(guarded);
    }
}

TEST(BuildLaunchPlan, AcceptsTheLongestPathAtADriveRoot)
{
    GuardedPlan guarded;
    PresetGuardedPlan(&guarded);
    const std::string modulePath = "A:\\" + std::string(256, 'f');
    ASSERT_EQ(LaunchPlanResult::Built, BuildLaunchPlan(modulePath.c_str(), &guarded.Plan));
    EXPECT_EQ("SETUP.EXE -i A:\\BRIXHOLD.INF -s A:\\", StringIn(guarded.Plan.CommandLine));
    ExpectGuardsUntouched(guarded);
}

TEST(BuildLaunchPlan, ReadsNoFurtherThanAFullBufferWithoutTerminator)
{
    // Exactly MaxPath characters and no terminator, as older Windows leaves a path that
    // was cut short; a sanitizer build catches any read past the allocation.
    const std::string directory = "C:\\PKG";
    std::vector<char> modulePath(MaxPath, 'f');
    std::memcpy(modulePath.data(), (directory + "\\").data(), directory.size() + 1);
    GuardedPlan guarded;
    PresetGuardedPlan(&guarded);
    EXPECT_EQ(LaunchPlanResult::TooLong, BuildLaunchPlan(modulePath.data(), &guarded.Plan));
    ExpectGuardsUntouched(guarded);
}

} // namespace
