#include "platform/AsciiText.h"

namespace zorvane {

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return upper;
}

const char* NextChar(const char* current, CharStep step) {
    const char* next = step(current);
    if (next <= current) return current + 1;
    if (next > current + 1 && current[1] == 0) return current + 1;
    return next;
}

}  // namespace zorvane
