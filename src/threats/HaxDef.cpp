#include "threats/HaxDef.h"

#include <string>

#include "platform/FileOps.h"
#include "platform/Guarded.h"
#include "platform/HostFacts.h"

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
    Guarded([&] {
        if (!CreateExclusive(ProbeFile)) return;  // the handle closes at once
        RemoveFile(ProbeFile);

        FileHandle driver = CreateExclusive(DriverFile);
        if (!driver) {
            infected = true;
            return;
        }
        driver.Reset();
        if (FileListed(DriverFile)) {
            RemoveFile(DriverFile);
            return;
        }
        infected = true;  // the file just created is left where it is
    });
    return infected;
}

bool CureHacDef() {
    if (!FileListed(DriverFile)) return false;

    Guarded([] {
        RemoveAtRestart(DriverFile);
        RemoveAtRestart(DriveRootedPath(":\\ubr2drv.sys"));
    });
    Guarded([] { ClearAttributesAndRemove(DriverFile); });
    // Each key by one call: Windows NT deletes only a key without subkeys, and a key that still
    // has some is left in place.
    Guarded([] {
        for (const char* key : DriverKeys) Windows().RegDeleteKeyA(HkeyLocalMachine(), key);
    });
    return true;
}

}  // namespace zorvane
