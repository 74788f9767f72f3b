// The scan of one installation: what each threat left and on what evidence, and what an
// unfinished cure of zorvane.exe left. Reads only: hives are opened without write access, files
// are only looked at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rescue/Volumes.h"

namespace zorvane::rescue {

// What zorvane.exe's Safe Mode cure leaves while it is under way (its command file in the root
// of the system drive, the copy of itself it may run, boot.ini's backup, the values it sets).
inline constexpr std::string_view CommandFileName = "Zorvane.cmd";
inline constexpr std::string_view RestartCopyName = "ZRVCURE.EXE";
inline constexpr std::string_view BootIniName = "boot.ini";
inline constexpr std::string_view BootIniBackupName = "boot.ini.ZRVBACKUP";
inline constexpr std::string_view SafeBootKeyPath = "Control\\SafeBoot";
inline constexpr std::string_view AlternateShellName = "AlternateShell";
inline constexpr std::string_view WindowsAlternateShell = "cmd.exe";
inline constexpr std::string_view AutoAdminLogonName = "AutoAdminLogon";
inline constexpr std::string_view SavedAutoAdminLogonName = "OLDAutoAdminLogon";
inline constexpr std::string_view CurrentVersionKeyPath =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

struct FoundFile {
    RootKind root = RootKind::Volume;
    std::string lookup;  // '\\'-separated, as looked for
    std::string path;    // '/'-separated, as spelt on the disk
    uint64_t size = 0;
    bool regular = false;
};

struct DriverKey {
    std::string controlSet;         // "ControlSet001"
    std::string key;                // below the set, as HacDefDriverKeys names it
    std::string details;            // "(ImagePath "...", Start 1)" or empty
    std::optional<uint32_t> start;  // a service's "Start"
};

// A hive file of the installation, and what of the threats it holds.
struct HiveFindings {
    std::string lookup;  // below the volume's root, '\\'-separated
    std::string path;    // as spelt on the disk
    bool present = false;
    bool dirty = false;
    std::string unreadable;  // why it could not be read; empty when it was read
    std::vector<DriverKey> driverKeys;
    std::vector<std::string> alternateShellSets;  // control sets whose Safe Mode shell is ours
    // SOFTWARE only:
    std::optional<std::string> shell;  // Winlogon "Shell" as zorvane.exe reads it
    bool shellMarked = false;
    std::optional<std::string> savedAutoAdminLogon;
};

struct Verdict {
    bool found = false;
    std::vector<std::string> unchecked;  // reasons
    std::vector<std::string> evidence;   // lines without their leading blanks
};

struct InstallationScan {
    std::string folder;
    std::string version;
    HiveFindings software, system, systemAlt;
    std::vector<FoundFile> ubrielFiles;
    std::optional<FoundFile> driverFile;
    std::optional<FoundFile> bootIni;  // when it carries the Safe Mode switch
    std::optional<FoundFile> bootIniBackup, commandFile, restartCopy;
    Verdict ubriel, hacdef, unfinished;

    bool AnythingFound() const { return ubriel.found || hacdef.found || unfinished.found; }
    bool AnythingUnchecked() const {
        return !ubriel.unchecked.empty() || !hacdef.unchecked.empty() ||
               !unfinished.unchecked.empty();
    }
};

InstallationScan ScanInstallation(const Volumes& volumes, const std::string& folder);

// The scan's lines for the console (and the log), each ending with '\n'.
std::string ScanReport(const InstallationScan& scan);

}  // namespace zorvane::rescue
