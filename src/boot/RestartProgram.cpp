#include "boot/RestartProgram.h"

#include <cstring>

#include "boot/BootFiles.h"
#include "frontend/CommandLine.h"
#include "platform/AsciiText.h"
#include "platform/FileOps.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr std::string_view CmdSpecial = "\"%&|<>^()!;,=/";

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A drive made by SUBST answers with the type of the disk under it, but it is gone after the
// restart. Its device is the folder it stands for ("\??\C:\Tools"), not a disk.
bool IsSubstDrive(const std::string& path) {
    const std::string drive = path.substr(0, 2);
    char target[MaxPath + 1] = {};  // a zero stays at the end whatever comes back
    return Windows().QueryDosDeviceA(drive.c_str(), target, MaxPath) > 0 &&
           std::string_view(target).starts_with("\\??\\");
}

bool OnFixedDrive(const std::string& path) {
    const std::string root = path.substr(0, 3);
    return Windows().GetDriveTypeA(root.c_str()) == DriveFixed && !IsSubstDrive(path);
}

// The short form too: the temporary folder is often given as C:\DOCUME~1\...\LOCALS~1\Temp\,
// while the program's own path comes in its long form.
std::string ShortForm(const std::string& path) {
    char shortPath[MaxPath] = {};
    const DWORD length = Windows().GetShortPathNameA(path.c_str(), shortPath, MaxPath);
    return length > 0 && length < MaxPath ? std::string(shortPath, length) : path;
}

bool Below(const std::string& path, std::string folder) {
    if (folder.empty()) return false;
    if (folder.back() != '\\') folder += '\\';
    return AsciiUpper(path).starts_with(AsciiUpper(folder));
}

// Windows empties the temporary folder's subfolders as it pleases: a ZIP opened in Explorer is
// run from a folder there that is gone after the restart.
bool InTemporaryFolder(const std::string& path) {
    char temp[MaxPath] = {};
    const DWORD length = Windows().GetTempPathA(MaxPath, temp);
    if (length == 0 || length >= MaxPath) return false;
    const std::string folder(temp, length);
    return Below(path, folder) || Below(ShortForm(path), ShortForm(folder));
}

// The Safe Mode start runs the program with an administrator's rights, so a program that another
// account may change or replace before the restart would run that account's code as
// administrator. Accounts that may: the system, the administrators, and the one running the cure
// (an administrator, or it would not get this far). SIDs as Windows stores them.
constexpr BYTE LocalSystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
constexpr BYTE AdministratorsSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
// Rights that change or replace a file: write, append, delete, new permissions or owner (and the
// generic rights that hold them); for its folder: add or delete a file in it, and the same.
constexpr DWORD FileChangingRights = 0x500D0006;
constexpr DWORD FolderChangingRights = 0x500D0042;

bool SameSid(const void* sid, const void* other) {
    const auto length = [](const void* s) { return 8u + 4u * static_cast<const BYTE*>(s)[1]; };
    return sid != nullptr && other != nullptr && length(sid) == length(other) &&
           std::memcmp(sid, other, length(sid)) == 0;
}

bool Trusted(const void* sid, const void* runningUser) {
    for (const void* trusted : {static_cast<const void*>(LocalSystemSid),
                                static_cast<const void*>(AdministratorsSid), runningUser})
        if (SameSid(sid, trusted)) return true;
    return false;
}

// The running account's SID, inside `buffer` (which receives the token's user record); null when
// it cannot be told.
const void* RunningUser(DWORD (&buffer)[64]) {
    KernelHandle token;
    if (!Windows().OpenProcessToken(Windows().GetCurrentProcess(), TokenQuery, token.Put())) {
        token.Release();  // a failed open hands back nothing to close
        return nullptr;
    }
    DWORD length = 0;
    if (!Windows().GetTokenInformation(token.Get(), TokenUserClass, buffer, sizeof buffer, &length))
        return nullptr;
    return *reinterpret_cast<void* const*>(buffer);
}

