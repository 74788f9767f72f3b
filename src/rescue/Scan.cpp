#include "rescue/Scan.h"

#include <fcntl.h>

#include <functional>

#include "boot/BootIniRewrite.h"
#include "rescue/BootIni.h"
#include "rescue/Hive.h"
#include "rescue/Text.h"
#include "threats/ThreatFacts.h"

namespace zorvane::rescue {

namespace {

constexpr std::size_t MaxShownText = 300;  // of a value shown as evidence

std::string Quoted(std::string text) {
    if (text.size() > MaxShownText) text.replace(MaxShownText, std::string::npos, "...");
    return "\"" + text + "\"";
}

// A path looked for, as the user reads it: '/' between components.
std::string Slashed(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool IsControlSetName(std::string_view name) {
    if (name.size() != 13 || !SameName(name.substr(0, 10), "ControlSet")) return false;
    for (const char c : name.substr(10))
        if (c < '0' || c > '9') return false;
    return true;
}

bool NamesCommandFile(std::string_view shell) {
    const std::string suffix = ":\\" + std::string(CommandFileName);
    return shell.size() == suffix.size() + 1 && SameName(shell.substr(1), suffix);
}

// Runs a part of the scan; a failure becomes a reason under the verdict.
void Checked(Verdict& verdict, const std::string& what, const std::function<void()>& part) {
    try {
        part();
    } catch (const std::exception& error) {
        verdict.unchecked.push_back(what + ": " + error.what());
    }
}

std::optional<FoundFile> LookAt(const Volumes& volumes, RootKind root, const std::string& lookup) {
    const std::optional<Place> place = volumes.Of(root).Find(lookup);
    if (!place || !place->exists) return std::nullopt;
    FoundFile file{root, lookup, place->path, static_cast<uint64_t>(place->status.st_size),
                   S_ISREG(place->status.st_mode)};
    return file;
}

std::string FileEvidence(const Volumes& volumes, const FoundFile& file) {
    return volumes.Shown(file.root, file.path) +
           (file.regular ? " (" + DecimalOf(file.size) + " bytes)" : " (not a regular file)");
}

// The hive opened for reading; raises when it is missing, not a file, or refused.
Fd OpenHiveFile(const Volumes& volumes, HiveFindings& hive) {
    const std::optional<Place> place = volumes.volume.Find(hive.lookup);
    if (!place || !place->exists) throw RescueError("missing");
    hive.present = true;
    hive.path = place->path;
    if (!place->IsRegularFile()) throw RescueError("not a regular file");
    Fd fd(openat(place->folder.Get(), place->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) ThrowErrno("not readable");
    hive.dirty = HiveIsDirty(fd.Get()).value_or(false);
    return fd;
}

void ReadSoftware(const Volumes& volumes, InstallationScan& scan) {
    HiveFindings& software = scan.software;
    const Fd fd = OpenHiveFile(volumes, software);
    const Hive hive = Hive::Open(fd.Get(), false);
    const hive_node_h root = hive.Root();
    // The hive file is HKLM\SOFTWARE itself: paths below it leave out "SOFTWARE\".
    const std::string_view winlogonPath = WinlogonKeyPath.substr(9);
    if (const hive_node_h version = hive.Path(root, CurrentVersionKeyPath.substr(9))) {
        for (const char* name : {"ProductName", "CurrentVersion", "CSDVersion"}) {
            const std::optional<std::string> text = hive.Text(version, name);
            if (text && !text->empty()) scan.version += (scan.version.empty() ? "" : " ") + *text;
        }
    }
    if (const hive_node_h winlogon = hive.Path(root, winlogonPath)) {
        software.shell = hive.Text(winlogon, ShellValueName);
        software.shellMarked = software.shell && ContainsUbrielMarker(*software.shell);
        software.savedAutoAdminLogon = hive.Text(winlogon, SavedAutoAdminLogonName);
    }
}

void ReadSystem(const Volumes& volumes, HiveFindings& system) {
    const Fd fd = OpenHiveFile(volumes, system);
    const Hive hive = Hive::Open(fd.Get(), false);
    for (const auto& [setName, set] : hive.Children(hive.Root())) {
        if (!IsControlSetName(setName)) continue;
        for (const std::string_view keyPath : HacDefDriverKeys) {
            const hive_node_h key = hive.Path(set, keyPath);
            if (key == 0) continue;
            DriverKey found{setName, std::string(keyPath), "", std::nullopt};
            std::string details;
            if (const std::optional<std::string> image = hive.Text(key, "ImagePath"))
                details = "ImagePath " + Quoted(*image);
            found.start = hive.Dword(key, "Start");
            if (found.start)
                details += (details.empty() ? "Start " : ", Start ") + DecimalOf(*found.start);
            if (!details.empty()) found.details = "(" + details + ")";
            system.driverKeys.push_back(found);
        }
        if (const hive_node_h safeBoot = hive.Path(set, SafeBootKeyPath)) {
            const std::optional<std::string> shell = hive.Text(safeBoot, AlternateShellName);
            if (shell && NamesCommandFile(*shell)) system.alternateShellSets.push_back(setName);
        }
    }
}

void ScanUbriel(const Volumes& volumes, InstallationScan& scan) {
    Verdict& verdict = scan.ubriel;
    Checked(verdict, "hive " + scan.software.path, [&] { ReadSoftware(volumes, scan); });
    if (!verdict.unchecked.empty()) scan.software.unreadable = verdict.unchecked.back();
    if (scan.software.shell)
        verdict.evidence.push_back("Winlogon \"Shell\" = " + Quoted(*scan.software.shell));
    verdict.found = scan.software.shellMarked;
    for (const ThreatFile& file : UbrielFiles) {
        const RootKind root =
            file.folder == ThreatFolder::DriveC ? volumes.DriveC() : RootKind::Volume;
        std::string lookup;
        if (file.folder == ThreatFolder::System) lookup = scan.folder + "\\system32\\";
        if (file.folder == ThreatFolder::Windows) lookup = scan.folder + "\\";
        lookup += file.name;
        bool seen = false;  // c:\ and the system drive are one root without a system partition
        for (const FoundFile& earlier : scan.ubrielFiles)
            seen = seen || (earlier.root == root && SameName(earlier.lookup, lookup));
        if (seen) continue;
        Checked(verdict, Slashed(lookup), [&] {
            if (std::optional<FoundFile> found = LookAt(volumes, root, lookup)) {
                verdict.evidence.push_back(FileEvidence(volumes, *found));
                scan.ubrielFiles.push_back(*found);
                verdict.found = true;
            }
        });
    }
}

void ScanHacDef(const Volumes& volumes, InstallationScan& scan) {
    Verdict& verdict = scan.hacdef;
    Checked(verdict, std::string(HacDefDriverFile.name), [&] {
        scan.driverFile = LookAt(volumes, volumes.DriveC(), std::string(HacDefDriverFile.name));
        if (scan.driverFile) verdict.evidence.push_back(FileEvidence(volumes, *scan.driverFile));
    });
    for (HiveFindings* hive : {&scan.system, &scan.systemAlt}) {
        const std::size_t before = verdict.unchecked.size();
        Checked(verdict, "hive " + hive->path, [&] { ReadSystem(volumes, *hive); });
        // SYSTEM.ALT exists on NT 4.0 and 2000 only: its absence is no gap.
        if (hive == &scan.systemAlt && !hive->present) verdict.unchecked.resize(before);
        if (verdict.unchecked.size() > before) hive->unreadable = verdict.unchecked.back();
        const std::string prefix = hive == &scan.systemAlt ? "SYSTEM.ALT: " : "";
        for (const DriverKey& key : hive->driverKeys)
            verdict.evidence.push_back(prefix + key.controlSet + "\\" + key.key +
                                       (key.details.empty() ? "" : " " + key.details));
    }
    verdict.found =
        scan.driverFile || !scan.system.driverKeys.empty() || !scan.systemAlt.driverKeys.empty();
}

void ScanUnfinishedCure(const Volumes& volumes, InstallationScan& scan) {
    Verdict& verdict = scan.unfinished;
    const RootKind loader = volumes.DriveC();
    Checked(verdict, std::string(BootIniName), [&] {
        std::optional<FoundFile> bootIni = LookAt(volumes, loader, std::string(BootIniName));
        if (bootIni && bootIni->regular && BootIniHasSwitch(volumes.Of(loader), *bootIni)) {
            verdict.evidence.push_back(volumes.Shown(loader, bootIni->path) +
                                       " with the Safe Mode switch");
            scan.bootIni = bootIni;
        }
    });
    const auto file = [&](RootKind root, std::string_view name, std::optional<FoundFile>& into) {
        Checked(verdict, std::string(name), [&] {
            into = LookAt(volumes, root, std::string(name));
            if (into) verdict.evidence.push_back(FileEvidence(volumes, *into));
        });
    };
    file(loader, BootIniBackupName, scan.bootIniBackup);
    for (const HiveFindings* hive : {&scan.system, &scan.systemAlt}) {
        const std::string prefix = hive == &scan.systemAlt ? "SYSTEM.ALT: " : "";
        for (const std::string& set : hive->alternateShellSets)
            verdict.evidence.push_back(prefix + set + "\\" + std::string(SafeBootKeyPath) + " \"" +
                                       std::string(AlternateShellName) + "\" names " +
                                       std::string(CommandFileName));
    }
    if (scan.software.savedAutoAdminLogon)
        verdict.evidence.push_back("Winlogon \"" + std::string(SavedAutoAdminLogonName) +
                                   "\" = " + Quoted(*scan.software.savedAutoAdminLogon));
    file(RootKind::Volume, CommandFileName, scan.commandFile);
    file(RootKind::Volume, RestartCopyName, scan.restartCopy);
    verdict.found = !verdict.evidence.empty();
    // The hives' own gaps are told under the threats that need them.
}

}  // namespace

InstallationScan ScanInstallation(const Volumes& volumes, const std::string& folder) {
    InstallationScan scan;
    scan.folder = folder;
    const std::string config = folder + "\\system32\\config\\";
    scan.software.lookup = config + "SOFTWARE";
    scan.system.lookup = config + "SYSTEM";
    scan.systemAlt.lookup = config + "SYSTEM.ALT";
    for (HiveFindings* hive : {&scan.software, &scan.system, &scan.systemAlt})
        hive->path = Slashed(hive->lookup);
    ScanUbriel(volumes, scan);
    ScanHacDef(volumes, scan);
    ScanUnfinishedCure(volumes, scan);
    // Whether zorvane.exe's cure was left unfinished depends on the hives' values too.
    if (!scan.software.unreadable.empty())
        scan.unfinished.unchecked.push_back(scan.software.unreadable);
    if (!scan.system.unreadable.empty())
        scan.unfinished.unchecked.push_back(scan.system.unreadable);
    return scan;
}

std::string ScanReport(const InstallationScan& scan) {
    std::string report = "Windows installation: " + scan.folder + " (" +
                         (scan.version.empty() ? "version unknown" : scan.version) + ")\n";
    const auto verdict = [&](std::string_view name, const Verdict& v, bool always) {
        if (!always && !v.found && v.unchecked.empty()) return;
        report.append(" ").append(name);
        if (v.found) {
            report.append(" - found\n");
        } else if (!v.unchecked.empty()) {
            report.append(" - could not be checked: ").append(v.unchecked.front()).append("\n");
        } else {
            report.append(" - not found\n");
        }
        for (const std::string& line : v.evidence) report.append("   ").append(line).append("\n");
        for (std::size_t i = v.found ? 0 : 1; i < v.unchecked.size(); ++i)
            report.append("   not checked: ").append(v.unchecked[i]).append("\n");
    };
    verdict(UbrielName, scan.ubriel, true);
    verdict(HacDefName, scan.hacdef, true);
    verdict("Unfinished cure of zorvane.exe", scan.unfinished, false);
    return report;
}

}  // namespace zorvane::rescue
