// The tests' Windows: the real implementation (Wine), wrapped. It forwards every call as it is,
// except what a case must control: failures and power cuts at chosen calls, names a hiding driver
// keeps out of directory listings, restart requests (recorded, never carried out), and the
// version, command line, module path and standard handles a case sets. It also keeps a journal
// of the calls (not of the command line's), for cases where their order matters.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/WindowsApi.h"

// The calls that reach Wine as they are, journaled and open to faults: result, name, parameters,
// arguments, the result of a failed call.
#define ZORVANE_FORWARDED_CALLS(X)                                                                 \
    X(DWORD, GetFileType, (HANDLE a), (a), FileTypeUnknown)                                        \
    X(BOOL, ReadFile, (HANDLE a, void* b, DWORD c, DWORD* d, void* e), (a, b, c, d, e), 0)         \
    X(BOOL, WriteFile, (HANDLE a, const void* b, DWORD c, DWORD* d, void* e), (a, b, c, d, e), 0)  \
    X(BOOL, CloseHandle, (HANDLE a), (a), 0)                                                       \
    X(BOOL, CharToOemA, (const char* a, char* b), (a, b), 0)                                       \
    X(LONG, RegOpenKeyA, (HKEY a, const char* b, HKEY* c), (a, b, c), 0)                           \
    X(LONG, RegOpenKeyExA, (HKEY a, const char* b, DWORD c, DWORD d, HKEY* e), (a, b, c, d, e), 0) \
    X(LONG, RegCreateKeyExA,                                                                       \
      (HKEY a, const char* b, DWORD c, char* d, DWORD e, DWORD f, void* g, HKEY* h, DWORD* i),     \
      (a, b, c, d, e, f, g, h, i), 0)                                                              \
    X(LONG, RegQueryValueExA, (HKEY a, const char* b, DWORD* c, DWORD* d, BYTE* e, DWORD* f),      \
      (a, b, c, d, e, f), 0)                                                                       \
    X(LONG, RegCloseKey, (HKEY a), (a), 0)                                                         \
    X(LONG, RegDeleteKeyA, (HKEY a, const char* b), (a, b), 0)                                     \
    X(LONG, RegDeleteValueA, (HKEY a, const char* b), (a, b), 0)                                   \
    X(LONG, RegEnumKeyA, (HKEY a, DWORD b, char* c, DWORD d), (a, b, c, d), 0)                     \
    X(BOOL, FindClose, (HANDLE a), (a), 0)                                                         \
    X(BOOL, FileTimeToLocalFileTime, (const FILETIME* a, FILETIME* b), (a, b), 0)                  \
    X(BOOL, FileTimeToDosDateTime, (const FILETIME* a, WORD* b, WORD* c), (a, b, c), 0)            \
    X(BOOL, SetFileAttributesA, (const char* a, DWORD b), (a, b), 0)                               \
    X(DWORD, SetFilePointer, (HANDLE a, LONG b, LONG * c, DWORD d), (a, b, c, d),                  \
      InvalidSetFilePointer)                                                                       \
    X(DWORD, QueryDosDeviceA, (const char* a, char* b, DWORD c), (a, b, c), 0)                     \
    X(DWORD, GetEnvironmentVariableA, (const char* a, char* b, DWORD c), (a, b, c), 0)             \
    X(DWORD, GetTempPathA, (DWORD a, char* b), (a, b), 0)                                          \
    X(DWORD, GetShortPathNameA, (const char* a, char* b, DWORD c), (a, b, c), 0)                   \
    X(BOOL, FlushFileBuffers, (HANDLE a), (a), 0)                                                  \
    X(BOOL, GetVolumeInformationA,                                                                 \
      (const char* a, char* b, DWORD c, DWORD* d, DWORD* e, DWORD* f, char* g, DWORD h),           \
      (a, b, c, d, e, f, g, h), 0)                                                                 \
    X(BOOL, GetFileSecurityA, (const char* a, DWORD b, void* c, DWORD d, DWORD* e),                \
      (a, b, c, d, e), 0)                                                                          \
    X(BOOL, GetUserNameA, (char* a, DWORD* b), (a, b), 0)                                          \
    X(BOOL, GetTokenInformation, (HANDLE a, DWORD b, void* c, DWORD d, DWORD* e), (a, b, c, d, e), \
      0)                                                                                           \
    X(UINT, GetSystemDirectoryA, (char* a, UINT b), (a, b), 0)                                     \
    X(UINT, GetWindowsDirectoryA, (char* a, UINT b), (a, b), 0)                                    \
    X(HANDLE, OpenProcess, (DWORD a, BOOL b, DWORD c), (a, b, c), nullptr)                         \
    X(BOOL, OpenProcessToken, (HANDLE a, DWORD b, HANDLE * c), (a, b, c), 0)                       \
    X(BOOL, LookupPrivilegeValueA, (const char* a, const char* b, LUID* c), (a, b, c), 0)          \
    X(BOOL, AdjustTokenPrivileges,                                                                 \
      (HANDLE a, BOOL b, const TOKEN_PRIVILEGES* c, DWORD d, TOKEN_PRIVILEGES* e, DWORD* f),       \
      (a, b, c, d, e, f), 0)
