#include "platform/AnsiCharStep.h"

#include "platform/AsciiText.h"
#include "platform/WindowsApi.h"

namespace zorvane {

const char* NextAnsiChar(const char* current) {
    return NextChar(current, [](const char* at) { return Windows().CharNextA(at); });
}

}  // namespace zorvane
