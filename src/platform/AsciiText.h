// Text is a byte string in the system's ANSI code page (std::string, explicit length).
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// Upper-cases the bytes a to z only; every other byte, all from 128 up included, stays.
std::string AsciiUpper(std::string_view text);

}  // namespace zorvane
