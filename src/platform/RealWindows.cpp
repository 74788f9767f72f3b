// The one file that includes <windows.h>. Every method forwards to the Windows function of the
// same name with the same arguments; nothing is checked, converted or retried here, so the
// program sees exactly what the system answers.
//
// The program's own types come first: several of their names are macros in <windows.h>.
#include "platform/RealWindows.h"

#include "platform/WindowsApi.h"
#include "platform/WindowsTypes.h"

#include <windows.h>

#include <cstddef>

namespace zorvane {

// The program's records are handed to Windows as they are, so they must have Windows' layout.
static_assert(sizeof(zorvane::FILETIME) == sizeof(::FILETIME));
static_assert(sizeof(zorvane::LUID) == sizeof(::LUID));
static_assert(sizeof(zorvane::SYSTEMTIME) == sizeof(::SYSTEMTIME));
static_assert(sizeof(zorvane::LUID_AND_ATTRIBUTES) == sizeof(::LUID_AND_ATTRIBUTES));
static_assert(sizeof(zorvane::TOKEN_PRIVILEGES) == sizeof(::TOKEN_PRIVILEGES));
static_assert(offsetof(zorvane::TOKEN_PRIVILEGES, Privileges) ==
              offsetof(::TOKEN_PRIVILEGES, Privileges));
static_assert(sizeof(zorvane::OSVERSIONINFOA) == sizeof(::OSVERSIONINFOA));
static_assert(sizeof(zorvane::OSVERSIONINFOA) == 148);
static_assert(offsetof(zorvane::OSVERSIONINFOA, dwPlatformId) ==
              offsetof(::OSVERSIONINFOA, dwPlatformId));
static_assert(sizeof(zorvane::WIN32_FIND_DATAA) == sizeof(::WIN32_FIND_DATAA));
static_assert(offsetof(zorvane::WIN32_FIND_DATAA, ftLastWriteTime) ==
              offsetof(::WIN32_FIND_DATAA, ftLastWriteTime));
static_assert(offsetof(zorvane::WIN32_FIND_DATAA, cFileName) ==
              offsetof(::WIN32_FIND_DATAA, cFileName));
static_assert(MaxPath == MAX_PATH);
static_assert(sizeof(zorvane::ACL) == sizeof(::ACL) &&
              offsetof(zorvane::ACL, AceCount) == offsetof(::ACL, AceCount));
static_assert(offsetof(zorvane::ACCESS_ALLOWED_ACE, Mask) == offsetof(::ACCESS_ALLOWED_ACE, Mask) &&
              offsetof(zorvane::ACCESS_ALLOWED_ACE, SidStart) ==
                  offsetof(::ACCESS_ALLOWED_ACE, SidStart));
static_assert(AccessAllowedAceType == ACCESS_ALLOWED_ACE_TYPE &&
              AccessDeniedAceType == ACCESS_DENIED_ACE_TYPE && InheritOnlyAce == INHERIT_ONLY_ACE &&
              OwnerSecurityInformation == OWNER_SECURITY_INFORMATION &&
              DaclSecurityInformation == DACL_SECURITY_INFORMATION &&
              FsPersistentAcls == FS_PERSISTENT_ACLS && TokenUserClass == TokenUser);

// The program's constants are its own spelling of Windows' values.
static_assert(StdInputHandle == STD_INPUT_HANDLE && StdOutputHandle == STD_OUTPUT_HANDLE &&
              StdErrorHandle == STD_ERROR_HANDLE);
static_assert(FileTypeUnknown == FILE_TYPE_UNKNOWN && FileTypeDisk == FILE_TYPE_DISK &&
              FileTypeChar == FILE_TYPE_CHAR && FileTypePipe == FILE_TYPE_PIPE);
static_assert(GenericRead == GENERIC_READ && GenericWrite == GENERIC_WRITE &&
              CreateAlways == CREATE_ALWAYS && OpenExisting == OPEN_EXISTING &&
              OpenAlways == OPEN_ALWAYS && FileEnd == FILE_END &&
              InvalidSetFilePointer == INVALID_SET_FILE_POINTER);
static_assert(FileAttributeHidden == FILE_ATTRIBUTE_HIDDEN &&
              FileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
              FileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(MovefileReplaceExisting == MOVEFILE_REPLACE_EXISTING &&
              MovefileCopyAllowed == MOVEFILE_COPY_ALLOWED &&
              MovefileDelayUntilReboot == MOVEFILE_DELAY_UNTIL_REBOOT &&
              MovefileWriteThrough == MOVEFILE_WRITE_THROUGH);
static_assert(DriveFixed == DRIVE_FIXED);
static_assert(RegSz == REG_SZ && RegExpandSz == REG_EXPAND_SZ && KeyAllAccess == KEY_ALL_ACCESS);
static_assert(TokenAdjustPrivileges == TOKEN_ADJUST_PRIVILEGES && TokenQuery == TOKEN_QUERY &&
              SePrivilegeEnabled == SE_PRIVILEGE_ENABLED);
static_assert(EwxReboot == EWX_REBOOT && EwxForce == EWX_FORCE);
static_assert(VerPlatformWin32Nt == VER_PLATFORM_WIN32_NT);

namespace {

::HKEY ToWindows(HKEY key) {
    return reinterpret_cast<::HKEY>(key);
}
HKEY FromWindows(::HKEY key) {
    return reinterpret_cast<HKEY>(key);
}

class RealWindowsApi final : public WindowsApi {
  public:
    const char* GetCommandLineA() override { return ::GetCommandLineA(); }
    const char* CharNextA(const char* current) override { return ::CharNextA(current); }
    DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) override {
        return ::GetModuleFileNameA(static_cast<::HMODULE>(module), fileName, size);
    }
    HANDLE GetStdHandle(DWORD stdHandle) override { return ::GetStdHandle(stdHandle); }
    DWORD GetFileType(HANDLE file) override { return ::GetFileType(file); }
    BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) override {
        return ::ReadFile(file, buffer, toRead, read, static_cast<::OVERLAPPED*>(overlapped));
    }
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written,
                   void* overlapped) override {
        return ::WriteFile(file, buffer, toWrite, written, static_cast<::OVERLAPPED*>(overlapped));
    }
    BOOL CloseHandle(HANDLE object) override { return ::CloseHandle(object); }
    DWORD GetLastError() override { return ::GetLastError(); }
    void SetLastError(DWORD code) override { ::SetLastError(code); }
    BOOL CharToOemA(const char* source, char* destination) override {
        return ::CharToOemA(source, destination);
    }

