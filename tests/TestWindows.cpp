// The program's own types come first: several of their names are macros in <windows.h>.
#include "TestWindows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/AsciiText.h"

#include <windows.h>

namespace zorvane::testing {
namespace {

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}
std::string Text(const char* text) {
    return text ? "\"" + std::string(text) + "\"" : "NULL";
}
std::string Key(HKEY key) {
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= 0x80000000u ? (value == 0x80000002u ? "HKLM" : Hex(value)) : "h";
}

struct VersionFacts {
    DWORD packed;  // what GetVersion answers
    DWORD major, minor, build, platform;
    const char* servicePack;
};
VersionFacts FactsOf(Version version) {
    switch (version) {
        case Version::Win95:
            return {0xC0000004, 4, 0, 950, 1, ""};
        case Version::Win98:
            return {0xC0000A04, 4, 10, 1998, 1, ""};
        case Version::WinMe:
            return {0xC0005A04, 4, 90, 3000, 1, ""};
        case Version::Nt4:
            return {0x05650004, 4, 0, 1381, 2, "Service Pack 6"};
        case Version::Win2000:
            return {0x08930005, 5, 0, 2195, 2, "Service Pack 4"};
        case Version::Xp:
            return {0x0A280105, 5, 1, 2600, 2, "Service Pack 2"};
        case Version::Vista:
            return {0x17700006, 6, 0, 6000, 2, ""};
    }
    return {};
}

// SeShutdownPrivilege in the test process's own token, which every TestWindows shares.
class ShutdownPrivilege {
  public:
    ShutdownPrivilege() {
        ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token_);
        ::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid_);
    }
    ~ShutdownPrivilege() { ::CloseHandle(token_); }
    bool Enabled() const {
        char buffer[1024];
        DWORD size = 0;
        if (!::GetTokenInformation(token_, TokenPrivileges, buffer, sizeof buffer, &size))
            return false;
        const auto* held = reinterpret_cast<const ::TOKEN_PRIVILEGES*>(buffer);
        for (DWORD i = 0; i < held->PrivilegeCount; ++i)
            if (held->Privileges[i].Luid.LowPart == luid_.LowPart &&
                held->Privileges[i].Luid.HighPart == luid_.HighPart)
                return held->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED;
        return false;
    }
    void Disable() {
        ::TOKEN_PRIVILEGES off{1, {{luid_, 0}}};
        ::AdjustTokenPrivileges(token_, FALSE, &off, 0, nullptr, nullptr);
    }

  private:
    ::HANDLE token_ = nullptr;
    ::LUID luid_{};
};

enum Kind { FileHandle, SearchHandle, KeyHandle };
constexpr DWORD PowerGone = error::NotReady;

}  // namespace

// A new process starts with SeShutdownPrivilege held but not enabled.
TestWindows::TestWindows(WindowsApi& real) : real_(real) {
    ShutdownPrivilege().Disable();
}

TestWindows::~TestWindows() {
    RestorePower();
}

void TestWindows::SetVersion(Version version, bool versionRecord) {
    version_ = version;
    versionRecord_ = versionRecord;
}
void TestWindows::SetProcess(std::string commandLine, std::string modulePath) {
    commandLine_ = std::move(commandLine);
    modulePath_ = std::move(modulePath);
}
void TestWindows::SetStdHandles(HANDLE input, HANDLE output, HANDLE error) {
    std_[0] = input;
    std_[1] = output;
    std_[2] = error;
    stdSet_ = true;
}
void TestWindows::SetSystemDrive(std::optional<std::string> value) {
    systemDrive_ = std::move(value);
    systemDriveSet_ = true;
}
void TestWindows::Hide(const std::string& path) {
    hidden_.insert(AsciiUpper(path));
}
void TestWindows::UnhideAll() {
    hidden_.clear();
}

void TestWindows::FailAt(int position, DWORD code) {
    failAt_ = counted_ + position;
    failCode_ = code;
}
void TestWindows::FailCall(const std::string& name, int occurrence, DWORD code) {
    failCalls_[name] = {seen_[name] + occurrence, code};
}
void TestWindows::PowerCutAt(int position) {
    cutAt_ = counted_ + position;
}
void TestWindows::ClearFaults() {
    failAt_.reset();
    cutAt_.reset();
    failCalls_.clear();
}

