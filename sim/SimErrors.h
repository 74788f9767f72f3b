// Windows error codes that the simulated machine answers besides those the program names.
#pragma once

#include "platform/WindowsTypes.h"

namespace sim::code {

using zorvane::DWORD;

constexpr DWORD NotSameDevice = 17;
constexpr DWORD WriteProtect = 19;
constexpr DWORD BadNetPath = 53;
constexpr DWORD CallNotImplemented = 120;
constexpr DWORD InsufficientBuffer = 122;
constexpr DWORD InvalidName = 123;
constexpr DWORD ModuleNotFound = 126;
constexpr DWORD BadPathname = 161;
constexpr DWORD AlreadyExists = 183;
constexpr DWORD EnvVarNotFound = 203;
constexpr DWORD FilenameTooLong = 206;
constexpr DWORD NoAccess = 998;
constexpr DWORD KeyDeleted = 1018;
constexpr DWORD NotAllAssigned = 1300;

// Generic and standard access rights, as files and registry keys interpret them.
constexpr DWORD DeleteAccess = 0x10000;
constexpr DWORD GenericAll = 0x10000000;

}  // namespace sim::code
