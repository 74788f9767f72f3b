#include "threats/HaxDef.h"

#include <string>

#include "platform/AsciiText.h"
#include "platform/FileOps.h"
#include "platform/Guarded.h"
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

// The driver holds its file locked and hides it from directory listings. So: the name cannot be
// taken, or a file just created under it does not show in a directory search. The test is made
// only on a drive C: that takes new files at all.
bool DetectHacDef() {
    bool infected = false;
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
            failed(" cannot be created, drive C: takes no file");
            return;
        }
        RemoveFile(ProbeFile);

        file = &DriverFile;
        FileHandle driver = CreateExclusive(DriverFile);
        if (!driver) {
            failed(" cannot be created");
            infected = true;
            return;
        }
        driver.Reset();
        if (FileListed(DriverFile)) {
            evidence = " created and listed";
            RemoveFile(DriverFile);
            return;
        }
        evidence = " created but not listed";
        infected = true;  // the file just created is left where it is
    });
    Log({"Backdoor.HacDef.073.b: ", *file, evidence, error, infected ? ": found" : ": not found"});
    return infected;
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
    // system has restarted; otherwise the detection must no longer find it.
    return goesAtRestart || !DetectHacDef() ? CureOutcome::Removed : CureOutcome::NotRemoved;
}

}  // namespace zorvane
