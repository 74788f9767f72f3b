// Both backdoors on Wine: detection and cure on real files and registry.
#include "TestMachine.h"
#include "platform/AsciiText.h"
#include "threats/HaxDef.h"
#include "threats/Ubriel.h"

namespace zorvane::testing {
namespace {

// Only the first string of "Shell" counts, as stored, whatever its type. The repaired shell is
// the program before the first space where that is a working shell. Without the marker nothing
// is touched; with the repair refused the files still go.
TEST(Ubriel, FindsTheMarkerInTheShellAndRepairsIt) {
    ResetMachine();
    Process p;
    const std::tuple<DWORD, std::string, bool> cases[] = {
        {RegSz, "Explorer.exe ubr2.exe", true},
        {RegExpandSz, "%windir%\\UBR2.exe", true},
        {RegBinary, "ubr2", true},
        {RegSz, std::string(296, 'x') + "uBr2", true},  // past the first read
        {RegSz, "Explorer.exe UBR 2", false},
        {RegMultiSz, "Explorer.exe\0ubr2.exe\0\0"s, false},
        {RegSz, "", false}};
    for (const auto& [type, data, found] : cases) {
        PutValue(Winlogon, "Shell", data, type);
        EXPECT_EQ(DetectUbriel(), found) << data;
    }
    EraseValue(Winlogon, "Shell");
    EXPECT_FALSE(DetectUbriel());
    PutValue(Winlogon, "Shell", "ubr2.exe");
    p.w.FailCall("RegOpenKeyA", 1, error::AccessDenied);  // the key refused
    EXPECT_FALSE(DetectUbriel());
    // The repair reads the shell as the detection does, whatever its type, and writes REG_SZ.
    const std::tuple<DWORD, std::string, std::string> repairs[] = {
        {RegExpandSz, "Explorer.exe ubr2.exe", "Explorer.exe"},
        {RegSz, "C:\\Program Files\\Shell.exe ubr2.exe", "C:\\Program"},
        {RegSz, "ubr2.exe", "Explorer.exe"},
        {RegSz, "xUbr2.exe Explorer.exe", "Explorer.exe"},
        {RegMultiSz, "Explorer.exe ubr2.exe\0\0"s, "Explorer.exe"},
        {RegBinary, "Explorer.exe ubr2.exe", "Explorer.exe"}};
    for (const auto& [type, shell, repaired] : repairs) {
        PutValue(Winlogon, "Shell", shell, type);
        EXPECT_EQ(CureUbriel(), CureOutcome::Removed) << shell;
        EXPECT_EQ(ValueOf(Winlogon, "Shell"), repaired);
        EXPECT_EQ(TypeOf(Winlogon, "Shell"), RegSz);
        EXPECT_EQ(CureUbriel(), CureOutcome::NotFound) << shell;
    }
    PutFile("C:\\ubr2.exe", "MZ");
    EraseValue(SessionManager, "PendingFileRenameOperations");
    EXPECT_EQ(CureUbriel(), CureOutcome::NotFound);
    EXPECT_TRUE(Exists("C:\\ubr2.exe") && PendingOperations().empty());
    PutValue(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    p.w.FailCall("RegSetValueExA", 1, error::AccessDenied);
    EXPECT_EQ(CureUbriel(), CureOutcome::NotRemoved);  // still detected
    EXPECT_EQ(ValueOf(Winlogon, "Shell"), "Explorer.exe ubr2.exe");
    EXPECT_FALSE(Exists("C:\\ubr2.exe"));
}

// Every file goes on the delete-at-restart list before the shell is repaired (after that the
// threat is no longer detected, so a failed deletion would keep its file for good), then is
// deleted whatever its attributes. "SystemDrive" names another volume than the Windows folder's.
TEST(Ubriel, CureListsEveryFileBeforeTheRepairThenDeletesIt) {
    ResetMachine();
    PlantThreats();
    Process p;
    p.w.SetSystemDrive("D:");
    ComputeHostFacts();
    Texts listed;
    for (const std::string& file : UbrielFiles) {
        PutFile(file, "MZ", listed.size() % 2 ? FileAttributeHidden : FileAttributeReadOnly);
        listed.push_back(AsciiUpper(file));
    }
    listed.insert(listed.begin() + 4, "D:\\UBR2.EXE");
    EXPECT_EQ(CureUbriel(), CureOutcome::Removed);
    for (const std::string& file : UbrielFiles) EXPECT_FALSE(Exists(file)) << file;
    EXPECT_EQ(PendingOperations(), listed);
    std::string order;  // M: listed, R: the shell repaired, D: deleted
    for (const auto& call : p.w.JournalOf({"MoveFileExA", "RegSetValueExA", "DeleteFileA"}))
        order += call[0];
    EXPECT_EQ(order, "MMMMMMMRDDDDDDD");
}

// The driver shows itself by a name that cannot be taken, or by a file just created under it that
// a directory search does not show. A drive C: that takes no new file leaves the question open,
// and the answer says why, whatever the state of the driver's file.
TEST(HaxDef, DetectionTakesTheDriversNameAndLooksForIt) {
    using Arrange = std::function<void(TestWindows&)>;
    const auto plant = [](DWORD attributes) -> Arrange {
        return [=](TestWindows&) { PutFile(Driver, "drv", attributes); };
    };
    const auto probeRefused = [](DWORD code) -> Arrange {
        return [=](auto& w) { PutFile(Driver, "drv"), w.FailCall("CreateFileA", 1, code); };
    };
    const std::tuple<const char*, Arrange, bool, bool, std::string_view, bool> cases[] = {
        // held open, hidden; the answer (found, not found or why not checked), driver file left
        {"clean", [](auto&) {}, false, false, "not found", false},
        {"visible", plant(0), false, false, "not found", false},
        {"running", plant(0), true, true, "found", true},
        {"locked", plant(0), true, false, "found", true},
        {"unlisted", [](auto&) {}, false, true, "found", true},
        {"hidden", plant(FileAttributeHidden), false, false, "found", true},
        {"system", plant(FileAttributeSystem), false, false, "found", true},
        {"directory", [](auto&) { PutFile(Driver + "\\x", ""); }, false, false, "found", true},
        // A limited user; a read-only drive C:; none at all; the probe's name taken by a folder
        // or by a file that CREATE_ALWAYS may not replace.
        {"limited user", probeRefused(error::AccessDenied), true, true,
         "drive C: takes no new file", true},
        {"read-only C:", probeRefused(error::WriteProtect), false, false, "drive C: is read-only",
         true},
        {"no C:", probeRefused(error::PathNotFound), false, false, "there is no drive C:", true},
        {"probe folder", [](auto&) { PutFile(Driver, ""), PutFile(Probe + "\\x", ""); }, true, true,
         "c:\\tempfile.tmp is a folder", true},
        {"hidden probe", [](auto&) { PutFile(Probe, "", FileAttributeHidden); }, false, false,
         "c:\\tempfile.tmp is a file that cannot be replaced", false}};
    for (const auto& [what, arrange, held, hidden, answer, left] : cases) {
        ResetMachine();
        Process p;
        arrange(p.w);
        const bool probeThere = Exists(Probe);
        std::optional<HeldFile> lock;
        if (held) lock.emplace(Driver);
        if (hidden) p.w.Hide(Driver);
        const HacDefFinding finding = DetectHacDef();
        EXPECT_EQ(finding.answer == HacDefFinding::NotChecked ? finding.whyNotChecked
                  : finding.answer == HacDefFinding::Found    ? "found"
                                                              : "not found",
                  answer)
            << what;
        lock.reset();
        EXPECT_EQ(Exists(Driver), left) << what;
        EXPECT_EQ(Exists(Probe), probeThere) << what;
    }
}

// While the driver runs (its file locked and hidden) the cure sees nothing. In the Safe Mode
// start the file goes, now and at the restart, and each driver key with its subkeys (Windows
// deletes only keys without subkeys); a key Windows refuses stays and the rest go all the same.
TEST(HaxDef, CureDeletesTheListedFileAndEveryDriverKeyWithItsSubkeys) {
    ResetMachine();
    PlantThreats();
    PutFile(Driver, "MZ", FileAttributeReadOnly | FileAttributeHidden);
    EraseKey(DriverKeys[3]);
    PutValue(DriverKeys[3], "Zv", "1");  // a driver that never ran
    Process p;
    p.w.SetSystemDrive("D:");
    ComputeHostFacts();
    {
        const HeldFile lock(Driver);
        p.w.Hide(Driver);
        EXPECT_EQ(CureHacDef(), CureOutcome::NotFound);
    }
    EXPECT_TRUE(Exists(Driver) && KeyExists(DriverKeys[3]) && PendingOperations().empty());
    p.w.UnhideAll();
    p.w.FailCall("RegDeleteKeyA", 1, error::AccessDenied);  // LEGACY_UBR2DRV\0000\Control
    EXPECT_EQ(CureHacDef(), CureOutcome::Removed);
    EXPECT_FALSE(Exists(Driver));
    for (std::size_t i = 0; i < DriverKeys.size(); ++i)
        EXPECT_EQ(KeyExists(DriverKeys[i]), i == 0) << DriverKeys[i];
    EXPECT_EQ(PendingOperations(), (Texts{"C:\\UBR2DRV.SYS", "D:\\UBR2DRV.SYS"}));
    // A file that stays, neither deleted nor registered for the restart, is not removed, even
    // where the detection could not make its test (a folder holds the probe's name).
    PutFile(Driver, "MZ");
    PutFile(Probe + "\\x", "");
    const HeldFile lock(Driver);
    p.w.FailCall("MoveFileExA", 1, error::AccessDenied);
    EXPECT_EQ(CureHacDef(), CureOutcome::NotRemoved);
}

}  // namespace
}  // namespace zorvane::testing
