#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot/BootIniRewrite.h"

namespace zorvane::testing {
namespace {

using Texts = std::vector<std::string>;
#define SW " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"

Texts Rewritten(const Texts& lines, std::string_view runningSystem = "") {
    return SafeModeStartOf(lines, runningSystem).lines;
}

// Only the ARC-path entries (multi, scsi, signature) of the operating-system section get the
// switch, at their very end.
TEST(BootIniRewrite, SwitchesOnlyTheArcPathEntriesOfTheOperatingSystemSection) {
    const std::pair<Texts, Texts> cases[] = {
        {{"[boot loader]", "default=multi(0)w", "[operating systems]", "multi(0)w=\"XP\"",
          "C:\\c=\"C\""},
         {"[boot loader]", "default=multi(0)w", "[operating systems]", "multi(0)w=\"XP\"" SW,
          "C:\\c=\"C\""}},
        // Letter case; an entry must start at the first character.
        {{"[Operating Systems]", "MULTI(0)a", "Multi(0)b", " multi(0)c", "\tmulti(0)d"},
         {"[Operating Systems]", "MULTI(0)a" SW, "Multi(0)b" SW, " multi(0)c", "\tmulti(0)d"}},
        // Before the header and after the next section nothing changes; a switch already there
        // gets a second one.
        {{"multi(0)a", "[operating systems]", "multi(0)b" SW, "[x]", "multi(0)c"},
         {"multi(0)a", "[operating systems]", "multi(0)b" SW SW, "[x]", "multi(0)c"}},
        {{" [operating systems]", "multi(0)a"}, {" [operating systems]", "multi(0)a"}},
        // Only the start of the header and of an entry is looked at; empty lines do not end
        // the section, a second header does.
        {{"[OPERATING SYSTEMx", "", "multi(01)a", "multi(1)b", "SCSI(0)c", "signature(8b)d",
          "[operating systems]", "multi(0)e"},
         {"[OPERATING SYSTEMx", "", "multi(01)a" SW, "multi(1)b" SW, "SCSI(0)c" SW,
          "signature(8b)d" SW, "[operating systems]", "multi(0)e"}},
        {{""}, {""}}};
    for (const auto& [lines, rewritten] : cases) EXPECT_EQ(Rewritten(lines), rewritten);
}

// "default=" is pointed at the running system's entry, spelled as the entry spells it; where
// that system is not listed, or is the default already, "default=" stays as it is.
TEST(BootIniRewrite, DefaultNamesTheRunningSystem) {
    const Texts twoSystems = {"[boot loader]", "default=multi(0)p(2)\\WINNT", "[operating systems]",
                              "multi(0)p(2)\\WINNT=\"2000\"", "Multi(0)P(1)\\Windows=\"XP\""};
    const std::pair<const char*, const char*> cases[] = {
        {"multi(0)p(1)\\WINDOWS", "default=Multi(0)P(1)\\Windows"},
        {"multi(0)p(2)\\winnt", "default=multi(0)p(2)\\WINNT"},
        {"multi(0)p(3)\\WINDOWS", "default=multi(0)p(2)\\WINNT"},
        {"", "default=multi(0)p(2)\\WINNT"}};
    for (const auto& [running, defaultLine] : cases) {
        const SafeModeBootIni safeMode = SafeModeStartOf(twoSystems, running);
        EXPECT_EQ(safeMode.lines[1], defaultLine) << running;
        EXPECT_EQ(safeMode.switchedEntries, 2);
    }
    EXPECT_EQ(SafeModeStartOf({" [operating systems]", "multi(0)a"}, "").switchedEntries, 0);
}

// The return to normal boot without a backup takes off every switch that ends a line, and only
// those; the rewrite's own switch always comes off again.
TEST(BootIniRewrite, SwitchComesOffTheEndOfALineOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"multi(0)a" SW SW, "multi(0)a"},
        {"multi(0)b" SW " /x", "multi(0)b" SW " /x"},
        {"c" SW, "c"},
        {SW, ""},
        {"multi(0)a /safeboot:minimal(alternateshell)",
         "multi(0)a /safeboot:minimal(alternateshell)"},
        {"", ""}};
    for (const auto& [line, restored] : cases) {
        EXPECT_EQ(WithoutSafeModeSwitch(line), restored) << line;
        EXPECT_EQ(WithoutSafeModeSwitch(WithSafeModeSwitch(restored)), restored) << line;
    }
}

}  // namespace
}  // namespace zorvane::testing
