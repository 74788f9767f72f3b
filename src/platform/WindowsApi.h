// The one door through which the program reaches Windows: a method per Windows function that it
// calls, in the ANSI form, with the arguments it passes. The real implementation forwards each
// method to kernel32, advapi32 or user32; the tests wrap that same implementation in a decorator.
#pragma once

#include "platform/WindowsTypes.h"

namespace zorvane {

class WindowsApi {
  public:
    virtual ~WindowsApi() = default;

    // Command line and console.
    virtual const char* GetCommandLineA() = 0;
    virtual const char* CharNextA(const char* current) = 0;
    virtual DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) = 0;
    virtual HANDLE GetStdHandle(DWORD stdHandle) = 0;
    virtual DWORD GetFileType(HANDLE file) = 0;
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read,
                          void* overlapped) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written,
                           void* overlapped) = 0;
    virtual BOOL CloseHandle(HANDLE object) = 0;
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD code) = 0;
    virtual BOOL CharToOemA(const char* source, char* destination) = 0;

    // Version, time and environment.
    virtual void GetLocalTime(SYSTEMTIME* time) = 0;
    virtual DWORD GetVersion() = 0;
    virtual BOOL GetVersionExA(OSVERSIONINFOA* versionInfo) = 0;
    virtual DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) = 0;
    // NtMajorVersion of the kernel's shared data page (KUSER_SHARED_DATA at 0x7FFE0000, since
    // NT 4.0): the version the system really is, whatever compatibility mode tells the program.
    virtual DWORD SharedDataMajorVersion() = 0;
    // Looked up at run time: NT 4.0, 2000 and XP before SP2 lack it; FALSE with error 127 then.
    virtual BOOL IsWow64Process(HANDLE process, BOOL* wow64) = 0;
    virtual BOOL GetUserNameA(char* buffer, DWORD* size) = 0;

    // Registry.
    virtual LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) = 0;
    virtual LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD desired,
                               HKEY* result) = 0;
    virtual LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                                 DWORD options, DWORD desired, void* security, HKEY* result,
                                 DWORD* disposition) = 0;
    virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                  BYTE* data, DWORD* dataSize) = 0;
    virtual LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD dataSize) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;
    virtual LONG RegDeleteKeyA(HKEY key, const char* subKey) = 0;
    virtual LONG RegDeleteValueA(HKEY key, const char* valueName) = 0;
    virtual LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) = 0;

    // Files.
    virtual HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) = 0;
    virtual BOOL FindClose(HANDLE findFile) = 0;
    virtual BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) = 0;
    virtual BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) = 0;
    virtual HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                               void* security, DWORD creationDisposition, DWORD flags,
                               HANDLE templateFile) = 0;
    virtual BOOL DeleteFileA(const char* fileName) = 0;
    virtual BOOL SetFileAttributesA(const char* fileName, DWORD attributes) = 0;
    virtual BOOL MoveFileExA(const char* existingName, const char* newName, DWORD flags) = 0;
    virtual DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) = 0;
    virtual UINT GetSystemDirectoryA(char* buffer, UINT size) = 0;
    virtual UINT GetWindowsDirectoryA(char* buffer, UINT size) = 0;
    virtual UINT GetDriveTypeA(const char* rootPathName) = 0;
    virtual DWORD QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD size) = 0;
    virtual DWORD GetTempPathA(DWORD size, char* buffer) = 0;
    virtual DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) = 0;
    virtual BOOL CopyFileA(const char* existingName, const char* newName, BOOL failIfExists) = 0;
    virtual BOOL FlushFileBuffers(HANDLE file) = 0;
    virtual BOOL GetVolumeInformationA(const char* rootPathName, char* volumeName,
                                       DWORD volumeNameSize, DWORD* serialNumber,
                                       DWORD* maximumComponentLength, DWORD* fileSystemFlags,
                                       char* fileSystemName, DWORD fileSystemNameSize) = 0;
    virtual BOOL GetFileSecurityA(const char* fileName, DWORD requestedInformation,
                                  void* descriptor, DWORD length, DWORD* lengthNeeded) = 0;
    virtual BOOL GetSecurityDescriptorOwner(void* descriptor, void** owner, BOOL* defaulted) = 0;
    virtual BOOL GetSecurityDescriptorDacl(void* descriptor, BOOL* present, ACL** dacl,
                                           BOOL* defaulted) = 0;
    virtual BOOL GetAce(ACL* acl, DWORD index, void** ace) = 0;

    // Privileges, processes and restart.
    virtual HANDLE GetCurrentProcess() = 0;
    virtual DWORD GetCurrentProcessId() = 0;
    virtual HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) = 0;
    virtual BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) = 0;
    virtual BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) = 0;
    virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                       const TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                       TOKEN_PRIVILEGES* previousState, DWORD* returnLength) = 0;
    virtual BOOL ExitWindowsEx(UINT flags, DWORD reserved) = 0;
    virtual BOOL GetTokenInformation(HANDLE token, DWORD informationClass, void* information,
                                     DWORD length, DWORD* returnLength) = 0;
};

// The implementation in use for this run; set by the program's entry (or a test) through
// WindowsScope before anything else runs.
WindowsApi& Windows();

class WindowsScope {
  public:
    explicit WindowsScope(WindowsApi& api);
    ~WindowsScope();
    WindowsScope(const WindowsScope&) = delete;
    WindowsScope& operator=(const WindowsScope&) = delete;

  private:
    WindowsApi* previous_;
};

}  // namespace zorvane
