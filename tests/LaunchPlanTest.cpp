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

// The code page of Western systems, and the one of Japanese systems (932), whose lead
// bytes are 0x81 to 0x9F and 0xE0 to 0xFC. In code page 932 the katakana SO, FU and TO
// are 0x83 0x5C, 0x83 0x74 and 0x83 0x67: the second byte of SO is a backslash's.
const CodePage SingleByte = {};
const CodePage Japanese = {{0x81, 0x9F, 0xE0, 0xFC}};
#define KATAKANA_SO "\x83\x5C"
#define KATAKANA_SOFUTO "\x83\x5C\x83\x74\x83\x67"

struct BuiltCase {
    const char* ModulePath;
    const char* SourceDir;
    const char* InfPath;
    const char* SetupPath;
    const char* CommandLine;
};

void ExpectBuilt(const BuiltCase& c, const CodePage& codePage)
{
    SCOPED_TRACE(c.ModulePath);
    GuardedPlan guarded;
    PresetGuardedPlan(&guarded);
    ASSERT_EQ(LaunchPlanResult::Built, BuildLaunchPlan(c.ModulePath, codePage, &guarded.Plan));
    EXPECT_EQ(c.SourceDir, StringIn(guarded.Plan.SourceDir));
    EXPECT_EQ(c.InfPath, StringIn(guarded.Plan.InfPath));
    EXPECT_EQ(c.SetupPath, StringIn(guarded.Plan.SetupPath));
    EXPECT_EQ(c.CommandLine, StringIn(guarded.Plan.CommandLine));
    ExpectGuardsUntouched(guarded);
}

