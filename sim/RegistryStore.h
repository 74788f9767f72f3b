// The registry of the simulated machine. Key paths name their root: "HKLM\SOFTWARE\..." or
// "HKEY_LOCAL_MACHINE\SOFTWARE\..." (also HKCU); key and value names are compared without
// regard to ASCII case. "SYSTEM\CurrentControlSet" is a link to "SYSTEM\ControlSet001".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

  private:
    friend class SimWindows;
    using DWORD = zorvane::DWORD;
    using LONG = zorvane::LONG;
    using Handle = std::uintptr_t;

    struct Key {
        std::string path;  // full path with the root, names as first created
        Values values;
        std::uint64_t id = 0;
    };
    struct OpenKey {
        std::string key;  // canonical upper-cased path
        std::uint64_t id = 0;
        DWORD access = 0;
    };
    struct Target {
        LONG error = 0;
        std::string key;      // canonical upper-cased path
        std::string display;  // with the names as given
    };

    // --- the Windows semantics behind the door methods (SimRegistry.cpp) ------------------
    // The key that a handle names (predefined roots included), or an error.
    LONG KeyOf(zorvane::HKEY handle, std::string& key, DWORD& access) const;
    Target Below(const std::string& baseKey, const char* subKey) const;
    bool Denied(const std::string& key, DWORD access) const;
    Key* FindKey(const std::string& key);
    Key& MakeKeys(const std::string& key, const std::string& display);
    LONG Open(zorvane::HKEY base, const char* subKey, DWORD access, bool create, Handle handle,
              DWORD* disposition);
    LONG Query(zorvane::HKEY handle, const char* name, DWORD* type, zorvane::BYTE* data,
               DWORD* size);
    LONG Set(zorvane::HKEY handle, const char* name, DWORD type, const zorvane::BYTE* data,
             DWORD size);
    LONG Close(zorvane::HKEY handle);
    LONG Delete(zorvane::HKEY base, const char* subKey);
    void CloseAll();  // the process ended

    static std::string Canonical(std::string_view path, std::string* display = nullptr);

    std::map<std::string, Key> keys_;  // by canonical upper-cased path
    std::map<Handle, OpenKey> open_;
    std::map<std::string, bool> denied_;  // key -> reading denied too
    std::uint64_t nextId_ = 1;

  public:
    RegistryStore();
};

}  // namespace sim