int TestWindows::RestorePower() {
    const int left = static_cast<int>(open_.size());
    for (const auto& [handle, kind] : open_) {
        if (kind == KeyHandle) {
            ::RegCloseKey(static_cast<::HKEY>(const_cast<void*>(handle)));
        } else if (kind == SearchHandle) {
            ::FindClose(const_cast<void*>(handle));
        } else {
            ::CloseHandle(const_cast<void*>(handle));
        }
    }
    open_.clear();
    if (cut_) cutAt_.reset();  // a cut still to come stays planned, as failures do
    cut_ = false;
    return left;
}

std::vector<std::string> TestWindows::JournalOf(const std::set<std::string>& names) const {
    std::vector<std::string> texts;
    for (const Call& call : journal_)
        if (names.contains(call.name)) texts.push_back(call.name + "(" + call.args + ")");
    return texts;
}

std::optional<DWORD> TestWindows::Arrive(const char* name, std::string args, HANDLE handle) {
    const bool standard = handle && stdSet_ && std::find(std_, std_ + 3, handle) != std_ + 3;
    journal_.push_back({name, std::move(args), true, standard});
    const int position = ++counted_;
    const int occurrence = ++seen_[name];
    if (cutAt_ && position >= *cutAt_) cut_ = true;
    if (cut_) return PowerGone;
    if (failAt_ && position == *failAt_) return failCode_;
    const auto planned = failCalls_.find(name);
    if (planned != failCalls_.end() && planned->second.first == occurrence)
        return planned->second.second;
    return std::nullopt;
}

template <class Result, class Forward>
Result TestWindows::Pass(const char* name, std::string args, Result failed, Forward forward,
                         HANDLE handle) {
    if (const std::optional<DWORD> code = Arrive(name, std::move(args), handle)) {
        ::SetLastError(*code);
        return failed;
    }
    return forward();
}

// The registry functions answer their error instead of setting the last error.
template <class Forward>
LONG TestWindows::PassRegistry(const char* name, std::string args, Forward forward) {
    if (const std::optional<DWORD> code = Arrive(name, std::move(args)))
        return static_cast<LONG>(*code);
    return forward();
}

template <class Handle>
Handle TestWindows::Opened(Handle handle, int kind) {
    open_[handle] = kind;
    return handle;
}

void TestWindows::Closed(const void* handle) {
    open_.erase(handle);
}

// --- command line and console ---------------------------------------------------------------

const char* TestWindows::GetCommandLineA() {
    journal_.push_back({"GetCommandLineA", "", false});
    return commandLine_ ? commandLine_->c_str() : real_.GetCommandLineA();
}
const char* TestWindows::CharNextA(const char* current) {
    return real_.CharNextA(current);  // pure computation: neither journaled nor failed
}
DWORD TestWindows::GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
    return Pass("GetModuleFileNameA", Hex(size), DWORD{0}, [&]() -> DWORD {
        if (!modulePath_) return real_.GetModuleFileNameA(module, fileName, size);
        // Windows copies what fits; when the path is cut, no zero ends it and the size given
        // comes back.
        const DWORD length = static_cast<DWORD>(modulePath_->size());
        const DWORD copied = length < size ? length : size;
        std::memcpy(fileName, modulePath_->data(), copied);
        if (copied < size) fileName[copied] = '\0';
        ::SetLastError(copied < size ? 0 : ERROR_INSUFFICIENT_BUFFER);
        return copied;
    });
}
HANDLE TestWindows::GetStdHandle(DWORD stdHandle) {
    return Pass("GetStdHandle", Hex(stdHandle), InvalidHandleValue(), [&] {
        return stdSet_ ? std_[StdInputHandle - stdHandle] : real_.GetStdHandle(stdHandle);
    });
}
DWORD TestWindows::GetFileType(HANDLE file) {
    return Pass(
        "GetFileType", "h", DWORD{FileTypeUnknown}, [&] { return real_.GetFileType(file); }, file);
}
BOOL TestWindows::ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
    return Pass(
        "ReadFile", Hex(toRead), BOOL{0},
        [&] { return real_.ReadFile(file, buffer, toRead, read, overlapped); }, file);
}
BOOL TestWindows::WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written,
                            void* overlapped) {
    return Pass(
        "WriteFile", Hex(toWrite), BOOL{0},
        [&] { return real_.WriteFile(file, buffer, toWrite, written, overlapped); }, file);
}
BOOL TestWindows::CloseHandle(HANDLE object) {
    return Pass(
        "CloseHandle", "h", BOOL{0},
        [&] {
            Closed(object);
            return real_.CloseHandle(object);
        },
        object);
}
DWORD TestWindows::GetLastError() {
    return real_.GetLastError();  // the thread's own state: neither journaled nor failed
}
void TestWindows::SetLastError(DWORD code) {
    real_.SetLastError(code);
}
BOOL TestWindows::CharToOemA(const char* source, char* destination) {
    return Pass("CharToOemA", Text(source), BOOL{0},
                [&] { return real_.CharToOemA(source, destination); });
}

