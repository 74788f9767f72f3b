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
    // version, service pack, "SystemDrive" (NULL: absent), no version record; the facts
    const std::tuple<sim::WindowsVersion, int, const char*, bool, bool, bool, char> cases[] = {
        {Win95, 0, "C:", false, false, false, 'C'},
        {Win98, 0, "D:", false, false, false, 'D'},
        {WinMe, 0, "C:", false, false, false, 'C'},
        {Nt351, 5, "d:", false, true, false, 'd'},
        {Nt4, 0, "", false, true, true, 'C'},
        {Nt4, 6, nullptr, false, true, true, 'C'},
        {Win2000, 4, "E:", false, true, false, 'E'},
        {Xp, 2, "", false, true, false, 'C'},
        {Xp, 2, nullptr, false, true, false, 'C'},
        {Xp, 2, tooLong.c_str(), false, true, false, 'C'},
        {Nt4, 6, "C:", true, true, true, 'C'},
        {Win2000, 0, "C:", true, true, false, 'C'}};
    for (const auto& [version, servicePack, systemDrive, noRecord, nt, nt4, letter] : cases) {
        SCOPED_TRACE(static_cast<int>(version));
        SimWindows m;
        m.SetVersion(version, servicePack);
        systemDrive ? m.SetEnv("SystemDrive", systemDrive) : m.UnsetEnv("SystemDrive");
        if (noRecord) m.FailCall("GetVersionExA", 1, error::InvalidParameter);
        const WindowsScope scope(m);
        m.ClearJournal();
        ComputeHostFacts();
        EXPECT_EQ(IsNTPlatform(), nt);
        EXPECT_EQ(IsWindowsNT4(), nt4);
        EXPECT_EQ(DriveRootedPath(":\\boot.ini"), letter + ":\\boot.ini"s);
        Texts calls{"GetVersion()", "GetVersionExA(0x94)",
                    "GetEnvironmentVariableA(\"SystemDrive\", 0xFA)"};
        if (!nt) calls.erase(calls.begin() + 1);  // GetVersionExA only on NT
        EXPECT_EQ(m.JournalTexts(), calls);
    }
}

// A path with a leading backslash is under the root, others under the current key; only a
// successful open or a new root changes the current key; only MakeKey, GetString and PutString
// raise; GetString gives the text types up to the first zero.
TEST(TRegistry, KeyPathsCurrentKeyAndErrors) {
    Host h;
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
    const std::string raised = "ERegistryException: ", zv = "HKLM\\SOFTWARE\\Zv";
    h.m.registry.SetDword(zv, "Name", 7);
    EXPECT_EQ(r.GetString("V"), "");           // no current key
    EXPECT_TRUE(r.MakeKey("\\SOFTWARE\\Zv"));  // already there; does not become current
    EXPECT_EQ(ErrorOf([&] { r.PutString("Name", "x"); }), raised + "Failed to set data for 'Name'");
    EXPECT_FALSE(r.HasValue("Name"));  // Windows refuses the null handle
    ASSERT_TRUE(r.OpenCurrentKey("\\SOFTWARE\\Zv", false));
    EXPECT_FALSE(r.OpenCurrentKey("\\SOFTWARE\\Missing", false));
    h.m.registry.AddKey("HKLM\\SOFTWARE\\Locked");
    h.m.registry.DenyAccess("HKLM\\SOFTWARE\\Locked");  // full access is asked even to read
    EXPECT_FALSE(r.OpenCurrentKey("\\SOFTWARE\\Locked", false));
    EXPECT_EQ(r.GetString("V"), "");  // missing
    const std::tuple<DWORD, std::string, std::string> cases[] = {
        {RegSz, "ab\0cd"s, "ab"}, {RegSz, "ab", "ab"},          {RegExpandSz, "%Zv%", "%Zv%"},
        {RegSz, "", ""},          {RegDword, "\7\0\0\0"s, "!"}, {RegMultiSz, "a\0\0"s, "!"}};
    for (const auto& [type, data, text] : cases) {  // "!": refused; REG_SZ without its zero
        h.m.registry.SetValue(zv, "V", type, data);
        const std::string error = ErrorOf([&, text = text] { EXPECT_EQ(r.GetString("V"), text); });
        EXPECT_EQ(error, text == "!" ? raised + "Invalid data type for 'V'" : "");
    }
    h.m.FailCall("RegQueryValueExA", 2, error::MoreData);  // the value grew in between
    EXPECT_EQ(ErrorOf([&] { r.GetString("V"); }), raised + "Failed to get data for 'V'");
    h.m.FailCall("RegCreateKeyExA", 1, error::AccessDenied);
    EXPECT_EQ(ErrorOf([&] { r.MakeKey("\\SOFTWARE\\New"); }),
              raised + "Failed to create key \\SOFTWARE\\New");
    r.SelectRoot(HkeyLocalMachine());  // the same root: the key stays current
    r.PutString("Name", "");           // over the REG_DWORD: a REG_SZ of one zero byte
    EXPECT_EQ(h.m.registry.GetValue(zv, "Name"), (sim::RegistryStore::Value{RegSz, "\0"s}));
    r.SelectRoot(HkeyCurrentUser());
    EXPECT_EQ(h.m.registry.OpenKeyCount(), 0u);
}

