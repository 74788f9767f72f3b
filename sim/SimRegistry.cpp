// Registry door methods: journaling and injected failures in front of the registry store.
#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

namespace {

constexpr DWORD MaximumAllowed = 0x02000000;

LONG Code(DWORD code) {
    return static_cast<LONG>(code);
}

HKEY KeyHandle(std::uintptr_t number) {
    return reinterpret_cast<HKEY>(number);
}

}  // namespace

LONG SimWindows::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
    if (LONG injected = EnterRegistry("RegOpenKeyA", {HandleText(key), Quoted(subKey)})) {
        if (result != nullptr) *result = nullptr;
        return injected;
    }
    if (result == nullptr) return Code(error::InvalidParameter);
    *result = nullptr;
    if (subKey == nullptr || *subKey == 0) {
        // The 16-bit compatible form hands back the very handle it was given.
        std::string path;
        DWORD access = 0;
        if (LONG status = registry.KeyOf(key, path, access)) return status;
        *result = key;
        return 0;
    }
    const std::uintptr_t handle = core_->nextHandle;
    const LONG status = registry.Open(key, subKey, MaximumAllowed, false, handle, nullptr);
    if (status == 0) *result = KeyHandle(NewHandle());
    return status;
}

LONG SimWindows::RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD desired,
                               HKEY* result) {
    if (LONG injected = EnterRegistry(
            "RegOpenKeyExA", {HandleText(key), Quoted(subKey), Hex(options), Hex(desired)})) {
        if (result != nullptr) *result = nullptr;
        return injected;
    }
    if (result == nullptr) return Code(error::InvalidParameter);
    *result = nullptr;
    const std::uintptr_t handle = core_->nextHandle;
    const LONG status = registry.Open(key, subKey, desired, false, handle, nullptr);
    if (status == 0) *result = KeyHandle(NewHandle());
    return status;
}

LONG SimWindows::RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                                 DWORD options, DWORD desired, void* security, HKEY* result,
                                 DWORD* disposition) {
    if (LONG injected =
            EnterRegistry("RegCreateKeyExA",
                          {HandleText(key), Quoted(subKey), Hex(reserved), Quoted(keyClass),
                           Hex(options), Hex(desired), security == nullptr ? "NULL" : "PTR"})) {
        if (result != nullptr) *result = nullptr;
        return injected;
    }
    if (result == nullptr || subKey == nullptr) return Code(error::InvalidParameter);
    *result = nullptr;
    const std::uintptr_t handle = core_->nextHandle;
    const LONG status = registry.Open(key, subKey, desired, true, handle, disposition);
    if (status == 0) *result = KeyHandle(NewHandle());
    return status;
}

LONG SimWindows::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                  BYTE* data, DWORD* dataSize) {
    // Whether the type is asked for shows (NULL or PTR); the data buffer is left out, its size
    // kept.
    if (LONG injected = EnterRegistry(
            "RegQueryValueExA",
            {HandleText(key), Quoted(valueName), reserved == nullptr ? "NULL" : "PTR",
             type == nullptr ? "NULL" : "PTR", dataSize == nullptr ? "NULL" : Hex(*dataSize)})) {
        return injected;
    }
    if (reserved != nullptr) return Code(error::InvalidParameter);
    return registry.Query(key, valueName, type, data, dataSize);
}

LONG SimWindows::RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD dataSize) {
    if (LONG injected = EnterRegistry("RegSetValueExA",
                                      {HandleText(key), Quoted(valueName), Hex(reserved), Hex(type),
                                       QuotedBytes(data, dataSize), Hex(dataSize)})) {
        return injected;
    }
    return registry.Set(key, valueName, type, data, dataSize);
}

LONG SimWindows::RegCloseKey(HKEY key) {
    if (LONG injected = EnterRegistry("RegCloseKey", {HandleText(key)})) return injected;
    return registry.Close(key);
}

LONG SimWindows::RegDeleteKeyA(HKEY key, const char* subKey) {
    if (LONG injected = EnterRegistry("RegDeleteKeyA", {HandleText(key), Quoted(subKey)})) {
        return injected;
    }
    return registry.Delete(key, subKey);
}

// Subkeys are not listed: the simulated machine is on its way out.
LONG SimWindows::RegEnumKeyA(HKEY key, DWORD, char*, DWORD) {
    if (LONG injected = EnterRegistry("RegEnumKeyA", {HandleText(key)})) return injected;
    return static_cast<LONG>(error::NoMoreItems);
}

}  // namespace sim