// Whether an account that is not trusted may use one of `rights` on the file or folder: it owns
// it (an owner may always give itself new permissions) or an entry of its permissions allows it.
// Whatever cannot be told (no answer, no permissions at all, an entry of an unknown kind) counts
// as yes. Entries that deny are left out: they could only take rights away.
bool OthersMay(const char* path, DWORD rights, const void* runningUser) {
    // A descriptor with its owner and permissions, aligned as Windows needs.
    DWORD descriptor[1024];
    DWORD needed = 0;
    void* owner = nullptr;
    BOOL present = 0, defaulted = 0;
    ACL* dacl = nullptr;
    if (!Windows().GetFileSecurityA(path, OwnerSecurityInformation | DaclSecurityInformation,
                                    descriptor, sizeof descriptor, &needed) ||
        !Windows().GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !Trusted(owner, runningUser) ||
        !Windows().GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
        dacl == nullptr)  // no permissions: everyone may do everything
        return true;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!Windows().GetAce(dacl, index, &entry)) return true;
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        // An inherit-only entry is for what is created inside the folder, not the folder.
        if (ace->AceType == AccessDeniedAceType || (ace->AceFlags & InheritOnlyAce) != 0) continue;
        if (ace->AceType != AccessAllowedAceType) return true;
        if ((ace->Mask & rights) != 0 && !Trusted(&ace->SidStart, runningUser)) return true;
    }
    return false;
}

// Neither the program nor its folder lets an untrusted account change or replace it. A volume
// without permissions (FAT) leaves the question out: anyone may change anything there, as on the
// system drive's root where the copy would go.
bool OnlyTrustedMayChange(const std::string& path) {
    DWORD flags = 0;
    char folder[MaxPath] = {path[0], ':', '\\'};  // the root first; a plain command path has it
    if (Windows().GetVolumeInformationA(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        (flags & FsPersistentAcls) == 0)
        return true;
    DWORD user[64];
    const void* runningUser = RunningUser(user);
    const std::size_t slash = path.rfind('\\');
    if (slash > 2) path.copy(folder, slash);  // shorter than MaxPath, as the path is
    return !OthersMay(path.c_str(), FileChangingRights, runningUser) &&
           !OthersMay(folder, FolderChangingRights, runningUser);
}

// USB and FireWire disks and encrypted or virtual volumes are fixed drives too, and may be gone
// after the restart; the drive Windows is on is not.
bool OnWindowsDrive(const std::string& path) {
    char directory[MaxPath] = {};
    const UINT length = Windows().GetWindowsDirectoryA(directory, MaxPath);
    // Both begin with a drive letter: compared without regard to case.
    return length > 0 && length < MaxPath && (path[0] | 0x20) == (directory[0] | 0x20);
}

}  // namespace

bool IsPlainCommandPath(std::string_view path) {
    if (path.size() < 3 || !IsAsciiLetter(path[0]) || path.substr(1, 2) != ":\\") return false;
    for (const char c : path) {
        if (c < ' ' || c > '~' || CmdSpecial.find(c) != std::string_view::npos) return false;
    }
    return true;
}

std::string CommandFor(std::string_view path, std::string_view options) {
    std::string command(path);
    if (command.find(' ') != std::string::npos) command = '"' + command + '"';
    command += options;
    return command;
}

RestartProgram PrepareRestartProgram() {
    const std::string own = ArgumentAt(0);
    // Empty when the system could not tell it; longer than a path can be when it was cut short.
    if (own.empty() || own.size() >= MaxPath)
        return {{}, false, "the program's own path could not be read"};
    if (IsPlainCommandPath(own) && OnWindowsDrive(own) && OnFixedDrive(own) &&
        !InTemporaryFolder(own) && OnlyTrustedMayChange(own))
        return {own, false, {}};
    const std::string copy = RestartCopyPath();
    if (!CopyProgram(own, copy))
        return {{}, false, Join({"the program could not be copied to ", copy})};
    return {copy, true, {}};
}

void RemoveRestartCopy() {
    const std::string copy = RestartCopyPath();
    if (FileListed(copy) && !ClearAttributesAndRemove(copy)) RemoveAtRestart(copy);
}

bool RunningFromRestartCopy() {
    return AsciiUpper(ArgumentAt(0)) == AsciiUpper(RestartCopyPath());
}

}  // namespace zorvane
