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

std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces) text += piece;
    return text;
}

std::string DecimalText(unsigned long number) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + number % 10));
        number /= 10;
    } while (number != 0);
    return digits;
}

}  // namespace zorvane
