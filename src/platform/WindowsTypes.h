// The Windows types, records and constants the program uses, declared without <windows.h> so
// that the same sources build on a host that has no Windows headers. Records have the exact
// layout of their Windows counterparts (the real implementation checks this at compile time).
//
// Include this before <windows.h> wherever both are needed: many of these names are macros there.
#pragma once

#include <cstdint>

namespace zorvane {

#ifdef _WIN32
using DWORD = unsigned long;
using LONG = long;
#else
using DWORD = std::uint32_t;
using LONG = std::int32_t;
#endif
using BOOL = int;
using UINT = unsigned int;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using HANDLE = void*;
using HMODULE = void*;

// A registry key handle is a type of its own, so that it cannot be mixed up with a file handle.
struct RegistryKeyTag;
using HKEY = RegistryKeyTag*;

inline HKEY PredefinedKey(std::uint32_t value) {
    // Windows sign-extends the predefined keys (they are LONG values cast to a handle).
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
inline HKEY HkeyCurrentUser() {
    return PredefinedKey(0x80000001u);
}
inline HKEY HkeyLocalMachine() {
    return PredefinedKey(0x80000002u);
}

inline HANDLE InvalidHandleValue() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};

constexpr unsigned MaxPath = 260;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MaxPath];
    char cAlternateFileName[14];
};

// Security descriptors: the header of an access-control list and of each entry in it.
struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
struct ACCESS_ALLOWED_ACE {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
    DWORD Mask;
    DWORD SidStart;  // the SID begins here
};
constexpr BYTE AccessAllowedAceType = 0;
constexpr BYTE AccessDeniedAceType = 1;
constexpr BYTE InheritOnlyAce = 0x8;
constexpr DWORD OwnerSecurityInformation = 0x1;
constexpr DWORD DaclSecurityInformation = 0x4;
constexpr DWORD FsPersistentAcls = 0x8;
constexpr DWORD TokenUserClass = 1;  // GetTokenInformation's TokenUser

// Error codes (GetLastError and the registry functions' results).
namespace error {
constexpr DWORD Success = 0;
constexpr DWORD FileNotFound = 2;
constexpr DWORD PathNotFound = 3;
constexpr DWORD AccessDenied = 5;
constexpr DWORD InvalidHandle = 6;
constexpr DWORD NotReady = 21;
constexpr DWORD SharingViolation = 32;
constexpr DWORD FileExists = 80;
constexpr DWORD InvalidParameter = 87;
constexpr DWORD BrokenPipe = 109;
constexpr DWORD DiskFull = 112;
constexpr DWORD MoreData = 234;
constexpr DWORD NoMoreItems = 259;
constexpr DWORD NoSuchPrivilege = 1313;
constexpr DWORD PrivilegeNotHeld = 1314;
constexpr DWORD WriteProtect = 19;
constexpr DWORD ProcNotFound = 127;
constexpr DWORD InsufficientBuffer = 122;
}  // namespace error

// Standard handles.
constexpr DWORD StdInputHandle = static_cast<DWORD>(-10);
constexpr DWORD StdOutputHandle = static_cast<DWORD>(-11);
constexpr DWORD StdErrorHandle = static_cast<DWORD>(-12);

// GetFileType results.
constexpr DWORD FileTypeUnknown = 0;
constexpr DWORD FileTypeDisk = 1;
constexpr DWORD FileTypeChar = 2;
constexpr DWORD FileTypePipe = 3;

// CreateFileA.
constexpr DWORD GenericRead = 0x80000000u;
constexpr DWORD GenericWrite = 0x40000000u;
constexpr DWORD FileShareRead = 1;
constexpr DWORD FileShareWrite = 2;
constexpr DWORD CreateNew = 1;
constexpr DWORD CreateAlways = 2;
constexpr DWORD OpenExisting = 3;
constexpr DWORD OpenAlways = 4;
constexpr DWORD FileEnd = 2;  // SetFilePointer's move method
constexpr DWORD InvalidSetFilePointer = 0xFFFFFFFFu;

// File attributes.
constexpr DWORD FileAttributeReadOnly = 0x1;
constexpr DWORD FileAttributeHidden = 0x2;
constexpr DWORD FileAttributeSystem = 0x4;
constexpr DWORD FileAttributeDirectory = 0x10;
constexpr DWORD FileAttributeArchive = 0x20;
constexpr DWORD FileAttributeNormal = 0x80;

// MoveFileExA.
constexpr DWORD MovefileReplaceExisting = 1;
constexpr DWORD MovefileCopyAllowed = 2;
constexpr DWORD MovefileDelayUntilReboot = 4;
constexpr DWORD MovefileWriteThrough = 8;
constexpr UINT DriveFixed = 3;

// Registry.
constexpr DWORD RegNone = 0;
constexpr DWORD RegSz = 1;
constexpr DWORD RegExpandSz = 2;
constexpr DWORD RegBinary = 3;
constexpr DWORD RegDword = 4;
constexpr DWORD RegMultiSz = 7;
constexpr DWORD RegOptionNonVolatile = 0;
constexpr DWORD KeyQueryValue = 0x1;
constexpr DWORD KeySetValue = 0x2;
constexpr DWORD KeyEnumerateSubKeys = 0x8;
constexpr DWORD StandardRightsRead = 0x20000;
constexpr DWORD KeyAllAccess = 0xF003F;

// Versions.
constexpr DWORD VerPlatformWin32Windows = 1;
constexpr DWORD VerPlatformWin32Nt = 2;

// Privileges, processes and restarts.
constexpr DWORD TokenAdjustPrivileges = 0x20;
constexpr DWORD TokenQuery = 0x8;
constexpr DWORD SePrivilegeEnabled = 2;
constexpr DWORD ProcessAllAccess = 0x1F0FFF;
constexpr UINT EwxReboot = 2;
constexpr UINT EwxForce = 4;

}  // namespace zorvane
