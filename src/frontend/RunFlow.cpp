#include "frontend/RunFlow.h"

#include <exception>
#include <string>
#include <string_view>

#include "boot/MachineLock.h"
#include "boot/NormalBoot.h"
#include "boot/RestartProgram.h"
#include "boot/RunOnce.h"
#include "boot/SafeModeCure.h"
#include "frontend/CommandLine.h"
#include "frontend/Console.h"
#include "frontend/ErrorReport.h"
#include "platform/AsciiText.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "platform/RunLog.h"
#include "threats/HaxDef.h"
#include "threats/Ubriel.h"

namespace zorvane {

namespace {

// Set by the options, the scan and the question; never set back during a run.
struct RunFlags {
    bool showHelp = false;
    bool showList = false;
    bool safeModeRun = false;
    bool autoMode = false;
    bool reportOnly = false;  // "/NOCURE": a scan reports what it finds and cures nothing
    bool afterCure = false;   // "/AFTERCURE": the rescan that follows an NT 4.0 cure
    bool noLog = false;       // "/NOLOG": no run log at all
    bool ubrielFound = false;
    bool hacDefFound = false;
    bool hacDefNotChecked = false;  // drive C: took no probe file: neither clean nor infected
    bool infected = false;
    bool cureConfirmed = false;
};

constexpr int ExitSuccess = 0;
// A threat found is still there, a cure could not run, or a threat could not be checked.
constexpr int ExitCureFailed = 1;
constexpr int ExitThreatReported = 2;  // "/NOCURE" found a threat: a script taking stock sees it
constexpr int ExitCureUnderWay = 3;    // a restart finishes the cure: a script must look again

// What the user is told about one threat after its cure.
struct CureLines {
    std::string_view removed;
    std::string_view notRemoved;
};
constexpr CureLines UbrielLines = {" Backdoor.Ubriel.b     - DELETED",
                                   " Backdoor.Ubriel.b     - could not be removed"};
constexpr CureLines HacDefLines = {" Backdoor.HacDef.073.b - DELETED",
                                   " Backdoor.HacDef.073.b - could not be removed"};

// Every console operation is followed by the error test, so a failed write ends the run. The
// lines after the banner go to the run log too: the Safe Mode run's console is never seen.
void Say(std::string_view line) {
    Log({line});
    ConsoleWriteLine(line);
    CheckIoError();
}

void SayWithoutLineEnd(std::string_view text) {
    ConsoleWrite(text);
    CheckIoError();
}

void WriteBanner() {
    Say("+---------------------------------------------------------+");
    Say("| Zorvane utility for detecting and removing some viruses |");
    Say("|       Copyright (c) 2004 Zorvane. All rights reserved.  |");
    Say("|   www.zorvane.example         support@zorvane.example   |");
    Say("|                          version 0.1 beta (30 Jul 2004) |");
    Say("+---------------------------------------------------------+");
    Say("");
}

RunFlags ReadOptions() {
    RunFlags flags;
    const int count = ArgumentCount();
    for (int i = 1; i <= count; ++i) {
        const std::string option = AsciiUpper(ArgumentAt(i));
        if (option == "/H" || option == "/?" || option == "/HELP") flags.showHelp = true;
        if (option == "/SAFEMODE") flags.safeModeRun = true;
        if (option == "/NOCURE") flags.reportOnly = true;
        if (option == "/AUTO") flags.autoMode = true;
        if (option == "/AFTERCURE") flags.afterCure = true;
        if (option == "/LIST") flags.showList = true;
        if (option == "/NOLOG") flags.noLog = true;
    }
    return flags;
}

void ShowHelp() {
    Say("");
    Say(" /H      - This Help message");
    Say(" /NoCure - Don't cure system (only check)");
    Say(" /Auto   - No questions, auto mode (auto cure and auto reboot)");
    Say(" /List   - Show list of known viruses and trojans");
}

void ShowList() {
    Say(" Created 30 Jul 2004. Known 2 viruses:");
    Say("  - Backdoor.Ubriel.b");
    Say("  - Backdoor.HacDef.073.b");
}

// Writes the line for a threat that the cure (or the scan before it) found; answers whether it
// is gone. `sayRemoved` false: only a threat that stays gets its line.
bool ReportCure(CureOutcome outcome, const CureLines& lines, bool sayRemoved = true) {
    if (outcome == CureOutcome::NotFound) return true;
    if (outcome != CureOutcome::Removed || sayRemoved)
        Say(outcome == CureOutcome::Removed ? lines.removed : lines.notRemoved);
    return outcome == CureOutcome::Removed;
}

// A run that would change the machine and may not: another run is changing it, or this account
// lacks the rights. It changes nothing.
int NotLocked(MachineLock::Outcome outcome) {
    Say(outcome == MachineLock::Held
            ? " Another run is changing the system: this one changes nothing"
            : " Without an administrator's rights this run changes nothing");
    return ExitCureFailed;
}

// The run that the Safe Mode start makes: it finishes a cure already accepted, so "/NOCURE"
// does not apply here. The normal boot comes back whatever the cures achieved: another Safe
// Mode start would achieve no more.
int CureRun(MachineLock& lock) {
    if (!IsNTPlatform()) return ExitSuccess;
    if (const MachineLock::Outcome outcome = lock.Take(); outcome != MachineLock::Taken)
        return NotLocked(outcome);
    const bool ubrielGone = ReportCure(CureUbriel(), UbrielLines);
    const bool hacDefGone = ReportCure(CureHacDef(), HacDefLines);
    if (!IsWindowsNT4()) RestoreNormalBoot();
    return ubrielGone && hacDefGone ? ExitSuccess : ExitCureFailed;
}

// Only the first character of the answer counts: y or Y means yes. Answering (even at the end
// of input) counts as auto mode, so no pause follows.
void AskToCure(RunFlags& flags) {
    SayWithoutLineEnd("Start cure you system: Y/N? (system will be rebooted automatically): ");
    const std::string answer = ConsoleReadLine();
    ConsoleSkipLine();
    CheckIoError();  // for the read and the skip together
    Log({"Answer: ", Quoted(answer)});
    if (!answer.empty() && AsciiUpper(answer.substr(0, 1)) == "Y") flags.cureConfirmed = true;
    flags.autoMode = true;
}

// A threat the scan found counts as not removed when its cure could not even see it (a hiding
// driver keeps its file out of directory listings while Windows runs).
CureOutcome FoundOutcome(bool found, CureOutcome outcome) {
    return found && outcome == CureOutcome::NotFound ? CureOutcome::NotRemoved : outcome;
}

// The question promised a restart; the user must learn that none comes, and why.
int CureNotStarted(std::string_view why) {
    Say(Join({" Cure could not be started: ", why}));
    return ExitCureFailed;
}

// NT 4.0 has no Safe Mode: cure in place, then scan once more after the restart, from where the
// program will still be then. Only a cure that removed something is worth that restart; the
// rescan is marked so that, finding a threat again, it reports it instead of restarting the
// machine after every logon. What was removed goes unsaid: the machine restarts at once and the
// rescan reports; a threat that stays is said, since the run then ends with exit code 1.
int CureInPlace(const RunFlags& flags) {
    const RestartProgram program = PrepareRestartProgram();
    if (program.path.empty()) return CureNotStarted(program.failure);
    const CureOutcome ubriel = FoundOutcome(flags.ubrielFound, CureUbriel());
    const CureOutcome hacDef = FoundOutcome(flags.hacDefFound, CureHacDef());
    const bool ubrielGone = ReportCure(ubriel, UbrielLines, false);
    const bool hacDefGone = ReportCure(hacDef, HacDefLines, false);
    const bool restarting = ubriel == CureOutcome::Removed || hacDef == CureOutcome::Removed;
    if (restarting) {
        ScheduleRunOnceAndRestart(program.path, program.copyMade);
    } else if (program.copyMade) {
        RemoveRestartCopy();
    }
    // A threat left in place outweighs the rescan to come: that needs the administrator now.
    if (!ubrielGone || !hacDefGone) return ExitCureFailed;
    return restarting ? ExitCureUnderWay : ExitSuccess;
}

// What a Safe Mode cure cut short near its end left behind goes before this run schedules a new
// one, which would save automatic logon, left on, as the user's own setting; not while another
// run changes the machine, whose cure may be halfway arranged. "/NOCURE" promises a check only.
void FinishEarlierCure(const RunFlags& flags, MachineLock& lock) {
    if (IsNTPlatform() && !IsWindowsNT4() && !flags.reportOnly && lock.Take() == MachineLock::Taken)
        FinishInterruptedReturn();
}

// One run at a time changes the machine, from the first change to the restart request.
int StartCure(const RunFlags& flags, MachineLock& lock) {
    if (!IsNTPlatform()) return ExitSuccess;
    // Vista and later start without boot.ini, also when compatibility mode reports XP or NT 4.0:
    // a boot.ini left from an earlier Windows does nothing there, and the Safe Mode start would
    // never come, automatic logon forced on for good.
    if (!StartsFromBootIni())
        return CureNotStarted("this Windows version does not start from boot.ini");
    if (RunsUnderWow64())
        return CureNotStarted("64-bit Windows hides its system folder and registry from it");
    if (const MachineLock::Outcome outcome = lock.Take(); outcome != MachineLock::Taken)
        return NotLocked(outcome);
    FinishEarlierCure(flags, lock);
    if (IsWindowsNT4()) return CureInPlace(flags);
    const std::string failure = ScheduleSafeModeCure();
    if (!failure.empty()) return CureNotStarted(failure);
    if (SafeModeLogonByHand()) Say(" An administrator must log on in Safe Mode to finish the cure");
    return ExitCureUnderWay;
}

// The rescan after an NT 4.0 cure: what it finds is what that cure could not remove.
int ReportNotRemoved(const RunFlags& flags) {
    if (flags.ubrielFound) Say(UbrielLines.notRemoved);
    if (flags.hacDefFound) Say(HacDefLines.notRemoved);
    return ExitCureFailed;
}

int Scan(RunFlags& flags, MachineLock& lock) {
    if (IsNTPlatform()) {
        if (DetectUbriel()) {
            Say(" System INFECTED by: Backdoor.Ubriel.b");
            flags.ubrielFound = true;
        }
        const HacDefFinding hacDef = DetectHacDef();
        if (hacDef.answer == HacDefFinding::Found) {
            Say(" System INFECTED by: Backdoor.HacDef.073.b");
            flags.hacDefFound = true;
        } else if (hacDef.answer == HacDefFinding::NotChecked) {
            Say(Join({" Backdoor.HacDef.073.b - could not be checked: ", hacDef.whyNotChecked}));
            flags.hacDefNotChecked = true;
        }
        flags.infected = flags.ubrielFound || flags.hacDefFound;
    }
    // On NT 4.0 the copy that the restart ran has done its job unless this run cures again.
    if (IsWindowsNT4() && RunningFromRestartCopy() &&
        (flags.afterCure || !flags.infected || flags.reportOnly))
        RemoveRestartCopy();
    // A check that could not be made is no clean bill: exit code 1, whatever else the run does
    // not change. What was found is cured all the same; the Safe Mode run looks for the driver's
    // file by a directory search, which needs no probe file.
    const int notChecked = flags.hacDefNotChecked ? ExitCureFailed : ExitSuccess;
    if (!flags.infected) {
        if (!flags.hacDefNotChecked) Say(" No known viruses and trojan programs found.");
        FinishEarlierCure(flags, lock);
        return notChecked;
    }
    // "/NOCURE" promises a check only: without this a "/NoCure /Auto" run would cure and
    // restart the machine, the opposite of what the user asked for.
    if (flags.reportOnly) return ExitThreatReported;
    if (flags.afterCure) return ReportNotRemoved(flags);
    if (flags.autoMode) {
        flags.cureConfirmed = true;
    } else {
        AskToCure(flags);
    }
    if (!flags.cureConfirmed) return notChecked;  // a "no" changes nothing
    return StartCure(flags, lock);
}

// The head of this run's block in the log: when, on what, asked for what.
void StartRunLog() {
    OpenRunLog();
    Log({"==== ", LocalTimeText(), " Zorvane 0.1 beta"});
    Log({"Windows ", WindowsVersionText(),
         IsNTPlatform() ? "" : ": the Windows 95 family, nothing is checked or changed"});
    Log({"Command line: ", Windows().GetCommandLineA()});
}

int Run() {
    WriteBanner();
    RunFlags flags = ReadOptions();
    if (!flags.noLog) StartRunLog();
    int exitCode = ExitSuccess;
    MachineLock lock;
    if (flags.showHelp) {
        ShowHelp();
    } else if (flags.showList) {
        ShowList();
    } else if (flags.safeModeRun) {
        exitCode = CureRun(lock);
    } else {
        exitCode = Scan(flags, lock);
    }
    if (!flags.autoMode && !flags.safeModeRun) {
        SayWithoutLineEnd(" Press Enter to exit ...");
        ConsoleSkipLine();
        CheckIoError();
    }
    return exitCode;
}

}  // namespace

int RunZorvane(WindowsApi& windows) {
    const WindowsScope scope(windows);
    // One process of the program: nothing is left over from an earlier run in the same host.
    TakeIoError();
    ResetConsole();
    ComputeHostFacts();  // before anything is written

    int exitCode = 0;
    try {
        exitCode = Run();
    } catch (const std::exception& error) {
        exitCode = ReportUnhandledError(error, reinterpret_cast<const void*>(&RunZorvane));
    }
    CloseConsole();
    Log({"Exit code: ", DecimalText(static_cast<unsigned long>(exitCode))});
    CloseRunLog();
    return exitCode;
}

}  // namespace zorvane