// --- version and environment ----------------------------------------------------------------

void TestWindows::GetLocalTime(SYSTEMTIME* time) {
    real_.GetLocalTime(time);  // cannot fail: neither journaled nor failed
}
DWORD TestWindows::GetVersion() {
    return Pass("GetVersion", "", DWORD{0},
                [&] { return version_ ? FactsOf(*version_).packed : real_.GetVersion(); });
}
BOOL TestWindows::GetVersionExA(OSVERSIONINFOA* info) {
    return Pass("GetVersionExA", Hex(info->dwOSVersionInfoSize), BOOL{0}, [&]() -> BOOL {
        if (!version_) return real_.GetVersionExA(info);
        if (!versionRecord_) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const VersionFacts facts = FactsOf(*version_);
        info->dwMajorVersion = facts.major;
        info->dwMinorVersion = facts.minor;
        info->dwBuildNumber = facts.build;
        info->dwPlatformId = facts.platform;
        std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", facts.servicePack);
        return TRUE;
    });
}
DWORD TestWindows::GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
    return Pass("GetEnvironmentVariableA", Text(name) + ", " + Hex(size), DWORD{0}, [&]() -> DWORD {
        if (!systemDriveSet_ || AsciiUpper(name) != "SYSTEMDRIVE")
            return real_.GetEnvironmentVariableA(name, buffer, size);
        if (!systemDrive_) {
            ::SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        // Too small a buffer gets nothing and the size it needs, the zero included.
        const DWORD length = static_cast<DWORD>(systemDrive_->size());
        if (length >= size) return length + 1;
        std::memcpy(buffer, systemDrive_->c_str(), length + 1);
        return length;
    });
}

// --- registry --------------------------------------------------------------------------------

LONG TestWindows::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
    return PassRegistry("RegOpenKeyA", Key(key) + ", " + Text(subKey), [&] {
        const LONG status = real_.RegOpenKeyA(key, subKey, result);
        if (status == 0) Opened(*result, KeyHandle);
        return status;
    });
}
LONG TestWindows::RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD desired,
                                HKEY* result) {
    return PassRegistry("RegOpenKeyExA", Key(key) + ", " + Text(subKey) + ", " + Hex(desired), [&] {
        const LONG status = real_.RegOpenKeyExA(key, subKey, options, desired, result);
        if (status == 0) Opened(*result, KeyHandle);
        return status;
    });
}
LONG TestWindows::RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                                  DWORD options, DWORD desired, void* security, HKEY* result,
                                  DWORD* disposition) {
    return PassRegistry(
        "RegCreateKeyExA", Key(key) + ", " + Text(subKey) + ", " + Hex(desired), [&] {
            const LONG status = real_.RegCreateKeyExA(key, subKey, reserved, keyClass, options,
                                                      desired, security, result, disposition);
            if (status == 0) Opened(*result, KeyHandle);
            return status;
        });
}
LONG TestWindows::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                   BYTE* data, DWORD* dataSize) {
    return PassRegistry("RegQueryValueExA", Key(key) + ", " + Text(valueName), [&] {
        return real_.RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
    });
}
LONG TestWindows::RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                 const BYTE* data, DWORD dataSize) {
    const std::string text(reinterpret_cast<const char*>(data), dataSize);
    return PassRegistry(
        "RegSetValueExA", Text(valueName) + ", " + Hex(type) + ", " + Text(text.c_str()),
        [&] { return real_.RegSetValueExA(key, valueName, reserved, type, data, dataSize); });
}
LONG TestWindows::RegCloseKey(HKEY key) {
    return PassRegistry("RegCloseKey", "h", [&] {
        Closed(key);
        return real_.RegCloseKey(key);
    });
}
LONG TestWindows::RegDeleteKeyA(HKEY key, const char* subKey) {
    return PassRegistry("RegDeleteKeyA", Key(key) + ", " + Text(subKey),
                        [&] { return real_.RegDeleteKeyA(key, subKey); });
}

