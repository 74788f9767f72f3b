// The hiding driver and the restart: delete-at-restart list, boot.ini, Safe Mode with its
// alternate shell, or a normal boot with the driver and the RunOnce entries.
#include <optional>

#include "sim/SimCore.h"

namespace sim {

namespace {

const char* const Winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char* const SafeBoot = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
const char* const RunOnce = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The entry of [operating systems] that the loader starts: the one that [boot loader]
// default= names, else the first; nullopt when there is none.
std::optional<std::string> DefaultEntry(const std::string& bootIni) {
    std::string section;
    std::string defaultPath;
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start < bootIni.size()) {
        std::size_t end = bootIni.find('\n', start);
        if (end == std::string::npos) end = bootIni.size();
        std::string line = bootIni.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = UpperAscii(line);
        } else if (section == "[BOOT LOADER]" && UpperAscii(line).rfind("DEFAULT", 0) == 0 &&
                   line.find('=') != std::string::npos &&
                   Trim(line.substr(0, line.find('='))).size() == 7) {
            defaultPath = UpperAscii(Trim(line.substr(line.find('=') + 1)));
        } else if (section == "[OPERATING SYSTEMS]") {
            entries.push_back(line);
        }
    }
    if (entries.empty()) return std::nullopt;
    for (const std::string& entry : entries) {
        if (UpperAscii(Trim(entry.substr(0, entry.find('=')))) == defaultPath) return entry;
    }
    return entries.front();
}

// The program a command line names, split as cmd.exe does: a leading quoted token, or the
// text up to the first blank.
std::string ProgramOf(const std::string& commandLine) {
    const std::string line = Trim(commandLine);
    if (!line.empty() && line[0] == '"') return line.substr(1, line.find('"', 1) - 1);
    return line.substr(0, line.find_first_of(" \t"));
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           UpperAscii(text.substr(text.size() - suffix.size())) == UpperAscii(suffix);
}

}  // namespace

void SimWindows::InstallHidingDriver(std::string driverFile, std::vector<std::string> hiddenPaths,
                                     std::vector<std::string> lockedPaths) {
    files.AddFile(driverFile, "driver");
    core_->driver =
        HidingDriver{std::move(driverFile), std::move(hiddenPaths), std::move(lockedPaths), true};
    files.LoadDriver(core_->driver->hidden, core_->driver->locked);
}

bool SimWindows::HidingDriverLoaded() const {
    return core_->driver && core_->driver->loaded;
}

BootResult SimWindows::Restart(const ProgramRunner& run) {
    // Shutdown: every process ends and lets go of its files, the driver unloads.
    CloseProcessHandles();
    recorder_.Revive();
    files.ReleaseOtherProcessHolds();
    files.UnloadDriver();
    if (core_->driver) core_->driver->loaded = false;
    // Early in the start, before any driver or program: the delete-at-restart list.
    files.CarryOutPendingMoves();

    BootResult result;
    const auto drive = core_->environment.find("SYSTEMDRIVE");
    const char letter = drive == core_->environment.end() || drive->second.second.empty()
                            ? 'C'
                            : drive->second.second[0];
    const std::string bootIni = std::string(1, letter) + ":\\boot.ini";
    const std::optional<std::string> entry =
        files.Exists(bootIni) ? DefaultEntry(files.Content(bootIni)) : std::nullopt;
    if (!entry) {
        result.mode = BootResult::Mode::Unbootable;
        return result;
    }
    result.autoLogon =
        registry.GetString(Winlogon, "AutoAdminLogon") == std::optional<std::string>("1");

    if (UpperAscii(*entry).find("/SAFEBOOT:MINIMAL(ALTERNATESHELL)") != std::string::npos) {
        result.mode = BootResult::Mode::SafeMode;
        result.shell = registry.GetString(SafeBoot, "AlternateShell").value_or("");
        const std::string shellFile = FindProgram(ProgramOf(result.shell), true);
        result.shellStarts = !shellFile.empty();
        if (EndsWith(shellFile, ".cmd") || EndsWith(shellFile, ".bat")) {
            const std::string content = files.Content(shellFile);
            std::string line = content.substr(0, content.find_first_of("\r\n"));
            RunCommand(line, run, result);
        }
        return result;
    }

    result.mode = BootResult::Mode::Normal;
    if (core_->driver && files.Exists(core_->driver->file)) {
        core_->driver->loaded = true;
        files.LoadDriver(core_->driver->hidden, core_->driver->locked);
    }
    // Each RunOnce value is removed before its command runs, so that it runs only once.
    const auto values = registry.Listing()[RegistryStore::Canonical(RunOnce)];
    for (const auto& [name, value] : values) {
        registry.DeleteValue(RunOnce, name);
        if (value.type != RegSz && value.type != RegExpandSz) continue;
        RunCommand(value.data.substr(0, value.data.find('\0')), run, result);
    }
    result.shell = registry.GetString(Winlogon, "Shell").value_or("");
    result.shellStarts = !FindProgram(result.shell.substr(0, result.shell.find(' ')), true).empty();
    return result;
}

std::string SimWindows::FindProgram(const std::string& name, bool searchSystem) const {
    if (name.empty()) return {};
    std::vector<std::string> candidates = {name};
    if (searchSystem) {
        candidates.push_back(core_->windowsDirectory + "\\" + name);
        candidates.push_back(core_->systemDirectory + "\\" + name);
    }
    for (const std::string& candidate : candidates) {
        for (const std::string& path : {candidate, candidate + ".exe"}) {
            if (files.Exists(path) && !files.IsDirectory(path)) return path;
        }
    }
    return {};
}

void SimWindows::RunCommand(const std::string& commandLine, const ProgramRunner& run,
                            BootResult& result) {
    const std::string program = FindProgram(ProgramOf(commandLine), false);
    if (program.empty()) return;
    StartProcess(commandLine, program, "");
    const int exitCode = run(*this);
    result.commandsRun.push_back(commandLine);
    result.exitCodes.push_back(exitCode);
    result.outputs.push_back(Stdout());
    EndProcess();
}

}  // namespace sim
