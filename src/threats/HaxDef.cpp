#include "threats/HaxDef.h"

#include <string>
#include <string_view>

#include "platform/AsciiText.h"
#include "platform/FileOps.h"
#include "platform/Guarded.h"
#include "platform/Handles.h"
#include "platform/HostFacts.h"
#include "platform/KeyTree.h"
#include "platform/RunLog.h"
#include "threats/ThreatFacts.h"

namespace zorvane {

namespace {

const std::string ProbeFile = "c:\\tempfile.tmp";
const std::string DriverFile = Join({"c:\\", HacDefDriverFile.name});

// The driver's keys under HKEY_LOCAL_MACHINE, in the order the cure deletes them: both of each
// control set the machine may start from, then the current one.
std::string DriverKey(int index) {
    static constexpr const char* ControlSets[] = {"ControlSet001", "ControlSet002",
                                                  "CurrentControlSet"};
    return Join({"SYSTEM\\", ControlSets[index / 2], "\\", HacDefDriverKeys[index % 2]});
}
constexpr int DriverKeyCount = 6;

}  // namespace

namespace {

// Why drive C: took no probe file, in the user's terms; the error code goes to the log. A limited
// user (on XP a logon script's account) may not create files in the root of C:; a folder, or a
// file that CREATE_ALWAYS may not replace (hidden, system, read-only), may hold the name.
std::string_view WhyNotChecked(DWORD code) {
    if (code == error::PathNotFound) return "there is no drive C:";
    if (code == error::WriteProtect) return "drive C: is read-only";
    WIN32_FIND_DATAA entry{};
    const SearchHandle search(Windows().FindFirstFileA(ProbeFile.c_str(), &entry));
    if (!search) return "drive C: takes no new file";
    return entry.dwFileAttributes & FileAttributeDirectory
               ? "c:\\tempfile.tmp is a folder"
               : "c:\\tempfile.tmp is a file that cannot be replaced";
}

}  // namespace

// The driver holds its file locked and hides it from directory listings. So: the name cannot be
// taken, or a file just created under it does not show in a directory search. The test can be
// made only on a drive C: that takes new files at all; elsewhere the answer is "not checked".
HacDefFinding DetectHacDef() {
    HacDefFinding finding;
    // For the log: the file the evidence is about, what became of it, the error if any.
    const std::string* file = &ProbeFile;
    const char* evidence = " not checked";
    std::string error;
    const auto failed = [&](const char* what) {
        evidence = what;
        error = Join({" (error ", DecimalText(Windows().GetLastError()), ")"});
    };
    Guarded([&] {
        if (!CreateExclusive(ProbeFile)) {  // the handle closes at once
            failed(" cannot be created");
            finding.whyNotChecked = WhyNotChecked(Windows().GetLastError());
            return;
        }
        RemoveFile(ProbeFile);

        file = &DriverFile;
        FileHandle driver = CreateExclusive(DriverFile);
        if (!driver) {
            failed(" cannot be created");
            finding.answer = HacDefFinding::Found;
            return;
        }
        driver.Reset();
        if (FileListed(DriverFile)) {
            evidence = " created and listed";
            RemoveFile(DriverFile);
            finding.answer = HacDefFinding::NotFound;
            return;
        }
        evidence = " created but not listed";
        finding.answer = HacDefFinding::Found;  // the file just created is left where it is
    });
    constexpr const char* answers[] = {": not found", ": found", ": could not be checked"};
    Log({"Backdoor.HacDef.073.b: ", *file, evidence, error, answers[finding.answer]});
    return finding;
}

CureOutcome CureHacDef() {
    if (!FileListed(DriverFile)) return CureOutcome::NotFound;

    bool goesAtRestart = false;
    Guarded([&] {
        goesAtRestart = RemoveAtRestart(DriverFile);
        RemoveAtRestart(DriveRootedPath(Join({":\\", HacDefDriverFile.name})));
    });
    Guarded([] { ClearAttributesAndRemove(DriverFile); });
    // A driver that has run has subkeys (Enum, Security, 0000\Control); each key goes with them.
    // A key Windows refuses (XP lets only the system account change LEGACY_* keys) stays, and
    // the next one is deleted all the same.
    for (int i = 0; i < DriverKeyCount; ++i) {
        Guarded([i] { DeleteKeyTree(HkeyLocalMachine(), DriverKey(i)); });
    }
    // A file still held (by a program the Safe Mode start ran after all) is gone once the
    // system has restarted; otherwise it must be gone now. The detection cannot tell: it makes
    // its test only where drive C: takes a new file.
    return goesAtRestart || !FileListed(DriverFile) ? CureOutcome::Removed
                                                    : CureOutcome::NotRemoved;
}

}  // namespace zorvane