TEST(FileOps, FileListedAnswersFromTheDirectorySearchAlone) {
    Host h;
    for (const char* name : {"plain", "hidden", "system", "unlisted", "old"})
        h.m.files.AddFile("C:\\"s + name + ".txt");
    h.m.files.SetAttributes("C:\\hidden.txt", FileAttributeHidden);
    h.m.files.SetAttributes("C:\\system.txt", FileAttributeSystem);
    h.m.files.HideFromListings("C:\\unlisted.txt");
    // 1980-01-01 00:30 UTC is still 1979 an hour west of Greenwich: no MS-DOS date.
    h.m.files.SetLastWriteTime("C:\\old.txt", FILETIME{0x12B7B400u, 0x01A8E7A4u});
    h.m.files.SetLocalTimeOffsetMinutes(-60);
    const std::pair<const char*, bool> cases[] = {
        {"c:\\PLAIN.TXT", true},     {"C:\\hidden.txt", true},   {"C:\\system.txt", true},
        {"C:\\WINDOWS", false},      {"C:\\missing.txt", false}, {"Q:\\plain.txt", false},
        {"C:\\unlisted.txt", false}, {"C:\\old.txt", false}};
    for (const auto& [path, listed] : cases) EXPECT_EQ(FileListed(path), listed) << path;
    EXPECT_TRUE(RemoveFile("C:\\plain.txt"));
    EXPECT_FALSE(RemoveFile("C:\\plain.txt"));
}

// Lines are read up to LF with every CR left out, and Ctrl-Z (\032) ends the file; the rules are
// those of standard input too: both streams share one core. In the last case the CR is the 128th
// byte and its LF the next block's first. Lines are written with CR LF, in 128-byte blocks. Each
// step of the table runs whatever code is pending and leaves the code of its own failure.
TEST(TextLineFile, ReadsWritesAndStoresCodes) {
    Host h;
    const std::string x127(127, 'x'), z300(300, 'z');
    const std::pair<std::string, Texts> cases[] = {{"a\r\nb", {"a", "b"}},
                                                   {"a\nb\n", {"a", "b"}},
                                                   {"a\rb\r\n\r\n", {"ab", ""}},
                                                   {"", {}},
                                                   {"a\r\n\032b", {"a"}},
                                                   {"a\032b\r\nc", {"a"}},
                                                   {z300 + "\n0\0001"s, {z300, "0\0001"s}},
                                                   {x127 + "\r\nq", {x127, "q"}}};
    for (const auto& [content, expected] : cases) {
        h.m.files.AddFile("C:\\t.txt", content);
        TextLineFile file("C:\\t.txt");
        file.OpenForReading();
        Texts lines;
        for (int i = 0; i < 9 && !file.AtEnd(); ++i) {
            lines.push_back(file.ReadLineText());
            file.SkipLine();
        }
        EXPECT_EQ(file.ReadLineText(), "");
        file.CloseText();
        EXPECT_EQ(lines, expected) << content;
        EXPECT_EQ(TakeIoError(), 0);
    }
    h.m.files.AddFile("C:\\in.txt", "a");
    h.m.files.AddFile("C:\\out.txt", "old content");
    TextLineFile missing("C:\\missing.txt"), out("C:\\out.txt"), never("C:\\never.txt"),
        in("C:\\in.txt"), nodir("C:\\nodir\\x.txt"), tooLong("C:\\" + std::string(260, 'a'));
    const std::string x200(200, 'x');
    out.OpenForWriting();
    out.WriteText(x200);
    out.EndLine();
    out.WriteText("y");
    EXPECT_EQ(h.Calls({"WriteFile"}), "WriteFile \"" + x200.substr(72) + "\" 0x80\n");
    out.CloseText();
    EXPECT_EQ(h.m.files.Content("C:\\out.txt"), x200 + "\r\ny");
    const std::pair<std::function<void()>, int> steps[] = {
        {[&] { missing.OpenForReading(), out.OpenForWriting(); }, 2},   // kept across a good open
        {[&] { EXPECT_EQ(h.m.files.Content("C:\\out.txt"), ""); }, 0},  // emptied at the open
        {[&] { EXPECT_EQ(out.ReadLineText(), ""); }, 104},
        {[&] {
             EXPECT_EQ(ErrorOf([&] { never.CloseText(), CheckIoError(); }),
                       "EInOutError: I/O error 103");
         },
         0},
        {[&] { never.EndLine(); }, 103},  // after the 105 of its write
        {[&] { EXPECT_TRUE(never.AtEnd()); }, 104},
        {[&] { in.OpenForReading(), in.WriteText("b"); }, 105},
        {[&] { h.m.FailCall("ReadFile", 1, error::AccessDenied), in.SkipLine(); }, 5},
        {[&] { EXPECT_EQ(in.ReadLineText(), "a"); }, 0},  // the failure ended that read only
        {[&] { nodir.OpenForWriting(); }, 3},
        {[&] { tooLong.OpenForReading(); }, 3},
        {[&] { h.m.FailCall("GetFileType", 1, error::InvalidHandle), out.OpenForWriting(); }, 105},
        {[&] { out.OpenForWriting(), h.m.FailCall("WriteFile", 1, error::DiskFull); }, 0},
        {[&] { out.WriteText(std::string(130, 'w')), out.CloseText(); }, 112},
        {[&] { EXPECT_EQ(h.m.files.Content("C:\\out.txt"), ""); }, 0}};  // the rest dropped
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        steps[i].first();
        EXPECT_EQ(TakeIoError(), steps[i].second) << "step " << i;
    }
}

}  // namespace
}  // namespace zorvane::testing
