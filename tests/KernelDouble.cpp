#include "tests/KernelDouble.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "launcher/Platform.h"

namespace {

struct KernelState {
    KernelScript Script;
    std::vector<std::string> Calls;
    std::map<Kernel::Handle, std::string> OpenHandles;
    // Each handle handed out is the address of a slot of its own; a run takes three.
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
    const std::string& path = State().Script.ModuleFileName;
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<unsigned long>(path.size());
    }
    std::memcpy(fileName, path.data(), size);
    if (State().Script.Truncation == ModuleFileNameTruncation::Terminated) {
        fileName[size - 1] = '\0';
    }
    return size;
}

bool FindFirstFileA(const char* fileName, Handle* find)
{
    if (!State().Script.InfFound) {
        Log("FindFirstFileA(" + Text(fileName) + ") -> not found");
        return false;
    }
    *find = OpenHandle("find");
    Log("FindFirstFileA(" + Text(fileName) + ") -> " + HandleName(*find));
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
