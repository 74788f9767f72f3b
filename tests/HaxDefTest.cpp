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
    EXPECT_EQ(Calls("CreateFileA CloseHandle DeleteFileA FindFirstFileA"),
              (Texts{"CreateFileA(\"c:\\tempfile.tmp\"" + create, "CloseHandle(h1)",
                     "DeleteFileA(\"c:\\tempfile.tmp\")",
                     "CreateFileA(\"c:\\ubr2drv.sys\"" + create, "CloseHandle(h2)",
                     "FindFirstFileA(\"c:\\ubr2drv.sys\")", "DeleteFileA(\"c:\\ubr2drv.sys\")"}));
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
    const bool onC = GetParam();  // on D: none of the keys is there
    machine.files.AddVolume('D');
    UseSystemDrive(onC ? "C:" : "D:");
    machine.files.AddFile(Driver, "drv", FileAttributeReadOnly | FileAttributeHidden);
    if (onC) machine.registry.AddKey(std::string(Legacy) + "\\0000");
    if (onC) machine.registry.AddKey(Services);
    EXPECT_TRUE(CureHacDef());
    EXPECT_FALSE(machine.files.Exists(Driver));
    EXPECT_EQ(machine.files.PendingDeletes(),
              (Texts{"c:\\ubr2drv.sys", onC ? "C:\\ubr2drv.sys" : "D:\\ubr2drv.sys"}));
    Texts deletions;
    for (const std::string set : {"ControlSet001", "ControlSet002", "CurrentControlSet"}) {
        deletions.push_back("RegDeleteKeyA(HKLM, \"SYSTEM\\" + set +
                            "\\Enum\\Root\\LEGACY_UBR2DRV\")");
        deletions.push_back("RegDeleteKeyA(HKLM, \"SYSTEM\\" + set + "\\Services\\ubr2drv\")");
    }
    EXPECT_EQ(Calls("RegDeleteKeyA"), deletions);
    std::string names =
        "FindFirstFileA FindClose FileTimeToLocalFileTime FileTimeToDosDateTime "
        "MoveFileExA MoveFileExA SetFileAttributesA DeleteFileA ";
    for (int i = 0; i < 6; ++i) names += "RegDeleteKeyA ";
    EXPECT_EQ(Names(), names);
    EXPECT_EQ(machine.registry.KeyExists(Legacy), onC);  // it has a subkey
    EXPECT_FALSE(machine.registry.KeyExists(Services));
}

}  // namespace
}  // namespace zorvane::testing
