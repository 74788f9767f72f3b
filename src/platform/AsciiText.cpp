#include "platform/AsciiText.h"

#include "platform/WindowsApi.h"

namespace zorvane {

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return upper;
}

const char* NextAnsiChar(const char* current) {
    const char* next = Windows().CharNextA(current);
    if (next <= current) return current + 1;
    if (next > current + 1 && current[1] == 0) return current + 1;
    return next;
}

}  // namespace zorvane