TEST(BuildLaunchPlan, BuildsSourceDirInfPathSetupPathAndCommandLine)
{
    const BuiltCase cases[] = {
        // A drive root gets its backslash back in SourceDir, and only one in the paths.
        {"A:\\BRIXHOLD.EXE", "A:\\", "A:\\BRIXHOLD.INF", "A:\\SETUP.EXE",
         "SETUP.EXE -i A:\\BRIXHOLD.INF -s A:\\"},
        {"D:\\PKG\\DISK1\\BRIXHOLD.EXE", "D:\\PKG\\DISK1", "D:\\PKG\\DISK1\\BRIXHOLD.INF",
         "D:\\PKG\\DISK1\\SETUP.EXE", "SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1"},
        // A share root is longer than a drive designator and stays as cut.
        {"\\\\HOST\\SHARE\\BRIXHOLD.EXE", "\\\\HOST\\SHARE", "\\\\HOST\\SHARE\\BRIXHOLD.INF",
         "\\\\HOST\\SHARE\\SETUP.EXE",
         "SETUP.EXE -i \\\\HOST\\SHARE\\BRIXHOLD.INF -s \\\\HOST\\SHARE"},
        // Blanks go into the command line unquoted, after -i and after -s.
        {"C:\\NEW PKG\\BRIXHOLD.EXE", "C:\\NEW PKG", "C:\\NEW PKG\\BRIXHOLD.INF",
         "C:\\NEW PKG\\SETUP.EXE", "SETUP.EXE -i C:\\NEW PKG\\BRIXHOLD.INF -s C:\\NEW PKG"},
        // Any two characters count as a drive designator; no other length does.
        {"xy\\BRIXHOLD.EXE", "xy\\", "xy\\BRIXHOLD.INF", "xy\\SETUP.EXE",
         "SETUP.EXE -i xy\\BRIXHOLD.INF -s xy\\"},
        {"\\\\\\BRIXHOLD.EXE", "\\\\\\", "\\\\\\BRIXHOLD.INF", "\\\\\\SETUP.EXE",
         "SETUP.EXE -i \\\\\\BRIXHOLD.INF -s \\\\\\"},
        {"A\\BRIXHOLD.EXE", "A", "A\\BRIXHOLD.INF", "A\\SETUP.EXE",
         "SETUP.EXE -i A\\BRIXHOLD.INF -s A"},
        {"A:B\\BRIXHOLD.EXE", "A:B", "A:B\\BRIXHOLD.INF", "A:B\\SETUP.EXE",
         "SETUP.EXE -i A:B\\BRIXHOLD.INF -s A:B"},
        // After the literal-path prefix, a drive designator still names the drive, and
        // its root needs the backslash; deeper directories and shares do not.
        {"\\\\?\\A:\\X.EXE", "\\\\?\\A:\\", "\\\\?\\A:\\BRIXHOLD.INF", "\\\\?\\A:\\SETUP.EXE",
         "SETUP.EXE -i \\\\?\\A:\\BRIXHOLD.INF -s \\\\?\\A:\\"},
        {"\\\\?\\C:\\PKG\\X.EXE", "\\\\?\\C:\\PKG", "\\\\?\\C:\\PKG\\BRIXHOLD.INF",
         "\\\\?\\C:\\PKG\\SETUP.EXE", "SETUP.EXE -i \\\\?\\C:\\PKG\\BRIXHOLD.INF -s \\\\?\\C:\\PKG"},
        {"\\\\?\\UNC\\H\\S\\X.EXE", "\\\\?\\UNC\\H\\S", "\\\\?\\UNC\\H\\S\\BRIXHOLD.INF",
         "\\\\?\\UNC\\H\\S\\SETUP.EXE",
         "SETUP.EXE -i \\\\?\\UNC\\H\\S\\BRIXHOLD.INF -s \\\\?\\UNC\\H\\S"},
        // The launcher's own name does not matter; forward slashes are ordinary characters.
        {"c:\\pkg/disk1\\launch.exe", "c:\\pkg/disk1", "c:\\pkg/disk1\\BRIXHOLD.INF",
         "c:\\pkg/disk1\\SETUP.EXE", "SETUP.EXE -i c:\\pkg/disk1\\BRIXHOLD.INF -s c:\\pkg/disk1"},
        {"C:\\PKG\\", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF", "C:\\PKG\\SETUP.EXE",
         "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
    };
    for (const BuiltCase& c : cases) {
        ExpectBuilt(c, SingleByte);
    }
}

// In a double-byte code page a lead byte and the byte after it are one character, even
// when that byte is a backslash's; in a single-byte code page every 0x5C is one.
TEST(BuildLaunchPlan, ReadsThePathByCharactersOfTheCodePage)
{
    const BuiltCase japanese[] = {
        {"C:\\PKG\\" KATAKANA_SOFUTO ".exe", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF",
         "C:\\PKG\\SETUP.EXE", "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
        {"C:\\" KATAKANA_SOFUTO "\\" KATAKANA_SO ".exe", "C:\\" KATAKANA_SOFUTO,
         "C:\\" KATAKANA_SOFUTO "\\BRIXHOLD.INF", "C:\\" KATAKANA_SOFUTO "\\SETUP.EXE",
         "SETUP.EXE -i C:\\" KATAKANA_SOFUTO "\\BRIXHOLD.INF -s C:\\" KATAKANA_SOFUTO},
        // A directory part of one double-byte character is two bytes long, and like any
        // other of two bytes gets the backslash: only the length is tested.
        {KATAKANA_SO "\\X.EXE", KATAKANA_SO "\\", KATAKANA_SO "\\BRIXHOLD.INF",
         KATAKANA_SO "\\SETUP.EXE", "SETUP.EXE -i " KATAKANA_SO "\\BRIXHOLD.INF -s " KATAKANA_SO "\\"},
        // A lead byte cut off at the end of the path is a character on its own.
        {"C:\\PKG\\X\x83", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF", "C:\\PKG\\SETUP.EXE",
         "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
        // Only a byte after a lead byte is taken with it: 0x5C after a trail byte is a
        // separator again, as is one after a byte outside the lead ranges.
        {"C:\\" KATAKANA_SO "\\\xA0\\X.EXE", "C:\\" KATAKANA_SO "\\\xA0",
         "C:\\" KATAKANA_SO "\\\xA0\\BRIXHOLD.INF", "C:\\" KATAKANA_SO "\\\xA0\\SETUP.EXE",
         "SETUP.EXE -i C:\\" KATAKANA_SO "\\\xA0\\BRIXHOLD.INF -s C:\\" KATAKANA_SO "\\\xA0"},
    };
    for (const BuiltCase& c : japanese) {
        ExpectBuilt(c, Japanese);
    }
    const BuiltCase western[] = {
        {"C:\\PKG\\" KATAKANA_SOFUTO ".exe", "C:\\PKG\\\x83", "C:\\PKG\\\x83\\BRIXHOLD.INF",
         "C:\\PKG\\\x83\\SETUP.EXE", "SETUP.EXE -i C:\\PKG\\\x83\\BRIXHOLD.INF -s C:\\PKG\\\x83"},
        {"C:\\PKG\\X\x83", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF", "C:\\PKG\\SETUP.EXE",
         "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
    };
    for (const BuiltCase& c : western) {
        ExpectBuilt(c, SingleByte);
    }
    // Every one of the five ranges counts, the last as much as the first.
    const CodePage fiveRanges = {{0xF1, 0xF1, 0xF2, 0xF2, 0xF3, 0xF3, 0xF4, 0xF4, 0x83, 0x83}};
    ExpectBuilt(japanese[0], fiveRanges);
}

// The plan refuses modulePath with the expected result, writing nothing outside it.
void ExpectRefused(const char* modulePath, const CodePage& codePage, LaunchPlanResult expected)
{
    GuardedPlan guarded;
    PresetGuardedPlan(&guarded);
    EXPECT_EQ(expected, BuildLaunchPlan(modulePath, codePage, &guarded.Plan));
    ExpectGuardsUntouched(guarded);
}

TEST(BuildLaunchPlan, FailsWithoutBackslash)
{
    const char* const cases[] = {"", "BRIXHOLD.EXE", "A:/PKG/DISK1/BRIXHOLD.EXE", "A:BRIXHOLD.EXE"};
    for (const char* modulePath : cases) {
        SCOPED_TRACE(modulePath);
        ExpectRefused(modulePath, SingleByte, LaunchPlanResult::NoSeparator);
    }
}

// Started, a launcher named SETUP.EXE would be the SETUP.EXE it starts, again and again.
// Only that name, in any case, is refused.
TEST(BuildLaunchPlan, RefusesALauncherNamedSetupExe)
{
    const char* const refused[] = {"C:\\PKG\\SETUP.EXE", "A:\\setup.exe", "\\\\H\\S\\Setup.Exe"};
    for (const char* modulePath : refused) {
        SCOPED_TRACE(modulePath);
        ExpectRefused(modulePath, SingleByte, LaunchPlanResult::NamedSetupProgram);
    }
    const BuiltCase built[] = {
        {"C:\\SETUP.EXE\\SETUP.EX", "C:\\SETUP.EXE", "C:\\SETUP.EXE\\BRIXHOLD.INF",
         "C:\\SETUP.EXE\\SETUP.EXE", "SETUP.EXE -i C:\\SETUP.EXE\\BRIXHOLD.INF -s C:\\SETUP.EXE"},
        {"C:\\PKG\\SETUP.EXE.EXE", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF", "C:\\PKG\\SETUP.EXE",
         "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
        {"C:\\PKG\\XSETUP.EXE", "C:\\PKG", "C:\\PKG\\BRIXHOLD.INF", "C:\\PKG\\SETUP.EXE",
         "SETUP.EXE -i C:\\PKG\\BRIXHOLD.INF -s C:\\PKG"},
    };
    for (const BuiltCase& c : built) {
        ExpectBuilt(c, SingleByte);
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
        ASSERT_EQ(LaunchPlanResult::Built, BuildLaunchPlan(modulePath.c_str(), SingleByte, &guarded.Plan));
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
        ExpectRefused(modulePath.c_str(), SingleByte, LaunchPlanResult::TooLong);
    }
}

TEST(BuildLaunchPlan, AcceptsTheLongestPathAtADriveRoot)
{
    GuardedPlan guarded;
    PresetGuardedPlan(&guarded);
    const std::string modulePath = "A:\\" + std::string(256, 'f');
    ASSERT_EQ(LaunchPlanResult::Built, BuildLaunchPlan(modulePath.c_str(), SingleByte, &guarded.Plan));
    EXPECT_EQ("SETUP.EXE -i A:\\BRIXHOLD.INF -s A:\\", StringIn(guarded.Plan.CommandLine));
    ExpectGuardsUntouched(guarded);
}

// Exactly MaxPath bytes and no terminator, as older Windows leaves a path that was cut
// short, ending in a single-byte character, a lone lead byte, or a whole double-byte
// character; a sanitizer build catches any read past the allocation.
TEST(BuildLaunchPlan, ReadsNoFurtherThanAFullBufferWithoutTerminator)
{
    const std::string endings[] = {"f", "\x83", KATAKANA_SO};
    for (const std::string& ending : endings) {
        SCOPED_TRACE(ending);
        std::string bytes = "C:\\PKG\\";
        bytes.append(MaxPath - bytes.size() - ending.size(), 'f');
        bytes += ending;
        const std::vector<char> modulePath(bytes.begin(), bytes.end());
        ASSERT_EQ(MaxPath, modulePath.size());
        ExpectRefused(modulePath.data(), Japanese, LaunchPlanResult::TooLong);
    }
}

} // namespace
