#include <gtest/gtest.h>

#include "frontend/CommandLine.h"
#include "sim/SimWindows.h"

namespace zorvane {
namespace {

using Args = std::vector<std::string>;

Args Split(sim::SimWindows& machine, const std::string& line) {
    machine.StartProcess(line);
    const WindowsScope scope(machine);
    Args args;
    for (int i = 1; i <= ArgumentCount(); ++i) args.push_back(ArgumentAt(i));
    EXPECT_EQ(ArgumentAt(static_cast<int>(args.size()) + 1), "");
    EXPECT_EQ(ArgumentAt(0), "C:\\zorvane.exe");  // the module's path, however it was named
    EXPECT_EQ(machine.JournalTexts().back(), "GetModuleFileNameA(NULL, 0x105)");
    return args;
}

TEST(CommandLine, SplitsAtBlanksOutsideQuotesAndDropsTheQuotes) {
    const std::pair<const char*, Args> cases[] = {
        {"zorvane.exe /a \"/b c\"  /d", {"/a", "/b c", "/d"}},
        {"zorvane.exe \"\" /x", {"/x"}},
        {"zorvane.exe a\"b c\"d", {"ab cd"}},
        {"zorvane.exe \"/a b", {"/a b"}},
        {"\"C:\\Program Files\\zorvane.exe\" /auto", {"/auto"}},
        {"z\t/a\x01/b\x1f"
         "c \x7f \xe9t\xe9 C:\\d\\ \"\\\"",
         {"/a", "/b", "c", "\x7f", "\xe9t\xe9", "C:\\d\\", "\\"}},
        {"z \"\"\"\" \"", {}},
        {"", {}},
    };
    sim::SimWindows machine;
    for (const auto& [line, args] : cases) EXPECT_EQ(Split(machine, line), args) << line;
    // The second byte of a double-byte character is never taken for a blank or a quote.
    machine.SetLeadBytes({0x81});
    EXPECT_EQ(Split(machine, "z a\x81\"b \x81 x \"\x81\"\" \x81"),
              (Args{"a\x81\"b", "\x81 x", "\x81\"", "\x81"}));
}

}  // namespace
}  // namespace zorvane