    void GetLocalTime(SYSTEMTIME* time) override {
        ::GetLocalTime(reinterpret_cast<::SYSTEMTIME*>(time));
    }
    DWORD GetVersion() override { return ::GetVersion(); }
    BOOL GetVersionExA(OSVERSIONINFOA* versionInfo) override {
        return ::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(versionInfo));
    }
    DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) override {
        return ::GetEnvironmentVariableA(name, buffer, size);
    }
    DWORD SharedDataMajorVersion() override {
        return *reinterpret_cast<const volatile DWORD*>(0x7FFE026C);
    }
    BOOL IsWow64Process(HANDLE process, BOOL* wow64) override {
        using Function = BOOL(WINAPI*)(::HANDLE, ::BOOL*);
        const auto function = reinterpret_cast<Function>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
        if (function == nullptr) {
            ::SetLastError(ERROR_PROC_NOT_FOUND);
            return FALSE;
        }
        return function(process, wow64);
    }
    BOOL GetUserNameA(char* buffer, DWORD* size) override { return ::GetUserNameA(buffer, size); }

    LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override {
        ::HKEY opened = nullptr;
        LONG status = ::RegOpenKeyA(ToWindows(key), subKey, &opened);
        *result = FromWindows(opened);
        return status;
    }
    LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD desired,
                       HKEY* result) override {
        ::HKEY opened = nullptr;
        LONG status = ::RegOpenKeyExA(ToWindows(key), subKey, options, desired, &opened);
        *result = FromWindows(opened);
        return status;
    }
    LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                         DWORD options, DWORD desired, void* security, HKEY* result,
                         DWORD* disposition) override {
        ::HKEY created = nullptr;
        LONG status =
            ::RegCreateKeyExA(ToWindows(key), subKey, reserved, keyClass, options, desired,
                              static_cast<::SECURITY_ATTRIBUTES*>(security), &created, disposition);
        *result = FromWindows(created);
        return status;
    }
    LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override {
        return ::RegQueryValueExA(ToWindows(key), valueName, reserved, type, data, dataSize);
    }
    LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                        const BYTE* data, DWORD dataSize) override {
        return ::RegSetValueExA(ToWindows(key), valueName, reserved, type, data, dataSize);
    }
    LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(ToWindows(key)); }
    LONG RegDeleteKeyA(HKEY key, const char* subKey) override {
        return ::RegDeleteKeyA(ToWindows(key), subKey);
    }
    LONG RegDeleteValueA(HKEY key, const char* valueName) override {
        return ::RegDeleteValueA(ToWindows(key), valueName);
    }
    LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) override {
        return ::RegEnumKeyA(ToWindows(key), index, name, nameSize);
    }

    HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) override {
        return ::FindFirstFileA(fileName, reinterpret_cast<::WIN32_FIND_DATAA*>(findData));
    }
    BOOL FindClose(HANDLE findFile) override { return ::FindClose(findFile); }
    BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) override {
        return ::FileTimeToLocalFileTime(reinterpret_cast<const ::FILETIME*>(fileTime),
                                         reinterpret_cast<::FILETIME*>(localFileTime));
    }
    BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) override {
        return ::FileTimeToDosDateTime(reinterpret_cast<const ::FILETIME*>(fileTime), fatDate,
                                       fatTime);
    }
    HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* security,
                       DWORD creationDisposition, DWORD flags, HANDLE templateFile) override {
        return ::CreateFileA(fileName, desiredAccess, shareMode,
                             static_cast<::SECURITY_ATTRIBUTES*>(security), creationDisposition,
                             flags, templateFile);
    }
    BOOL DeleteFileA(const char* fileName) override { return ::DeleteFileA(fileName); }
    BOOL SetFileAttributesA(const char* fileName, DWORD attributes) override {
        return ::SetFileAttributesA(fileName, attributes);
    }
    BOOL MoveFileExA(const char* existingName, const char* newName, DWORD flags) override {
        return ::MoveFileExA(existingName, newName, flags);
    }
    UINT GetSystemDirectoryA(char* buffer, UINT size) override {
        return ::GetSystemDirectoryA(buffer, size);
    }
    DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) override {
        return ::SetFilePointer(file, distance, distanceHigh, method);
    }
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override {
        return ::GetWindowsDirectoryA(buffer, size);
    }
    UINT GetDriveTypeA(const char* rootPathName) override { return ::GetDriveTypeA(rootPathName); }
    DWORD QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD size) override {
        return ::QueryDosDeviceA(deviceName, targetPath, size);
    }
    DWORD GetTempPathA(DWORD size, char* buffer) override { return ::GetTempPathA(size, buffer); }
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) override {
        return ::GetShortPathNameA(longPath, shortPath, size);
    }
    BOOL CopyFileA(const char* existingName, const char* newName, BOOL failIfExists) override {
        return ::CopyFileA(existingName, newName, failIfExists);
    }
    BOOL FlushFileBuffers(HANDLE file) override { return ::FlushFileBuffers(file); }
    BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize,
                               DWORD* serialNumber, DWORD* maximumComponentLength,
                               DWORD* fileSystemFlags, char* fileSystemName,
                               DWORD fileSystemNameSize) override {
        return ::GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                       maximumComponentLength, fileSystemFlags, fileSystemName,
                                       fileSystemNameSize);
    }
    BOOL GetFileSecurityA(const char* fileName, DWORD requested, void* descriptor, DWORD length,
                          DWORD* needed) override {
        return ::GetFileSecurityA(fileName, requested, descriptor, length, needed);
    }
    BOOL GetSecurityDescriptorOwner(void* descriptor, void** owner, BOOL* defaulted) override {
        return ::GetSecurityDescriptorOwner(descriptor, owner, defaulted);
    }
    BOOL GetSecurityDescriptorDacl(void* descriptor, BOOL* present, ACL** dacl,
                                   BOOL* defaulted) override {
        return ::GetSecurityDescriptorDacl(descriptor, present, reinterpret_cast<::ACL**>(dacl),
                                           defaulted);
    }
    BOOL GetAce(ACL* acl, DWORD index, void** ace) override {
        return ::GetAce(reinterpret_cast<::ACL*>(acl), index, ace);
    }

    HANDLE GetCurrentProcess() override { return ::GetCurrentProcess(); }
    DWORD GetCurrentProcessId() override { return ::GetCurrentProcessId(); }
    HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) override {
        return ::OpenProcess(desiredAccess, inheritHandle, processId);
    }
    BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) override {
        return ::OpenProcessToken(process, desiredAccess, token);
    }
    BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override {
        return ::LookupPrivilegeValueA(systemName, name, reinterpret_cast<::LUID*>(luid));
    }
    BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TOKEN_PRIVILEGES* newState,
                               DWORD bufferLength, TOKEN_PRIVILEGES* previousState,
                               DWORD* returnLength) override {
        // Windows declares the new state writable but only reads it.
        auto* state =
            reinterpret_cast<::TOKEN_PRIVILEGES*>(const_cast<TOKEN_PRIVILEGES*>(newState));
        return ::AdjustTokenPrivileges(token, disableAll, state, bufferLength,
                                       reinterpret_cast<::TOKEN_PRIVILEGES*>(previousState),
                                       returnLength);
    }
    BOOL ExitWindowsEx(UINT flags, DWORD reserved) override {
        return ::ExitWindowsEx(flags, reserved);
    }
    BOOL GetTokenInformation(HANDLE token, DWORD informationClass, void* information, DWORD length,
                             DWORD* returnLength) override {
        return ::GetTokenInformation(token,
                                     static_cast<::TOKEN_INFORMATION_CLASS>(informationClass),
                                     information, length, returnLength);
    }
};

// No state and a trivial constructor: constant-initialised, ready before main runs.
RealWindowsApi realWindows;

}  // namespace

WindowsApi& RealWindows() {
    return realWindows;
}

}  // namespace zorvane