// Pure computation, the thread's own state and constants: neither journaled nor failed.
#define ZORVANE_DIRECT_CALLS(X)                                                            \
    X(const char*, CharNextA, (const char* a), (a))                                        \
    X(DWORD, GetLastError, (), ())                                                         \
    X(void, SetLastError, (DWORD a), (a))                                                  \
    X(void, GetLocalTime, (SYSTEMTIME * a), (a))                                           \
    X(HANDLE, GetCurrentProcess, (), ())                                                   \
    X(DWORD, GetCurrentProcessId, (), ())                                                  \
    X(BOOL, GetSecurityDescriptorOwner, (void* a, void** b, BOOL* c), (a, b, c))           \
    X(BOOL, GetSecurityDescriptorDacl, (void* a, BOOL* b, ACL** c, BOOL* d), (a, b, c, d)) \
    X(BOOL, GetAce, (ACL * a, DWORD b, void** c), (a, b, c))

namespace zorvane::testing {

enum class Version { Win95, Win98, WinMe, Nt4, Win2000, Xp, Vista };

class TestWindows final : public WindowsApi {
  public:
    explicit TestWindows(WindowsApi& real);
    ~TestWindows() override;

    // --- what a case sets -------------------------------------------------------------------
    void SetVersion(Version version, bool versionRecord = true) {
        version_ = version;
        versionRecord_ = versionRecord;
    }
    void SetProcess(std::string commandLine, std::string modulePath) {
        commandLine_ = std::move(commandLine);
        modulePath_ = std::move(modulePath);
    }
    void SetStdHandles(HANDLE input, HANDLE output, HANDLE error) { std_ = {input, output, error}; }
    void SetSystemDrive(const std::optional<std::string>& value);             // none: not set
    void Hide(const std::string& path) { hidden_.insert(AsciiUpper(path)); }  // until UnhideAll
    void UnhideAll() { hidden_.clear(); }

    // --- faults -----------------------------------------------------------------------------
    // The Nth journaled call from now (1-based), or the Nth call of `name`, fails with `code`.
    void FailAt(int position, DWORD code) {
        failAt_ = counted_ + position;
        failCode_ = code;
    }
    void FailCall(const std::string& name, int occurrence, DWORD code) {
        failCalls_[name] = {seen_[name] + occurrence, code};
    }
    // The Nth journaled call and every later one fail without reaching Wine, as if the machine
    // lost its power just before it.
    void PowerCutAt(int position) { cutAt_ = counted_ + position; }
    bool PowerCut() const { return cut_; }
    // After a power cut (or a run that leaked): closes what the program left open, as a
    // machine that restarts would, and ends the cut; failures and a cut planned for later calls
    // stay. Answers how many were open.
    int RestorePower();
    void ClearFaults() {
        failAt_.reset();
        cutAt_.reset();
        failCalls_.clear();
    }

    // --- what the program did ---------------------------------------------------------------
    struct Call {
        std::string name, args;
        bool standardHandle = false;  // made on a standard handle
    };
    const std::vector<Call>& Journal() const { return journal_; }
    std::vector<std::string> JournalOf(const std::set<std::string>& names) const;
    void ClearJournal() { journal_.clear(); }
    std::vector<UINT> restartRequests;
    // The system under the version a case sets: the kernel's own major version (compatibility
    // mode reports another one), and a 64-bit Windows running the program under WoW64.
    std::optional<DWORD> kernelMajor;
    bool wow64 = false;

    // --- the door ---------------------------------------------------------------------------
#define ZORVANE_DECLARE(Result, Name, Params, ...) Result Name Params override;
    ZORVANE_FORWARDED_CALLS(ZORVANE_DECLARE)
    ZORVANE_DIRECT_CALLS(ZORVANE_DECLARE)
#undef ZORVANE_DECLARE
    const char* GetCommandLineA() override;
    DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) override;
    HANDLE GetStdHandle(DWORD stdHandle) override;
    DWORD GetVersion() override;
    BOOL GetVersionExA(OSVERSIONINFOA* versionInfo) override;
    LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                        const BYTE* data, DWORD dataSize) override;
    HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) override;
    HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* security,
                       DWORD creationDisposition, DWORD flags, HANDLE templateFile) override;
    BOOL DeleteFileA(const char* name) override;
    BOOL MoveFileExA(const char* from, const char* to, DWORD flags) override;
    BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) override;
    BOOL ExitWindowsEx(UINT flags, DWORD reserved) override;
    UINT GetDriveTypeA(const char* rootPathName) override;
    DWORD SharedDataMajorVersion() override;
    BOOL IsWow64Process(HANDLE process, BOOL* wow64) override;

  private:
    // Journals the call and answers the error it must fail with, if any.
    std::optional<DWORD> Arrive(const char* name, std::string args, HANDLE handle = nullptr);
    // Journals the call with `params` (texts, numbers and registry roots; the first handle
    // marks a call on a standard handle), fails it or forwards it, and keeps track of the
    // handles and keys it opens or closes.
    template <class Result, class Forward, class... Params>
    Result Pass(const char* name, Result failed, Forward forward, Params... params);

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
    std::optional<std::vector<HANDLE>> std_;
};

}  // namespace zorvane::testing
