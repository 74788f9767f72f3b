// A simulated Windows machine behind the program's Windows door, for the tests only.
//
// It holds an in-memory registry, volumes with directories and files, open handles with their
// share modes, the environment, the version, the console streams, restart requests and the
// delete-at-restart list; it can hide names from directory listings (as a hiding driver does),
// fail any call on demand, stop a run dead, and it keeps a journal of every call.
//
// Journal format (Call::Text): Name(arg, arg, ...). Strings in double quotes, bytes unescaped;
// null pointers NULL, other pointers whose target is not shown PTR; numbers in hex with 0x;
// handles as h<N> (INVALID for INVALID_HANDLE_VALUE, HKLM / HKCU for the predefined keys);
// data written (WriteFile, RegSetValueExA) as a quoted string; out-parameters and read buffers
// left out, their sizes kept. The program's own handles count from h1 in each process; the
// standard handles are h1010, h1011 and h1012.
//   CreateFileA("c:\tempfile.tmp", 0xC0000000, 0x0, NULL, 0x2, 0x80, NULL)
//   WriteFile(h3, "text", 0x4)
//   ReadFile(h1010, 0x80)
//   RegOpenKeyExA(HKLM, "SOFTWARE\Microsoft", 0x0, 0x20009)
//   RegQueryValueExA(h2, "Shell", NULL, NULL, 0xFF)   (key, name, reserved, type, size)
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WindowsApi.h"
#include "sim/CallRecorder.h"
#include "sim/FileStore.h"
#include "sim/RegistryStore.h"

namespace sim {

using namespace zorvane;  // the Windows types and constants

enum class WindowsVersion { Win95, Win98, WinMe, Nt351, Nt4, Win2000, Xp };
enum class StdKind { Console, DiskFile, Pipe, Unknown, Invalid };

struct RestartRequest {
    UINT flags;
    DWORD reserved;
    bool accepted;
};

struct BootResult {
    enum class Mode { Normal, SafeMode, Unbootable } mode = Mode::Normal;
    bool autoLogon = false;                // Winlogon "AutoAdminLogon" was "1"
    bool shellStarts = false;              // the shell that logon starts names an existing file
    std::string shell;                     // that shell's command line
    std::vector<std::string> commandsRun;  // command lines started (alternate shell, RunOnce)
    std::vector<int> exitCodes;            // their exit codes, in the same order
    std::vector<std::string> outputs;      // their standard output, in the same order
};

class SimWindows final : public WindowsApi {
  public:
    // A fresh Windows XP SP2 machine: volume C: with C:\WINDOWS (explorer.exe in it),
    // C:\WINDOWS\system32, C:\WINDOWS\system, the program at C:\zorvane.exe, an XP boot.ini
    // (hidden, system) on C:, "SystemDrive" = "C:", Winlogon "Shell" = "Explorer.exe",
    // SafeBoot "AlternateShell" = "cmd.exe", an empty RunOnce key, a token that holds the
    // shutdown privilege, ExitWindowsEx accepting, standard handles that are pipes with empty
    // input, the command line "zorvane.exe" and the module path "C:\zorvane.exe".
    SimWindows();
    ~SimWindows() override;

    static const char* XpBootIni();  // the boot.ini text the fresh machine has (CR LF lines)

    FileStore files;
    RegistryStore registry;

    // --- process -------------------------------------------------------------------------
    // Starts a new process of the program: command line, module path and standard input bytes;
    // captured output starts empty. EndProcess closes every handle the process left open.
    void StartProcess(std::string commandLine, std::string modulePath = "C:\\zorvane.exe",
                      std::string standardInput = "");
    void EndProcess();
    void SetLeadBytes(std::set<unsigned char> leadBytes);  // double-byte code page for CharNextA
    void SetStdKind(DWORD stdHandle, StdKind kind);        // StdInputHandle, ...
    void SetStdin(std::string bytes);
    const std::string& Stdout() const;
    const std::string& Stderr() const;
    std::vector<std::string> StdoutWrites() const;  // the bytes of each WriteFile, in order
    void SetOemConversion(std::function<std::string(std::string)> convert);  // CharToOemA
    DWORD ProcessId() const;
    // What UnhandledExceptionFilter answers (EXCEPTION_EXECUTE_HANDLER unless set), and the
    // exception codes it was called with.
    void SetUnhandledExceptionAnswer(LONG answer);
    const std::vector<DWORD>& UnhandledExceptions() const;
    std::size_t OpenKernelHandleCount() const;  // process and token handles the program holds
    void SetLastError(DWORD code);  // a marker to see whether a call changes the last error

    // --- version and environment ---------------------------------------------------------
    void SetVersion(WindowsVersion version, int servicePack = 0);
    void SetEnv(const std::string& name, const std::string& value);
    void UnsetEnv(const std::string& name);
    // GetWindowsDirectoryA / GetSystemDirectoryA answers.
    void SetWindowsDirectory(std::string path);
    void SetSystemDirectory(std::string path);
    // Moves the system to another drive: the volume with WINDOWS, system32, system, explorer.exe,
    // cmd.exe and a boot.ini, "SystemDrive" and "SystemRoot", and both directories.
    void UseSystemDrive(char letter);

