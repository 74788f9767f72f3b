#include "frontend/CommandLine.h"

#include "platform/AsciiText.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr DWORD ModulePathBufferSize = 261;

bool IsBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= 32;
}

// Takes one argument from p into `argument` and answers where the next one starts. Blanks and
// empty quote pairs before it are skipped; quotes switch quoting on and off and are never part
// of the argument; a blank outside quotes or the terminating zero ends it.
const char* TakeArgument(const char* p, std::string& argument) {
    argument.clear();
    for (;;) {
        while (IsBlank(*p)) p = NextAnsiChar(p);
        if (p[0] == '"' && p[1] == '"') {
            p += 2;
        } else {
            break;
        }
    }
    while (*p != 0 && !IsBlank(*p)) {
        if (*p == '"') {
            p = NextAnsiChar(p);
            while (*p != 0 && *p != '"') {
                const char* next = NextAnsiChar(p);
                argument.append(p, next);
                p = next;
            }
            if (*p != 0) p = NextAnsiChar(p);
        } else {
            const char* next = NextAnsiChar(p);
            argument.append(p, next);
            p = next;
        }
    }
    return p;
}

const char* CommandLine() {
    const char* line = Windows().GetCommandLineA();
    return line != nullptr ? line : "";
}

}  // namespace

int ArgumentCount() {
    std::string argument;
    const char* p = TakeArgument(CommandLine(), argument);  // the program's name
    int count = 0;
    for (;;) {
        p = TakeArgument(p, argument);
        if (argument.empty()) return count;
        ++count;
    }
}

std::string ArgumentAt(int index) {
    if (index == 0) {
        // The program's own file, however it was named on the command line.
        char path[ModulePathBufferSize] = {};
        DWORD length = Windows().GetModuleFileNameA(nullptr, path, ModulePathBufferSize);
        if (length > ModulePathBufferSize) length = ModulePathBufferSize;
        return std::string(path, length);
    }
    if (index < 0) return {};
    std::string argument;
    const char* p = TakeArgument(CommandLine(), argument);
    for (int i = 1; i <= index; ++i) {
        p = TakeArgument(p, argument);
        if (argument.empty()) return {};
    }
    return argument;
}

}  // namespace zorvane
