// The simulated machine's state beyond files and registry: the running process, its console
// streams and kernel objects, version, environment, token, restarts and the hiding driver.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/SimWindows.h"

namespace sim {

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct StdStream {
    StdKind kind = StdKind::Pipe;
    std::uintptr_t handle = 0;  // fixed per stream
    bool open = true;           // CloseHandle closes it for the rest of the process
    std::string input;          // standard input only
    std::size_t position = 0;
    std::string output;  // standard output and error
    std::vector<std::string> writes;
};

struct KernelObject {
    enum class Kind { Process, Token } kind;
    DWORD access = 0;
};

struct HidingDriver {
    std::string file;
    std::vector<std::string> hidden;
    std::vector<std::string> locked;
    bool loaded = false;
};

struct SimWindows::Core {
    // The process.
    std::string commandLine;
    std::string modulePath;
    DWORD processId = 0;
    std::set<unsigned char> leadBytes;
    std::function<std::string(std::string)> oem;
    StdStream streams[3];  // input, output, error
    std::map<std::uintptr_t, KernelObject> kernel;
    std::uintptr_t nextHandle = 1;

    // Version and environment.
    WindowsVersion version = WindowsVersion::Xp;
    int servicePack = 2;
    std::map<std::string, std::pair<std::string, std::string>> environment;  // by upper name
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemDirectory = "C:\\WINDOWS\\system32";

    // Token and restarts.
    bool shutdownHeld = true;
    std::set<DWORD> enabled;  // privilege LUIDs enabled in the process token
    bool exitAccepts = true;
    std::vector<RestartRequest> restarts;

    std::optional<HidingDriver> driver;

    StdStream* Stream(std::uintptr_t handle) {
        for (StdStream& stream : streams) {
            if (stream.handle == handle && stream.open) return &stream;
        }
        return nullptr;
    }
    bool IsNt() const {
        return version != WindowsVersion::Win95 && version != WindowsVersion::Win98 &&
               version != WindowsVersion::WinMe;
    }
};

std::string UpperAscii(std::string_view text);

}  // namespace sim
