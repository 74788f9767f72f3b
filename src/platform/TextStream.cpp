#include "platform/TextStream.h"

#include <algorithm>
#include <cstring>

#include "platform/IoError.h"

namespace zorvane {

namespace {
constexpr char Cr = 13;
constexpr char Lf = 10;
constexpr char CtrlZ = 26;
}  // namespace

void TextStream::OpenForInput(HANDLE handle) {
    Close();
    mode_ = Mode::Input;
    handle_ = handle;
}

void TextStream::OpenForOutput(HANDLE handle, bool writeThrough) {
    Close();
    mode_ = Mode::Output;
    handle_ = handle;
    writeThrough_ = writeThrough;
}

void TextStream::Close() {
    mode_ = Mode::Closed;
    handle_ = nullptr;
    writeThrough_ = false;
    pos_ = end_ = 0;
}

bool TextStream::Refill() {
    if (pos_ < end_) return true;
    pos_ = end_ = 0;
    DWORD count = 0;
    if (!Windows().ReadFile(handle_, buffer_, BufferSize, &count, nullptr)) {
        const DWORD code = Windows().GetLastError();
        // A pipe whose writer has gone is an ordinary end of input. Any other failure ends
        // only the operation under way; the next one asks the handle again.
        if (code != error::BrokenPipe) {
            StoreIoError(static_cast<int>(code));
            return false;
        }
        count = 0;
    }
    if (count == 0) {
        // The end marker makes every later read stop at once without asking the handle.
        buffer_[0] = CtrlZ;
        count = 1;
    }
    end_ = std::min<std::size_t>(count, BufferSize);
    return true;
}

std::string TextStream::ReadLine() {
    std::string line;
    while (Refill()) {
        const char c = buffer_[pos_];
        if (c == Lf || c == CtrlZ) break;
        ++pos_;
        if (c != Cr) line += c;
    }
    return line;
}

void TextStream::SkipLine() {
    while (Refill()) {
        const char c = buffer_[pos_];
        if (c == CtrlZ) break;
        ++pos_;
        if (c == Lf) break;
    }
}

bool TextStream::AtEnd() {
    return !Refill() || buffer_[pos_] == CtrlZ;
}

bool TextStream::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t n = std::min(BufferSize - end_, bytes.size());
        std::memcpy(buffer_ + end_, bytes.data(), n);
        end_ += n;
        bytes.remove_prefix(n);
        if (end_ == BufferSize && !WriteOut()) return false;
    }
    return true;
}

bool TextStream::WriteOut() {
    if (end_ == 0) return true;
    const auto count = static_cast<DWORD>(end_);
    end_ = 0;
    DWORD written = 0;  // not compared with the count: a short write is not taken as a failure
    if (!Windows().WriteFile(handle_, buffer_, count, &written, nullptr)) {
        StoreIoError(static_cast<int>(Windows().GetLastError()));
        return false;
    }
    return true;
}

}  // namespace zorvane
