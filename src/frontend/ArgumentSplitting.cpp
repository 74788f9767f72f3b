#include "frontend/ArgumentSplitting.h"

namespace zorvane {

namespace {

bool IsBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
}

}  // namespace

ArgumentReader::ArgumentReader(const char* commandLine, CharStep step)
    : next_(commandLine), step_(step) {
    Next();  // the program's name
}

// Blanks and empty quote pairs before the argument are skipped; quotes switch quoting on and
// off; a blank outside quotes or the terminating zero ends it.
std::string ArgumentReader::Next() {
    const char* p = next_;
    for (;;) {
        while (IsBlank(*p)) p = NextChar(p, step_);
        if (p[0] == '"' && p[1] == '"') {
            p += 2;
        } else {
            break;
        }
    }
    std::string argument;
    while (*p != 0 && !IsBlank(*p)) {
        if (*p == '"') {
            p = NextChar(p, step_);
            while (*p != 0 && *p != '"') {
                const char* next = NextChar(p, step_);
                argument.append(p, next);
                p = next;
            }
            if (*p != 0) p = NextChar(p, step_);
        } else {
            const char* next = NextChar(p, step_);
            argument.append(p, next);
            p = next;
        }
    }
    next_ = p;
    return argument;
}

}  // namespace zorvane
