// What the two threats are, as both programs know them: zorvane.exe on the running Windows and
// zorvane-rescue on a volume from outside. Pure facts and rules, no Windows call, so that the
// two can never disagree on a name, a place or the repair of the shell.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

inline constexpr std::string_view UbrielName = "Backdoor.Ubriel.b";
inline constexpr std::string_view HacDefName = "Backdoor.HacDef.073.b";

// Backdoor.Ubriel.b starts from the Winlogon "Shell" value, which carries its marker.
inline constexpr std::string_view UbrielMarker = "UBR2";
inline constexpr std::string_view WinlogonKeyPath =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr std::string_view ShellValueName = "Shell";
inline constexpr std::string_view DefaultShell = "Explorer.exe";

// Whether the text holds the marker, in any letter case, also inside a longer word.
bool ContainsUbrielMarker(std::string_view text);

// The shell to write in place of `shell`: the program before its first space. Where that would
// leave Windows without a working shell (nothing before the space, no space at all, or the
// backdoor's own file first), the default shell.
std::string RepairedShell(std::string_view shell);

// Where a threat's file lives. On the running system the folders are the ones Windows reports;
// on a volume seen from outside the system folder is %SystemRoot%\system32, drive C: is the
// loader's partition and the system drive the volume's root.
enum class ThreatFolder { System, DriveC, SystemDrive, Windows };

struct ThreatFile {
    ThreatFolder folder;
    std::string_view name;  // relative to the folder, backslash-separated, no leading backslash
};

// The seven files of Backdoor.Ubriel.b, in the order its cure removes them.
inline constexpr ThreatFile UbrielFiles[] = {
    {ThreatFolder::System, "ubr2.exe"},          {ThreatFolder::System, "hcsrss.dll"},
    {ThreatFolder::System, "icsrss.dll"},        {ThreatFolder::DriveC, "ubr2.exe"},
    {ThreatFolder::SystemDrive, "ubr2.exe"},     {ThreatFolder::Windows, "icsrss.dll"},
    {ThreatFolder::Windows, "system\\ubr2.exe"},
};

// Backdoor.HacDef.073.b: the hiding driver's file on drive C: ...
inline constexpr ThreatFile HacDefDriverFile = {ThreatFolder::DriveC, "ubr2drv.sys"};
// ... and its keys, relative to a control set, in the order its cure deletes them in each one.
inline constexpr std::string_view HacDefDriverKeys[] = {"Enum\\Root\\LEGACY_UBR2DRV",
                                                        "Services\\ubr2drv"};

}  // namespace zorvane
