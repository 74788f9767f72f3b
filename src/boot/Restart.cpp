#include "boot/Restart.h"

#include <string>

#include "platform/AsciiText.h"
#include "platform/Guarded.h"
#include "platform/Handles.h"
#include "platform/RunLog.h"
#include "platform/WindowsApi.h"

namespace zorvane {
namespace {

constexpr const char* ShutdownPrivilege = "SeShutdownPrivilege";

// EWX_REBOOT alone: without EWX_FORCE the system asks every program to close, so nothing the
// user has open is killed unsaved.
bool RequestRestart() {
    const bool accepted = Windows().ExitWindowsEx(EwxReboot, 0) != 0;
    if (RunLogOpen()) {
        Log({"Restart requested: ", accepted ? "accepted" : "refused, error ",
             accepted ? "" : DecimalText(Windows().GetLastError())});
    }
    return accepted;
}

TOKEN_PRIVILEGES PrivilegeRequest(const LUID& luid, DWORD attributes) {
    TOKEN_PRIVILEGES request{};
    request.PrivilegeCount = 1;
    request.Privileges[0].Luid = luid;
    request.Privileges[0].Attributes = attributes;
    return request;
}

// The second way to the shutdown privilege: the program's own process opened by id, its token
// with the adjust right alone. The handles are closed before the request; the privilege stays.
void EnableShutdownPrivilegeByProcessId() {
    KernelHandle process(
        Windows().OpenProcess(ProcessAllAccess, 0, Windows().GetCurrentProcessId()));
    KernelHandle token;
    if (!Windows().OpenProcessToken(process.Get(), TokenAdjustPrivileges, token.Put())) {
        token.Release();  // a failed open hands back nothing to close
        return;
    }
    LUID luid{};
    if (!Windows().LookupPrivilegeValueA(nullptr, ShutdownPrivilege, &luid)) return;
    const TOKEN_PRIVILEGES request = PrivilegeRequest(luid, SePrivilegeEnabled);
    DWORD returnLength = 0;
    Windows().AdjustTokenPrivileges(token.Get(), 0, &request, 0, nullptr, &returnLength);
}

}  // namespace

bool SetTokenPrivilege(std::string_view name, bool enable) {
    bool adjusted = false;
    Guarded([&] {
        KernelHandle token;
        if (!Windows().OpenProcessToken(Windows().GetCurrentProcess(),
                                        TokenAdjustPrivileges | TokenQuery, token.Put())) {
            token.Release();
            return;
        }
        LUID luid{};
        if (!Windows().LookupPrivilegeValueA(nullptr, std::string(name).c_str(), &luid)) return;
        const TOKEN_PRIVILEGES request = PrivilegeRequest(luid, enable ? SePrivilegeEnabled : 0);
        DWORD returnLength = 0;
        // Success of the call is the answer: a privilege the token does not hold still returns
        // non-zero (with ERROR_NOT_ALL_ASSIGNED), and the restart request then tells.
        adjusted = Windows().AdjustTokenPrivileges(token.Get(), 0, &request, 0, nullptr,
                                                   &returnLength) != 0;
    });
    return adjusted;
}

// SetTokenPrivilege and FallbackRestart guard their own steps.
void RestartSystem() {
    SetTokenPrivilege(ShutdownPrivilege, true);
    bool accepted = true;
    Guarded([&] { accepted = RequestRestart(); });
    // Switched off again before any second attempt: the program keeps no right longer than it
    // needs it.
    SetTokenPrivilege(ShutdownPrivilege, false);
    if (!accepted) FallbackRestart();
}

void FallbackRestart() {
    Guarded([] {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        Windows().GetVersionExA(&version);
        // Only the NT family has tokens; elsewhere the request is made as it is.
        if (version.dwPlatformId == VerPlatformWin32Nt) Guarded(EnableShutdownPrivilegeByProcessId);
        RequestRestart();
    });
}

}  // namespace zorvane
