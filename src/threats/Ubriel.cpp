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

namespace zorvane {

namespace {

constexpr char Marker[] = "UBR2";
constexpr char WinlogonKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr char WinlogonPath[] = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr char ShellValue[] = "Shell";
constexpr char DefaultShell[] = "Explorer.exe";
constexpr DWORD ShellBufferSize = 255;
constexpr UINT PathBufferSize = 8192;

constexpr const char* SystemDirectoryNames[] = {"\\ubr2.exe", "\\hcsrss.dll", "\\icsrss.dll"};
constexpr const char* WindowsDirectoryNames[] = {"\\icsrss.dll", "\\system\\ubr2.exe"};

bool ContainsMarker(const std::string& text) {
    return AsciiUpper(text).find(Marker) != std::string::npos;
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

// The repaired shell is the program before the first space of the current one. Where that would
// leave Windows without a working shell (nothing before the space, no space at all, or the
// backdoor's own file first), the default shell is written instead.
std::string RepairedShell(const std::string& shell) {
    const auto space = shell.find(' ');
    if (space == std::string::npos) return DefaultShell;
    std::string program = shell.substr(0, space);
    if (program.empty() || ContainsMarker(program)) return DefaultShell;
    return program;
}

void RepairShell() {
    TRegistry registry;
    registry.SelectRoot(HkeyLocalMachine());
    if (!registry.HasKey(WinlogonPath)) return;
    if (!registry.OpenCurrentKey(WinlogonPath, true)) return;
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
        found = ContainsMarker(shell);
    });
    Log({"Backdoor.Ubriel.b: ", evidence, found ? ": found" : ": not found"});
    return found;
}

CureOutcome CureUbriel() {
    if (!DetectUbriel()) return CureOutcome::NotFound;

    // Files in use now are deleted by the system during the next restart.
    Guarded([] {
        const std::string directory = SystemDirectory();
        for (const char* name : SystemDirectoryNames) {
            RemoveAtRestart(directory + name);
        }
    });
    // The files deleted only at once below are registered as well: once the shell is repaired
    // the threat is no longer detected, so a deletion that fails, or a run cut short by a
    // power loss, would otherwise leave its file for good.
    Guarded([] {
        const std::string windows = WindowsDirectory();
        for (const std::string& path :
             {std::string("c:\\ubr2.exe"), DriveRootedPath(":\\ubr2.exe"),
              windows + WindowsDirectoryNames[0], windows + WindowsDirectoryNames[1]}) {
            RemoveAtRestart(path);
        }
    });

    Guarded(RepairShell);

    for (const char* name : SystemDirectoryNames) {
        Guarded([name] { ClearAttributesAndRemove(SystemDirectory() + name); });
    }
    Guarded([] { ClearAttributesAndRemove("c:\\ubr2.exe"); });
    Guarded([] { ClearAttributesAndRemove(DriveRootedPath(":\\ubr2.exe")); });
    for (const char* name : WindowsDirectoryNames) {
        Guarded([name] { ClearAttributesAndRemove(WindowsDirectory() + name); });
    }
    // The marker in the shell is what starts the backdoor at every logon: while it is there,
    // the threat is not removed, whatever became of its files.
    return DetectUbriel() ? CureOutcome::NotRemoved : CureOutcome::Removed;
}

}  // namespace zorvane
