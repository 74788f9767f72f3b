// Self-checks of the simulated machine where its Windows semantics are easiest to get wrong.
#include <gtest/gtest.h>

#include "sim/SimWindows.h"

namespace sim {
namespace {

TEST(SimMachine, CreateFileAnswersAsWindowsDoes) {
    SimWindows m;
    m.files.AddFile("C:\\h.txt", "x", FileAttributeHidden);
    m.files.AddFile("C:\\r.txt", "x", FileAttributeReadOnly);
    m.files.AddFile("C:\\f.txt", "old");
    const struct {
        const char* path;
        DWORD access, disposition, attributes, error;
    } cases[] = {
        {"C:\\h.txt", GenericWrite, CreateAlways, FileAttributeNormal, error::AccessDenied},
        {"C:\\h.txt", GenericWrite, CreateAlways, FileAttributeHidden, 183},
        {"C:\\r.txt", GenericWrite, OpenExisting, FileAttributeNormal, error::AccessDenied},
        {"C:\\WINDOWS", GenericRead, OpenExisting, FileAttributeNormal, error::AccessDenied},
        {"C:\\f.txt", GenericRead, CreateNew, FileAttributeNormal, error::FileExists},
        {"C:\\no\\f.txt", GenericRead, CreateAlways, FileAttributeNormal, error::PathNotFound},
        {"c:\\F.TXT", GenericWrite, CreateAlways, FileAttributeNormal, 183},
        {"C:\\new.txt", GenericWrite, CreateAlways, FileAttributeNormal, 0}};
    for (const auto& c : cases) {
        m.SetLastError(99);
        const HANDLE h =
            m.CreateFileA(c.path, c.access, 0, nullptr, c.disposition, c.attributes, nullptr);
        EXPECT_EQ(m.GetLastError(), c.error) << c.path;
        EXPECT_EQ(h == InvalidHandleValue(), c.error != 0 && c.error != 183) << c.path;
    }
    EXPECT_EQ(m.files.Content("C:\\f.txt"), "");  // emptied at once
    EXPECT_EQ(m.files.OpenHandleCount(), 3u);
    EXPECT_FALSE(m.DeleteFileA("C:\\f.txt"));  // held open unshared
    EXPECT_EQ(m.GetLastError(), error::SharingViolation);
    m.EndProcess();  // the locks end with the process
    EXPECT_TRUE(m.DeleteFileA("C:\\f.txt"));
    m.files.HoldOpenByOtherProcess("C:\\h.txt");
    EXPECT_EQ(m.CreateFileA("C:\\h.txt", GenericRead, 1, nullptr, OpenExisting, 0, nullptr),
              InvalidHandleValue());
}

TEST(SimMachine, QueryValueSizesAndTerminators) {
    SimWindows m;
    m.registry.SetValue("HKLM\\SOFTWARE\\Z", "s", RegSz, "abc");  // stored without its zero
    HKEY key = nullptr;
    ASSERT_EQ(m.RegOpenKeyExA(HkeyLocalMachine(), "SOFTWARE\\Z", 0, KeyQueryValue, &key), 0);
    BYTE data[8] = {'?', '?', '?', '?', '?'};
    DWORD size = 0, type = 0;
    EXPECT_EQ(m.RegQueryValueExA(key, "S", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(m.RegQueryValueExA(key, "s", nullptr, &type, data, &size), 0);
    EXPECT_EQ(data[3], '?');  // no room for the zero
    size = 2;
    EXPECT_EQ(m.RegQueryValueExA(key, "s", nullptr, &type, data, &size), error::MoreData);
    size = 8;
    EXPECT_EQ(m.RegQueryValueExA(key, "s", nullptr, &type, data, &size), 0);
    EXPECT_EQ(data[3], 0);  // added where there is room
    EXPECT_EQ(m.RegSetValueExA(key, "t", 0, RegSz, data, 1), error::AccessDenied);    // read only
    EXPECT_EQ(m.RegDeleteKeyA(HkeyLocalMachine(), "SOFTWARE"), error::AccessDenied);  // subkeys
    EXPECT_EQ(m.RegQueryValueExA(nullptr, "s", nullptr, &type, data, &size), error::InvalidHandle);
}

TEST(SimMachine, PowerCutStopsTheRunButNeverInADestructor) {
    SimWindows m;
    m.PowerCutAfter(1);
    m.StartProcess("zorvane.exe");  // armed before the process starts
    const HANDLE h = m.CreateFileA("C:\\a", GenericWrite, 0, nullptr, CreateAlways, 0, nullptr);
    EXPECT_FALSE(m.CloseHandle(h));  // dies silently
    EXPECT_THROW(m.GetVersion(), PowerCut);
    EXPECT_FALSE(m.DeleteFileA("C:\\a"));
    EXPECT_EQ(m.JournalNames(), (std::vector<std::string>{"CreateFileA"}));
    const BootResult boot = m.Restart([](SimWindows&) { return 0; });
    EXPECT_EQ(boot.mode, BootResult::Mode::Normal);
    EXPECT_TRUE(m.DeleteFileA("C:\\a"));
}

}  // namespace
}  // namespace sim
