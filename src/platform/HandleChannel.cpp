#include "platform/HandleChannel.h"

#include "platform/IoError.h"

namespace zorvane {

std::optional<std::size_t> HandleChannel::Read(std::span<char> buffer) {
    DWORD count = 0;
    if (!Windows().ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &count,
                            nullptr)) {
        const DWORD code = Windows().GetLastError();
        // A pipe whose writer has gone is an ordinary end of input.
        if (code == error::BrokenPipe) return 0;
        StoreIoError(static_cast<int>(code));
        return std::nullopt;
    }
    return count;
}

bool HandleChannel::Write(std::string_view bytes) {
    DWORD written = 0;  // not compared with the count: a short write is not taken as a failure
    if (!Windows().WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                             nullptr)) {
        StoreIoError(static_cast<int>(Windows().GetLastError()));
        return false;
    }
    return true;
}

}  // namespace zorvane
