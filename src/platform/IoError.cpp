#include "platform/IoError.h"

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
    switch (code) {
        case 2:
            return "File not found";
        case 3:
            return "Invalid filename";
        case 4:
            return "Too many open files";
        case 5:
            return "File access denied";
        case 100:
            return "Read beyond end of file";
        case 101:
            return "Disk full";
        case 106:
            return "Invalid numeric input";
        default:
            return "I/O error " + std::to_string(code);
    }
}

}  // namespace zorvane
