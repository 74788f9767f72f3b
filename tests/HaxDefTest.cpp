#include "threats/HaxDef.h"

#include <functional>

#include "HostMachine.h"

namespace zorvane::testing {
namespace {

constexpr char Driver[] = "C:\\ubr2drv.sys";
constexpr char Legacy[] = "HKLM\\SYSTEM\\ControlSet001\\Enum\\Root\\LEGACY_UBR2DRV";
constexpr char Services[] = "HKLM\\SYSTEM\\ControlSet002\\Services\\ubr2drv";

using HaxDefTest = HostMachine;
using Plant = std::function<void(sim::FileStore&)>;

TEST_F(HaxDefTest, CleanDriveCTakesAndSeesBothNamesAndKeepsNothing) {
    const auto before = machine.TakeSnapshot();
    EXPECT_FALSE(DetectHacDef());
    EXPECT_EQ(machine.TakeSnapshot(), before);
    const std::string create = ", 0xC0000000, 0x0, NULL, 0x2, 0x80, NULL)";
    Texts journal = machine.JournalTexts();
    journal.erase(journal.begin() + 7, journal.begin() + 9);  // the time conversions
    EXPECT_EQ(journal, (Texts{"CreateFileA(\"c:\\tempfile.tmp\"" + create, "CloseHandle(h1)",
                              "DeleteFileA(\"c:\\tempfile.tmp\")",
                              "CreateFileA(\"c:\\ubr2drv.sys\"" + create, "CloseHandle(h2)",
                              "FindFirstFileA(\"c:\\ubr2drv.sys\")", "FindClose(h3)",
                              "DeleteFileA(\"c:\\ubr2drv.sys\")"}));
}

TEST_F(HaxDefTest, InfectedWhenTheDriverNameCannotBeTakenOrIsNotSeen) {
    const std::tuple<const char*, Plant, bool, bool> cases[] = {
        // infected, driver file left
        {"no C:", [](auto& f) { f.RemoveVolume('C'); }, false, false},
        {"read-only C:", [](auto& f) { f.AddFile(Driver), f.SetVolumeReadOnly('C', true); }, false,
         true},
        {"locked", [](auto& f) { f.AddFile(Driver), f.HoldOpenByOtherProcess(Driver); }, true,
         true},
        {"hidden", [](auto& f) { f.AddFile(Driver, "", FileAttributeHidden); }, true, true},
        {"system", [](auto& f) { f.AddFile(Driver, "", FileAttributeSystem); }, true, true},
        {"directory", [](auto& f) { f.AddDirectory(Driver); }, true, true},
        {"unlisted", [](auto& f) { f.HideFromListings(Driver); }, true, true},
        {"visible", [](auto& f) { f.AddFile(Driver, "drv"); }, false, false}};
    for (const auto& [what, plant, infected, driverLeft] : cases) {
        sim::SimWindows fresh;
        WindowsScope use(fresh);
        plant(fresh.files);
        EXPECT_EQ(DetectHacDef(), infected) << what;
        EXPECT_EQ(fresh.files.Exists(Driver), driverLeft) << what;
        EXPECT_FALSE(fresh.files.Exists("C:\\tempfile.tmp")) << what;
    }
}

TEST_F(HaxDefTest, CureTouchesNothingWhileTheDriverFileIsNotListed) {
    machine.registry.AddKey(Services);
    machine.files.AddFile(Driver);
    machine.files.HideFromListings(Driver);
    const auto before = machine.TakeSnapshot();
    EXPECT_FALSE(CureHacDef());
    EXPECT_EQ(machine.TakeSnapshot(), before);
    EXPECT_EQ(Names(), "FindFirstFileA ");
}

class HaxDefCure : public HostMachine, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(SystemDriveOnC, HaxDefCure, ::testing::Bool());

TEST_P(HaxDefCure, DeletesTheFileAndEveryDriverKeyWithoutSubkeys) {
    const std::string drive = GetParam() ? "C" : "D";  // on D: none of the keys is there
    machine.files.AddVolume('D');
    UseSystemDrive(drive + ":");
    machine.files.AddFile(Driver, "drv", FileAttributeReadOnly | FileAttributeHidden);
    if (GetParam()) machine.registry.AddKey(std::string(Legacy) + "\\0000");
    if (GetParam()) machine.registry.AddKey(Services);
    EXPECT_TRUE(CureHacDef());
    EXPECT_FALSE(machine.files.Exists(Driver));
    EXPECT_EQ(machine.registry.KeyExists(Legacy), GetParam());  // it has a subkey
    EXPECT_FALSE(machine.registry.KeyExists(Services));
    Texts calls{"MoveFileExA(\"c:\\ubr2drv.sys\", NULL, 0x4)",
                "MoveFileExA(\"" + drive + ":\\ubr2drv.sys\", NULL, 0x4)",
                "SetFileAttributesA(\"c:\\ubr2drv.sys\", 0x80)",
                "DeleteFileA(\"c:\\ubr2drv.sys\")"};
    for (const std::string set : {"ControlSet001", "ControlSet002", "CurrentControlSet"}) {
        calls.push_back("RegDeleteKeyA(HKLM, \"SYSTEM\\" + set + "\\Enum\\Root\\LEGACY_UBR2DRV\")");
        calls.push_back("RegDeleteKeyA(HKLM, \"SYSTEM\\" + set + "\\Services\\ubr2drv\")");
    }
    const Texts journal = machine.JournalTexts();  // after the directory search
    EXPECT_EQ(Texts(journal.begin() + 4, journal.end()), calls);
}

}  // namespace
}  // namespace zorvane::testing
