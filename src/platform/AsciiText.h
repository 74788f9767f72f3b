// Text is a byte string in the system's ANSI code page (std::string, explicit length).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace zorvane {

// Upper-cases the bytes a to z only; every other byte, all from 128 up included, stays.
std::string AsciiUpper(std::string_view text);

// The pieces one after the other: one call in place of a chain of concatenations, each of which
// the compiler would expand where it stands.
std::string Join(std::initializer_list<std::string_view> pieces);

// The decimal digits of `number`. Written by hand, like every number the program prints: the
// C library's formatter would add tens of kilobytes to the program.
std::string DecimalText(unsigned long number);

// Answers where the character that starts at `current` ends, in some code page: Windows'
// CharNextA for the system's one, or a plain one-byte step.
using CharStep = const char* (*)(const char* current);

// Steps one character of zero-terminated text with `step`, so that the second byte of a
// double-byte character is never taken for a blank, a quote or a backslash. Never stays in
// place and never steps over the terminating zero, whatever the step answers (a lead byte
// just before the zero would otherwise take the zero with it).
const char* NextChar(const char* current, CharStep step);

}  // namespace zorvane
