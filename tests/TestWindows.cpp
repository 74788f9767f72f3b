// The program's own types come first: several of their names are macros in <windows.h>.
#include "TestWindows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>

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

struct VersionFacts {
    DWORD packed;  // what GetVersion answers
    DWORD major, minor, build, platform;
    const char* servicePack;
};
// In the order of Version.
constexpr VersionFacts Facts[] = {{0xC0000004, 4, 0, 950, 1, ""},
                                  {0xC0000A04, 4, 10, 1998, 1, ""},
                                  {0xC0005A04, 4, 90, 3000, 1, ""},
                                  {0x05650004, 4, 0, 1381, 2, "Service Pack 6"},
                                  {0x08930005, 5, 0, 2195, 2, "Service Pack 4"},
                                  {0x0A280105, 5, 1, 2600, 2, "Service Pack 2"},
                                  {0x17700006, 6, 0, 6000, 2, ""}};
const VersionFacts& FactsOf(Version version) {
    return Facts[static_cast<int>(version)];
}

// SeShutdownPrivilege in the test process's own token, which every TestWindows shares: whether
// it is enabled, and turned off when asked.
bool ShutdownPrivilegeEnabled(bool disable = false) {
    ::HANDLE token = nullptr;
    ::LUID luid{};
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token);
    ::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid);
    char buffer[1024];
    DWORD size = 0;
    bool enabled = false;
    const auto* held = reinterpret_cast<const ::TOKEN_PRIVILEGES*>(buffer);
    if (::GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &size))
        for (DWORD i = 0; i < held->PrivilegeCount; ++i)
            if (held->Privileges[i].Luid.LowPart == luid.LowPart &&
                held->Privileges[i].Luid.HighPart == luid.HighPart)
                enabled = held->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED;
    ::TOKEN_PRIVILEGES off{1, {{luid, 0}}};
    if (disable) ::AdjustTokenPrivileges(token, FALSE, &off, 0, nullptr, nullptr);
    ::CloseHandle(token);
    return enabled;
}

// Whether the file is there with any of the attributes.
bool Carries(const char* path, DWORD attributes) {
    const DWORD found = path ? ::GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return found != INVALID_FILE_ATTRIBUTES && (found & attributes) != 0;
}
constexpr DWORD ReadOnly = FILE_ATTRIBUTE_READONLY;
BOOL Denied() {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

enum Kind { FileHandle, SearchHandle, KeyHandle };
constexpr DWORD PowerGone = error::NotReady;

}  // namespace

// A new process starts with SeShutdownPrivilege held but not enabled.
TestWindows::TestWindows(WindowsApi& real) : real_(real) {
    ShutdownPrivilegeEnabled(true);
}

TestWindows::~TestWindows() {
    RestorePower();
}

// The process's own environment: Windows answers from it, and it goes with the test process.
void TestWindows::SetSystemDrive(const std::optional<std::string>& value) {
    ::SetEnvironmentVariableA("SystemDrive", value ? value->c_str() : nullptr);
}

