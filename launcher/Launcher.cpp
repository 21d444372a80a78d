#include "launcher/Launcher.h"

#include <stdio.h>

#include "plan/LaunchPlan.h"
#include "launcher/Platform.h"

namespace {

// The prefix stays "Brixhold.exe: " whatever name the launcher was started under.
const char MessageNoModuleFileName[] = "Brixhold.exe: Failed to get the module file name\n";
const char MessageModuleFileNameNotValid[] = "Brixhold.exe: Module file name not valid\n";
const char MessageModuleFileNameTooLong[] = "Brixhold.exe: Module file name too long\n";
const char MessageInfNotFound[] = "Brixhold.exe: INF %s not found.\n";
const char MessageRunFailed[] = "Brixhold.exe: Failed to run: %s, Error Code: %d\n";

const int ExitSuccess = 0;
const int ExitFailure = 1;

// Print one of the messages above, filled in, and give the failure status for the entry
// routine to end with. Each line is flushed at once so that it is written out in full
// however the process ends. The run fails whether or not the line could be written:
// there is nowhere else to report it.
int ReportFailure(const char* message)
{
    static_cast<void>(fputs(message, stdout));
    static_cast<void>(fflush(stdout));
    return ExitFailure;
}

int ReportFailure(const char* format, const char* text)
{
    static_cast<void>(printf(format, text));
    static_cast<void>(fflush(stdout));
    return ExitFailure;
}

int ReportFailure(const char* format, const char* text, int number)
{
    static_cast<void>(printf(format, text, number));
    static_cast<void>(fflush(stdout));
    return ExitFailure;
}

// Any entry of that name passes, file or directory; nothing is opened or read.
bool InfFileExists(const char* infPath)
{
    Kernel::Handle find = nullptr;
    if (!Kernel::FindFirstFileA(infPath, &find)) {
        return false;
    }
    Kernel::FindClose(find);
    return true;
}

// No application name: Windows takes SETUP.EXE, the first token of the command line,
// and looks for it first in the launcher's own directory. The setup program runs in the
// source directory without the launcher's console; it inherits none of the launcher's
// handles but does get its environment. On failure *error holds the platform's error
// number, read before anything else can change it.
bool StartSetup(LaunchPlan* plan, Kernel::ProcessInformation* process, unsigned long* error)
{
    if (!Kernel::CreateProcessA(nullptr, plan->CommandLine, false, Kernel::DetachedProcess,
                                nullptr, plan->SourceDir, process)) {
        *error = Kernel::GetLastError();
        return false;
    }
    return true;
}

} // namespace

int RunLauncher()
{
    char modulePath[MaxPath];
    const unsigned long length = Kernel::GetModuleFileNameA(nullptr, modulePath, MaxPath);
    if (length == 0) {
        return ReportFailure(MessageNoModuleFileName);
    }
    // A full buffer means the path was cut short, and possibly left unterminated.
    if (length >= MaxPath) {
        return ReportFailure(MessageModuleFileNameTooLong);
    }

    LaunchPlan plan;
    switch (BuildLaunchPlan(modulePath, &plan)) {
    case LaunchPlanResult::Built:
        break;
    case LaunchPlanResult::NoSeparator:
        return ReportFailure(MessageModuleFileNameNotValid);
    case LaunchPlanResult::TooLong:
        return ReportFailure(MessageModuleFileNameTooLong);
    }

    if (!InfFileExists(plan.InfPath)) {
        return ReportFailure(MessageInfNotFound, plan.InfPath);
    }

    Kernel::ProcessInformation process = {};
    unsigned long error = 0;
    if (!StartSetup(&plan, &process, &error)) {
        // Shown as a signed decimal, the form in which users and scripts know the message.
        return ReportFailure(MessageRunFailed, plan.CommandLine, static_cast<int>(error));
    }
    // The launcher does not wait for the setup program: it lets go of it and ends.
    Kernel::CloseHandle(process.Thread);
    Kernel::CloseHandle(process.Process);
    return ExitSuccess;
}
