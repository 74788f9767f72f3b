// The program's process: start and end, command line, module path, ANSI helpers and the last
// error.
#include <algorithm>
#include <cstring>

#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

void SimWindows::StartProcess(std::string commandLine, std::string modulePath,
                              std::string standardInput) {
    CloseProcessHandles();
    recorder_.Revive();
    Core& core = *core_;
    core.commandLine = std::move(commandLine);
    core.modulePath = std::move(modulePath);
    core.processId = core.processId == 0 ? 0x5A4 : core.processId + 4;
    for (StdStream& stream : core.streams) {
        stream.open = true;
        stream.input.clear();
        stream.position = 0;
        stream.output.clear();
        stream.writes.clear();
    }
    core.streams[0].input = std::move(standardInput);
    core.nextHandle = 1;
    core.enabled = {23};  // SeChangeNotifyPrivilege is enabled in every token
}

void SimWindows::EndProcess() {
    CloseProcessHandles();
}

void SimWindows::CloseProcessHandles() {
    files.CloseAll();
    registry.CloseAll();
    core_->kernel.clear();
}

void SimWindows::SetLeadBytes(std::set<unsigned char> leadBytes) {
    core_->leadBytes = std::move(leadBytes);
}

void SimWindows::SetOemConversion(std::function<std::string(std::string)> convert) {
    core_->oem = std::move(convert);
}

DWORD SimWindows::ProcessId() const {
    return core_->processId;
}

std::size_t SimWindows::OpenKernelHandleCount() const {
    return core_->kernel.size();
}

// --- door methods --------------------------------------------------------------------------

const char* SimWindows::GetCommandLineA() {
    EnterInfallible("GetCommandLineA", {});
    return core_->commandLine.c_str();
}

const char* SimWindows::CharNextA(const char* current) {
    EnterInfallible("CharNextA",
                    {current == nullptr ? "NULL" : QuotedBytes(current, *current != 0)});
    if (current == nullptr || *current == 0) return current;  // never past the terminating zero
    if (core_->leadBytes.count(static_cast<unsigned char>(*current)) != 0 && current[1] != 0) {
        return current + 2;
    }
    return current + 1;
}

DWORD SimWindows::GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
    if (Enter("GetModuleFileNameA", {HandleText(module), Hex(size)})) return 0;
    if (module != nullptr) {
        lastError_ = code::ModuleNotFound;
        return 0;
    }
    if (size == 0) {
        lastError_ = error::Success;
        return 0;
    }
    if (fileName == nullptr) {
        lastError_ = code::NoAccess;
        return 0;
    }
    const std::string& path = core_->modulePath;
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    // Windows XP and before: truncated to the size, without a terminating zero, answering the
    // size; the last error stays as it was.
    std::memcpy(fileName, path.data(), size);
    return size;
}

BOOL SimWindows::CharToOemA(const char* source, char* destination) {
    if (Enter("CharToOemA", {Quoted(source)})) return FALSE;
    if (source == nullptr || destination == nullptr) {
        lastError_ = error::InvalidParameter;
        return FALSE;
    }
    const std::string text(source);
    std::string converted = core_->oem ? core_->oem(text) : text;
    converted.resize(std::min(converted.size(), text.size()));  // a byte for a byte at most
    std::memcpy(destination, converted.c_str(), converted.size() + 1);
    return TRUE;
}

DWORD SimWindows::GetLastError() {
    EnterInfallible("GetLastError", {});
    return lastError_;
}

}  // namespace sim
