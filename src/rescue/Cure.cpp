#include "rescue/Cure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>

#include "rescue/BootIni.h"
#include "rescue/HiveEdit.h"
#include "rescue/Installations.h"
#include "rescue/Quarantine.h"
#include "rescue/Refusals.h"
#include "rescue/Scan.h"
#include "rescue/Text.h"
#include "threats/ThreatFacts.h"

namespace zorvane::rescue {

namespace {

RawValue StringValue(std::string_view text) {
    return RawValue{hive_t_REG_SZ, Utf8ToUtf16z(text)};
}

ValueList::iterator FindValue(ValueList& values, std::string_view name) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (SameName(it->first, name)) return it;
    return values.end();
}

void PutValue(ValueList& values, std::string_view name, RawValue value) {
    const auto it = FindValue(values, name);
    if (it != values.end()) {
        it->second = std::move(value);
    } else {
        values.emplace_back(std::string(name), std::move(value));
    }
}

class CureRun {
  public:
    CureRun(const Volumes& volumes, Output& out, Quarantine& quarantine)
        : volumes_(volumes), out_(out), quarantine_(quarantine) {}

    bool AllDone() const { return allDone_; }

    void NotDone(std::string_view item, std::string_view reason) {
        out_.Line("   NOT " + std::string(item) + ": " + std::string(reason));
        allDone_ = false;
    }

    void Remove(const FoundFile& file);
    void PutBackBootIni(const InstallationScan& scan);
    void Edit(const HiveFindings& hive, std::vector<HiveOp> ops);

  private:
    // A change is durable only once its folder's entry is on the disk: until then a power loss
    // can bring the old entry back, so a folder that cannot be flushed leaves the cure incomplete.
    void Flush(int folder, const std::string& shown) {
        if (fsync(folder) != 0)
            NotDone("durable " + shown, "its folder cannot be flushed: " + ErrnoText(errno));
    }

