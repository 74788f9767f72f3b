#include "threats/Ubriel.h"

#include <string>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/FileOps.h"
#include "platform/Guarded.h"
#include "platform/Handles.h"
#include "platform/HostFacts.h"
#include "platform/Registry.h"
#include "platform/RunLog.h"
#include "threats/ThreatFacts.h"

namespace zorvane {

namespace {

// Both literals, so zero-terminated.
const char* const WinlogonKey = WinlogonKeyPath.data();
const char* const ShellValue = ShellValueName.data();
constexpr DWORD ShellBufferSize = 255;
constexpr UINT PathBufferSize = 8192;

// The threat's files in the folders the cure fetches from Windows, each as the path built from
// that folder, the way the cure names it to Windows.
std::string InFolder(const std::string& folder, const ThreatFile& file) {
    return Join({folder, "\\", file.name});
}

std::string OnDrive(const ThreatFile& file) {
    return file.folder == ThreatFolder::DriveC ? Join({"c:\\", file.name})
                                               : DriveRootedPath(Join({":\\", file.name}));
}

// The data of "Shell" as text, up to its first zero byte; empty when the value cannot be read.
// Only the first string of REG_MULTI_SZ data counts, and REG_EXPAND_SZ data is not expanded.
std::string ReadShellText(HKEY winlogon) {
    std::vector<BYTE> data(ShellBufferSize);
    DWORD size = ShellBufferSize;
    LONG status =
        Windows().RegQueryValueExA(winlogon, ShellValue, nullptr, nullptr, data.data(), &size);
    // A value padded beyond the buffer must not hide the marker: Windows then reports the size
    // it needs, and the whole value is read with a buffer of that size.
    if (status == static_cast<LONG>(error::MoreData)) {
        data.assign(size, 0);
        status =
            Windows().RegQueryValueExA(winlogon, ShellValue, nullptr, nullptr, data.data(), &size);
    }
    if (status != static_cast<LONG>(error::Success)) return {};
    std::string text;
    for (DWORD i = 0; i < size && i < data.size() && data[i] != 0; ++i) {
        text.push_back(static_cast<char>(data[i]));
    }
    return text;
}

void RepairShell() {
    TRegistry registry;
    registry.SelectRoot(HkeyLocalMachine());
    if (!registry.HasKey(Join({"\\", WinlogonKeyPath}))) return;
    if (!registry.OpenCurrentKey(Join({"\\", WinlogonKeyPath}), true)) return;
    // Read as the detection reads it, whatever its type: a "Shell" that some tool stored as
    // REG_MULTI_SZ or REG_BINARY is repaired too, and replaced by a REG_SZ value.
    registry.PutString(ShellValue, RepairedShell(ReadShellText(registry.CurrentKey())));
}

// A directory as Windows reports it, without a trailing backslash. The buffer starts zeroed, so
// a failed call gives the empty text rather than whatever the buffer held.
std::string FetchedDirectory(UINT (WindowsApi::*fetch)(char*, UINT)) {
    std::vector<char> buffer(PathBufferSize, '\0');
    (Windows().*fetch)(buffer.data(), PathBufferSize);
    buffer.back() = '\0';
    return std::string(buffer.data());
}

std::string SystemDirectory() {
    return FetchedDirectory(&WindowsApi::GetSystemDirectoryA);
}

std::string WindowsDirectory() {
    return FetchedDirectory(&WindowsApi::GetWindowsDirectoryA);
}

}  // namespace

bool DetectUbriel() {
    bool found = false;
    std::string evidence = "Winlogon key not opened";
    Guarded([&] {
        RegistryKey winlogon;
        if (Windows().RegOpenKeyA(HkeyLocalMachine(), WinlogonKey, winlogon.Put()) !=
            static_cast<LONG>(error::Success)) {
            winlogon.Release();  // a refused open hands back nothing to close
            return;
        }
        const std::string shell = ReadShellText(winlogon.Get());
        evidence = Join({"Shell \"", shell, "\""});
        found = ContainsUbrielMarker(shell);
    });
    Log({"Backdoor.Ubriel.b: ", evidence, found ? ": found" : ": not found"});
    return found;
}

CureOutcome CureUbriel() {
    if (!DetectUbriel()) return CureOutcome::NotFound;

    // Files in use now are deleted by the system during the next restart.
    Guarded([] {
        const std::string directory = SystemDirectory();
        for (const ThreatFile& file : UbrielFiles) {
            if (file.folder == ThreatFolder::System) RemoveAtRestart(InFolder(directory, file));
        }
    });
    // The files deleted only at once below are registered as well: once the shell is repaired
    // the threat is no longer detected, so a deletion that fails, or a run cut short by a
    // power loss, would otherwise leave its file for good.
    Guarded([] {
        const std::string windows = WindowsDirectory();
        for (const ThreatFile& file : UbrielFiles) {
            if (file.folder == ThreatFolder::System) continue;
            RemoveAtRestart(file.folder == ThreatFolder::Windows ? InFolder(windows, file)
                                                                 : OnDrive(file));
        }
    });

    Guarded(RepairShell);

    // Each folder is fetched anew for each file.
    for (const ThreatFile& file : UbrielFiles) {
        Guarded([&file] {
            ClearAttributesAndRemove(
                file.folder == ThreatFolder::System    ? InFolder(SystemDirectory(), file)
                : file.folder == ThreatFolder::Windows ? InFolder(WindowsDirectory(), file)
                                                       : OnDrive(file));
        });
    }
    // The marker in the shell is what starts the backdoor at every logon: while it is there,
    // the threat is not removed, whatever became of its files.
    return DetectUbriel() ? CureOutcome::NotRemoved : CureOutcome::Removed;
}

}  // namespace zorvane
