#include "TestMachine.h"
#include "threats/HaxDef.h"
#include "threats/Ubriel.h"

namespace zorvane::testing {
namespace {

TEST(Ubriel, FindsTheMarkerInAnyCaseAnywhereInTheShellText) {
    Host h;
    const std::tuple<DWORD, std::string, bool> cases[] = {
        {RegSz, "Explorer.exe ubr2.exe\0"s, true},
        {RegSz, "explorer.exe XUbr2Y", true},
        {RegExpandSz, "%windir%\\UBR2.exe", true},  // taken as stored
        {RegBinary, "ubr2", true},                  // the type is not examined
        {RegSz, "Explorer.exe UBR 2", false},
        {RegMultiSz, "Explorer.exe\0ubr2.exe\0\0"s, false},  // the first string only
        {RegSz, "", false}};
    for (const auto& [type, data, found] : cases) {
        h.m.registry.SetValue(Winlogon, "Shell", type, data);
        EXPECT_EQ(DetectUbriel(), found) << data;
    }
    h.m.registry.DeleteValue(Winlogon, "Shell");
    EXPECT_FALSE(DetectUbriel());
    h.m.registry.DeleteKeyTree(Winlogon);
    EXPECT_FALSE(DetectUbriel());
    h.m.registry.SetValue(Winlogon, "Shell", RegSz, std::string(296, 'x') + "uBr2");  // 300 bytes
    h.m.ClearJournal();
    EXPECT_TRUE(DetectUbriel());
    EXPECT_EQ(h.Calls(),
              "RegOpenKeyA HKLM \"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
              "Winlogon\"\nRegQueryValueExA \"Shell\" NULL NULL 0xFF\n"
              "RegQueryValueExA \"Shell\" NULL NULL 0x12C\nRegCloseKey\n");
}

TEST(Ubriel, RepairKeepsTheProgramBeforeTheFirstSpaceWhenThatIsAWorkingShell) {
    Host h;
    const std::pair<std::string, std::string> cases[] = {
        {"Explorer.exe ubr2.exe", "Explorer.exe"},
        {"C:\\Program Files\\Shell.exe ubr2.exe", "C:\\Program"},
        {"ubr2.exe", "Explorer.exe"},                 // no space
        {" ubr2.exe", "Explorer.exe"},                // nothing before the space
        {"xUbr2.exe Explorer.exe", "Explorer.exe"}};  // the backdoor's own file first
    for (const auto& [shell, repaired] : cases) {
        h.m.registry.SetString(Winlogon, "Shell", shell);
        EXPECT_EQ(CureUbriel(), CureOutcome::Removed) << shell;
        EXPECT_EQ(h.m.registry.GetValue(Winlogon, "Shell"),
                  (sim::RegistryStore::Value{RegSz, repaired + '\0'}));
        EXPECT_EQ(CureUbriel(), CureOutcome::NotFound) << shell;  // the marker is gone
    }
    h.m.files.AddFile("C:\\ubr2.exe");  // without the marker nothing is touched
    h.m.ClearJournal();
    EXPECT_EQ(CureUbriel(), CureOutcome::NotFound);
    EXPECT_EQ(h.m.JournalNames(), (Texts{"RegOpenKeyA", "RegQueryValueExA", "RegCloseKey"}));
    h.m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    h.m.registry.DenyAccess(Winlogon);  // no rights to repair: the files still go
    EXPECT_EQ(CureUbriel(), CureOutcome::NotRemoved);
    EXPECT_EQ(h.Value(Winlogon, "Shell"), "Explorer.exe ubr2.exe");
    EXPECT_FALSE(h.m.files.Exists("C:\\ubr2.exe"));
}

TEST(Ubriel, CureSchedulesRepairsAndDeletesInOrderOnBothDrives) {
    Host h;
    h.SystemDrive('D');
    const std::string windows = "C:\\WINDOWS\\", system32 = windows + "system32\\";
    const Texts targets = {
        system32 + "ubr2.exe", system32 + "hcsrss.dll", system32 + "icsrss.dll",     "c:\\ubr2.exe",
        "D:\\ubr2.exe",        windows + "icsrss.dll",  windows + "system\\ubr2.exe"};
    const DWORD attributes[] = {FileAttributeReadOnly, FileAttributeHidden, FileAttributeSystem};
    for (std::size_t i = 0; i < targets.size(); ++i)
        h.m.files.AddFile(targets[i], "x", attributes[i % 3]);
    h.m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    EXPECT_EQ(CureUbriel(), CureOutcome::Removed);
    // Every target is also deleted at the next restart, should its deletion now fail.
    EXPECT_EQ(h.m.files.PendingDeletes(), targets);
    for (const std::string& target : targets) EXPECT_FALSE(h.m.files.Exists(target)) << target;
    const std::string rm = "SetFileAttributesA DeleteFileA ", sys = "GetSystemDirectoryA ",
                      win = "GetWindowsDirectoryA ", move = "MoveFileExA ";
    std::string names;
    for (const std::string& name : h.m.JournalNames()) names += name + ' ';
    EXPECT_EQ(names, "RegOpenKeyA RegQueryValueExA RegCloseKey " + sys + move + move + move + win +
                         move + move + move + move +
                         "RegOpenKeyExA RegCloseKey RegCreateKeyExA RegQueryValueExA "
                         "RegSetValueExA RegCloseKey " +
                         sys + rm + sys + rm + sys + rm + rm + rm + win + rm + win + rm +
                         "RegOpenKeyA RegQueryValueExA RegCloseKey ");  // looked at again
}

const char Driver[] = "C:\\ubr2drv.sys";

// A clean drive C: takes both names, sees the driver file it created, and keeps nothing; the
// driver shows itself by a name that cannot be taken or a file that the listing does not show.
TEST(HaxDef, DetectionTakesAndSeesBothNames) {
    Host h;
    const auto before = h.m.TakeSnapshot();
    EXPECT_FALSE(DetectHacDef());
    EXPECT_EQ(h.m.TakeSnapshot(), before);
    const std::string create = " 0xC0000000 0x0 NULL 0x2 0x80 NULL\nCloseHandle\n";
    EXPECT_EQ(
        h.Calls({"CreateFileA", "CloseHandle", "DeleteFileA", "FindFirstFileA", "FindClose"}),
        "CreateFileA \"c:\\tempfile.tmp\"" + create + "DeleteFileA \"c:\\tempfile.tmp\"\n" +
            "CreateFileA \"c:\\ubr2drv.sys\"" + create +
            "FindFirstFileA \"c:\\ubr2drv.sys\"\nFindClose\nDeleteFileA \"c:\\ubr2drv.sys\"\n");
    using Plant = std::function<void(sim::FileStore&)>;
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
        Host other;
        plant(other.m.files);
        EXPECT_EQ(DetectHacDef(), infected) << what;
        EXPECT_EQ(other.m.files.Exists(Driver), driverLeft) << what;
        EXPECT_FALSE(other.m.files.Exists("C:\\tempfile.tmp")) << what;
    }
}

// While the driver file is not listed the cure touches nothing, not even the registry.
TEST(HaxDef, CureDeletesTheListedFileAndEveryDriverKeyWithoutSubkeys) {
    const std::string legacy = "HKLM\\SYSTEM\\ControlSet001\\Enum\\Root\\LEGACY_UBR2DRV",
                      services = "HKLM\\SYSTEM\\ControlSet002\\Services\\ubr2drv";
    for (const char drive : {'C', 'D'}) {  // on D: none of the keys is there
        Host h;
        h.SystemDrive(drive);
        h.m.files.AddFile(Driver, "drv", FileAttributeReadOnly | FileAttributeHidden);
        if (drive == 'C') h.m.registry.AddKey(legacy + "\\0000"), h.m.registry.AddKey(services);
        h.m.files.HideFromListings(Driver);
        const auto before = h.m.TakeSnapshot();
        EXPECT_EQ(CureHacDef(), CureOutcome::NotFound);
        EXPECT_EQ(h.m.TakeSnapshot(), before);
        h.m.files.HideFromListings(Driver, false);
        EXPECT_EQ(CureHacDef(), CureOutcome::Removed);
        EXPECT_FALSE(h.m.files.Exists(Driver));
        EXPECT_EQ(h.m.registry.KeyExists(legacy), drive == 'C');  // it has a subkey
        EXPECT_FALSE(h.m.registry.KeyExists(services));
        std::string calls = "FindFirstFileA \"c:\\ubr2drv.sys\"\n";
        calls += calls + "MoveFileExA \"c:\\ubr2drv.sys\" NULL 0x4\nMoveFileExA \""s + drive +
                 ":\\ubr2drv.sys\" NULL 0x4\nSetFileAttributesA \"c:\\ubr2drv.sys\" 0x80\n"
                 "DeleteFileA \"c:\\ubr2drv.sys\"\n";
        for (const std::string set : {"ControlSet001", "ControlSet002", "CurrentControlSet"})
            calls += "RegDeleteKeyA HKLM \"SYSTEM\\" + set + "\\Enum\\Root\\LEGACY_UBR2DRV\"\n" +
                     "RegDeleteKeyA HKLM \"SYSTEM\\" + set + "\\Services\\ubr2drv\"\n";
        EXPECT_EQ(h.Calls({"FindFirstFileA", "MoveFileExA", "SetFileAttributesA", "DeleteFileA",
                           "RegDeleteKeyA"}),
                  calls);
    }
}

}  // namespace
}  // namespace zorvane::testing
