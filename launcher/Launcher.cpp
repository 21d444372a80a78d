#include "launcher/Launcher.h"

#include <stdio.h>
#include <string.h>

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

// ERROR_FILE_NOT_FOUND: what Windows reports when it finds no program to start.
const int ErrorFileNotFound = 2;

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

// GetModuleFileNameA gives the launcher's path converted to the ANSI code page, where a
// character the code page lacks becomes '?' or a look-alike: a path to some other
// directory, or to none. It is the real path only if it converts back to the one Windows
// holds in UTF-16. Where the system has no wide calls (Windows 9x) there is nothing to
// compare with, and the path is taken as it is.
bool ModuleFileNameIsExact(const char* modulePath, unsigned long length)
{
    wchar_t realPath[MaxPath];
    const unsigned long realLength = Kernel::GetModuleFileNameW(nullptr, realPath, MaxPath);
    if (realLength == 0) {
        return true;
    }
    // A full buffer: the real path is longer than the one in the code page.
    if (realLength >= MaxPath) {
        return false;
    }
    wchar_t convertedPath[MaxPath];
    const int convertedLength = Kernel::MultiByteToWideChar(
        Kernel::AnsiCodePage, modulePath, static_cast<int>(length), convertedPath, MaxPath);
    return static_cast<unsigned long>(convertedLength) == realLength &&
           memcmp(convertedPath, realPath, realLength * sizeof realPath[0]) == 0;
}

// The lead bytes of the ANSI code page. Should Windows not tell them, the path is read
// as single bytes, as on Western systems.
CodePage GetAnsiCodePage()
{
    CodePage codePage = {};
    if (!Kernel::GetCPInfo(Kernel::AnsiCodePage, codePage.LeadByteRanges)) {
        codePage = CodePage();
    }
    return codePage;
}

// Whether an entry of that name is there, and its attributes; nothing is opened or read.
bool FindEntry(const char* path, unsigned long* attributes)
{
    Kernel::Handle find = nullptr;
    if (!Kernel::FindFirstFileA(path, &find, attributes)) {
        return false;
    }
    Kernel::FindClose(find);
    return true;
}

// Any entry of that name passes, file or directory.
bool InfFileExists(const char* infPath)
{
    unsigned long attributes = 0;
    return FindEntry(infPath, &attributes);
}

// Only a file passes. Without one beside the launcher, Windows would go on to look for
// SETUP.EXE in the current directory and along the search path, and start whatever it
// found there.
bool SetupProgramExists(const char* setupPath)
{
    unsigned long attributes = 0;
    return FindEntry(setupPath, &attributes) &&
           (attributes & Kernel::FileAttributeDirectory) == 0;
}

// No application name, so that a 16-bit setup program starts too: Windows takes
// SETUP.EXE, the first token of the command line, and looks for it first in the
// launcher's own directory, where SetupProgramExists has found it. It runs in the
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

    if (!ModuleFileNameIsExact(modulePath, length)) {
        return ReportFailure(MessageModuleFileNameNotValid);
    }

    LaunchPlan plan;
    switch (BuildLaunchPlan(modulePath, GetAnsiCodePage(), &plan)) {
    case LaunchPlanResult::Built:
        break;
    case LaunchPlanResult::NoSeparator:
    case LaunchPlanResult::NamedSetupProgram:
        return ReportFailure(MessageModuleFileNameNotValid);
    case LaunchPlanResult::TooLong:
        return ReportFailure(MessageModuleFileNameTooLong);
    }

    if (!InfFileExists(plan.InfPath)) {
        return ReportFailure(MessageInfNotFound, plan.InfPath);
    }
    // Reported as Windows would report a start that found no program.
    if (!SetupProgramExists(plan.SetupPath)) {
        return ReportFailure(MessageRunFailed, plan.CommandLine, ErrorFileNotFound);
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
