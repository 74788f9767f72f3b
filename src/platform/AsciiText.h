// Text is a byte string in the system's ANSI code page (std::string, explicit length).
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// Upper-cases the bytes a to z only; every other byte, all from 128 up included, stays.
std::string AsciiUpper(std::string_view text);

// Steps one character of the ANSI code page with CharNextA, so that the second byte of a
// double-byte character is never taken for a blank, a quote or a backslash. Never stays in
// place and never steps over the terminating zero, whatever CharNextA answers.
const char* NextAnsiChar(const char* current);

}  // namespace zorvane
