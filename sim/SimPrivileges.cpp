// Processes, the process token with its privileges, and ExitWindowsEx.
#include <cstring>

#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

namespace {

struct Privilege {
    const char* name;
    DWORD luid;
    bool held;  // by an administrator's token on XP
};

// The LUIDs are those Windows gives the privileges on the local system.
constexpr Privilege Privileges[] = {
    {"SeCreateTokenPrivilege", 2, false},
    {"SeAssignPrimaryTokenPrivilege", 3, false},
    {"SeLockMemoryPrivilege", 4, false},
    {"SeIncreaseQuotaPrivilege", 5, true},
    {"SeMachineAccountPrivilege", 6, false},
    {"SeTcbPrivilege", 7, false},
    {"SeSecurityPrivilege", 8, true},
    {"SeTakeOwnershipPrivilege", 9, true},
    {"SeLoadDriverPrivilege", 10, true},
    {"SeSystemProfilePrivilege", 11, true},
    {"SeSystemtimePrivilege", 12, true},
    {"SeProfileSingleProcessPrivilege", 13, true},
    {"SeIncreaseBasePriorityPrivilege", 14, true},
    {"SeCreatePagefilePrivilege", 15, true},
    {"SeCreatePermanentPrivilege", 16, false},
    {"SeBackupPrivilege", 17, true},
    {"SeRestorePrivilege", 18, true},
    {"SeShutdownPrivilege", 19, true},
    {"SeDebugPrivilege", 20, true},
    {"SeAuditPrivilege", 21, false},
    {"SeSystemEnvironmentPrivilege", 22, true},
    {"SeChangeNotifyPrivilege", 23, true},
    {"SeRemoteShutdownPrivilege", 24, true},
    {"SeUndockPrivilege", 25, true},
};
constexpr DWORD ShutdownLuid = 19;
constexpr DWORD ProcessQueryInformation = 0x400;
constexpr DWORD RpcServerUnavailable = 1722;

const Privilege* PrivilegeOf(LUID luid) {
    for (const Privilege& privilege : Privileges) {
        if (luid.HighPart == 0 && privilege.luid == luid.LowPart) return &privilege;
    }
    return nullptr;
}

std::string PrivilegesText(const TOKEN_PRIVILEGES* state) {
    if (state == nullptr) return "NULL";
    std::string text = "{";
    for (DWORD i = 0; i < state->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = state->Privileges[i];
        const Privilege* privilege = PrivilegeOf(entry.Luid);
        if (i > 0) text += ", ";
        text += privilege != nullptr ? privilege->name : Hex(entry.Luid.LowPart);
        text += "=" + Hex(entry.Attributes);
    }
    return text + "}";
}

std::uintptr_t Number(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

void SimWindows::SetShutdownPrivilegeHeld(bool held) {
    core_->shutdownHeld = held;
    if (!held) core_->enabled.erase(ShutdownLuid);
}

void SimWindows::SetExitWindowsAccepts(bool accepts) {
    core_->exitAccepts = accepts;
}

const std::vector<RestartRequest>& SimWindows::RestartRequests() const {
    return core_->restarts;
}

bool SimWindows::ShutdownPrivilegeEnabled() const {
    return core_->enabled.count(ShutdownLuid) != 0;
}

HANDLE SimWindows::GetCurrentProcess() {
    EnterInfallible("GetCurrentProcess", {});
    return InvalidHandleValue();  // the pseudo-handle (HANDLE)-1
}

DWORD SimWindows::GetCurrentProcessId() {
    EnterInfallible("GetCurrentProcessId", {});
    return core_->processId;
}

HANDLE SimWindows::OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    if (Enter("OpenProcess",
              {Hex(desiredAccess), Hex(static_cast<DWORD>(inheritHandle)), Hex(processId)})) {
        return nullptr;
    }
    if (processId != core_->processId) {
        lastError_ = error::InvalidParameter;  // what Windows answers for a process not running
        return nullptr;
    }
    const std::uintptr_t handle = NewHandle();
    core_->kernel[handle] = KernelObject{KernelObject::Kind::Process, desiredAccess};
    return reinterpret_cast<HANDLE>(handle);
}

BOOL SimWindows::OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
    if (Enter("OpenProcessToken", {HandleText(process), Hex(desiredAccess)})) return FALSE;
    if (!core_->IsNt()) {
        lastError_ = code::CallNotImplemented;
        return FALSE;
    }
    if (token == nullptr) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    if (process != InvalidHandleValue()) {  // not the current-process pseudo-handle
        const auto it = core_->kernel.find(Number(process));
        if (it == core_->kernel.end() || it->second.kind != KernelObject::Kind::Process) {
            lastError_ = error::InvalidHandle;
            return FALSE;
        }
        if ((it->second.access & ProcessQueryInformation) == 0) {
            lastError_ = error::AccessDenied;
            return FALSE;
        }
    }
    const std::uintptr_t handle = NewHandle();
    core_->kernel[handle] = KernelObject{KernelObject::Kind::Token, desiredAccess};
    *token = reinterpret_cast<HANDLE>(handle);
    return TRUE;
}

