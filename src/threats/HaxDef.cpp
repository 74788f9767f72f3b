#include "threats/HaxDef.h"

#include <string>

#include "platform/FileOps.h"
#include "platform/Guarded.h"
#include "platform/HostFacts.h"
#include "platform/KeyTree.h"
#include "platform/RunLog.h"

namespace zorvane {

namespace {

const std::string ProbeFile = "c:\\tempfile.tmp";
const std::string DriverFile = "c:\\ubr2drv.sys";

constexpr const char* DriverKeys[] = {
    "SYSTEM\\ControlSet001\\Enum\\Root\\LEGACY_UBR2DRV",
    "SYSTEM\\ControlSet001\\Services\\ubr2drv",
    "SYSTEM\\ControlSet002\\Enum\\Root\\LEGACY_UBR2DRV",
    "SYSTEM\\ControlSet002\\Services\\ubr2drv",
    "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_UBR2DRV",
    "SYSTEM\\CurrentControlSet\\Services\\ubr2drv",
};

}  // namespace

// The driver holds its file locked and hides it from directory listings. So: the name cannot be
// taken, or a file just created under it does not show in a directory search. The test is made
// only on a drive C: that takes new files at all.
bool DetectHacDef() {
    bool infected = false;
    std::string evidence = "not checked";
    Guarded([&] {
        if (!CreateExclusive(ProbeFile)) {  // the handle closes at once
            evidence = ProbeFile + " cannot be created (error " +
                       std::to_string(Windows().GetLastError()) + "): drive C: takes no file";
            return;
        }
        RemoveFile(ProbeFile);

        FileHandle driver = CreateExclusive(DriverFile);
        if (!driver) {
            evidence = DriverFile + " cannot be created (error " +
                       std::to_string(Windows().GetLastError()) + ")";
            infected = true;
            return;
        }
        driver.Reset();
        if (FileListed(DriverFile)) {
            evidence = DriverFile + " created and listed";
            RemoveFile(DriverFile);
            return;
        }
        evidence = DriverFile + " created but not listed";
        infected = true;  // the file just created is left where it is
    });
    Log("Backdoor.HacDef.073.b: " + evidence + (infected ? ": found" : ": not found"));
    return infected;
}

CureOutcome CureHacDef() {
    if (!FileListed(DriverFile)) return CureOutcome::NotFound;

    bool goesAtRestart = false;
    Guarded([&] {
        goesAtRestart = RemoveAtRestart(DriverFile);
        RemoveAtRestart(DriveRootedPath(":\\ubr2drv.sys"));
    });
    Guarded([] { ClearAttributesAndRemove(DriverFile); });
    // A driver that has run has subkeys (Enum, Security, 0000\Control); each key goes with them.
    // A key Windows refuses (XP lets only the system account change LEGACY_* keys) stays, and
    // the next one is deleted all the same.
    for (const char* key : DriverKeys) {
        Guarded([key] { DeleteKeyTree(HkeyLocalMachine(), key); });
    }
    // A file still held (by a program the Safe Mode start ran after all) is gone once the
    // system has restarted; otherwise the detection must no longer find it.
    return goesAtRestart || !DetectHacDef() ? CureOutcome::Removed : CureOutcome::NotRemoved;
}

}  // namespace zorvane
