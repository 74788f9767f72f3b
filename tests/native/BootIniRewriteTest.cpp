#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot/BootIniRewrite.h"

namespace zorvane::testing {
namespace {

using Texts = std::vector<std::string>;
#define SW " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"

// Only the entries of the first operating-system section that boot by ARC path get the switch, at
// their very end; "default=" lines of the loader section are pointed at the running system's
// entry, spelled as that entry spells it, when one boots it.
TEST(BootIniRewrite, SwitchesTheArcPathEntriesAndPointsTheDefaultAtTheRunningSystem) {
    const std::string xp = "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS";
    const std::tuple<Texts, std::string, Texts, int> cases[] = {
        {{"[boot loader]", "default=multi(0)w", "[operating systems]", "multi(0)w=\"XP\"",
          "C:\\c=\"C\""},
         "",
         {"[boot loader]", "default=multi(0)w", "[operating systems]", "multi(0)w=\"XP\"" SW,
          "C:\\c=\"C\""},
         1},
        // Letter case, the other disk names; an entry must start at the first character.
        {{"[Operating Systems]", "MULTI(1)a", "Scsi(0)b", "signature(8b)c", " multi(0)d",
          "\tmulti(0)e", ""},
         "",
         {"[Operating Systems]", "MULTI(1)a" SW, "Scsi(0)b" SW, "signature(8b)c" SW, " multi(0)d",
          "\tmulti(0)e", ""},
         3},
        // Before the header, in a later section and in a second operating-system section nothing
        // changes; the Safe Mode options an entry has (any letter case, each with the blank
        // before it, not in its quoted name) give way to the switch; an indented header is none.
        {{"multi(0)a", "[operating systems]", "multi(0)b" SW, "[x]", "multi(0)c",
          "[operating systems]", "multi(0)d"},
         "",
         {"multi(0)a", "[operating systems]", "multi(0)b" SW, "[x]", "multi(0)c",
          "[operating systems]", "multi(0)d"},
         1},
        {{"[operating systems]", "multi(0)a=\"A /SafeBoot:x\" /SAFEBOOT:NETWORK  /sos",
          "multi(0)b=\"B\"\t/safeboot:minimal /safeboot:dsrepair", "multi(0)c=/safeboot:"},
         "",
         {"[operating systems]", "multi(0)a=\"A /SafeBoot:x\"  /sos" SW, "multi(0)b=\"B\"" SW,
          "multi(0)c=" SW},
         3},
        {{" [operating systems]", "multi(0)a"}, "", {" [operating systems]", "multi(0)a"}, 0},
        // The default names another system: it is pointed at the running one, in any letter case
        // and with blanks or tabs (the same to the loader) around the "=".
        {{"[boot loader]", "default\t = multi(0)x\\WINNT", "[operating systems]",
          "multi(0)x\\WINNT=\"2000\"", xp + " \t=\"XP\""},
         "MULTI(0)DISK(0)RDISK(0)PARTITION(1)\\windows",
         {"[boot loader]", "default\t =" + xp, "[operating systems]",
          "multi(0)x\\WINNT=\"2000\"" SW, xp + " \t=\"XP\"" SW},
         2},
        // The running system listed nowhere (or unknown): the default stays.
        {{"[boot loader]", "default=multi(0)x", "[operating systems]", "multi(0)x=\"2000\""},
         xp,
         {"[boot loader]", "default=multi(0)x", "[operating systems]", "multi(0)x=\"2000\"" SW},
         1},
        {{""}, "", {""}, 0}};
    for (const auto& [lines, running, rewritten, switched] : cases) {
        const SafeModeBootIni safeMode = SafeModeStartOf(lines, running);
        EXPECT_EQ(safeMode.lines, rewritten);
        EXPECT_EQ(safeMode.switchedEntries, switched);
    }
}

// The return to normal boot without a backup takes off every switch that ends a line, and only
// those.
TEST(BootIniRewrite, SwitchComesOffTheEndOfALineOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"multi(0)a" SW SW, "multi(0)a"},
        {"multi(0)b" SW " /x", "multi(0)b" SW " /x"},
        {SW, ""},
        {"multi(0)a /safeboot:minimal(alternateshell)",
         "multi(0)a /safeboot:minimal(alternateshell)"}};
    for (const auto& [line, restored] : cases)
        EXPECT_EQ(WithoutSafeModeSwitch(line), restored) << line;
}

}  // namespace
}  // namespace zorvane::testing