LONG TestWindows::RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) {
    return PassRegistry("RegEnumKeyA", "h, " + std::to_string(index),
                        [&] { return real_.RegEnumKeyA(key, index, name, nameSize); });
}

// --- files ---------------------------------------------------------------------------------

HANDLE TestWindows::FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
    return Pass("FindFirstFileA", Text(fileName), InvalidHandleValue(), [&] {
        // A hiding driver answers a search for its file as if it were not there.
        if (hidden_.contains(AsciiUpper(fileName))) {
            ::SetLastError(ERROR_FILE_NOT_FOUND);
            return InvalidHandleValue();
        }
        const HANDLE found = real_.FindFirstFileA(fileName, findData);
        return found == InvalidHandleValue() ? found : Opened(found, SearchHandle);
    });
}
BOOL TestWindows::FindClose(HANDLE findFile) {
    return Pass("FindClose", "h", BOOL{0}, [&] {
        Closed(findFile);
        return real_.FindClose(findFile);
    });
}
BOOL TestWindows::FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
    return Pass("FileTimeToLocalFileTime", "", BOOL{0},
                [&] { return real_.FileTimeToLocalFileTime(fileTime, localFileTime); });
}
BOOL TestWindows::FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) {
    return Pass("FileTimeToDosDateTime", "", BOOL{0},
                [&] { return real_.FileTimeToDosDateTime(fileTime, fatDate, fatTime); });
}
HANDLE TestWindows::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                void* security, DWORD creationDisposition, DWORD flags,
                                HANDLE templateFile) {
    const std::string args = Text(fileName) + ", " + Hex(desiredAccess) + ", " + Hex(shareMode) +
                             ", " + Hex(creationDisposition) + ", " + Hex(flags);
    return Pass("CreateFileA", args, InvalidHandleValue(), [&] {
        // Windows NT refuses CREATE_ALWAYS over a hidden or system file unless the new
        // attributes keep them (ERROR_ACCESS_DENIED); Wine replaces the file.
        // Nor does it open a read-only file for writing; Wine running as root does.
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        const DWORD existing = ::GetFileAttributesA(fileName);
        const bool exists = existing != INVALID_FILE_ATTRIBUTES;
        if ((exists && creationDisposition == CREATE_ALWAYS && (existing & kept & ~flags) != 0) ||
            (exists && (existing & FILE_ATTRIBUTE_READONLY) && (desiredAccess & GENERIC_WRITE))) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return InvalidHandleValue();
        }
        const HANDLE file = real_.CreateFileA(fileName, desiredAccess, shareMode, security,
                                              creationDisposition, flags, templateFile);
        return file == InvalidHandleValue() ? file : Opened(file, FileHandle);
    });
}
BOOL TestWindows::DeleteFileA(const char* fileName) {
    return Pass("DeleteFileA", Text(fileName), BOOL{0},
                [&] { return real_.DeleteFileA(fileName); });
}
BOOL TestWindows::SetFileAttributesA(const char* fileName, DWORD attributes) {
    return Pass("SetFileAttributesA", Text(fileName) + ", " + Hex(attributes), BOOL{0},
                [&] { return real_.SetFileAttributesA(fileName, attributes); });
}
BOOL TestWindows::MoveFileExA(const char* existingName, const char* newName, DWORD flags) {
    return Pass("MoveFileExA", Text(existingName) + ", " + Text(newName) + ", " + Hex(flags),
                BOOL{0}, [&] { return real_.MoveFileExA(existingName, newName, flags); });
}
DWORD TestWindows::SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    return Pass("SetFilePointer", Hex(method), DWORD{InvalidSetFilePointer},
                [&] { return real_.SetFilePointer(file, distance, distanceHigh, method); });
}
UINT TestWindows::GetDriveTypeA(const char* rootPathName) {
    return Pass("GetDriveTypeA", Text(rootPathName), UINT{DRIVE_UNKNOWN},
                [&] { return real_.GetDriveTypeA(rootPathName); });
}
DWORD TestWindows::GetTempPathA(DWORD size, char* buffer) {
    return Pass("GetTempPathA", Hex(size), DWORD{0},
                [&] { return real_.GetTempPathA(size, buffer); });
}
DWORD TestWindows::GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) {
    return Pass("GetShortPathNameA", Text(longPath), DWORD{0},
                [&] { return real_.GetShortPathNameA(longPath, shortPath, size); });
}
BOOL TestWindows::CopyFileA(const char* existingName, const char* newName, BOOL failIfExists) {
    return Pass("CopyFileA", Text(existingName) + ", " + Text(newName), BOOL{0},
                [&] { return real_.CopyFileA(existingName, newName, failIfExists); });
}
BOOL TestWindows::FlushFileBuffers(HANDLE file) {
    return Pass("FlushFileBuffers", "h", BOOL{0}, [&] { return real_.FlushFileBuffers(file); });
}
UINT TestWindows::GetSystemDirectoryA(char* buffer, UINT size) {
    return Pass("GetSystemDirectoryA", Hex(size), UINT{0},
                [&] { return real_.GetSystemDirectoryA(buffer, size); });
}
UINT TestWindows::GetWindowsDirectoryA(char* buffer, UINT size) {
    return Pass("GetWindowsDirectoryA", Hex(size), UINT{0},
                [&] { return real_.GetWindowsDirectoryA(buffer, size); });
}

