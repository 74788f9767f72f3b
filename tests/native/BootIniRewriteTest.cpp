#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot/BootIniRewrite.h"

namespace zorvane::testing {
namespace {

using Texts = std::vector<std::string>;
#define SW " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"

Texts Rewritten(const Texts& lines) {
    SafeModeSwitchRewrite rewrite;
    Texts result;
    for (const std::string& line : lines) result.push_back(rewrite.Next(line));
    return result;
}

// Only the ARC-path entries of the operating-system section get the switch, at their very end.
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
        {{"[OPERATING SYSTEMx", "", "multi(01)a", "multi(1)b", "scsi(0)c", "[operating systems]",
          "multi(0)d"},
         {"[OPERATING SYSTEMx", "", "multi(01)a" SW, "multi(1)b", "scsi(0)c", "[operating systems]",
          "multi(0)d"}},
        {{""}, {""}}};
    for (const auto& [lines, rewritten] : cases) EXPECT_EQ(Rewritten(lines), rewritten);
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
