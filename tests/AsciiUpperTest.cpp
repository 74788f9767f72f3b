#include <gtest/gtest.h>

#include "platform/AsciiText.h"

namespace zorvane {
namespace {

TEST(AsciiUpper, ChangesOnlyTheLettersAToZ) {
    EXPECT_EQ(AsciiUpper("/safemode"), "/SAFEMODE");
    EXPECT_EQ(AsciiUpper("a{z`@"), "A{Z`@");
    EXPECT_EQ(AsciiUpper("\xe9t\xe9"), "\xe9T\xe9");  // bytes from 128 up stay as they are
    EXPECT_EQ(AsciiUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
    EXPECT_EQ(AsciiUpper(""), "");
}

}  // namespace
}  // namespace zorvane