    // --- privileges and restart ----------------------------------------------------------
    void SetShutdownPrivilegeHeld(bool held);  // without it ExitWindowsEx fails with 1314
    void SetExitWindowsAccepts(bool accepts);  // refuse every request with 5
    const std::vector<RestartRequest>& RestartRequests() const;
    bool ShutdownPrivilegeEnabled() const;

    // A hiding driver: while loaded it hides `hiddenPaths` from directory listings and holds
    // `lockedPaths` open without sharing. Installing plants `driverFile` and loads it now; at
    // each restart it loads again only in a normal boot and only while `driverFile` exists.
    void InstallHidingDriver(std::string driverFile, std::vector<std::string> hiddenPaths,
                             std::vector<std::string> lockedPaths);
    bool HidingDriverLoaded() const;

    // Restarts the machine: carries out the delete-at-restart list, then boots from boot.ini
    // on the system drive. When its default entry carries the Safe Mode switch, the machine
    // starts minimal Safe Mode (no hiding driver) and runs the SafeBoot "AlternateShell": a
    // command file's first line, split as cmd.exe does, runs `run` when it names an existing
    // program file. Otherwise a normal boot runs and removes the HKLM RunOnce values in the
    // order of their names (each value is removed before its command runs). Each program run is
    // a new process; its output is kept in BootResult::outputs.
    using ProgramRunner = std::function<int(SimWindows&)>;
    BootResult Restart(const ProgramRunner& run);

    // --- failure injection and the journal -----------------------------------------------
    // Counting starts when the call is made; occurrence and position are 1-based.
    void FailCall(const std::string& name, int occurrence, DWORD errorCode);
    void FailCallAt(std::size_t position, DWORD errorCode);
    // After the position-th call from now has run, throw PowerCut; the machine then ignores
    // every call (failing it, unjournaled) until StartProcess or Restart. A release call
    // (CloseHandle, FindClose, RegCloseKey: they run from destructors) never throws; the throw
    // then comes with the next ordinary call. A cut set up before StartProcess stays armed.
    void PowerCutAfter(std::size_t position);
    const std::vector<Call>& Journal() const;
    std::vector<std::string> JournalNames() const;
    std::vector<std::string> JournalTexts() const;
    void ClearJournal();
    std::size_t CallCount() const;  // calls journaled since the machine was made

    // Everything that survives a restart (files, registry), for before/after comparisons.
    struct Snapshot {
        std::map<std::string, FileStore::Entry> files;
        std::map<std::string, RegistryStore::Values> keys;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot TakeSnapshot() const;
    static std::string Describe(const Snapshot& before, const Snapshot& after);  // the changes

    // --- the Windows door ----------------------------------------------------------------
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
    BOOL CharToOemA(const char* source, char* destination) override;
    LONG UnhandledExceptionFilter(DWORD exceptionCode, const void* exceptionAddress) override;
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
    HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) override;
    BOOL FindClose(HANDLE findFile) override;
    BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) override;
    BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) override;
    HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* security,
                       DWORD creationDisposition, DWORD flags, HANDLE templateFile) override;
    BOOL DeleteFileA(const char* fileName) override;
    BOOL SetFileAttributesA(const char* fileName, DWORD attributes) override;
    BOOL MoveFileExA(const char* existingName, const char* newName, DWORD flags) override;
    UINT GetSystemDirectoryA(char* buffer, UINT size) override;
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
    UINT GetDriveTypeA(const char* rootPathName) override;
    DWORD GetTempPathA(DWORD size, char* buffer) override;
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) override;
    BOOL CopyFileA(const char* existingName, const char* newName, BOOL failIfExists) override;
    BOOL FlushFileBuffers(HANDLE file) override;
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
    // Every door method starts with this: journals the call and answers true when the call
    // must fail (an injected failure, or a dead machine); lastError_ then holds the code.
    // Calls that cannot fail on Windows (GetLastError, GetVersion, ...) ignore the answer.
    bool Enter(const char* name, std::vector<std::string> args);
    // The end of a BOOL call: FALSE with `failure` as the last error, or TRUE when it is 0.
    BOOL Answer(DWORD failure);
    // Calls that cannot fail on Windows: journaled, injected failures ignored.
    void EnterInfallible(const char* name, std::vector<std::string> args);
    // The same for the registry functions, which answer the code and leave the last error.
    LONG EnterRegistry(const char* name, std::vector<std::string> args);
    std::uintptr_t NewHandle();
    void CloseProcessHandles();
    // Boot helpers: a program file by name (also with ".exe"; with searchSystem also in the
    // Windows and system directories), and a command line run as a new process.
    std::string FindProgram(const std::string& name, bool searchSystem) const;
    void RunCommand(const std::string& commandLine, const ProgramRunner& run, BootResult& result);

    CallRecorder recorder_;
    DWORD lastError_ = 0;

    struct Core;  // process, console, version, environment, tokens, hiding driver
    std::unique_ptr<Core> core_;
};

}  // namespace sim
