#include "frontend/RunFlow.h"

#include <exception>
#include <string>
#include <string_view>

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
    bool infected = false;
    bool cureConfirmed = false;
};

// Every console operation is followed by the error test, so a failed write ends the run.
void Say(std::string_view line) {
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
        if (option == "/LIST") flags.showList = true;
        // "/NOLOG" is recognised and has no effect: nothing is ever logged.
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

// The run that the Safe Mode start makes: it finishes a cure already accepted, so "/NOCURE"
// does not apply here.
void CureRun() {
    if (!IsNTPlatform()) return;
    if (CureUbriel()) Say(" Backdoor.Ubriel.b     - DELETED");
    if (CureHacDef()) Say(" Backdoor.HacDef.073.b - DELETED");
    if (!IsWindowsNT4()) RestoreNormalBoot();
}

// Only the first character of the answer counts: y or Y means yes. Answering (even at the end
// of input) counts as auto mode, so no pause follows.
void AskToCure(RunFlags& flags) {
    SayWithoutLineEnd("Start cure you system: Y/N? (system will be rebooted automatically): ");
    const std::string answer = ConsoleReadLine();
    ConsoleSkipLine();
    CheckIoError();  // for the read and the skip together
    if (!answer.empty() && AsciiUpper(answer.substr(0, 1)) == "Y") flags.cureConfirmed = true;
    flags.autoMode = true;
}

// NT 4.0 has no Safe Mode: cure in place, scan once more after the restart. When neither cure
// found anything to remove (a hiding driver keeps its file out of sight while Windows runs),
// that scan would find the same and restart again, after every logon for good: no restart then.
std::string CureInPlace() {
    const RestartProgram program = PrepareRestartProgram();
    if (program.path.empty()) return program.failure;
    const bool ubrielCured = CureUbriel();
    const bool hacDefCured = CureHacDef();
    if (ubrielCured || hacDefCured) {
        ScheduleRunOnceAndRestart(program.path);
    } else if (program.copyMade) {
        RemoveRestartCopy();
    }
    return {};
}

// Answers why the cure could not be started, or the empty text.
std::string StartCure() {
    if (IsNTPlatform() && !IsWindowsNT4()) return ScheduleSafeModeCure();
    if (IsWindowsNT4()) return CureInPlace();
    return {};
}

// Answers the run's exit code: 1 when a cure was accepted but could not be started.
int Scan(RunFlags& flags) {
    if (IsNTPlatform()) {
        if (DetectUbriel()) {
            Say(" System INFECTED by: Backdoor.Ubriel.b");
            flags.infected = true;
        }
        if (DetectHacDef()) {
            Say(" System INFECTED by: Backdoor.HacDef.073.b");
            flags.infected = true;
        }
    }
    // On NT 4.0 the copy that the restart ran has done its job once a scan cures nothing more.
    if (IsWindowsNT4() && RunningFromRestartCopy() && !(flags.infected && !flags.reportOnly))
        RemoveRestartCopy();
    if (!flags.infected) {
        Say(" No known viruses and trojan programs found.");
        return 0;
    }
    // "/NOCURE" promises a check only: without this a "/NoCure /Auto" run would cure and
    // restart the machine, the opposite of what the user asked for.
    if (flags.reportOnly) return 0;
    if (flags.autoMode) {
        flags.cureConfirmed = true;
    } else {
        AskToCure(flags);
    }
    if (!flags.cureConfirmed) return 0;
    const std::string failure = StartCure();
    if (failure.empty()) return 0;
    // The question promised a restart; the user must learn that none comes, and why.
    Say(" Cure could not be started: " + failure);
    return 1;
}

int Run() {
    WriteBanner();
    RunFlags flags = ReadOptions();
    int exitCode = 0;
    if (flags.showHelp) {
        ShowHelp();
    } else if (flags.showList) {
        ShowList();
    } else if (flags.safeModeRun) {
        CureRun();
    } else {
        exitCode = Scan(flags);
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
    return exitCode;
}

}  // namespace zorvane
