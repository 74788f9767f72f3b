// The environment and the system's directories.
#include <cstring>

#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

namespace {

// The answer of the functions that fill a caller's buffer with a text: its length when it
// fits with its terminating zero, otherwise the size needed, zero included.
DWORD CopyText(const std::string& text, char* buffer, DWORD size) {
    if (buffer != nullptr && text.size() < size) {
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return static_cast<DWORD>(text.size());
    }
    return static_cast<DWORD>(text.size() + 1);
}

}  // namespace

void SimWindows::SetEnv(const std::string& name, const std::string& value) {
    core_->environment[UpperAscii(name)] = {name, value};
}

void SimWindows::UnsetEnv(const std::string& name) {
    core_->environment.erase(UpperAscii(name));
}

DWORD SimWindows::GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
    if (Enter("GetEnvironmentVariableA", {Quoted(name), Hex(size)})) return 0;
    const auto it =
        name == nullptr ? core_->environment.end() : core_->environment.find(UpperAscii(name));
    if (it == core_->environment.end()) {
        lastError_ = code::EnvVarNotFound;
        return 0;
    }
    const std::string& value = it->second.second;
    if (value.empty()) {
        // Indistinguishable from a failure by the answer; the last error is left alone.
        if (buffer != nullptr && size > 0) buffer[0] = 0;
        return 0;
    }
    return CopyText(value, buffer, size);
}

UINT SimWindows::GetSystemDirectoryA(char* buffer, UINT size) {
    if (Enter("GetSystemDirectoryA", {Hex(size)})) return 0;
    return CopyText(core_->systemDirectory, buffer, size);
}

UINT SimWindows::GetWindowsDirectoryA(char* buffer, UINT size) {
    if (Enter("GetWindowsDirectoryA", {Hex(size)})) return 0;
    return CopyText(core_->windowsDirectory, buffer, size);
}

// Every drive is a fixed disk, no path has a short form of its own.
UINT SimWindows::GetDriveTypeA(const char* rootPathName) {
    if (Enter("GetDriveTypeA", {Quoted(rootPathName)})) return 0;
    return DriveFixed;
}

DWORD SimWindows::GetTempPathA(DWORD size, char* buffer) {
    if (Enter("GetTempPathA", {Hex(size)})) return 0;
    return CopyText(core_->windowsDirectory + "\\TEMP\\", buffer, size);
}

DWORD SimWindows::GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) {
    if (Enter("GetShortPathNameA", {Quoted(longPath), Hex(size)})) return 0;
    return CopyText(longPath, shortPath, size);
}

}  // namespace sim
