// The registry of the simulated machine. Key paths name their root: "HKLM\SOFTWARE\..." or
// "HKEY_LOCAL_MACHINE\SOFTWARE\..." (also HKCU); key and value names are compared without
// regard to ASCII case. "SYSTEM\CurrentControlSet" is a link to "SYSTEM\ControlSet001".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/WindowsTypes.h"

namespace sim {

class RegistryStore {
  public:
    struct Value {
        zorvane::DWORD type = 0;
        std::string data;  // raw bytes, as stored
        bool operator==(const Value&) const = default;
    };
    using Values = std::map<std::string, Value>;  // by upper-cased value name

    // --- set-up and inspection by tests (never journaled) ---------------------------------
    void AddKey(std::string_view path);  // with missing parents
    bool KeyExists(std::string_view path) const;
    void DeleteKeyTree(std::string_view path);
    void SetValue(std::string_view path, std::string_view name, zorvane::DWORD type,
                  std::string_view data);  // creates the key
    // REG_SZ with the terminating zero, as Windows stores a string.
    void SetString(std::string_view path, std::string_view name, std::string_view text);
    void SetDword(std::string_view path, std::string_view name, std::uint32_t value);
    void DeleteValue(std::string_view path, std::string_view name);
    std::optional<Value> GetValue(std::string_view path, std::string_view name) const;
    // The data of a REG_SZ or REG_EXPAND_SZ value up to its first zero byte; nullopt when the
    // value is missing or of another type.
    std::optional<std::string> GetString(std::string_view path, std::string_view name) const;
    // Opening or creating the key (or a key below it) with any write access fails with 5;
    // with denyRead, every open fails with 5.
    void DenyAccess(std::string_view path, bool denyRead = false);
    std::map<std::string, Values> Listing() const;  // every key by upper-cased full path
    std::size_t OpenKeyCount() const;               // keys the program holds open
};

}  // namespace sim
