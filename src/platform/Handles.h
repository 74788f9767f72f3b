// Owning wrappers for Windows handles. Each alias names the function that closes its kind of
// handle and the value that means "none", so a file handle (none = INVALID_HANDLE_VALUE) cannot
// be confused with a process or token handle (none = null) or a registry key.
#pragma once

#include <utility>

#include "platform/WindowsApi.h"

namespace zorvane {

template <typename Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() : value_(Traits::None()) {}
    explicit UniqueHandle(Type value) : value_(value) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const { return value_; }
    bool Valid() const { return value_ != Traits::None(); }
    explicit operator bool() const { return Valid(); }

    // For out-parameters: closes what is held and hands out the slot.
    Type* Put() {
        Reset();
        return &value_;
    }

    Type Release() { return std::exchange(value_, Traits::None()); }

    void Reset(Type value = Traits::None()) {
        Type old = std::exchange(value_, value);
        if (old != Traits::None()) Traits::Close(old);
    }

  private:
    Type value_;
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type None() { return InvalidHandleValue(); }
    static void Close(Type h) { Windows().CloseHandle(h); }
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type None() { return nullptr; }
    static void Close(Type h) { Windows().CloseHandle(h); }
};

struct SearchHandleTraits {
    using Type = HANDLE;
    static Type None() { return InvalidHandleValue(); }
    static void Close(Type h) { Windows().FindClose(h); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type None() { return nullptr; }
    static void Close(Type h) { Windows().RegCloseKey(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;      // CreateFileA
using KernelHandle = UniqueHandle<KernelHandleTraits>;  // processes and tokens
using SearchHandle = UniqueHandle<SearchHandleTraits>;  // FindFirstFileA
using RegistryKey = UniqueHandle<RegistryKeyTraits>;    // RegOpenKey*, RegCreateKeyExA

}  // namespace zorvane
