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

// The only way the launcher may start the setup program, as the double logs it.
std::string CreateProcessCall(const std::string& infPath, const std::string& sourceDir,
                              const std::string& result)
{
    return "CreateProcessA(null, \"SETUP.EXE -i " + infPath + " -s " + sourceDir +
           "\", inherit false, flags 8, environment null, directory \"" + sourceDir +
           "\") -> " + result;
}

std::string FindFirstFileCall(const std::string& infPath, const std::string& result)
{
    return "FindFirstFileA(\"" + infPath + "\") -> " + result;
}

Calls StartedCalls(const std::string& infPath, const std::string& sourceDir)
{
    return {GetModuleFileNameCall,
            FindFirstFileCall(infPath, "find#1"),
            "FindClose(find#1)",
            CreateProcessCall(infPath, sourceDir, "process#2, thread#3"),
            "CloseHandle(thread#3)",
            "CloseHandle(process#2)"};
}

// "C:\ddd...d", a directory of the given length.
std::string DirectoryOfLength(size_t length)
{
    return "C:\\" + std::string(length - 3, 'd');
}

struct StartCase {
    std::string ModulePath;
    Calls ExpectedCalls;
};

TEST(RunLauncher, StartsSetupDetachedInTheSourceDirAndLetsGoOfIt)
{
    const std::string deepest = DirectoryOfLength(114);
    const StartCase cases[] = {
        {"D:\\PKG\\DISK1\\BRIXHOLD.EXE",
         StartedCalls("D:\\PKG\\DISK1\\BRIXHOLD.INF", "D:\\PKG\\DISK1")},
        // At a drive root the setup program runs in the root, not the drive's current
        // directory; the launcher's own name does not matter.
        {"M:\\Brixhold.exe", StartedCalls("M:\\BRIXHOLD.INF", "M:\\")},
        {deepest + "\\BRIXHOLD.EXE", StartedCalls(deepest + "\\BRIXHOLD.INF", deepest)},
        // Every path shorter than the buffer is used: 259 characters fill it but for the
        // terminator.
        {deepest + "\\" + std::string(144, 'f'),
         StartedCalls(deepest + "\\BRIXHOLD.INF", deepest)},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.ModulePath);
        KernelScript script;
        script.ModuleFileName = c.ModulePath;
        const LauncherRun run = RunAgainst(script);
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

KernelScript ModuleFileName(const std::string& path,
    ModuleFileNameTruncation truncation = ModuleFileNameTruncation::Terminated)
{
    KernelScript script;
    script.ModuleFileName = path;
    script.Truncation = truncation;
    return script;
}

KernelScript InfAbsent()
{
    KernelScript script;
    script.InfFound = false;
    return script;
}

KernelScript StartFails(unsigned long error)
{
    KernelScript script;
    script.CreateProcessSucceeds = false;
    script.LastError = error;
    return script;
}

// The calls of a run whose start failed: the error number is read at once, and then
// nothing else is called.
Calls FailedStartCalls(const std::string& lastError)
{
    return {GetModuleFileNameCall,
            FindFirstFileCall("D:\\PKG\\DISK1\\BRIXHOLD.INF", "find#1"),
            "FindClose(find#1)",
            CreateProcessCall("D:\\PKG\\DISK1\\BRIXHOLD.INF", "D:\\PKG\\DISK1", "failed"),
            "GetLastError() -> " + lastError};
}

std::string FailedStartOutput(const std::string& errorCode)
{
    return "Brixhold.exe: Failed to run: SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s "
           "D:\\PKG\\DISK1, Error Code: " + errorCode + "\n";
}

TEST(RunLauncher, ReportsEachFailureAndStopsThere)
{
    const std::string tooLong = "Brixhold.exe: Module file name too long\n";
    const std::string cutShort = DirectoryOfLength(114) + "\\" + std::string(300, 'f');
    const FailureCase cases[] = {
        {"no module file name", ModuleFileNameFails(),
         "Brixhold.exe: Failed to get the module file name\n", {GetModuleFileNameCall}},
        {"no backslash", ModuleFileName("C:/PKG/BRIXHOLD.EXE"),
         "Brixhold.exe: Module file name not valid\n", {GetModuleFileNameCall}},
        {"directory too long", ModuleFileName(DirectoryOfLength(115) + "\\BRIXHOLD.EXE"),
         tooLong, {GetModuleFileNameCall}},
        {"path cut short", ModuleFileName(cutShort), tooLong, {GetModuleFileNameCall}},
        {"path cut short, unterminated",
         ModuleFileName(cutShort, ModuleFileNameTruncation::Unterminated), tooLong,
         {GetModuleFileNameCall}},
        {"INF absent", InfAbsent(),
         "Brixhold.exe: INF D:\\PKG\\DISK1\\BRIXHOLD.INF not found.\n",
         {GetModuleFileNameCall, FindFirstFileCall("D:\\PKG\\DISK1\\BRIXHOLD.INF", "not found")}},
        {"setup program not found", StartFails(2), FailedStartOutput("2"), FailedStartCalls("2")},
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
