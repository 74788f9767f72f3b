// Whole cure cycles on the simulated machine with every Windows call, in turn, failing with an
// error that call can plausibly report, or with the power cut right after it. Whatever happens,
// the machine must still start (normally, or into the Safe Mode cure with everything that cure
// needs), nothing but the program's own files and values may change, and a later scan with the
// cure accepted must leave a clean machine that starts normally.
#include <gtest/gtest.h>

#include <functional>

#include "ProgramRun.h"
#include "platform/AsciiText.h"

namespace zorvane::testing {
namespace {

using sim::SimWindows;

const std::string kWinlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kSafeBoot = "HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot";
const char* const kThreatFiles[] = {"C:\\WINDOWS\\system32\\ubr2.exe",
                                    "C:\\WINDOWS\\system32\\hcsrss.dll",
                                    "C:\\WINDOWS\\system32\\icsrss.dll",
                                    "C:\\ubr2.exe",
                                    "C:\\WINDOWS\\icsrss.dll",
                                    "C:\\WINDOWS\\system\\ubr2.exe",
                                    "C:\\ubr2drv.sys"};
// Besides the threats' traces, what the program may change (upper-cased, as snapshots list it).
const char* const kProgramFiles[] = {"C:\\BOOT.INI", "C:\\BOOT.INI.ZRVBACKUP",
                                     "C:\\BOOT.INI.ZRVNEW", "C:\\ZORVANE.CMD", "C:\\TEMPFILE.TMP"};
const std::pair<const char*, const char*> kProgramValues[] = {{"\\WINLOGON", "SHELL"},
                                                              {"\\WINLOGON", "AUTOADMINLOGON"},
                                                              {"\\WINLOGON", "OLDAUTOADMINLOGON"},
                                                              {"\\SAFEBOOT", "ALTERNATESHELL"},
                                                              {"\\RUNONCE", "ZORVANE"}};

struct Cycle {
    const char* name;
    sim::WindowsVersion version;
    bool driverHides;  // NT 4.0 cures in place: a driver hiding its file there is out of reach
    std::function<void(SimWindows&)> live;  // what the user and the machine do
};

void ExpectProperEnd(const RunResult& run) {
    EXPECT_TRUE(run.exitCode == 0 || (run.exitCode == 1 && run.err.starts_with("Exception ")))
        << run.exitCode << " " << run.err;
}

// Every start must reach a shell that exists; the program's runs end properly.
sim::BootResult Boot(SimWindows& machine) {
    const sim::BootResult boot = machine.Restart(RunOnMachine);
    EXPECT_NE(boot.mode, sim::BootResult::Mode::Unbootable);
    EXPECT_TRUE(boot.shellStarts) << boot.shell;
    for (const int code : boot.exitCodes) EXPECT_TRUE(code == 0 || code == 1) << code;
    return boot;
}

const Cycle kCycles[] = {{"XP", sim::WindowsVersion::Xp, true,
                          [](SimWindows& machine) {
                              ExpectProperEnd(RunProgram(machine, "zorvane.exe", "y\r\n"));
                              Boot(machine);  // Safe Mode: the cure run
                              Boot(machine);
                          }},
                         {"NT 4.0", sim::WindowsVersion::Nt4, false, [](SimWindows& machine) {
                              ExpectProperEnd(RunProgram(machine, "zorvane.exe /AUTO"));
                              Boot(machine);  // the run-once run scans again
                          }}};

void Prepare(SimWindows& machine, const Cycle& cycle) {
    machine.SetVersion(cycle.version);
    machine.registry.SetString(kWinlogon, "Shell", "Explorer.exe ubr2.exe");
    for (const char* file : kThreatFiles) machine.files.AddFile(file, "MZ");
    for (const char* key : {"Enum\\Root\\LEGACY_UBR2DRV", "Services\\ubr2drv"})
        for (const char* set : {"HKLM\\SYSTEM\\ControlSet001\\", "HKLM\\SYSTEM\\ControlSet002\\"})
            machine.registry.AddKey(std::string(set) + key);
    const std::vector<std::string> driver = {"C:\\ubr2drv.sys"};
    machine.InstallHidingDriver(driver[0], cycle.driverHides ? driver : std::vector<std::string>{},
                                driver);
}

SimWindows::Snapshot OutsideTheProgram(const SimWindows& machine) {
    SimWindows::Snapshot snapshot = machine.TakeSnapshot();
    for (const char* file : kThreatFiles) snapshot.files.erase(AsciiUpper(file));
    for (const char* file : kProgramFiles) snapshot.files.erase(file);
    std::erase_if(snapshot.keys, [](const auto& key) { return key.first.ends_with("UBR2DRV"); });
    for (auto& [key, values] : snapshot.keys)
        for (const auto& [keyEnd, value] : kProgramValues)
            if (key.ends_with(keyEnd)) values.erase(value);
    return snapshot;
}

// boot.ini is the original, or the Safe Mode copy while the cure it starts is in place.
void ExpectBootable(const SimWindows& machine, const std::string& original) {
    const std::string bootIni = machine.files.Content("C:\\boot.ini");
    if (machine.files.Exists("C:\\boot.ini") && bootIni == original) return;
    EXPECT_TRUE(machine.files.Exists("C:\\Zorvane.cmd"));
    EXPECT_EQ(machine.registry.GetString(kSafeBoot, "AlternateShell"), "C:\\Zorvane.cmd");
    EXPECT_NE(bootIni.find("/SAFEBOOT:MINIMAL(ALTERNATESHELL)"), std::string::npos) << bootIni;
}

// Starts the machine until a start runs nothing of the program's, scans with the cure accepted
// and lives through the starts that follow. Answers whether the scan found a threat.
bool ExpectRecovery(SimWindows& machine, const std::string& original) {
    const auto bootUntilSettled = [&] {
        int boots = 0;
        while (!Boot(machine).commandsRun.empty()) ASSERT_LT(++boots, 4) << "restarts for good";
    };
    bootUntilSettled();
    const RunResult scan = RunProgram(machine, "zorvane.exe", "y\r\n");
    ExpectProperEnd(scan);
    bootUntilSettled();
    for (const char* file : kThreatFiles) EXPECT_FALSE(machine.files.Exists(file)) << file;
    EXPECT_EQ(AsciiUpper(machine.registry.GetString(kWinlogon, "Shell").value_or("")),
              "EXPLORER.EXE");
    EXPECT_EQ(machine.files.Content("C:\\boot.ini"), original);
    return scan.out.find("INFECTED") != std::string::npos;
}

// What an interrupted return to normal boot can leave when it had already cured everything
// (the later scan then finds nothing to cure): harmless in a normal start.
std::string Leftovers(const SimWindows& machine) {
    return std::string(machine.files.Exists("C:\\Zorvane.cmd") ? " command file" : "") +
           (machine.registry.GetString(kSafeBoot, "AlternateShell") != "cmd.exe" ? " shell" : "") +
           (machine.files.Exists("C:\\boot.ini.ZRVBACKUP") ? " backup" : "") +
           (machine.registry.GetString(kWinlogon, "AutoAdminLogon") == "1" ? " autologon" : "");
}

// One trial: the cycle with `inject` armed, then the checks. Answers the leftovers; `calls`
// receives the calls that the cycle made.
std::string Trial(const Cycle& cycle, const std::function<void(SimWindows&)>& inject,
                  std::vector<sim::Call>* calls = nullptr) {
    SimWindows machine;
    Prepare(machine, cycle);
    const std::string original = machine.files.Content("C:\\boot.ini");
    const SimWindows::Snapshot before = OutsideTheProgram(machine);
    inject(machine);
    try {
        cycle.live(machine);
        if (calls != nullptr) *calls = machine.Journal();  // all of them: set-up makes none
        machine.GetVersion();  // a cut due right after the cycle's last call comes now
    } catch (const sim::PowerCut&) {
    }
    ExpectBootable(machine, original);
    const SimWindows::Snapshot after = OutsideTheProgram(machine);
    EXPECT_EQ(before, after) << SimWindows::Describe(before, after);
    if (ExpectRecovery(machine, original)) {
        EXPECT_EQ(Leftovers(machine), "");
    }
    return Leftovers(machine);
}

// Errors each call can report; the console's pipes break, disks fill up and refuse access.
std::vector<DWORD> PlausibleErrors(const sim::Call& call) {
    static const std::map<std::string, std::vector<DWORD>> errors = {
        {"CreateFileA", {2, 3, 5, 32}}, {"ReadFile", {5}},           {"WriteFile", {112, 5}},
        {"DeleteFileA", {2, 5, 32}},    {"MoveFileExA", {2, 5, 32}}, {"FindFirstFileA", {2, 3}},
        {"RegOpenKeyExA", {2, 5}},      {"RegOpenKeyA", {2, 5}},     {"RegQueryValueExA", {2, 234}},
        {"ExitWindowsEx", {5, 1314}}};
    const auto found = errors.find(call.name);
    std::vector<DWORD> codes = found == errors.end() ? std::vector<DWORD>{5} : found->second;
    if (!call.args.empty() && call.args[0].starts_with("h101"))
        codes.push_back(109);  // a standard handle
    return codes;
}

TEST(FaultSweep, EveryCallFailingOrCutLeavesABootableMachineThatACureCleans) {
    for (const Cycle& cycle : kCycles) {
        SCOPED_TRACE(cycle.name);
        std::vector<sim::Call> calls;
        Trial(
            cycle, [](SimWindows&) {}, &calls);
        std::map<std::string, int> leftovers;
        std::size_t failures = 0;
        for (std::size_t position = 1; position <= calls.size() && !HasFailure(); ++position) {
            const std::string call = std::to_string(position) + " " + calls[position - 1].Text();
            for (const DWORD code : PlausibleErrors(calls[position - 1])) {
                SCOPED_TRACE("call " + call + " failing with " + std::to_string(code));
                ++leftovers[Trial(cycle, [&](SimWindows& m) { m.FailCallAt(position, code); })];
                ++failures;
            }
            SCOPED_TRACE("power cut after call " + call);
            ++leftovers[Trial(cycle, [&](SimWindows& m) { m.PowerCutAfter(position); })];
        }
        std::printf("%s cycle: %zu calls swept, %zu injected failures, %zu power cuts\n",
                    cycle.name, calls.size(), failures, calls.size());
        for (const auto& [left, trials] : leftovers)
            if (!left.empty()) std::printf("  %d trials left:%s\n", trials, left.c_str());
    }
}

// A hiding driver keeps NT 4.0's cure in place from seeing its file: the run-once scan would
// find it again after every logon and restart once more, for good.
TEST(FaultSweep, Nt4RestartsOnlyWhenACureRemovedSomething) {
    SimWindows machine;
    machine.SetVersion(sim::WindowsVersion::Nt4);
    machine.InstallHidingDriver("C:\\ubr2drv.sys", {"C:\\ubr2drv.sys"}, {"C:\\ubr2drv.sys"});
    ExpectProperEnd(RunProgram(machine, "zorvane.exe /AUTO"));
    EXPECT_TRUE(machine.RestartRequests().empty());
    EXPECT_FALSE(machine.registry.GetValue(
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Zorvane"));
}

}  // namespace
}  // namespace zorvane::testing
