#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/ArgumentSplitting.h"
#include "platform/AsciiText.h"

namespace zorvane::testing {
namespace {

using namespace std::string_literals;
using Texts = std::vector<std::string>;

const char* OneByte(const char* current) {
    return current + 1;
}
// Answers where it stands, as no code page would: every step must still move on one byte.
const char* StaysInPlace(const char* current) {
    return current;
}
// A double-byte code page with the one lead byte 0x81; it steps over whatever follows a lead
// byte, the terminating zero included, so the reader has to hold it back.
const char* LeadByte81(const char* current) {
    return current + (*current == '\x81' ? 2 : 1);
}

Texts Split(const std::string& line, CharStep step) {
    ArgumentReader reader(line.c_str(), step);
    Texts arguments;
    for (std::string argument = reader.Next(); !argument.empty(); argument = reader.Next())
        arguments.push_back(argument);
    EXPECT_EQ(reader.Next(), "") << "used up for good";
    return arguments;
}

TEST(AsciiText, UpperCasesTheLettersAToZOnly) {
    EXPECT_EQ(AsciiUpper("az{`@\xe9t\0b"s), "AZ{`@\xe9T\0B"s);
}

TEST(ArgumentSplitting, SplitsAtBlanksOutsideQuotesAndDropsTheQuotes) {
    const std::pair<const char*, Texts> cases[] = {
        {"zorvane.exe /a \"/b c\"  /d", {"/a", "/b c", "/d"}},
        {"\"C:\\Program Files\\zorvane.exe\" /auto", {"/auto"}},
        {"z\t/a\x01/b\x1f"
         "c \x7f \xe9t\xe9 C:\\d\\ \"\\\"",
         {"/a", "/b", "c", "\x7f", "\xe9t\xe9", "C:\\d\\", "\\"}},
        {"z \"", {}},
        {"", {}}};
    for (const CharStep step : {OneByte, StaysInPlace})
        for (const auto& [line, arguments] : cases) EXPECT_EQ(Split(line, step), arguments) << line;
}

// The second byte of a double-byte character is never taken for a blank or a quote, and a lead
// byte just before the end does not take the terminating zero with it.
TEST(ArgumentSplitting, TakesDoubleByteCharactersWhole) {
    const std::pair<const char*, Texts> cases[] = {
        {"z \x81\"a b", {"\x81\"a", "b"}},        // the trail byte opens no quote
        {"z a\x81 b", {"a\x81 b"}},               // nor ends the argument
        {"z \"\x81\" b\" c", {"\x81\" b", "c"}},  // nor closes a quote
        {"z\x81 a b", {"b"}},                     // inside the program's name too
        {"z a\x81\"b \x81 x \"\x81\"\" \x81", {"a\x81\"b", "\x81 x", "\x81\"", "\x81"}},
        {"z \"\x81", {"\x81"}},
        {"z \x81", {"\x81"}}};
    for (const auto& [line, arguments] : cases)
        EXPECT_EQ(Split(line, LeadByte81), arguments) << line;
}

}  // namespace
}  // namespace zorvane::testing
