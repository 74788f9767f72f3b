#include <gtest/gtest.h>

#include "platform/HostFacts.h"
#include "sim/SimWindows.h"

namespace zorvane {
namespace {

using enum sim::WindowsVersion;

TEST(HostFacts, FollowTheVersionAndSystemDriveInTheirOrder) {
    const std::string tooLong(250, 'F');  // does not fit the 250-byte buffer with its zero
    const struct {
        sim::WindowsVersion version;
        int servicePack;
        const char* systemDrive;  // NULL: absent
        bool nt, nt4;
        char letter;
    } cases[] = {
        {Win95, 0, "C:", false, false, 'C'},  {Win98, 0, "D:", false, false, 'D'},
        {WinMe, 0, "C:", false, false, 'C'},  {Nt351, 5, "d:", true, false, 'd'},
        {Nt4, 0, "", true, true, 'C'},        {Nt4, 6, nullptr, true, true, 'C'},
        {Win2000, 4, "E:", true, false, 'E'}, {Xp, 2, "", true, false, 'C'},
        {Xp, 2, nullptr, true, false, 'C'},   {Xp, 2, tooLong.c_str(), true, false, 'C'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.version));
        sim::SimWindows machine;
        machine.SetVersion(c.version, c.servicePack);
        c.systemDrive ? machine.SetEnv("SystemDrive", c.systemDrive)
                      : machine.UnsetEnv("SystemDrive");
        const WindowsScope scope(machine);
        machine.ClearJournal();
        ComputeHostFacts();
        EXPECT_EQ(IsNTPlatform(), c.nt);
        EXPECT_EQ(IsWindowsNT4(), c.nt4);
        EXPECT_EQ(DriveRootedPath(":\\boot.ini"), c.letter + std::string(":\\boot.ini"));
        std::vector<std::string> calls{"GetVersion()", "GetVersionExA(0x94)",
                                       "GetEnvironmentVariableA(\"SystemDrive\", 0xFA)"};
        if (!c.nt) calls.erase(calls.begin() + 1);  // GetVersionExA only on NT
        EXPECT_EQ(machine.JournalTexts(), calls);
    }
}

// Without the record, GetVersion's major version still tells NT 4.0 (no Safe Mode) apart.
TEST(HostFacts, AFailingGetVersionExAFallsBackToTheMajorVersion) {
    for (const auto& [version, nt4] : {std::pair{Nt4, true}, {Xp, false}, {Win2000, false}}) {
        sim::SimWindows machine;
        machine.SetVersion(version);
        machine.FailCall("GetVersionExA", 1, error::InvalidParameter);
        const WindowsScope scope(machine);
        ComputeHostFacts();
        EXPECT_EQ(IsWindowsNT4(), nt4) << static_cast<int>(version);
    }
}

}  // namespace
}  // namespace zorvane
