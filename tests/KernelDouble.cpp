#include "tests/KernelDouble.h"

#include <algorithm>
#include <map>

#include "launcher/Platform.h"

namespace {

struct KernelState {
    KernelScript Script;
    std::vector<std::string> Calls;
    std::map<Kernel::Handle, std::string> OpenHandles;
    // Each handle handed out is the address of a slot of its own; a run takes four.
    char HandleSlots[16];
    size_t HandlesHandedOut;
};

KernelState& State()
{
    static KernelState state = {};
    return state;
}

// Hands out a handle that no other call of the run returns, named for the log.
Kernel::Handle OpenHandle(const std::string& kind)
{
    KernelState& state = State();
    Kernel::Handle handle = &state.HandleSlots[state.HandlesHandedOut % sizeof state.HandleSlots];
    ++state.HandlesHandedOut;
    state.OpenHandles[handle] = kind + "#" + std::to_string(state.HandlesHandedOut);
    return handle;
}

std::string HandleName(Kernel::Handle handle)
{
    if (handle == nullptr) {
        return "null";
    }
    const auto open = State().OpenHandles.find(handle);
    return open == State().OpenHandles.end() ? "unknown handle" : open->second;
}

std::string Text(const char* text)
{
    return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
}

void Log(const std::string& call)
{
    State().Calls.push_back(call);
}

// Each byte becomes the character of the same number.
std::wstring Widened(const std::string& text)
{
    std::wstring wide;
    for (const char c : text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

// Copies path into buffer the way GetModuleFileName does: terminated when it fits,
// else cut to size characters, terminated or not as scripted. Returns what it returns.
template <typename Char>
unsigned long CopyModuleFileName(const std::basic_string<Char>& path, Char* buffer,
                                 unsigned long size)
{
    if (path.size() < size) {
        std::copy(path.c_str(), path.c_str() + path.size() + 1, buffer);
        return static_cast<unsigned long>(path.size());
    }
    std::copy(path.data(), path.data() + size, buffer);
    if (State().Script.Truncation == ModuleFileNameTruncation::Terminated) {
        buffer[size - 1] = Char();
    }
    return size;
}

Entry EntryNamed(const std::string& path)
{
    const std::string name = path.substr(path.rfind('\\') + 1);
    if (name == "BRIXHOLD.INF") {
        return State().Script.Inf;
    }
    return name == "SETUP.EXE" ? State().Script.Setup : Entry::Absent;
}

} // namespace

void ResetKernel(const KernelScript& script)
{
    KernelState& state = State();
    state.Script = script;
    state.Calls.clear();
    state.OpenHandles.clear();
    state.HandlesHandedOut = 0;
}

const std::vector<std::string>& KernelCalls()
{
    return State().Calls;
}

std::vector<std::string> OpenHandles()
{
    std::vector<std::string> names(State().OpenHandles.size());
    std::transform(State().OpenHandles.begin(), State().OpenHandles.end(), names.begin(),
                   [](const auto& open) { return open.second; });
    return names;
}

namespace Kernel {

unsigned long GetModuleFileNameA(Handle module, char* fileName, unsigned long size)
{
    Log("GetModuleFileNameA(" + HandleName(module) + ", " + std::to_string(size) + ")");
    if (State().Script.ModuleFileNameFails) {
        return 0;
    }
    return CopyModuleFileName(State().Script.ModuleFileName, fileName, size);
}

unsigned long GetModuleFileNameW(Handle module, wchar_t* fileName, unsigned long size)
{
    Log("GetModuleFileNameW(" + HandleName(module) + ", " + std::to_string(size) + ")");
    const KernelScript& script = State().Script;
    if (script.WideCallsMissing) {
        return 0;
    }
    return CopyModuleFileName(script.RealModuleFileName.empty() ? Widened(script.ModuleFileName)
                                                                : script.RealModuleFileName,
                              fileName, size);
}

int MultiByteToWideChar(unsigned int codePage, const char* text, int count,
                        wchar_t* wideText, int size)
{
    const std::string converted(text, static_cast<size_t>(count));
    Log("MultiByteToWideChar(" + std::to_string(codePage) + ", " + Text(converted.c_str()) +
        ", " + std::to_string(count) + ", " + std::to_string(size) + ")");
    if (State().Script.ConversionFails || count > size) {
        return 0;
    }
    const std::wstring wide = Widened(converted);
    std::copy(wide.begin(), wide.end(), wideText);
    return count;
}

bool GetCPInfo(unsigned int codePage, unsigned char (&leadByteRanges)[MaxLeadBytes])
{
    Log("GetCPInfo(" + std::to_string(codePage) + ")");
    std::copy(State().Script.LeadByteRanges.begin(), State().Script.LeadByteRanges.end(),
              leadByteRanges);
    return !State().Script.CodePageUnknown;
}

bool FindFirstFileA(const char* fileName, Handle* find, unsigned long* attributes)
{
    const Entry entry = EntryNamed(fileName);
    if (entry == Entry::Absent) {
        Log("FindFirstFileA(" + Text(fileName) + ") -> not found");
        return false;
    }
    *find = OpenHandle("find");
    *attributes = entry == Entry::Directory ? FileAttributeDirectory : 0x20; // archive
    Log("FindFirstFileA(" + Text(fileName) + ") -> " + HandleName(*find) +
        (entry == Entry::Directory ? ", directory" : ", file"));
    return true;
}

bool FindClose(Handle find)
{
    Log("FindClose(" + HandleName(find) + ")");
    return State().OpenHandles.erase(find) == 1;
}

bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    // cppcheck-suppress constParameter ; the seam's type, as in KERNEL32
                    unsigned long creationFlags, void* environment,
                    const char* currentDirectory, ProcessInformation* processInformation)
{
    std::string call = "CreateProcessA(" + Text(applicationName) + ", " + Text(commandLine) +
                       ", inherit " + (inheritHandles ? "true" : "false") + ", flags " +
                       std::to_string(creationFlags) + ", environment " +
                       (environment == nullptr ? "null" : "given") + ", directory " +
                       Text(currentDirectory) + ")";
    if (!State().Script.CreateProcessSucceeds) {
        Log(call + " -> failed");
        return false;
    }
    processInformation->Process = OpenHandle("process");
    processInformation->Thread = OpenHandle("thread");
    Log(call + " -> " + HandleName(processInformation->Process) + ", " +
        HandleName(processInformation->Thread));
    return true;
}

unsigned long GetLastError()
{
    Log("GetLastError() -> " + std::to_string(State().Script.LastError));
    return State().Script.LastError;
}

bool CloseHandle(Handle object)
{
    Log("CloseHandle(" + HandleName(object) + ")");
    return State().OpenHandles.erase(object) == 1;
}

} // namespace Kernel