int TestWindows::RestorePower() {
    const int left = static_cast<int>(open_.size());
    for (const auto& [handle, kind] : open_) {
        void* const opened = const_cast<void*>(handle);
        if (kind == KeyHandle) ::RegCloseKey(static_cast<::HKEY>(opened));
        if (kind == SearchHandle) ::FindClose(opened);
        if (kind == FileHandle) ::CloseHandle(opened);
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
    const bool standard = handle && std_ && std::ranges::find(*std_, handle) != std_->end();
    journal_.push_back({name, std::move(args), standard});
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

template <class Result, class Forward, class... Params>
Result TestWindows::Pass(const char* name, Result failed, Forward forward, Params... params) {
    std::string args;
    HANDLE handle = nullptr;
    const void* subject = nullptr;  // what a closing call closes
    const auto add = [&](const std::string& text) { args += (args.empty() ? "" : ", ") + text; };
    [[maybe_unused]] const auto journal = [&](auto param) {
        using P = decltype(param);
        if constexpr (std::is_same_v<P, HANDLE> || std::is_same_v<P, HKEY>)
            subject = subject ? subject : param;
        if constexpr (std::is_same_v<P, HANDLE>) handle = handle ? handle : param;
        if constexpr (std::is_same_v<P, const char*>) add(Text(param));
        if constexpr (std::is_integral_v<P>) add(Hex(static_cast<unsigned long>(param)));
        if constexpr (std::is_same_v<P, const TOKEN_PRIVILEGES*>)
            add(param ? Hex(param->Privileges[0].Attributes) : "NULL");
        if constexpr (std::is_same_v<P, HKEY>)
            add(param == HkeyLocalMachine() ? "HKLM" : param == HkeyCurrentUser() ? "HKCU" : "h");
    };
    (journal(params), ...);
    if (const std::optional<DWORD> code = Arrive(name, args, handle)) {
        // The registry functions answer their error instead of setting the last error.
        if constexpr (std::is_same_v<Result, LONG>) return static_cast<LONG>(*code);
        ::SetLastError(*code);
        return failed;
    }
    if (std::string_view(name).find("Close") != std::string_view::npos) open_.erase(subject);
    const Result result = forward();
    [[maybe_unused]] const auto track = [&](auto param) {
        using P = decltype(param);
        if constexpr (std::is_same_v<P, HKEY*>)
            if (result == Result{}) open_[*param] = KeyHandle;
        if constexpr (std::is_same_v<P, HANDLE*>)
            if (result != Result{}) open_[*param] = FileHandle;
    };
    (track(params), ...);
    if constexpr (std::is_same_v<Result, HANDLE>)
        if (result && result != InvalidHandleValue())
            open_[result] = std::string_view(name).starts_with("Find") ? SearchHandle : FileHandle;
    return result;
}

#define ZORVANE_FORWARD(Result, Name, Params, Args, Failed)                             \
    Result TestWindows::Name Params {                                                   \
        return Pass(                                                                    \
            #Name, Result{Failed}, [&] { return real_.Name Args; }, ZORVANE_LIST Args); \
    }
#define ZORVANE_LIST(...) __VA_ARGS__
ZORVANE_FORWARDED_CALLS(ZORVANE_FORWARD)
#define ZORVANE_DIRECT(Result, Name, Params, Args) \
    Result TestWindows::Name Params {              \
        return real_.Name Args;                    \
    }
ZORVANE_DIRECT_CALLS(ZORVANE_DIRECT)

const char* TestWindows::GetCommandLineA() {
    return commandLine_ ? commandLine_->c_str() : real_.GetCommandLineA();
}
DWORD TestWindows::GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
    return Pass(
        "GetModuleFileNameA", DWORD{0},
        [&]() -> DWORD {
            if (!modulePath_) return real_.GetModuleFileNameA(module, fileName, size);
            // Windows copies what fits; when the path is cut, no zero ends it and the size given
            // comes back.
            const DWORD copied = std::min<DWORD>(modulePath_->size(), size);
            std::memcpy(fileName, modulePath_->data(), copied);
            if (copied < size) fileName[copied] = '\0';
            ::SetLastError(copied < size ? 0 : ERROR_INSUFFICIENT_BUFFER);
            return copied;
        },
        size);
}
// Not through Pass: a standard handle is not the program's to close.
HANDLE TestWindows::GetStdHandle(DWORD stdHandle) {
    if (const std::optional<DWORD> code = Arrive("GetStdHandle", Hex(stdHandle))) {
        ::SetLastError(*code);
        return InvalidHandleValue();
    }
    return std_ ? (*std_)[StdInputHandle - stdHandle] : real_.GetStdHandle(stdHandle);
}

DWORD TestWindows::GetVersion() {
    return Pass("GetVersion", DWORD{0},
                [&] { return version_ ? FactsOf(*version_).packed : real_.GetVersion(); });
}
BOOL TestWindows::GetVersionExA(OSVERSIONINFOA* info) {
    const auto answer = [&]() -> BOOL {
        if (!version_) return real_.GetVersionExA(info);
        if (!versionRecord_) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const VersionFacts& facts = FactsOf(*version_);
        info->dwMajorVersion = facts.major;
        info->dwMinorVersion = facts.minor;
        info->dwBuildNumber = facts.build;
        info->dwPlatformId = facts.platform;
        std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", facts.servicePack);
        return TRUE;
    };
    return Pass("GetVersionExA", BOOL{0}, answer, info->dwOSVersionInfoSize);
}
DWORD TestWindows::SharedDataMajorVersion() {
    return kernelMajor ? *kernelMajor
           : version_  ? FactsOf(*version_).major
                       : real_.SharedDataMajorVersion();
}
BOOL TestWindows::IsWow64Process(HANDLE process, BOOL* answer) {
    return Pass(
        "IsWow64Process", BOOL{0},
        [&] { return wow64 ? (*answer = TRUE) : real_.IsWow64Process(process, answer); }, process);
}
LONG TestWindows::RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                                 const BYTE* data, DWORD dataSize) {
    const std::string text(reinterpret_cast<const char*>(data), dataSize);
    return Pass(
        "RegSetValueExA", LONG{0},
        [&] { return real_.RegSetValueExA(key, valueName, reserved, type, data, dataSize); },
        valueName, type, text.c_str());
}

HANDLE TestWindows::FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
    const auto answer = [&] {
        // A hiding driver answers a search for its file as if it were not there.
        if (!hidden_.contains(AsciiUpper(fileName)))
            return real_.FindFirstFileA(fileName, findData);
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return InvalidHandleValue();
    };
    return Pass("FindFirstFileA", InvalidHandleValue(), answer, fileName);
}
HANDLE TestWindows::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                void* security, DWORD creationDisposition, DWORD flags,
                                HANDLE templateFile) {
    const auto answer = [&] {
        // Windows NT refuses CREATE_ALWAYS over a hidden or system file unless the new
        // attributes keep them (ERROR_ACCESS_DENIED); Wine replaces the file.
        // Nor does it open a read-only file for writing; Wine running as root does.
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if ((creationDisposition == CREATE_ALWAYS && Carries(fileName, kept & ~flags)) ||
            ((desiredAccess & GENERIC_WRITE) && Carries(fileName, ReadOnly)))
            return Denied(), InvalidHandleValue();
        return real_.CreateFileA(fileName, desiredAccess, shareMode, security, creationDisposition,
                                 flags, templateFile);
    };
    return Pass("CreateFileA", InvalidHandleValue(), answer, fileName, desiredAccess, shareMode,
                creationDisposition, flags);
}
// Windows refuses (ERROR_ACCESS_DENIED) to delete a read-only file, to move a file over one, and
// to copy over one that is read-only or hidden. Wine refuses the deletion too (its server unlinks
// no file that has no write permission, whoever asks), but, running as root, it replaces such a
// file by a move or a copy.
BOOL TestWindows::DeleteFileA(const char* name) {
    const auto answer = [&] {
        return Carries(name, ReadOnly) ? Denied() : real_.DeleteFileA(name);
    };
    return Pass("DeleteFileA", BOOL{0}, answer, name);
}
BOOL TestWindows::MoveFileExA(const char* from, const char* to, DWORD flags) {
    const auto answer = [&] {
        const bool replaces = flags & MOVEFILE_REPLACE_EXISTING;
        return replaces && Carries(to, ReadOnly) ? Denied() : real_.MoveFileExA(from, to, flags);
    };
    return Pass("MoveFileExA", BOOL{0}, answer, from, to, flags);
}
BOOL TestWindows::CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    const auto answer = [&] {
        const DWORD refused = failIfExists ? 0 : ReadOnly | FILE_ATTRIBUTE_HIDDEN;
        return Carries(to, refused) ? Denied() : real_.CopyFileA(from, to, failIfExists);
    };
    return Pass("CopyFileA", BOOL{0}, answer, from, to, failIfExists);
}

