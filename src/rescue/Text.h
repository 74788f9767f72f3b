// Names and registry text as the rescue compares and shows them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvane::rescue {

// Windows matches names without regard to letter case; the names the rescue looks for are ASCII.
bool SameName(std::string_view a, std::string_view b);

// UTF-16LE up to its first zero character, as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes);
// UTF-8 as UTF-16LE with the terminating zero character, as REG_SZ data is stored.
std::string Utf8ToUtf16z(std::string_view text);

// A value's data read as zorvane.exe reads it on the running system: the text up to the first
// zero character, whatever the type (UTF-16 for the string types, of REG_MULTI_SZ the first
// string; the bytes themselves for any other type), never expanded.
std::string ValueText(int type, std::string_view data);

std::string DecimalOf(uint64_t number);

// The local date and time now, in a strftime format.
std::string LocalTimeNow(const char* format);

}  // namespace zorvane::rescue
