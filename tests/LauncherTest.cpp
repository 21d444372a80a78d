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

struct StartCase {
    const char* ModulePath;
    Calls ExpectedCalls;
};

TEST(RunLauncher, StartsSetupDetachedInTheSourceDirAndLetsGoOfIt)
{
    const StartCase cases[] = {
        {"D:\\PKG\\DISK1\\BRIXHOLD.EXE",
         {GetModuleFileNameCall,
          "FindFirstFileA(\"D:\\PKG\\DISK1\\BRIXHOLD.INF\") -> find#1",
          "FindClose(find#1)",
          "CreateProcessA(null, \"SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1\", "
          "inherit false, flags 8, environment null, directory \"D:\\PKG\\DISK1\") "
          "-> process#2, thread#3",
          "CloseHandle(thread#3)",
          "CloseHandle(process#2)"}},
        // At a drive root the setup program runs in the root, not the drive's current directory.
        {"M:\\Brixhold.exe",
         {GetModuleFileNameCall,
          "FindFirstFileA(\"M:\\BRIXHOLD.INF\") -> find#1",
          "FindClose(find#1)",
          "CreateProcessA(null, \"SETUP.EXE -i M:\\BRIXHOLD.INF -s M:\\\", "
          "inherit false, flags 8, environment null, directory \"M:\\\") "
          "-> process#2, thread#3",
          "CloseHandle(thread#3)",
          "CloseHandle(process#2)"}},
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

const char TooLongOutput[] = "Brixhold.exe: Module file name too long\n";
const std::string DeepDirectory = "C:\\" + std::string(111, 'd'); // 114 characters
const std::string TooDeepDirectory = DeepDirectory + "d";       // 115 characters
const char StartCall[] =
    "CreateProcessA(null, \"SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1\", "
    "inherit false, flags 8, environment null, directory \"D:\\PKG\\DISK1\") -> failed";
const Calls CallsUpToStart = {
    GetModuleFileNameCall,
    "FindFirstFileA(\"D:\\PKG\\DISK1\\BRIXHOLD.INF\") -> find#1",
    "FindClose(find#1)",
    StartCall};

Calls With(Calls calls, const std::string& call)
{
    calls.push_back(call);
    return calls;
}

TEST(RunLauncher, ReportsEachFailureAndStopsThere)
{
    const FailureCase cases[] = {
        {"no module file name", ModuleFileNameFails(),
         "Brixhold.exe: Failed to get the module file name\n", {GetModuleFileNameCall}},
        {"no backslash", ModuleFileName("C:/PKG/BRIXHOLD.EXE"),
         "Brixhold.exe: Module file name not valid\n", {GetModuleFileNameCall}},
        {"directory too long", ModuleFileName(TooDeepDirectory + "\\BRIXHOLD.EXE"),
         TooLongOutput, {GetModuleFileNameCall}},
        {"path cut short", ModuleFileName(DeepDirectory + "\\" + std::string(300, 'f')),
         TooLongOutput, {GetModuleFileNameCall}},
        {"path cut short, unterminated",
         ModuleFileName(DeepDirectory + "\\" + std::string(300, 'f'),
                        ModuleFileNameTruncation::Unterminated),
         TooLongOutput, {GetModuleFileNameCall}},
        {"INF absent", InfAbsent(),
         "Brixhold.exe: INF D:\\PKG\\DISK1\\BRIXHOLD.INF not found.\n",
         {GetModuleFileNameCall, "FindFirstFileA(\"D:\\PKG\\DISK1\\BRIXHOLD.INF\") -> not found"}},
        // The error number is read before anything else and shown as a signed decimal.
        {"setup program not found", StartFails(2),
         "Brixhold.exe: Failed to run: SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1,"
         " Error Code: 2\n",
         With(CallsUpToStart, "GetLastError() -> 2")},
        {"elevation required", StartFails(740),
         "Brixhold.exe: Failed to run: SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1,"
         " Error Code: 740\n",
         With(CallsUpToStart, "GetLastError() -> 740")},
        {"error number with the top bit set", StartFails(0x80070005UL),
         "Brixhold.exe: Failed to run: SETUP.EXE -i D:\\PKG\\DISK1\\BRIXHOLD.INF -s D:\\PKG\\DISK1,"
         " Error Code: -2147024891\n",
         With(CallsUpToStart, "GetLastError() -> 2147942405")},
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

TEST(RunLauncher, AcceptsTheDeepestDirectoryThatFits)
{
    const LauncherRun run = RunAgainst(ModuleFileName(DeepDirectory + "\\BRIXHOLD.EXE"));
    EXPECT_EQ(0, run.Status);
    EXPECT_EQ("", run.Output);
    ASSERT_EQ(6U, KernelCalls().size());
    EXPECT_EQ("CreateProcessA(null, \"SETUP.EXE -i " + DeepDirectory + "\\BRIXHOLD.INF -s " +
                  DeepDirectory + "\", inherit false, flags 8, environment null, directory \"" +
                  DeepDirectory + "\") -> process#2, thread#3",
              KernelCalls()[3]);
}

} // namespace
