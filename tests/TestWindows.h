// The tests' Windows: the real implementation (Wine), wrapped. It forwards every call as it is,
// except what a case must control: failures and power cuts at chosen calls, names a hiding driver
// keeps out of directory listings, restart requests (recorded, never carried out), and the
// version, command line, module path, standard handles and "SystemDrive" a case sets. It also
// keeps a journal of the calls, for cases where their order matters.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/WindowsApi.h"

namespace zorvane::testing {

enum class Version { Win95, Win98, WinMe, Nt4, Win2000, Xp, Vista };

class TestWindows final : public WindowsApi {
  public:
    explicit TestWindows(WindowsApi& real);
    ~TestWindows() override;

    // --- what a case sets -------------------------------------------------------------------
    void SetVersion(Version version, bool versionRecord = true);
    void SetProcess(std::string commandLine, std::string modulePath);
    void SetStdHandles(HANDLE input, HANDLE output, HANDLE error);
    void SetSystemDrive(std::optional<std::string> value);
    void Hide(const std::string& path);  // as the hiding driver does, until Unhide
    void UnhideAll();

    // --- faults -----------------------------------------------------------------------------
    // The Nth counted call from now (1-based), or the Nth call of `name`, fails with `code`.
    void FailAt(int position, DWORD code);
    void FailCall(const std::string& name, int occurrence, DWORD code);
    // The Nth counted call and every later one fail without reaching Wine, as if the machine
    // lost its power just before it.
    void PowerCutAt(int position);
    bool PowerCut() const { return cut_; }
    // After a power cut (or a run that leaked): closes what the program left open, as a
    // machine that restarts would, and ends the cut; failures and a cut planned for later calls
    // stay.
    // Answers how many were open.
    int RestorePower();
    void ClearFaults();

    // --- what the program did ---------------------------------------------------------------
    struct Call {
        std::string name, args;
        bool counted = true;          // FailAt and PowerCutAt count it
        bool standardHandle = false;  // made on a standard handle
    };
    const std::vector<Call>& Journal() const { return journal_; }
    std::vector<std::string> JournalOf(const std::set<std::string>& names) const;
    void ClearJournal() { journal_.clear(); }
    int Counted() const { return counted_; }
    std::vector<UINT> restartRequests;

    // --- the door ---------------------------------------------------------------------------
    const char* GetCommandLineA() override;
    const char* CharNextA(const char* current) override;
    DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) override;
    HANDLE GetStdHandle(DWORD stdHandle) override;
    DWORD GetFileType(HANDLE file) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) override;
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written,
                   void* overlapped) override;
    BOOL CloseHandle(HANDLE object) override;
    DWORD GetLastError() override;
    void SetLastError(DWORD code) override;
    BOOL CharToOemA(const char* source, char* destination) override;
    void GetLocalTime(SYSTEMTIME* time) override;
    DWORD GetVersion() override;
    BOOL GetVersionExA(OSVERSIONINFOA* versionInfo) override;
    DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) override;
    LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
    LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD desired,
                       HKEY* result) override;
    LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                         DWORD options, DWORD desired, void* security, HKEY* result,
                         DWORD* disposition) override;
    LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override;
    LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                        const BYTE* data, DWORD dataSize) override;
    LONG RegCloseKey(HKEY key) override;
    LONG RegDeleteKeyA(HKEY key, const char* subKey) override;
    LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) override;
    HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) override;
    BOOL FindClose(HANDLE findFile) override;
    BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) override;
    BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) override;
    HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* security,
                       DWORD creationDisposition, DWORD flags, HANDLE templateFile) override;
    BOOL DeleteFileA(const char* fileName) override;
    BOOL SetFileAttributesA(const char* fileName, DWORD attributes) override;
    BOOL MoveFileExA(const char* existingName, const char* newName, DWORD flags) override;
    DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) override;
    UINT GetDriveTypeA(const char* rootPathName) override;
    DWORD GetTempPathA(DWORD size, char* buffer) override;
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) override;
    BOOL CopyFileA(const char* existingName, const char* newName, BOOL failIfExists) override;
    BOOL FlushFileBuffers(HANDLE file) override;
    UINT GetSystemDirectoryA(char* buffer, UINT size) override;
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
    HANDLE GetCurrentProcess() override;
    DWORD GetCurrentProcessId() override;
    HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) override;
    BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) override;
    BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) override;
    BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TOKEN_PRIVILEGES* newState,
                               DWORD bufferLength, TOKEN_PRIVILEGES* previousState,
                               DWORD* returnLength) override;
    BOOL ExitWindowsEx(UINT flags, DWORD reserved) override;

  private:
    // Journals the call and answers the error it must fail with, if any.
    std::optional<DWORD> Arrive(const char* name, std::string args, HANDLE handle = nullptr);
    template <class Result, class Forward>
    Result Pass(const char* name, std::string args, Result failed, Forward forward,
                HANDLE handle = nullptr);
    template <class Forward>
    LONG PassRegistry(const char* name, std::string args, Forward forward);
    template <class Handle>
    Handle Opened(Handle handle, int kind);
    void Closed(const void* handle);

    WindowsApi& real_;
    std::vector<Call> journal_;
    int counted_ = 0;
    std::optional<int> failAt_, cutAt_;
    DWORD failCode_ = 0;
    std::map<std::string, std::pair<int, DWORD>> failCalls_;  // name: occurrence, code
    std::map<std::string, int> seen_;
    bool cut_ = false;
    std::map<const void*, int> open_;  // what the program opened and has not closed, by kind
    std::set<std::string> hidden_;
    std::optional<Version> version_;
    bool versionRecord_ = true;
    std::optional<std::string> commandLine_, modulePath_;
    std::optional<std::string> systemDrive_;
    bool systemDriveSet_ = false;
    HANDLE std_[3] = {};
    bool stdSet_ = false;
};

}  // namespace zorvane::testing
