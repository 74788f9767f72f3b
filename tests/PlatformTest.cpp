// The platform layer on Wine: host facts, TRegistry, file operations and text-line files.
#include "TestMachine.h"
#include "platform/FileOps.h"
#include "platform/Registry.h"
#include "platform/TextLineFile.h"

namespace zorvane::testing {
namespace {

// Without the version record (GetVersionExA failing), GetVersion's major version still tells
// NT 4.0, which has no Safe Mode, apart.
TEST(HostFacts, FollowTheVersionAndSystemDriveInTheirOrder) {
    const std::string tooLong(250, 'F');  // does not fit the 250-byte buffer with its zero
    // version, "SystemDrive" (nullopt: absent), version record; the facts
    const std::tuple<Version, std::optional<std::string>, bool, bool, bool, char> cases[] = {
        {Version::Win95, "C:", true, false, false, 'C'},
        {Version::Win98, "D:", true, false, false, 'D'},
        {Version::WinMe, "C:", true, false, false, 'C'},
        {Version::Nt4, "", true, true, true, 'C'},
        {Version::Nt4, std::nullopt, true, true, true, 'C'},
        {Version::Xp, "d:", true, true, false, 'd'},
        {Version::Xp, tooLong, true, true, false, 'C'},
        {Version::Nt4, "C:", false, true, true, 'C'},
        {Version::Win2000, "C:", false, true, false, 'C'}};
    for (const auto& [version, systemDrive, record, nt, nt4, letter] : cases) {
        SCOPED_TRACE(static_cast<int>(version));
        Process p;
        p.w.SetVersion(version, record);
        p.w.SetSystemDrive(systemDrive);
        ComputeHostFacts();
        EXPECT_EQ(IsNTPlatform(), nt);
        EXPECT_EQ(IsWindowsNT4(), nt4);
        EXPECT_EQ(DriveRootedPath(":\\boot.ini"), letter + ":\\boot.ini"s);
        Texts calls{"GetVersion()", "GetVersionExA(0x94)",
                    "GetEnvironmentVariableA(\"SystemDrive\", 0xFA)"};
        if (!nt) calls.erase(calls.begin() + 1);  // GetVersionExA only on NT
        EXPECT_EQ(p.w.JournalOf({"GetVersion", "GetVersionExA", "GetEnvironmentVariableA"}), calls);
    }
}

// A path with a leading backslash is under the root, others under the current key; only a
// successful open or a new root changes the current key; only MakeKey, GetString and PutString
// raise; GetString gives the text types up to the first zero.
TEST(TRegistry, KeyPathsCurrentKeyAndErrors) {
    Process p;
    const std::string zv = "HKLM\\SOFTWARE\\Zv", raised = "ERegistryException: ";
    EraseKey(zv);
    TRegistry r;
    r.SelectRoot(HkeyLocalMachine());
    EXPECT_TRUE(r.OpenCurrentKey("SOFTWARE", false));  // no current key: under the root
    EXPECT_TRUE(r.OpenCurrentKey("Zv\\A", true));      // under SOFTWARE, created
    EXPECT_EQ(r.CurrentPath(), "SOFTWARE\\Zv\\A");
    EXPECT_TRUE(r.HasKey("\\SOFTWARE\\Zv"));
    EXPECT_FALSE(r.HasKey("Zv"));  // under SOFTWARE\Zv\A
    EXPECT_TRUE(r.OpenCurrentKey("\\SOFTWARE\\Zv", false));
    EXPECT_EQ(r.CurrentPath(), "SOFTWARE\\Zv");
    r.CloseCurrentKey();
    PutValue(zv, "Name", "\7\0\0\0"s, RegDword);
    EXPECT_EQ(r.GetString("V"), "");           // no current key
    EXPECT_TRUE(r.MakeKey("\\SOFTWARE\\Zv"));  // already there; does not become current
    EXPECT_EQ(ErrorOf([&] { r.PutString("Name", "x"); }), raised + "Failed to set data for 'Name'");
    EXPECT_FALSE(r.HasValue("Name"));  // Windows refuses the null handle
    ASSERT_TRUE(r.OpenCurrentKey("\\SOFTWARE\\Zv", false));
    EXPECT_FALSE(r.OpenCurrentKey("\\SOFTWARE\\Missing", false));
    EXPECT_EQ(r.GetString("V"), "");  // missing
    const std::tuple<DWORD, std::string, std::string> cases[] = {{RegSz, "ab\0cd"s, "ab"},
                                                                 {RegExpandSz, "%Zv%", "%Zv%"},
                                                                 {RegSz, "", ""},
                                                                 {RegDword, "\7\0\0\0"s, "!"},
                                                                 {RegMultiSz, "a\0\0"s, "!"}};
    for (const auto& [type, data, text] : cases) {  // "!": refused
        PutValue(zv, "V", data, type);
        const std::string error = ErrorOf([&, text = text] { EXPECT_EQ(r.GetString("V"), text); });
        EXPECT_EQ(error, text == "!" ? raised + "Invalid data type for 'V'" : "");
    }
    PutValue(zv, "V", std::string(300, 'v'));  // over the first buffer: read again in full
    EXPECT_EQ(r.GetString("V"), std::string(300, 'v'));
    p.w.FailCall("RegQueryValueExA", 2, error::MoreData);  // the value grew in between
    EXPECT_EQ(ErrorOf([&] { r.GetString("V"); }), raised + "Failed to get data for 'V'");
    p.w.FailCall("RegCreateKeyExA", 1, error::AccessDenied);
    EXPECT_EQ(ErrorOf([&] { r.MakeKey("\\SOFTWARE\\New"); }),
              raised + "Failed to create key \\SOFTWARE\\New");
    r.SelectRoot(HkeyLocalMachine());  // the same root: the key stays current
    r.PutString("Name", "");           // over the REG_DWORD: a REG_SZ of one zero byte
    EXPECT_EQ(TypeOf(zv, "Name"), RegSz);
    EXPECT_EQ(ValueOf(zv, "Name"), "");
    r.SelectRoot(HkeyCurrentUser());
    EraseKey(zv);
}

TEST(FileOps, FileListedAnswersFromTheDirectorySearchAlone) {
    Process p;
    PutFile("C:\\zv\\plain.txt", "x");  // hidden, system and hidden by a driver: see HaxDef
    const std::pair<const char*, bool> cases[] = {{"c:\\ZV\\PLAIN.TXT", true},
                                                  {"C:\\windows", false},
                                                  {"C:\\zv\\missing.txt", false},
                                                  {"Q:\\plain.txt", false},
                                                  {"C:\\nodir\\x.txt", false}};
    for (const auto& [path, listed] : cases) EXPECT_EQ(FileListed(path), listed) << path;
    EXPECT_TRUE(RemoveFile("C:\\zv\\plain.txt"));
    EXPECT_FALSE(RemoveFile("C:\\zv\\plain.txt"));
    Erase("C:\\zv");
}

// Each step of the table runs whatever code is pending and leaves the code of
// its own failure.
TEST(TextLineFile, ReadsWritesAndStoresCodes) {
    Process p;
    PutFile("C:\\in.txt", "a");
    PutFile("C:\\out.txt", "old content");
    TextLineFile missing("C:\\missing.txt"), out("C:\\out.txt"), never("C:\\never.txt"),
        in("C:\\in.txt"), nodir("C:\\nodir\\x.txt"), tooLong("C:\\" + std::string(260, 'a'));
    const std::string x200(200, 'x');
    out.OpenForWriting();
    out.WriteText(x200);
    out.EndLine();
    out.WriteText("y");
    EXPECT_EQ(p.w.JournalOf({"WriteFile"}), Texts{"WriteFile(0x80)"});  // one full block
    out.CloseText();
    EXPECT_EQ(FileBytes("C:\\out.txt"), x200 + "\r\ny");
    const std::pair<std::function<void()>, int> steps[] = {
        {[&] { missing.OpenForReading(), out.OpenForWriting(); }, 2},  // kept across a good open
        {[&] {
             out.CloseText();
             EXPECT_EQ(FileBytes("C:\\out.txt"), "");
         },
         0},  // emptied
        {[&] {
             out.OpenForWriting();
             EXPECT_EQ(out.ReadLineText(), "");
         },
         104},
        {[&] {
             EXPECT_EQ(ErrorOf([&] { never.CloseText(), CheckIoError(); }),
                       "EInOutError: I/O error 103");
         },
         0},
        {[&] { never.EndLine(); }, 103},  // after the 105 of its write
        {[&] { EXPECT_TRUE(never.AtEnd()); }, 104},
        {[&] { in.OpenForReading(), in.WriteText("b"); }, 105},
        {[&] { p.w.FailCall("ReadFile", 1, error::AccessDenied), in.SkipLine(); }, 5},
        {[&] { EXPECT_EQ(in.ReadLineText(), "a"); }, 0},  // the failure ended that read only
        {[&] { in.CloseText(); }, 0},
        {[&] { nodir.OpenForWriting(); }, 3},
        {[&] { tooLong.OpenForReading(); }, 3},
        {[&] { p.w.FailCall("GetFileType", 1, error::InvalidHandle), out.OpenForWriting(); }, 105},
        {[&] { out.OpenForWriting(), p.w.FailCall("WriteFile", 1, error::DiskFull); }, 0},
        {[&] { out.WriteText(std::string(130, 'w')), out.CloseText(); }, 112},
        {[&] { EXPECT_EQ(FileBytes("C:\\out.txt"), ""); }, 0}};  // the rest dropped
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        steps[i].first();
        EXPECT_EQ(TakeIoError(), steps[i].second) << "step " << i;
    }
    for (const char* name : {"C:\\in.txt", "C:\\out.txt"}) Erase(name);
}

}  // namespace
}  // namespace zorvane::testing
