#include "launcher/Launcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/KernelDouble.h"

namespace {

struct LauncherRun {
    int Status;
    std::string Output;
};

LauncherRun RunAgainst(const KernelScript& script)
{
    ResetKernel(script);
    testing::internal::CaptureStdout();
    const int status = RunLauncher();
    const std::string output = testing::internal::GetCapturedStdout();
    return LauncherRun{status, output};
}

using Calls = std::vector<std::string>;

const char GetModuleFileNameCall[] = "GetModuleFileNameA(null, 260)";
const char GetModuleFileNameWideCall[] = "GetModuleFileNameW(null, 260)";
const char GetCodePageCall[] = "GetCPInfo(0)";

std::string ConvertBackCall(const std::string& modulePath)
{
    return "MultiByteToWideChar(0, \"" + modulePath + "\", " +
           std::to_string(modulePath.size()) + ", 260)";
}

// The calls that read the launcher's own path, check it and learn the code page.
Calls PathCalls(const std::string& modulePath)
{
    return {GetModuleFileNameCall, GetModuleFileNameWideCall, ConvertBackCall(modulePath),
            GetCodePageCall};
}

std::string FindFirstFileCall(const std::string& path, const std::string& result)
{
    return "FindFirstFileA(\"" + path + "\") -> " + result;
}

// The only way the launcher may start the setup program, as the double logs it.
std::string CreateProcessCall(const std::string& infPath, const std::string& sourceDir,
                              const std::string& result)
{
    return "CreateProcessA(null, \"SETUP.EXE -i " + infPath + " -s " + sourceDir +
           "\", inherit false, flags 8, environment null, directory \"" + sourceDir +
           "\") -> " + result;
}

// The calls up to the start: the path, the INF file and the setup program found.
Calls CallsUpToStart(const Calls& pathCalls, const std::string& directory,
                     const std::string& sourceDir, const std::string& createProcessResult)
{
    Calls calls = pathCalls;
    const Calls searches = {
        FindFirstFileCall(directory + "\\BRIXHOLD.INF", "find#1, file"), "FindClose(find#1)",
        FindFirstFileCall(directory + "\\SETUP.EXE", "find#2, file"), "FindClose(find#2)",
        CreateProcessCall(directory + "\\BRIXHOLD.INF", sourceDir, createProcessResult)};
    calls.insert(calls.end(), searches.begin(), searches.end());
    return calls;
}

Calls StartedCalls(const Calls& pathCalls, const std::string& directory,
                   const std::string& sourceDir)
{
    Calls calls = CallsUpToStart(pathCalls, directory, sourceDir, "process#3, thread#4");
    calls.insert(calls.end(), {"CloseHandle(thread#4)", "CloseHandle(process#3)"});
    return calls;
}

// "C:\ddd...d", a directory of the given length.
std::string DirectoryOfLength(size_t length)
{
    return "C:\\" + std::string(length - 3, 'd');
}

KernelScript ModuleFileName(const std::string& path,
    ModuleFileNameTruncation truncation = ModuleFileNameTruncation::Terminated)
{
    KernelScript script;
    script.ModuleFileName = path;
    script.Truncation = truncation;
    return script;
}

// Code page 932 (Japanese): lead bytes 0x81 to 0x9F and 0xE0 to 0xFC. Its katakana
// SO, FU, TO are 0x83 0x5C, 0x83 0x74, 0x83 0x67: the second byte of SO is a backslash's.
KernelScript InJapaneseCodePage(const std::string& path)
{
    KernelScript script = ModuleFileName(path);
    script.LeadByteRanges = {0x81, 0x9F, 0xE0, 0xFC};
    return script;
}
const char KatakanaSoFuTo[] = "\x83\x5C\x83\x74\x83\x67";

struct StartCase {
    const char* Name;
    KernelScript Script;
    Calls ExpectedCalls;
};

TEST(RunLauncher, StartsSetupDetachedInTheSourceDirAndLetsGoOfIt)
{
    const std::string deepest = DirectoryOfLength(114);
    const std::string longest = deepest + "\\" + std::string(144, 'f');
    const std::string cafe = "C:\\CAF\xC9\\BRIXHOLD.EXE";
    KernelScript noWideCalls = ModuleFileName("D:\\PKG\\BRIXHOLD.EXE");
    noWideCalls.WideCallsMissing = true;
    const std::string japaneseName = "C:\\PKG\\" + std::string(KatakanaSoFuTo) + ".exe";
    // Whatever GetCPInfo left in its buffer when it failed, the path is read as single
    // bytes: the second byte of SO is a backslash.
    KernelScript codePageUnknown = InJapaneseCodePage(japaneseName);
    codePageUnknown.CodePageUnknown = true;
    const std::string japaneseDirectory = "C:\\" + std::string(KatakanaSoFuTo);
    const StartCase cases[] = {
        {"deep directory", ModuleFileName("D:\\PKG\\DISK1\\BRIXHOLD.EXE"),
         StartedCalls(PathCalls("D:\\PKG\\DISK1\\BRIXHOLD.EXE"), "D:\\PKG\\DISK1", "D:\\PKG\\DISK1")},
        // At a drive root the setup program runs in the root, not the drive's current
        // directory; the launcher's own name does not matter.
        {"drive root", ModuleFileName("M:\\Brixhold.exe"),
         StartedCalls(PathCalls("M:\\Brixhold.exe"), "M:", "M:\\")},
        {"longest directory", ModuleFileName(deepest + "\\BRIXHOLD.EXE"),
         StartedCalls(PathCalls(deepest + "\\BRIXHOLD.EXE"), deepest, deepest)},
        // Every path shorter than the buffer is used: 259 characters fill it but for the
        // terminator.
        {"longest path", ModuleFileName(longest), StartedCalls(PathCalls(longest), deepest, deepest)},
        // A character of the code page beyond ASCII converts back to the real path.
        {"high ANSI", ModuleFileName(cafe), StartedCalls(PathCalls(cafe), "C:\\CAF\xC9", "C:\\CAF\xC9")},
        // Without wide calls there is nothing to compare the path with.
        {"no wide calls", noWideCalls,
         StartedCalls({GetModuleFileNameCall, GetModuleFileNameWideCall, GetCodePageCall},
                      "D:\\PKG", "D:\\PKG")},
        {"code page unknown: single bytes", codePageUnknown,
         StartedCalls(PathCalls(japaneseName), "C:\\PKG\\\x83", "C:\\PKG\\\x83")},
        // The code page's lead bytes reach the plan: no character is cut in half.
        {"double-byte name", InJapaneseCodePage(japaneseName),
         StartedCalls(PathCalls(japaneseName), "C:\\PKG", "C:\\PKG")},
        {"double-byte directory", InJapaneseCodePage(japaneseDirectory + "\\BRIXHOLD.EXE"),
         StartedCalls(PathCalls(japaneseDirectory + "\\BRIXHOLD.EXE"), japaneseDirectory,
                      japaneseDirectory)},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const LauncherRun run = RunAgainst(c.Script);
        EXPECT_EQ(0, run.Status);
        EXPECT_EQ("", run.Output);
        EXPECT_EQ(c.ExpectedCalls, KernelCalls());
        EXPECT_EQ(Calls(), OpenHandles());
    }
}

struct FailureCase {
    const char* Name;
    KernelScript Script;
    std::string ExpectedOutput;
    Calls ExpectedCalls;
};

KernelScript ModuleFileNameFails()
{
    KernelScript script;
    script.ModuleFileNameFails = true;
    return script;
}

// A path that the code page could not show: Windows holds realPath.
KernelScript NotTheRealPath(const std::string& path, const std::wstring& realPath)
{
    KernelScript script = ModuleFileName(path);
    script.RealModuleFileName = realPath;
    return script;
}

KernelScript ConversionFails()
{
    KernelScript script;
    script.ConversionFails = true;
    return script;
}

KernelScript Entries(Entry inf, Entry setup)
{
    KernelScript script;
    script.Inf = inf;
    script.Setup = setup;
    return script;
}

KernelScript StartFails(unsigned long error)
{
    KernelScript script;
    script.CreateProcessSucceeds = false;
    script.LastError = error;
    return script;
}

const char DefaultPath[] = "D:\\PKG\\DISK1\\BRIXHOLD.EXE";
const char DefaultDirectory[] = "D:\\PKG\\DISK1";

Calls Then(Calls calls, const Calls& more)
{
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

// The calls of a run whose start failed: the error number is read at once, and then
// nothing else is called.
Calls FailedStartCalls(const std::string& lastError)
{
    return Then(CallsUpToStart(PathCalls(DefaultPath), DefaultDirectory, DefaultDirectory, "failed"),
                {"GetLastError() -> " + lastError});
}

std::string FailedStartOutput(const std::string& errorCode)
{
    return "Brixhold.exe: Failed to run: SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s "
           "D:\\PKG\\DISK1, Error Code: " + errorCode + "\n";
}

TEST(RunLauncher, ReportsEachFailureAndStopsThere)
{
    const std::string notValid = "Brixhold.exe: Module file name not valid\n";
    const std::string tooLong = "Brixhold.exe: Module file name too long\n";
    const std::string cutShort = DirectoryOfLength(114) + "\\" + std::string(300, 'f');
    const std::string infSearch = FindFirstFileCall(std::string(DefaultDirectory) + "\\BRIXHOLD.INF", "find#1, file");
    const std::string setupSearch = std::string(DefaultDirectory) + "\\SETUP.EXE";
    const FailureCase cases[] = {
        {"no module file name", ModuleFileNameFails(),
         "Brixhold.exe: Failed to get the module file name\n", {GetModuleFileNameCall}},
        {"no backslash", ModuleFileName("C:/PKG/BRIXHOLD.EXE"), notValid,
         PathCalls("C:/PKG/BRIXHOLD.EXE")},
        // What the code page cannot show becomes '?' or a look-alike: a path to some
        // other directory, or to none.
        {"not the real path: '?'", NotTheRealPath("V:\\???? 1\\BRIXHOLD.EXE", L"V:\\\x0414\x0438\x0441\x043A 1\\BRIXHOLD.EXE"),
         notValid, {GetModuleFileNameCall, GetModuleFileNameWideCall, ConvertBackCall("V:\\???? 1\\BRIXHOLD.EXE")}},
        {"not the real path: look-alike", NotTheRealPath("B:\\Lodz\\BRIXHOLD.EXE", L"B:\\\x0141\x00F3d\x017A\\BRIXHOLD.EXE"),
         notValid, {GetModuleFileNameCall, GetModuleFileNameWideCall, ConvertBackCall("B:\\Lodz\\BRIXHOLD.EXE")}},
        {"real path longer", NotTheRealPath("B:\\PKG\\BRIXHOLD.EXE", L"B:\\PKG\\BRIXHOLD.EXE" + std::wstring(250, L'x')),
         notValid, {GetModuleFileNameCall, GetModuleFileNameWideCall}},
        {"not the real path: last character", NotTheRealPath("B:\\PKG\\LAUNCH?", L"B:\\PKG\\LAUNCH\x0414"),
         notValid, {GetModuleFileNameCall, GetModuleFileNameWideCall, ConvertBackCall("B:\\PKG\\LAUNCH?")}},
        {"launcher named SETUP.EXE", ModuleFileName("D:\\PKG\\setup.exe"), notValid,
         PathCalls("D:\\PKG\\setup.exe")},
        {"real path a character shorter", NotTheRealPath("B:\\PKG\\BRIXHOLD.EXE", L"B:\\PKG\\BRIXHOLD.EX"),
         notValid, {GetModuleFileNameCall, GetModuleFileNameWideCall, ConvertBackCall("B:\\PKG\\BRIXHOLD.EXE")}},
        {"conversion fails", ConversionFails(), notValid,
         {GetModuleFileNameCall, GetModuleFileNameWideCall, ConvertBackCall(DefaultPath)}},
        {"directory too long", ModuleFileName(DirectoryOfLength(115) + "\\BRIXHOLD.EXE"),
         tooLong, PathCalls(DirectoryOfLength(115) + "\\BRIXHOLD.EXE")},
        {"path cut short", ModuleFileName(cutShort), tooLong, {GetModuleFileNameCall}},
        {"path cut short, unterminated",
         ModuleFileName(cutShort, ModuleFileNameTruncation::Unterminated), tooLong,
         {GetModuleFileNameCall}},
        {"INF absent", Entries(Entry::Absent, Entry::File),
         "Brixhold.exe: INF D:\\PKG\\DISK1\\BRIXHOLD.INF not found.\n",
         Then(PathCalls(DefaultPath), {FindFirstFileCall(std::string(DefaultDirectory) + "\\BRIXHOLD.INF", "not found")})},
        // The INF file is reported first when both are missing.
        {"INF and setup program absent", Entries(Entry::Absent, Entry::Absent),
         "Brixhold.exe: INF D:\\PKG\\DISK1\\BRIXHOLD.INF not found.\n",
         Then(PathCalls(DefaultPath), {FindFirstFileCall(std::string(DefaultDirectory) + "\\BRIXHOLD.INF", "not found")})},
        // Without its own SETUP.EXE the launcher starts none, and says so as Windows would.
        {"setup program absent", Entries(Entry::File, Entry::Absent), FailedStartOutput("2"),
         Then(PathCalls(DefaultPath), {infSearch, "FindClose(find#1)", FindFirstFileCall(setupSearch, "not found")})},
        {"setup program a directory", Entries(Entry::File, Entry::Directory), FailedStartOutput("2"),
         Then(PathCalls(DefaultPath), {infSearch, "FindClose(find#1)",
              FindFirstFileCall(setupSearch, "find#2, directory"), "FindClose(find#2)"})},
        {"setup program not started", StartFails(2), FailedStartOutput("2"), FailedStartCalls("2")},
        {"elevation required", StartFails(740), FailedStartOutput("740"), FailedStartCalls("740")},
        // Shown as a signed decimal, as the message always has.
        {"error number with the top bit set", StartFails(0x80070005UL),
         FailedStartOutput("-2147024891"), FailedStartCalls("2147942405")},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const LauncherRun run = RunAgainst(c.Script);
        EXPECT_EQ(1, run.Status);
        EXPECT_EQ(c.ExpectedOutput, run.Output);
        EXPECT_EQ(c.ExpectedCalls, KernelCalls());
        EXPECT_EQ(Calls(), OpenHandles());
    }
}

} // namespace
