#include "boot/MachineLock.h"

#include <cstring>

#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr DWORD FileFlagDeleteOnClose = 0x04000000;

// The lock is a file in the Windows folder, opened without sharing: a second open fails with a
// sharing violation however the holder runs (another session, the system account, NT 4.0 without
// the "Global\" namespace of named objects), and the system closes it when the holder dies. The
// Windows folder is the same for every process, whatever its environment says the system drive
// is, and only administrators create files there.
constexpr char LockName[] = "\\Zorvane.lck";

}  // namespace

MachineLock::Outcome MachineLock::Take() {
    if (file_) return Taken;
    // Every cure writes under HKLM\SYSTEM, which only administrators and the system may change.
    // The control set in use is always there, whichever one it is.
    RegistryKey control;
    if (Windows().RegOpenKeyExA(HkeyLocalMachine(), "SYSTEM\\CurrentControlSet\\Control", 0,
                                KeySetValue, control.Put()) != static_cast<LONG>(error::Success)) {
        control.Release();  // a failed open hands back nothing to close
        return Refused;
    }
    char path[MaxPath + sizeof LockName] = "C:";
    UINT length = Windows().GetWindowsDirectoryA(path, MaxPath);
    if (length == 0 || length >= MaxPath) {
        length = 2;
        path[0] = 'C';
        path[1] = ':';
    }
    if (path[length - 1] == '\\') --length;  // a root such as "C:\"
    std::memcpy(path + length, LockName, sizeof LockName);
    file_.Reset(Windows().CreateFileA(path, GenericRead | GenericWrite, 0, nullptr, OpenAlways,
                                      FileAttributeNormal | FileFlagDeleteOnClose, nullptr));
    const DWORD code = file_ ? 0 : Windows().GetLastError();
    // A sharing violation is the other run's open handle; access denied, its file being deleted
    // as it lets go. Any other failure (a disk that refuses the file) must not keep the cure
    // from running: the lock only guards against a second run.
    return code == error::SharingViolation || code == error::AccessDenied ? Held : Taken;
}

}  // namespace zorvane
