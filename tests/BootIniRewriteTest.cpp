#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/NormalBoot.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

TEST(BootIniRewrite, SwitchesOnlyTheArcPathEntriesOfTheOperatingSystemSection) {
    const std::pair<std::string, std::string> cases[] = {
        {"[boot loader]\r\ndefault=multi(0)w\r\n[operating "
         "systems]\r\nmulti(0)w=\"XP\"\r\nC:\\c=\"C\"\r\n",
         "[boot loader]\r\ndefault=multi(0)w\r\n[operating systems]\r\nmulti(0)w=\"XP\"" SW
         "\r\nC:\\c=\"C\"\r\n"},
        // Letter case, indented entries, LF line ends, a section that ends the file.
        {"[Operating Systems]\nMULTI(0)a\nMulti(0)b\n multi(0)c\n\tmulti(0)d\n",
         "[Operating Systems]\r\nMULTI(0)a" SW "\r\nMulti(0)b" SW
         "\r\n multi(0)c\r\n\tmulti(0)d\r\n"},
        {"multi(0)a\r\n[operating systems]\r\nmulti(0)b" SW "\r\n[x]\r\nmulti(0)c\r\n",
         "multi(0)a\r\n[operating systems]\r\nmulti(0)b" SW SW "\r\n[x]\r\nmulti(0)c\r\n"},
        {" [operating systems]\r\nmulti(0)a\r\n", " [operating systems]\r\nmulti(0)a\r\n"},
        {"", "\r\n"},
        {"[operating systems]\r\nmulti(0)a", "[operating systems]\r\nmulti(0)a" SW "\r\n"},
        {"[operating systems]\r\nmulti(0)a\r\n\x1Amulti(0)b\r\n",
         "[operating systems]\r\nmulti(0)a" SW "\r\n"}};
    for (const auto& [original, rewritten] : cases) {
        SCOPED_TRACE(original);
        BootHost host;
        host.m.files.AddFile(BootIni, original, FileAttributeHidden | FileAttributeSystem);
        for (int scheduling = 0; scheduling < 2; ++scheduling) {  // both start from the backup
            ScheduleSafeModeCure();
            EXPECT_EQ(host.m.files.Content(BootIni), rewritten);
            EXPECT_EQ(host.m.files.Attributes(BootIni), FileAttributeHidden);
            EXPECT_EQ(host.m.files.Content(Backup), original);
            EXPECT_EQ(host.m.files.Attributes(Backup), FileAttributeNormal);
        }
    }
}

// Without a backup, boot.ini loses the switch from the ends of its lines, through a new file.
TEST(BootIniRewrite, WithoutBackupTheReturnToNormalBootTakesTheSwitchOff) {
    const std::pair<std::string, std::string> cases[] = {
        {"[operating systems]\r\nmulti(0)a" SW SW "\r\nmulti(0)b" SW " /x\nc" SW "\r\n" SW "\r\n",
         "[operating systems]\r\nmulti(0)a\r\nmulti(0)b" SW " /x\r\nc\r\n\r\n"},
        {"[operating systems]\nmulti(0)a /x\n", "[operating systems]\nmulti(0)a /x\n"}};
    for (const auto& [found, restored] : cases) {
        BootHost host;
        host.m.files.AddFile(BootIni, found, FileAttributeReadOnly | FileAttributeHidden);
        host.m.registry.DeleteKeyTree(SafeBoot);  // created again
        RestoreNormalBoot();
        EXPECT_EQ(host.State(restored), "cmd.exe same logon= restarts=1");  // no OLDAutoAdminLogon
        EXPECT_EQ(host.m.files.Attributes(BootIni), FileAttributeHidden);
        EXPECT_FALSE(host.m.files.Exists(NewBootIni));
    }
}

}  // namespace
}  // namespace zorvane::testing
