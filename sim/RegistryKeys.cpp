// The registry functions' semantics: handles, opening and creating, values, deletion.
#include <cstring>

#include "platform/AsciiText.h"
#include "sim/RegistryStore.h"
#include "sim/SimErrors.h"

namespace sim {

using namespace zorvane;

namespace {

constexpr DWORD KeyCreateSubKey = 0x4;
constexpr DWORD KeyRead = 0x20019;
constexpr DWORD MaximumAllowed = 0x02000000;

std::string Upper(std::string_view text) {
    return AsciiUpper(text);
}

bool Grants(DWORD access, DWORD right) {
    return (access & (right | code::GenericAll)) != 0 ||
           (right == KeyQueryValue && (access & GenericRead) != 0) ||
           (right == KeySetValue && (access & GenericWrite) != 0);
}

bool IsString(DWORD type) {
    return type == RegSz || type == RegExpandSz || type == RegMultiSz;
}

}  // namespace

LONG RegistryStore::KeyOf(HKEY handle, std::string& key, DWORD& access) const {
    if (handle == HkeyLocalMachine() || handle == HkeyCurrentUser()) {
        key = handle == HkeyLocalMachine() ? "HKLM" : "HKCU";
        access = KeyAllAccess;
        return 0;
    }
    const auto it = open_.find(reinterpret_cast<Handle>(handle));
    if (handle == nullptr || it == open_.end()) return static_cast<LONG>(error::InvalidHandle);
    const auto found = keys_.find(it->second.key);
    if (found == keys_.end() || found->second.id != it->second.id) {
        return static_cast<LONG>(code::KeyDeleted);  // deleted while this handle was open
    }
    key = it->second.key;
    access = it->second.access;
    return 0;
}

RegistryStore::Target RegistryStore::Below(const std::string& baseKey, const char* subKey) const {
    Target target;
    target.display = keys_.at(baseKey).path;
    if (subKey != nullptr && *subKey != 0) {
        // NT refuses a subkey that begins with a backslash, or has an empty name inside.
        const std::string text(subKey);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\\', start);
            if (end == std::string::npos) end = text.size();
            if (end == start) {
                target.error = static_cast<LONG>(code::BadPathname);
                return target;
            }
            target.display += "\\" + text.substr(start, end - start);
            start = end + 1;
        }
    }
    target.key = Canonical(target.display, &target.display);
    return target;
}

LONG RegistryStore::Open(HKEY base, const char* subKey, DWORD access, bool create, Handle handle,
                         DWORD* disposition) {
    std::string baseKey;
    DWORD baseAccess = 0;
    if (LONG status = KeyOf(base, baseKey, baseAccess)) return status;
    const Target target = Below(baseKey, subKey);
    if (target.error != 0) return target.error;

    const bool exists = keys_.count(target.key) != 0;
    if (!exists && !create) return static_cast<LONG>(error::FileNotFound);
    if (exists) {
        if ((access & MaximumAllowed) == 0 && Denied(target.key, access)) {
            return static_cast<LONG>(error::AccessDenied);
        }
        if (Denied(target.key, KeyRead)) return static_cast<LONG>(error::AccessDenied);
    } else {
        // Creating takes the right to create subkeys in the parent, whatever the handle's mask.
        const std::string parent = target.key.substr(0, target.key.rfind('\\'));
        if (Denied(parent, KeyCreateSubKey) || Denied(target.key, access)) {
            return static_cast<LONG>(error::AccessDenied);
        }
        MakeKeys(target.key, target.display);
    }
    DWORD granted = access;
    if ((access & MaximumAllowed) != 0) {
        granted = Denied(target.key, KeyAllAccess) ? KeyRead : KeyAllAccess;
    }
    open_[handle] = OpenKey{target.key, keys_.at(target.key).id, granted};
    if (disposition != nullptr) *disposition = exists ? 2 : 1;  // opened existing / created new
    return 0;
}

LONG RegistryStore::Query(HKEY handle, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    std::string key;
    DWORD access = 0;
    if (LONG status = KeyOf(handle, key, access)) return status;
    if (!Grants(access, KeyQueryValue)) return static_cast<LONG>(error::AccessDenied);
    if (data != nullptr && size == nullptr) return static_cast<LONG>(error::InvalidParameter);
    const Values& values = keys_.at(key).values;
    const auto value = values.find(Upper(name == nullptr ? "" : name));
    if (value == values.end()) return static_cast<LONG>(error::FileNotFound);

    const std::string& stored = value->second.data;
    const DWORD length = static_cast<DWORD>(stored.size());
    if (type != nullptr) *type = value->second.type;
    if (data == nullptr) {
        if (size != nullptr) *size = length;
        return 0;
    }
    if (*size < length) {
        *size = length;
        return static_cast<LONG>(error::MoreData);
    }
    std::memcpy(data, stored.data(), length);
    // A string stored without its terminating zero gets one when the buffer has room (NT).
    if (IsString(value->second.type) && (length == 0 || stored.back() != '\0') && length < *size) {
        data[length] = 0;
    }
    *size = length;
    return 0;
}

LONG RegistryStore::Set(HKEY handle, const char* name, DWORD type, const BYTE* data, DWORD size) {
    std::string key;
    DWORD access = 0;
    if (LONG status = KeyOf(handle, key, access)) return status;
    if (!Grants(access, KeySetValue) || Denied(key, KeySetValue)) {
        return static_cast<LONG>(error::AccessDenied);
    }
    if (data == nullptr && size > 0) return static_cast<LONG>(code::NoAccess);
    const std::string bytes =
        data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    keys_.at(key).values[Upper(name == nullptr ? "" : name)] = Value{type, bytes};
    return 0;
}

LONG RegistryStore::Close(HKEY handle) {
    if (handle == HkeyLocalMachine() || handle == HkeyCurrentUser()) return 0;
    if (handle == nullptr || open_.erase(reinterpret_cast<Handle>(handle)) == 0) {
        return static_cast<LONG>(error::InvalidHandle);
    }
    return 0;
}

LONG RegistryStore::Delete(HKEY base, const char* subKey) {
    std::string baseKey;
    DWORD baseAccess = 0;
    if (LONG status = KeyOf(base, baseKey, baseAccess)) return status;
    const Target target = Below(baseKey, subKey);
    if (target.error != 0) return target.error;
    if (keys_.count(target.key) == 0) return static_cast<LONG>(error::FileNotFound);
    // NT deletes only a key without subkeys, and never a root.
    const std::string below = target.key + "\\";
    const auto child = keys_.lower_bound(below);
    const bool hasSubkeys = child != keys_.end() && child->first.rfind(below, 0) == 0;
    if (target.key.find('\\') == std::string::npos || hasSubkeys ||
        Denied(target.key, code::DeleteAccess)) {
        return static_cast<LONG>(error::AccessDenied);
    }
    keys_.erase(target.key);
    return 0;
}

void RegistryStore::CloseAll() {
    open_.clear();
}

}  // namespace sim