UINT TestWindows::GetDriveTypeA(const char* root) {
    const auto answer = [&] {
        // Windows answers a SUBST drive with the type of the drive under it; Wine does not know
        // a drive that DefineDosDevice maps (DRIVE_NO_ROOT_DIR).
        char target[MAX_PATH + 1] = {};
        const std::string drive = std::string(root ? root : "").substr(0, 2);
        if (drive.size() == 2 && ::QueryDosDeviceA(drive.c_str(), target, MAX_PATH) &&
            std::string_view(target).starts_with("\\??\\"))
            return real_.GetDriveTypeA((std::string(target + 4, 2) + "\\").c_str());
        return real_.GetDriveTypeA(root);
    };
    return Pass("GetDriveTypeA", UINT{0}, answer, root);
}

BOOL TestWindows::ExitWindowsEx(UINT flags, DWORD) {
    // Recorded, never forwarded: Wine would end the test's session. Windows NT refuses the
    // request with ERROR_PRIVILEGE_NOT_HELD unless the caller has SeShutdownPrivilege enabled;
    // Wine does not check.
    const auto answer = [&] {
        const bool nt = !version_ || FactsOf(*version_).platform == VER_PLATFORM_WIN32_NT;
        if (nt && !ShutdownPrivilegeEnabled()) {
            ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
            return BOOL{0};
        }
        restartRequests.push_back(flags);
        return BOOL{1};
    };
    return Pass("ExitWindowsEx", BOOL{0}, answer, flags);
}

}  // namespace zorvane::testing
