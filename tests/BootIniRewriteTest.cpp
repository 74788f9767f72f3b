#include <gtest/gtest.h>

#include "BootHost.h"
#include "boot/BootIniRewrite.h"
#include "boot/SafeModeCure.h"

namespace zorvane::testing {
namespace {

TEST(BootIniLine, LosesEverySwitchAtItsEndAndNothingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"multi(0)a" SW, "multi(0)a"},
        {"multi(0)a" SW SW, "multi(0)a"},
        {SW, ""},
        {"", ""},
        {"a" SW " /x", "a" SW " /x"},
        {"a" SW " ", "a" SW " "},
        {"a /safeboot:minimal(alternateshell)", "a /safeboot:minimal(alternateshell)"}};
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(WithoutSafeModeSwitch(line), expected) << line;
        EXPECT_EQ(WithoutSafeModeSwitch(WithSafeModeSwitch(line)), expected) << line;
    }
}

TEST(BootIniRewrite, SwitchesOnlyTheArcPathEntriesOfTheOperatingSystemSection) {
    const std::pair<std::string, std::string> cases[] = {
        {"[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
         "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" "
         "/fastdetect\r\n"
         "C:\\CMDCONS\\BOOTSECT.DAT=\"Console\" /cmdcons\r\n",
         "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
         "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" /fastdetect" SW
         "\r\nC:\\CMDCONS\\BOOTSECT.DAT=\"Console\" /cmdcons\r\n"},
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
        for (int scheduling = 0; scheduling < 2;
             ++scheduling) {  // the second starts from the backup
            ScheduleSafeModeCure();
            EXPECT_EQ(host.m.files.Content(BootIni), rewritten);
            EXPECT_EQ(host.m.files.Attributes(BootIni), FileAttributeHidden);
            EXPECT_EQ(host.m.files.Content(Backup), original);
            EXPECT_EQ(host.m.files.Attributes(Backup), FileAttributeNormal);
        }
    }
}

}  // namespace
}  // namespace zorvane::testing
