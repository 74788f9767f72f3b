#include "platform/Registry.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/RunLog.h"

namespace zorvane {

namespace {

// Access asked for by HasKey: enough to see the key, nothing that needs write rights.
constexpr DWORD HasKeyAccess = StandardRightsRead | KeyQueryValue | KeyEnumerateSubKeys;

}  // namespace

TRegistry::~TRegistry() {
    CloseCurrentKey();
}

void TRegistry::SelectRoot(HKEY root) {
    if (root == rootKey_) return;
    rootKey_ = root;
    CloseCurrentKey();
}

// A leading backslash makes the path absolute under the root key; any other path is relative to
// the current key, or to the root key when no key is current.
TRegistry::ResolvedPath TRegistry::Resolve(std::string_view path) const {
    if (!path.empty() && path.front() == '\\')
        return {rootKey_, std::string(path.substr(1)), false};
    if (currentKey_) return {currentKey_.Get(), std::string(path), true};
    return {rootKey_, std::string(path), false};
}

bool TRegistry::HasKey(std::string_view path) {
    const ResolvedPath resolved = Resolve(path);
    // Judged by the handle, not the status: the key counts only when Windows handed one out.
    RegistryKey probe;
    Windows().RegOpenKeyExA(resolved.base, resolved.subKey.c_str(), 0, HasKeyAccess, probe.Put());
    return probe.Valid();
}

bool TRegistry::OpenCurrentKey(std::string_view path, bool mayCreate) {
    const ResolvedPath resolved = Resolve(path);
    RegistryKey opened;
    LONG status;
    if (mayCreate && !resolved.subKey.empty()) {
        DWORD disposition = 0;
        status = Windows().RegCreateKeyExA(resolved.base, resolved.subKey.c_str(), 0, nullptr,
                                           RegOptionNonVolatile, access_, nullptr, opened.Put(),
                                           &disposition);
    } else {
        status = Windows().RegOpenKeyExA(resolved.base, resolved.subKey.c_str(), 0, access_,
                                         opened.Put());
    }
    if (status != static_cast<LONG>(error::Success)) {
        // A refused open leaves the previous current key open and current.
        opened.Release();
        return false;
    }
    std::string newPath =
        resolved.relativeToCurrent ? currentPath_ + "\\" + resolved.subKey : resolved.subKey;
    currentKey_ = std::move(opened);  // closes the previous current key
    currentPath_ = std::move(newPath);
    return true;
}

bool TRegistry::OpenCurrentKeyReadOnly(std::string_view path) {
    const DWORD access = std::exchange(access_, HasKeyAccess);
    const bool opened = OpenCurrentKey(path, false);
    access_ = access;
    return opened;
}

bool TRegistry::MakeKey(std::string_view path) {
    const ResolvedPath resolved = Resolve(path);
    RegistryKey created;
    DWORD disposition = 0;
    // Always full access here, whatever the object's access mask; the key is closed again at
    // once and does not become current.
    const LONG status = Windows().RegCreateKeyExA(resolved.base, resolved.subKey.c_str(), 0,
                                                  nullptr, RegOptionNonVolatile, KeyAllAccess,
                                                  nullptr, created.Put(), &disposition);
    if (status != static_cast<LONG>(error::Success)) {
        created.Release();
        throw ERegistryException(Join({"Failed to create key ", path}));
    }
    return true;
}

bool TRegistry::HasValue(std::string_view name) {
    const std::string valueName(name);
    DWORD type = 0;
    DWORD size = 0;
    return Windows().RegQueryValueExA(currentKey_.Get(), valueName.c_str(), nullptr, &type, nullptr,
                                      &size) == static_cast<LONG>(error::Success);
}

namespace {

// The stored bytes up to the first zero; data stored without one is taken whole.
std::string TextUpToZero(const std::vector<BYTE>& data) {
    return std::string(data.begin(), std::find(data.begin(), data.end(), BYTE{0}));
}

}  // namespace

// A missing value, an empty one, or no current key reads as empty data (false).
bool TRegistry::ReadValue(const std::string& name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    if (Windows().RegQueryValueExA(currentKey_.Get(), name.c_str(), nullptr, &type, nullptr,
                                   &size) != static_cast<LONG>(error::Success) ||
        size == 0) {
        return false;
    }
    data.assign(size, 0);
    if (Windows().RegQueryValueExA(currentKey_.Get(), name.c_str(), nullptr, &type, data.data(),
                                   &size) != static_cast<LONG>(error::Success)) {
        throw ERegistryException(Join({"Failed to get data for '", name, "'"}));
    }
    data.resize(std::min<std::size_t>(size, data.size()));
    return true;
}

std::string TRegistry::GetString(std::string_view name) {
    const std::string valueName(name);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(valueName, type, data)) return {};
    if (type != RegSz && type != RegExpandSz) {
        throw ERegistryException(Join({"Invalid data type for '", valueName, "'"}));
    }
    return TextUpToZero(data);
}

std::string TRegistry::GetText(std::string_view name) {
    const std::string valueName(name);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(valueName, type, data)) return {};
    if (type == RegDword && data.size() == 4) {
        return DecimalText(static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                      static_cast<std::uint32_t>(data[3]) << 24));
    }
    return TextUpToZero(data);
}

void TRegistry::PutString(std::string_view name, std::string_view text) {
    const std::string valueName(name);
    // For the log: what the value held before.
    const std::string old = RunLogOpen() ? OldTextForLog(valueName) : std::string();
    std::string data(text);
    data.push_back('\0');
    const LONG status = Windows().RegSetValueExA(currentKey_.Get(), valueName.c_str(), 0, RegSz,
                                                 reinterpret_cast<const BYTE*>(data.data()),
                                                 static_cast<DWORD>(data.size()));
    LogOutcome({"Set ", rootKey_ == HkeyLocalMachine() ? "HKLM\\" : "", currentPath_, " \"",
                valueName, "\" from ", old, " to ", Quoted(text)},
               status == static_cast<LONG>(error::Success), static_cast<DWORD>(status));
    if (status != static_cast<LONG>(error::Success))
        throw ERegistryException(Join({"Failed to set data for '", valueName, "'"}));
}

void TRegistry::DeleteValue(std::string_view name) {
    const std::string valueName(name);
    const auto status =
        static_cast<DWORD>(Windows().RegDeleteValueA(currentKey_.Get(), valueName.c_str()));
    if (RunLogOpen())
        Log({"Delete value ", rootKey_ == HkeyLocalMachine() ? "HKLM\\" : "", currentPath_, " \"",
             valueName, "\": ",
             status == error::FileNotFound ? "not there"
                                           : Outcome(status == error::Success, status)});
}

// The value's text as GetText reads it, or "nothing" when it is missing or unreadable.
std::string TRegistry::OldTextForLog(const std::string& name) {
    try {
        return currentKey_ && HasValue(name) ? Quoted(GetText(name)) : "nothing";
    } catch (const std::exception&) {
        return "nothing";
    }
}

void TRegistry::CloseCurrentKey() {
    currentKey_.Reset();
    currentPath_.clear();
}

}  // namespace zorvane