// --- privileges, processes and restart ---------------------------------------------------------

HANDLE TestWindows::GetCurrentProcess() {
    return real_.GetCurrentProcess();  // a constant: neither journaled nor failed
}
DWORD TestWindows::GetCurrentProcessId() {
    return real_.GetCurrentProcessId();
}
HANDLE TestWindows::OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    return Pass("OpenProcess", Hex(desiredAccess), HANDLE{}, [&] {
        const HANDLE process = real_.OpenProcess(desiredAccess, inheritHandle, processId);
        return process ? Opened(process, FileHandle) : process;
    });
}
BOOL TestWindows::OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
    return Pass("OpenProcessToken", Hex(desiredAccess), BOOL{0}, [&] {
        const BOOL opened = real_.OpenProcessToken(process, desiredAccess, token);
        if (opened) Opened(*token, FileHandle);
        return opened;
    });
}
BOOL TestWindows::LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
    return Pass("LookupPrivilegeValueA", Text(name), BOOL{0},
                [&] { return real_.LookupPrivilegeValueA(systemName, name, luid); });
}
BOOL TestWindows::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                        const TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                        TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    const std::string args = newState ? Hex(newState->Privileges[0].Attributes) : "NULL";
    return Pass("AdjustTokenPrivileges", args, BOOL{0}, [&] {
        return real_.AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState,
                                           returnLength);
    });
}
BOOL TestWindows::ExitWindowsEx(UINT flags, DWORD) {
    // Recorded, never forwarded: Wine would end the test's session. Windows NT refuses the
    // request with ERROR_PRIVILEGE_NOT_HELD unless the caller has SeShutdownPrivilege enabled;
    // Wine does not check.
    return Pass("ExitWindowsEx", Hex(flags), BOOL{0}, [&] {
        const bool nt = !version_ || FactsOf(*version_).platform == VER_PLATFORM_WIN32_NT;
        if (nt && !ShutdownPrivilege().Enabled()) {
            ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
            return BOOL{0};
        }
        restartRequests.push_back(flags);
        return BOOL{1};
    });
}

}  // namespace zorvane::testing