BOOL SimWindows::LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
    if (Enter("LookupPrivilegeValueA", {Quoted(systemName), Quoted(name)})) return FALSE;
    if (!core_->IsNt()) {
        lastError_ = code::CallNotImplemented;
        return FALSE;
    }
    if (systemName != nullptr && *systemName != 0) {
        lastError_ = RpcServerUnavailable;  // this machine has no network
        return FALSE;
    }
    if (luid == nullptr) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    for (const Privilege& privilege : Privileges) {
        if (name != nullptr && UpperAscii(privilege.name) == UpperAscii(name)) {
            *luid = LUID{privilege.luid, 0};
            return TRUE;
        }
    }
    lastError_ = error::NoSuchPrivilege;
    return FALSE;
}

BOOL SimWindows::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                       const TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                       TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    if (Enter("AdjustTokenPrivileges", {HandleText(token), Hex(static_cast<DWORD>(disableAll)),
                                        PrivilegesText(newState), Hex(bufferLength)})) {
        return FALSE;
    }
    Core& core = *core_;
    if (!core.IsNt()) {
        lastError_ = code::CallNotImplemented;
        return FALSE;
    }
    const auto it = core.kernel.find(Number(token));
    if (it == core.kernel.end() || it->second.kind != KernelObject::Kind::Token) {
        lastError_ = error::InvalidHandle;
        return FALSE;
    }
    if ((it->second.access & TokenAdjustPrivileges) == 0) {
        lastError_ = error::AccessDenied;
        return FALSE;
    }
    if (disableAll) {
        core.enabled.clear();
        lastError_ = error::Success;
        return TRUE;
    }
    if (newState == nullptr) {
        lastError_ = error::InvalidParameter;
        return FALSE;
    }
    if (previousState != nullptr) {
        const DWORD needed = static_cast<DWORD>(sizeof(DWORD) + sizeof(LUID_AND_ATTRIBUTES) *
                                                                    newState->PrivilegeCount);
        if (returnLength != nullptr) *returnLength = needed;
        if (bufferLength < needed) {
            lastError_ = code::InsufficientBuffer;
            return FALSE;
        }
        previousState->PrivilegeCount = newState->PrivilegeCount;
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            const LUID luid = newState->Privileges[i].Luid;
            LUID_AND_ATTRIBUTES before{luid,
                                       core.enabled.count(luid.LowPart) != 0 && luid.HighPart == 0
                                           ? SePrivilegeEnabled
                                           : 0};
            std::memcpy(reinterpret_cast<unsigned char*>(previousState) + sizeof(DWORD) +
                            i * sizeof(LUID_AND_ATTRIBUTES),
                        &before, sizeof before);
        }
    }
    // Privileges the token does not hold are skipped: the call still succeeds, and says so
    // through the last error.
    bool allAssigned = true;
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
        const Privilege* privilege = PrivilegeOf(entry.Luid);
        const bool held = privilege != nullptr && privilege->held &&
                          (privilege->luid != ShutdownLuid || core.shutdownHeld);
        if (!held) {
            allAssigned = false;
        } else if ((entry.Attributes & SePrivilegeEnabled) != 0) {
            core.enabled.insert(privilege->luid);
        } else {
            core.enabled.erase(privilege->luid);
        }
    }
    lastError_ = allAssigned ? error::Success : code::NotAllAssigned;
    return TRUE;
}

BOOL SimWindows::ExitWindowsEx(UINT flags, DWORD reserved) {
    if (Enter("ExitWindowsEx", {Hex(flags), Hex(reserved)})) {
        if (!recorder_.Dead()) core_->restarts.push_back(RestartRequest{flags, reserved, false});
        return FALSE;
    }
    Core& core = *core_;
    DWORD failure = 0;
    if (core.IsNt() && core.enabled.count(ShutdownLuid) == 0) {
        failure = error::PrivilegeNotHeld;
    } else if (!core.exitAccepts) {
        failure = error::AccessDenied;
    }
    core.restarts.push_back(RestartRequest{flags, reserved, failure == 0});
    return Answer(failure);
}

}  // namespace sim
