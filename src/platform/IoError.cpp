#include "platform/IoError.h"

#include <utility>

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"

namespace zorvane {

namespace {
int pendingCode = 0;  // the program has one thread, so one pending code serves every stream
}

void StoreIoError(int code) {
    pendingCode = code;
}

int TakeIoError() {
    const int code = pendingCode;
    pendingCode = 0;
    return code;
}

void CheckIoError() {
    if (const int code = TakeIoError(); code != 0) throw EInOutError(code, IoErrorMessage(code));
}

std::string IoErrorMessage(int code) {
    static constexpr std::pair<int, const char*> Messages[] = {
        {2, "File not found"},         {3, "Invalid filename"},          {4, "Too many open files"},
        {5, "File access denied"},     {100, "Read beyond end of file"}, {101, "Disk full"},
        {106, "Invalid numeric input"}};
    for (const auto& [known, message] : Messages)
        if (known == code) return message;
    return "I/O error " + DecimalText(static_cast<unsigned long>(code));
}

}  // namespace zorvane
