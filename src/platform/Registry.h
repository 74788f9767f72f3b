// Registry access by key path and value name, with one current key at a time.
// Creating keys and reading or writing values raise ERegistryException; tests and opens
// answer yes or no.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Handles.h"

namespace zorvane {

class TRegistry {
  public:
    TRegistry() = default;
    ~TRegistry();  // closes the current key
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    void SelectRoot(HKEY root);
    bool HasKey(std::string_view path);
    bool OpenCurrentKey(std::string_view path, bool mayCreate);
    // The same open with the rights to read values only: a key the program only reads opens
    // for an account that may not change it.
    bool OpenCurrentKeyReadOnly(std::string_view path);
    bool MakeKey(std::string_view path);
    bool HasValue(std::string_view name);
    std::string GetString(std::string_view name);
    // The value as text whatever its type, for values that tools store in more than one way:
    // REG_DWORD as its decimal digits, any other type as its bytes up to the first zero (the
    // first string of REG_MULTI_SZ). A missing value reads as the empty text.
    std::string GetText(std::string_view name);
    void PutString(std::string_view name, std::string_view text);
    // Deletes a value of the current key; a failure is logged, not raised.
    void DeleteValue(std::string_view name);
    void CloseCurrentKey();

    HKEY CurrentKey() const { return currentKey_.Get(); }
    const std::string& CurrentPath() const { return currentPath_; }
    HKEY RootKey() const { return rootKey_; }

  private:
    // Where a key path leads: the key it is below and the subkey given to Windows.
    struct ResolvedPath {
        HKEY base;
        std::string subKey;
        bool relativeToCurrent;
    };
    ResolvedPath Resolve(std::string_view path) const;
    std::string OldTextForLog(const std::string& name);
    // The data of a value; false when it is missing or empty, raises when the read fails.
    bool ReadValue(const std::string& name, DWORD& type, std::vector<BYTE>& data);

    RegistryKey currentKey_;
    std::string currentPath_;
    HKEY rootKey_ = HkeyCurrentUser();
    DWORD access_ = KeyAllAccess;
};

}  // namespace zorvane
