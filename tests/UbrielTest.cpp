#include "threats/Ubriel.h"

#include "HostMachine.h"

namespace zorvane::testing {
namespace {

constexpr char Winlogon[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

class UbrielTest : public HostMachine {
  protected:
    void SetShell(const std::string& data, DWORD type = RegSz) {
        machine.registry.SetValue(Winlogon, "Shell", type, data);
    }
    std::optional<sim::RegistryStore::Value> Shell() const {
        return machine.registry.GetValue(Winlogon, "Shell");
    }
};

TEST_F(UbrielTest, FindsTheMarkerInAnyCaseAnywhereInTheShellText) {
    const std::tuple<DWORD, std::string, bool> cases[] = {
        {RegSz, std::string("Explorer.exe ubr2.exe\0", 22), true},
        {RegSz, "explorer.exe XUbr2Y", true},
        {RegExpandSz, "%windir%\\UBR2.exe", true},  // taken as stored
        {RegBinary, "ubr2", true},                  // the type is not examined
        {RegSz, "Explorer.exe UBR 2", false},
        {RegMultiSz, std::string("Explorer.exe\0ubr2.exe\0\0", 23), false},  // first string only
        {RegSz, "", false}};
    for (const auto& [type, data, found] : cases) {
        SetShell(data, type);
        EXPECT_EQ(DetectUbriel(), found) << data;
    }
    machine.registry.DeleteValue(Winlogon, "Shell");
    EXPECT_FALSE(DetectUbriel());
    SetShell(std::string(296, 'x') + "uBr2");  // beyond the 255-byte buffer: read at its size
    machine.ClearJournal();
    EXPECT_TRUE(DetectUbriel());
    EXPECT_EQ(
        machine.JournalTexts(),
        (Texts{"RegOpenKeyA(HKLM, \"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\")",
               "RegQueryValueExA(h9, \"Shell\", NULL, NULL, 0xFF)",
               "RegQueryValueExA(h9, \"Shell\", NULL, NULL, 0x12C)", "RegCloseKey(h9)"}));
}

TEST_F(UbrielTest, WithoutTheMarkerTheCureChangesNothing) {
    machine.files.AddFile("C:\\ubr2.exe");
    EXPECT_FALSE(CureUbriel());
    machine.registry.DeleteKeyTree(Winlogon);
    EXPECT_FALSE(CureUbriel());
    EXPECT_EQ(Names(), "RegOpenKeyA RegQueryValueExA RegCloseKey RegOpenKeyA ");
}

TEST_F(UbrielTest, RepairKeepsTheProgramBeforeTheFirstSpaceWhenThatIsAWorkingShell) {
    const std::pair<std::string, std::string> cases[] = {
        {"Explorer.exe ubr2.exe", "Explorer.exe"},
        {"C:\\Program Files\\Shell.exe ubr2.exe", "C:\\Program"},
        {"ubr2.exe", "Explorer.exe"},                 // no space
        {" ubr2.exe", "Explorer.exe"},                // nothing before the space
        {"xUbr2.exe Explorer.exe", "Explorer.exe"}};  // the backdoor's own file first
    for (const auto& [shell, repaired] : cases) {
        machine.registry.SetString(Winlogon, "Shell", shell);
        EXPECT_TRUE(CureUbriel()) << shell;
        EXPECT_EQ(Shell(), (sim::RegistryStore::Value{RegSz, repaired + '\0'})) << shell;
        EXPECT_FALSE(CureUbriel()) << shell;  // the marker is gone
    }
}

TEST_F(UbrielTest, CureSchedulesRepairsAndDeletesInOrderOnBothDrives) {
    machine.files.AddVolume('D');
    UseSystemDrive("D:");
    const std::string targets[] = {"C:\\WINDOWS\\system32\\ubr2.exe",
                                   "C:\\WINDOWS\\system32\\hcsrss.dll",
                                   "C:\\WINDOWS\\system32\\icsrss.dll",
                                   "c:\\ubr2.exe",
                                   "D:\\ubr2.exe",
                                   "C:\\WINDOWS\\icsrss.dll",
                                   "C:\\WINDOWS\\system\\ubr2.exe"};
    const DWORD attributes[] = {FileAttributeReadOnly, FileAttributeHidden, FileAttributeSystem};
    for (std::size_t i = 0; i < std::size(targets); ++i) {
        machine.files.AddFile(targets[i], "x", attributes[i % 3]);
    }
    machine.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    EXPECT_TRUE(CureUbriel());
    // Every target is also deleted at the next restart, should its deletion now fail.
    EXPECT_EQ(machine.files.PendingDeletes(), Texts(std::begin(targets), std::end(targets)));
    for (const std::string& target : targets) EXPECT_FALSE(machine.files.Exists(target)) << target;
    const std::string remove = "SetFileAttributesA DeleteFileA ";
    EXPECT_EQ(Names(),
              "RegOpenKeyA RegQueryValueExA RegCloseKey GetSystemDirectoryA MoveFileExA "
              "MoveFileExA MoveFileExA GetWindowsDirectoryA MoveFileExA MoveFileExA MoveFileExA "
              "MoveFileExA RegOpenKeyExA RegCloseKey RegCreateKeyExA "
              "RegQueryValueExA RegQueryValueExA RegQueryValueExA RegSetValueExA "
              "RegCloseKey GetSystemDirectoryA " +
                  remove + "GetSystemDirectoryA " + remove + "GetSystemDirectoryA " + remove +
                  remove + remove + "GetWindowsDirectoryA " + remove + "GetWindowsDirectoryA " +
                  remove);
    const Texts journal = machine.JournalTexts();  // each directory fetched into 8192 bytes
    EXPECT_EQ(journal[3] + journal[journal.size() - 3],
              "GetSystemDirectoryA(0x2000)GetWindowsDirectoryA(0x2000)");
}

TEST_F(UbrielTest, ARefusedRepairStillDeletesTheFiles) {
    machine.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    machine.registry.DenyAccess(Winlogon);  // no administrator rights
    machine.files.AddFile("C:\\ubr2.exe");
    EXPECT_TRUE(CureUbriel());
    EXPECT_EQ(machine.registry.GetString(Winlogon, "Shell"), "Explorer.exe ubr2.exe");
    EXPECT_FALSE(machine.files.Exists("C:\\ubr2.exe"));
}

}  // namespace
}  // namespace zorvane::testing
