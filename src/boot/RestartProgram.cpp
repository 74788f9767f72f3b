#include "boot/RestartProgram.h"

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
    if (IsPlainCommandPath(own) && OnFixedDrive(own) && !InTemporaryFolder(own))
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
