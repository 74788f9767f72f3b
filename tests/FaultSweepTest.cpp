// Whole cure cycles on the simulated machine: undisturbed, then with every Windows call, in turn,
// failing with an error that call can plausibly report, or with the power cut right after it.
// Whatever happens, the machine must still start (normally, or into the Safe Mode cure with
// everything that cure needs), nothing but the program's own files and values may change, and a
// later scan with the cure accepted must leave a clean machine that starts normally.
#include "TestMachine.h"
#include "platform/AsciiText.h"

namespace zorvane::testing {
namespace {

using Mode = sim::BootResult::Mode;

const std::string System32 = "C:\\WINDOWS\\system32\\";
const std::string ThreatFiles[] = {System32 + "ubr2.exe",     System32 + "hcsrss.dll",
                                   System32 + "icsrss.dll",   "C:\\ubr2.exe",
                                   "C:\\WINDOWS\\icsrss.dll", "C:\\WINDOWS\\system\\ubr2.exe",
                                   "C:\\ubr2drv.sys"};
// Besides the threats' traces, what the program may change (upper-cased, as snapshots list it).
const char* const ProgramFiles[] = {"C:\\BOOT.INI", "C:\\BOOT.INI.ZRVBACKUP", "C:\\BOOT.INI.ZRVNEW",
                                    "C:\\ZORVANE.CMD", "C:\\TEMPFILE.TMP"};
const std::pair<const char*, const char*> ProgramValues[] = {{"\\WINLOGON", "SHELL"},
                                                             {"\\WINLOGON", "AUTOADMINLOGON"},
                                                             {"\\WINLOGON", "OLDAUTOADMINLOGON"},
                                                             {"\\SAFEBOOT", "ALTERNATESHELL"},
                                                             {"\\RUNONCE", "ZORVANE"}};

// A program run that must end properly; `trace` gets whether it found a threat.
void Execute(SimWindows& m, std::string& trace, const char* line, const char* input = "") {
    const RunResult run = RunProgram(m, line, input);
    EXPECT_TRUE(
        run.exitCode == 0 || (run.exitCode == 1 && run.err.starts_with("Exception ")) ||
        (run.exitCode == 1 && run.out.find("Cure could not be started") != std::string::npos))
        << run.exitCode << " " << run.err;
    trace += run.out.find("INFECTED") != std::string::npos ? "infected" : "clean";
}

// Every start must reach a shell that exists; the program's runs end properly. `trace` gets the
// kind of start and the runs with their exit codes; answers whether the program ran.
bool Boot(SimWindows& m, std::string& trace) {
    const sim::BootResult boot = m.Restart(RunZorvane);
    EXPECT_NE(boot.mode, Mode::Unbootable);
    EXPECT_TRUE(boot.shellStarts) << boot.shell;
    trace += boot.mode == Mode::SafeMode ? ", safe mode:" : ", normal:";
    for (std::size_t i = 0; i < boot.commandsRun.size(); ++i) {
        EXPECT_TRUE(boot.exitCodes[i] == 0 || boot.exitCodes[i] == 1) << boot.exitCodes[i];
        const std::size_t banner = boot.outputs[i].find("\r\n\r\n");  // what follows it
        trace += " " + boot.commandsRun[i] + " -> " + std::to_string(boot.exitCodes[i]) + ":" +
                 (banner == std::string::npos ? "" : boot.outputs[i].substr(banner + 4));
    }
    return !boot.commandsRun.empty();
}

// The XP cycle: the scan answered y, the Safe Mode start with the cure run, a normal start. The
// NT 4.0 cycle: the cure in place under /AUTO, then the start whose run-once run scans again.
struct Cycle {
    const char* name;
    sim::WindowsVersion version;
    bool driverHides;  // NT 4.0 cures in place: a driver hiding its file there is out of reach
    const char *line, *input;
    int starts;
    const char* undisturbed;  // the trace without faults
};
const Cycle Cycles[] = {
    {"XP", Xp, true, "zorvane.exe", "y\r\n", 2,
     "infected, safe mode: C:\\zorvane.exe /SAFEMODE /AUTO -> 0: Backdoor.Ubriel.b     - "
     "DELETED\r\n Backdoor.HacDef.073.b - DELETED\r\n, normal: restarts=2"},
    {"NT 4.0", Nt4, false, "zorvane.exe /AUTO", "", 1,
     "infected, normal: C:\\zorvane.exe /Auto -> 0: No known viruses and trojan programs "
     "found.\r\n restarts=1"}};

SimWindows::Snapshot OutsideTheProgram(const SimWindows& m) {
    SimWindows::Snapshot snapshot = m.TakeSnapshot();
    for (const std::string& file : ThreatFiles) snapshot.files.erase(AsciiUpper(file));
    for (const char* file : ProgramFiles) snapshot.files.erase(file);
    std::erase_if(snapshot.keys, [](const auto& key) { return key.first.ends_with("UBR2DRV"); });
    for (auto& [key, values] : snapshot.keys)
        for (const auto& [keyEnd, value] : ProgramValues)
            if (key.ends_with(keyEnd)) values.erase(value);
    return snapshot;
}

// boot.ini is the original, or the Safe Mode copy while the cure it starts is in place.
void ExpectBootable(const SimWindows& m, const std::string& original) {
    const std::string bootIni = m.files.Content(BootIni);
    if (m.files.Exists(BootIni) && bootIni == original) return;
    EXPECT_TRUE(m.files.Exists(CommandFile));
    EXPECT_EQ(m.registry.GetString(SafeBoot, "AlternateShell"), CommandFile);
    EXPECT_NE(bootIni.find(SW), std::string::npos) << bootIni;
}

// Starts the machine until a start runs nothing of the program's, scans with the cure accepted
// and lives through the starts that follow: the machine must end clean and start normally.
// Answers " cured again" when the scan found a threat, else what an interrupted return to normal
// boot left after it had cured everything: harmless in a normal start.
std::string ExpectRecovery(SimWindows& m, const std::string& original) {
    std::string trace;
    const auto bootUntilSettled = [&] {
        for (int boots = 0; Boot(m, trace); ++boots) ASSERT_LT(boots, 3) << "restarts for good";
    };
    bootUntilSettled();
    Execute(m, trace, "zorvane.exe", "y\r\n");
    bootUntilSettled();
    for (const std::string& file : ThreatFiles) EXPECT_FALSE(m.files.Exists(file)) << file;
    EXPECT_EQ(AsciiUpper(m.registry.GetString(Winlogon, "Shell").value_or("")), "EXPLORER.EXE");
    EXPECT_EQ(m.files.Content(BootIni), original);
    const std::string left =
        std::string(m.files.Exists(CommandFile) ? " command file" : "") +
        (m.registry.GetString(SafeBoot, "AlternateShell") != "cmd.exe" ? " shell" : "") +
        (m.files.Exists(Backup) ? " backup" : "") +
        (m.registry.GetString(Winlogon, "AutoAdminLogon") != "" ? " autologon" : "");
    if (trace.find("infected") == std::string::npos) return left;
    EXPECT_EQ(left, "");
    return " cured again";
}

struct Outcome {
    std::string trace, later;  // the cycle's trace; what ExpectRecovery answered
    std::vector<sim::Call> calls;
};

// One trial: the cycle on an infected machine with `inject` armed, then the checks.
Outcome Trial(const Cycle& cycle, const Arrange& inject) {
    SimWindows m;
    m.SetVersion(cycle.version);
    m.registry.SetString(Winlogon, "AutoAdminLogon", "");  // given back as it was, not as "0"
    for (const std::string& file : ThreatFiles) m.files.AddFile(file, "MZ");
    for (const char* key : {"Enum\\Root\\LEGACY_UBR2DRV", "Services\\ubr2drv"})
        for (const char* set : {"HKLM\\SYSTEM\\ControlSet001\\", "HKLM\\SYSTEM\\ControlSet002\\"})
            m.registry.AddKey(set + std::string(key));
    Infect(m, cycle.driverHides);
    const std::string original = m.files.Content(BootIni);
    const SimWindows::Snapshot before = OutsideTheProgram(m);
    Outcome outcome;
    inject(m);
    try {
        Execute(m, outcome.trace, cycle.line, cycle.input);
        for (int start = 0; start < cycle.starts; ++start) Boot(m, outcome.trace);
        outcome.trace += " restarts=" + std::to_string(m.RestartRequests().size());
        outcome.calls = m.Journal();  // all of them: set-up makes none
        m.GetVersion();               // a cut due right after the cycle's last call comes now
    } catch (const sim::PowerCut&) {
    }
    ExpectBootable(m, original);
    const SimWindows::Snapshot after = OutsideTheProgram(m);
    EXPECT_EQ(before, after) << SimWindows::Describe(before, after);
    outcome.later = ExpectRecovery(m, original);
    return outcome;
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
    for (const Cycle& cycle : Cycles) {
        SCOPED_TRACE(cycle.name);
        const Outcome undisturbed = Trial(cycle, [](SimWindows&) {});
        EXPECT_EQ(undisturbed.trace, cycle.undisturbed);
        EXPECT_EQ(undisturbed.later, "");  // boot.ini, shell and logon as they were
        const std::vector<sim::Call>& calls = undisturbed.calls;
        std::map<std::string, int> later;
        std::size_t failures = 0;
        for (std::size_t position = 1; position <= calls.size() && !HasFailure(); ++position) {
            const std::string call = std::to_string(position) + " " + calls[position - 1].Text();
            for (const DWORD code : PlausibleErrors(calls[position - 1])) {
                SCOPED_TRACE("call " + call + " failing with " + std::to_string(code));
                const Arrange fail = [&](SimWindows& m) { m.FailCallAt(position, code); };
                ++later[Trial(cycle, fail).later];
                ++failures;
            }
            SCOPED_TRACE("power cut after call " + call);
            ++later[Trial(cycle, [&](SimWindows& m) { m.PowerCutAfter(position); }).later];
        }
        std::printf("%s cycle: %zu calls swept, %zu injected failures, %zu power cuts\n",
                    cycle.name, calls.size(), failures, calls.size());
        for (const auto& [what, trials] : later)
            if (!what.empty()) std::printf("  %d trials, then:%s\n", trials, what.c_str());
    }
}

// A hiding driver keeps NT 4.0's cure in place from seeing its file: the run-once scan would
// find it again after every logon and restart once more, for good.
TEST(FaultSweep, Nt4RestartsOnlyWhenACureRemovedSomething) {
    SimWindows m;
    m.SetVersion(Nt4);
    m.InstallHidingDriver("C:\\ubr2drv.sys", {"C:\\ubr2drv.sys"}, {"C:\\ubr2drv.sys"});
    std::string trace;
    Execute(m, trace, "zorvane.exe /AUTO");
    EXPECT_EQ(trace, "infected");
    EXPECT_TRUE(m.RestartRequests().empty());
    EXPECT_FALSE(m.registry.GetValue(RunOnce, "Zorvane"));
}

}  // namespace
}  // namespace zorvane::testing
