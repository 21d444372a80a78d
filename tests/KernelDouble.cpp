#include "tests/KernelDouble.h"

#include <cstdint>
#include <cstring>
#include <map>

#include "launcher/Platform.h"

namespace {

KernelScript script;
std::vector<std::string> calls;
std::map<Kernel::Handle, std::string> openHandles;
std::uintptr_t nextHandle = 0;

// Hands out a handle that no other call returns, named for the log.
Kernel::Handle OpenHandle(const std::string& kind)
{
    ++nextHandle;
    Kernel::Handle handle = reinterpret_cast<Kernel::Handle>(nextHandle * 4);
    openHandles[handle] = kind + "#" + std::to_string(nextHandle);
    return handle;
}

std::string HandleName(Kernel::Handle handle)
{
    if (handle == nullptr) {
        return "null";
    }
    const auto open = openHandles.find(handle);
    return open == openHandles.end() ? "unknown handle" : open->second;
}

std::string Text(const char* text)
{
    return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
}

void Log(const std::string& call)
{
    calls.push_back(call);
}

} // namespace

void ResetKernel(const KernelScript& newScript)
{
    script = newScript;
    calls.clear();
    openHandles.clear();
    nextHandle = 0;
}

const std::vector<std::string>& KernelCalls()
{
    return calls;
}

std::vector<std::string> OpenHandles()
{
    std::vector<std::string> names;
    for (const auto& open : openHandles) {
        names.push_back(open.second);
    }
    return names;
}

namespace Kernel {

unsigned long GetModuleFileNameA(Handle module, char* fileName, unsigned long size)
{
    Log("GetModuleFileNameA(" + HandleName(module) + ", " + std::to_string(size) + ")");
    if (script.ModuleFileNameFails) {
        return 0;
    }
    const std::string& path = script.ModuleFileName;
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<unsigned long>(path.size());
    }
    std::memcpy(fileName, path.data(), size);
    if (script.Truncation == ModuleFileNameTruncation::Terminated) {
        fileName[size - 1] = '\0';
    }
    return size;
}

bool FindFirstFileA(const char* fileName, Handle* find)
{
    if (!script.InfFound) {
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
    return openHandles.erase(find) == 1;
}

bool CreateProcessA(const char* applicationName, char* commandLine, bool inheritHandles,
                    unsigned long creationFlags, void* environment,
                    const char* currentDirectory, ProcessInformation* processInformation)
{
    std::string call = "CreateProcessA(" + Text(applicationName) + ", " + Text(commandLine) +
                       ", inherit " + (inheritHandles ? "true" : "false") + ", flags " +
                       std::to_string(creationFlags) + ", environment " +
                       (environment == nullptr ? "null" : "given") + ", directory " +
                       Text(currentDirectory) + ")";
    if (!script.CreateProcessSucceeds) {
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
    Log("GetLastError() -> " + std::to_string(script.LastError));
    return script.LastError;
}

bool CloseHandle(Handle object)
{
    Log("CloseHandle(" + HandleName(object) + ")");
    return openHandles.erase(object) == 1;
}

} // namespace Kernel
