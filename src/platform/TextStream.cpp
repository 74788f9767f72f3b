#include "platform/TextStream.h"

#include <algorithm>
#include <cstring>

namespace zorvane {

namespace {
constexpr char Cr = 13;
constexpr char Lf = 10;
constexpr char CtrlZ = 26;
}  // namespace

void TextStream::OpenForInput(ByteChannel& channel) {
    Close();
    mode_ = Mode::Input;
    channel_ = &channel;
}

void TextStream::OpenForOutput(ByteChannel& channel, bool writeThrough) {
    Close();
    mode_ = Mode::Output;
    channel_ = &channel;
    writeThrough_ = writeThrough;
}

void TextStream::Close() {
    mode_ = Mode::Closed;
    channel_ = nullptr;
    writeThrough_ = false;
    pos_ = end_ = 0;
}

bool TextStream::Refill() {
    if (mode_ != Mode::Input) return false;
    if (pos_ < end_) return true;
    pos_ = end_ = 0;
    std::optional<std::size_t> count = channel_->Read(buffer_);
    if (!count) return false;
    if (*count == 0) {
        // The end marker makes every later read stop at once without asking the channel.
        buffer_[0] = CtrlZ;
        count = 1;
    }
    end_ = std::min(*count, BufferSize);
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
    if (mode_ != Mode::Output) return false;
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
    if (mode_ != Mode::Output) return false;
    if (end_ == 0) return true;
    const std::size_t count = end_;
    end_ = 0;
    return channel_->Write({buffer_, count});
}

}  // namespace zorvane