    const Volumes& volumes_;
    Output& out_;
    Quarantine& quarantine_;
    bool allDone_ = true;
};

void CureRun::Remove(const FoundFile& file) {
    const std::string shown = volumes_.Shown(file.root, file.path);
    try {
        if (!file.regular) throw RescueError("not a regular file");
        if (!IsRecordablePath(file.path)) throw RescueError("its name cannot be recorded");
        const std::optional<Place> place = volumes_.Of(file.root).Find(file.lookup);
        if (!place || !place->exists) return;  // gone since the scan: nothing to take
        if (!place->IsRegularFile()) throw RescueError("not a regular file");
        const int folder = place->folder.Get();
        const Fd fd(openat(folder, place->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) ThrowErrno("not readable");
        const Quarantine::Stored stored = quarantine_.Keep(fd.Get(), "quarantined");
        quarantine_.RecordAndDo(
            {"removed", std::string(RootName(file.root)), place->path, stored.size, stored.sha256,
             "-", stored.name},
            [&] { return unlinkat(folder, place->name.c_str(), 0); }, "cannot be removed");
        out_.Line("   removed " + shown);
        Flush(folder, shown);
    } catch (const std::exception& error) {
        NotDone("removed " + shown, error.what());
    }
}

// boot.ini goes back to what it was before zorvane.exe's scheduling: its backup is renamed over
// it, or, without a backup, the switch is taken out of its lines.
void CureRun::PutBackBootIni(const InstallationScan& scan) {
    const RootKind rootKind = volumes_.DriveC();
    const VolumeRoot& root = volumes_.Of(rootKind);
    const std::string shown = volumes_.Shown(rootKind, std::string(BootIniName));
    try {
        const std::optional<Place> bootIni = root.Find(BootIniName);
        if (!bootIni) return;
        const int folder = bootIni->folder.Get();
        if (bootIni->exists && !bootIni->IsRegularFile()) throw RescueError("not a regular file");
        const std::string rootName = std::string(RootName(rootKind));
        const auto keepOriginal = [&](const std::string& after) {
            const Fd fd(openat(folder, bootIni->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd) ThrowErrno("not readable");
            const Quarantine::Stored stored = quarantine_.Keep(fd.Get(), "original");
            return ManifestLine{"changed",     rootName, bootIni->path, stored.size,
                                stored.sha256, after,    stored.name};
        };
        if (scan.bootIniBackup) {
            const std::optional<Place> backup = root.Find(scan.bootIniBackup->lookup);
            if (!backup || !backup->IsRegularFile())
                throw RescueError("its backup is no longer a regular file");
            const Fd fd(openat(folder, backup->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd) ThrowErrno("its backup is not readable");
            SyncOrThrow(fd.Get(), "its backup");
            const Quarantine::Stored stored = quarantine_.Keep(fd.Get(), "quarantined");
            std::optional<ManifestLine> changed;
            if (bootIni->exists) {
                changed = keepOriginal(stored.sha256);
                quarantine_.Record(*changed);
            }
            const std::string target = bootIni->exists ? bootIni->name : std::string(BootIniName);
            try {
                quarantine_.RecordAndDo(
                    {"removed", rootName, backup->path, stored.size, stored.sha256, "-",
                     stored.name},
                    [&] { return renameat(folder, backup->name.c_str(), folder, target.c_str()); },
                    "its backup cannot be put back");
            } catch (...) {
                if (changed) {
                    changed->action = "failed";
                    quarantine_.Record(*changed);
                }
                throw;
            }
            out_.Line("   changed " + shown);
            out_.Line("   removed " + volumes_.Shown(rootKind, backup->path));
            Flush(folder, shown);
            return;
        }
        if (!scan.bootIni || !bootIni->exists) return;
        const std::string content = WithoutSwitch(BootIniLines(ReadBootIni(root, *scan.bootIni)));
        const std::string newName = bootIni->name + ".ZRVNEW";
        struct stat leftover {};  // a scratch file of an earlier run
        if (fstatat(folder, newName.c_str(), &leftover, AT_SYMLINK_NOFOLLOW) == 0)
            unlinkat(folder, newName.c_str(), 0);
        Fd copy(openat(folder, newName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0644));
        if (!copy) ThrowErrno("cannot be rewritten");
        try {
            WriteAll(copy.Get(), content, "cannot be rewritten");
            SyncOrThrow(copy.Get(), "cannot be rewritten");
            quarantine_.RecordAndDo(
                keepOriginal(HashOf(copy.Get())),
                [&] { return renameat(folder, newName.c_str(), folder, bootIni->name.c_str()); },
                "cannot be replaced");
        } catch (...) {
            unlinkat(folder, newName.c_str(), 0);
            throw;
        }
        out_.Line("   changed " + shown);
        Flush(folder, shown);
    } catch (const std::exception& error) {
        NotDone("changed " + shown, error.what());
    }
}

void CureRun::Edit(const HiveFindings& hive, std::vector<HiveOp> ops) {
    if (ops.empty()) return;
    try {
        const HiveEditResult result =
            EditHive(volumes_.volume, hive.lookup, std::move(ops), quarantine_);
        if (result.changed) out_.Line("   changed " + hive.path);
        if (result.unflushed) NotDone("durable " + hive.path, *result.unflushed);
        for (const auto& [item, reason] : result.failed) NotDone(item, reason);
    } catch (const std::exception& error) {
        NotDone("changed " + hive.path, error.what());
    }
}

std::vector<HiveOp> SoftwareOps(const InstallationScan& scan) {
    const HiveFindings& software = scan.software;
    if (!software.shellMarked && !software.savedAutoAdminLogon) return {};
    const bool repairShell = software.shellMarked;
    const bool restoreLogon = software.savedAutoAdminLogon.has_value();
    const std::string winlogon(WinlogonKeyPath.substr(9));  // below HKLM\SOFTWARE
    HiveOp op{"changed " + software.path + "\\" + winlogon,
              winlogon,
              std::nullopt,
              [=](ValueList& values) {
                  if (repairShell) {
                      const auto shell = FindValue(values, ShellValueName);
                      if (shell != values.end())
                          shell->second = StringValue(
                              RepairedShell(ValueText(shell->second.type, shell->second.data)));
                  }
                  const auto saved = FindValue(values, SavedAutoAdminLogonName);
                  if (restoreLogon && saved != values.end()) {
                      const RawValue old = saved->second;
                      values.erase(saved);
                      PutValue(values, AutoAdminLogonName, old);
                  }
              },
              nullptr,
              ""};
    return {op};
}

std::vector<HiveOp> SystemOps(const HiveFindings& system) {
    std::vector<HiveOp> ops;
    for (const DriverKey& key : system.driverKeys) {
        const std::size_t last = key.key.rfind('\\');
        HiveOp op{"removed " + system.path + "\\" + key.controlSet + "\\" + key.key,
                  key.controlSet + "\\" + key.key.substr(0, last),
                  key.key.substr(last + 1),
                  nullptr,
                  nullptr,
                  ""};
        // A driver key hivex cannot delete is at least kept from loading the driver.
        if (key.start) {
            op.fallback = std::make_shared<const HiveOp>(
                HiveOp{"changed " + system.path + "\\" + key.controlSet + "\\" + key.key,
                       key.controlSet + "\\" + key.key, std::nullopt,
                       [](ValueList& values) {
                           PutValue(values, "Start",
                                    RawValue{hive_t_REG_DWORD, std::string("\x04\0\0\0", 4)});
                       },
                       nullptr, ""});
            op.fallbackNote = "its \"Start\" is set to 4: the driver no longer loads";
        }
        ops.push_back(op);
    }
    for (const std::string& set : system.alternateShellSets) {
        ops.push_back({"changed " + system.path + "\\" + set + "\\" + std::string(SafeBootKeyPath),
                       set + "\\" + std::string(SafeBootKeyPath), std::nullopt,
                       [](ValueList& values) {
                           PutValue(values, AlternateShellName, StringValue(WindowsAlternateShell));
                       },
                       nullptr, ""});
    }
    return ops;
}

std::optional<std::string> DirtyHive(const InstallationScan& scan) {
    const std::pair<const HiveFindings*, bool> hives[] = {
        {&scan.software, !SoftwareOps(scan).empty()},
        {&scan.system, !SystemOps(scan.system).empty()},
        {&scan.systemAlt, !SystemOps(scan.systemAlt).empty()}};
    for (const auto& [hive, changes] : hives)
        if (changes && hive->dirty)
            return "hive " + hive->path +
                   " is dirty: its log holds changes Windows has not written back";
    return std::nullopt;
}

int Refuse(Output& out, const std::string& reason) {
    out.Line("Cure refused: " + reason);
    return ExitFailed;
}

}  // namespace

int RunScan(const Volumes& volumes, const Options& options, Output& out) {
    const std::vector<std::string> installations = FindInstallations(volumes.volume);
    std::vector<std::string> chosen = installations;
    if (!options.windows.empty()) {
        std::string refusal;
        const std::optional<std::string> one =
            ChosenInstallation(installations, options.windows, refusal);
        if (!one) {
            out.Line("No Windows installation named " + options.windows + ".");
            return ExitFailed;
        }
        chosen = {*one};
    }
    if (chosen.empty()) {
        out.Line("No Windows installation found.");
        return ExitFailed;
    }
    bool found = false, unchecked = false;
    for (const std::string& folder : chosen) {
        const InstallationScan scan = ScanInstallation(volumes, folder);
        out.Say(ScanReport(scan));
        found = found || scan.AnythingFound();
        unchecked = unchecked || scan.AnythingUnchecked();
    }
    return found ? ExitFound : unchecked ? ExitFailed : ExitClean;
}

int RunCure(const Volumes& volumes, const Options& options, Output& out) {
    std::string refusal;
    const std::optional<std::string> folder =
        ChosenInstallation(FindInstallations(volumes.volume), options.windows, refusal);
    if (!folder) return Refuse(out, refusal);
    try {
        if (const std::optional<std::string> reason = VolumeRefusal(volumes))
            return Refuse(out, *reason);
    } catch (const std::exception& error) {
        return Refuse(out, error.what());
    }
    const InstallationScan scan = ScanInstallation(volumes, *folder);
    if (const std::optional<std::string> dirty = DirtyHive(scan)) return Refuse(out, *dirty);
    std::optional<Quarantine> quarantine;
    if (scan.AnythingFound()) {
        try {
            quarantine = Quarantine::Create(volumes.volume, options.quarantine);
        } catch (const std::exception& error) {
            return Refuse(out,
                          std::string("the quarantine folder cannot be made: ") + error.what());
        }
    }
    out.Say(ScanReport(scan));
    bool allDone = true;
    if (quarantine) {
        out.Line("Quarantine: " + quarantine->Path());
        CureRun run(volumes, out, *quarantine);
        // boot.ini first: a Safe Mode start set up by zorvane.exe must never lose its shell
        // while boot.ini still asks for it.
        if (scan.bootIni || scan.bootIniBackup) run.PutBackBootIni(scan);
        run.Edit(scan.software, SoftwareOps(scan));
        run.Edit(scan.system, SystemOps(scan.system));
        run.Edit(scan.systemAlt, SystemOps(scan.systemAlt));
        for (const FoundFile& file : scan.ubrielFiles) run.Remove(file);
        for (const std::optional<FoundFile>* file :
             {&scan.driverFile, &scan.commandFile, &scan.restartCopy})
            if (*file) run.Remove(**file);
        allDone = run.AllDone();
    }
    // Each change was checked as it was made (a hive by reading the new file back): everything
    // found is gone when no step failed and nothing was left unchecked.
    const bool complete = allDone && !scan.AnythingUnchecked();
    out.Conclude(complete ? "Cure complete." : "Cure incomplete.");
    return complete ? ExitClean : ExitFailed;
}

}  // namespace zorvane::rescue
