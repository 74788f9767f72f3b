// The buffered text stream under both console streams and every TextLineFile, so that the
// line, end-of-file and block rules are written once: a 128-byte buffer; a line is read up to
// LF with every CR left out; a Ctrl-Z byte ends the input; output leaves in 128-byte blocks.
// The stream knows bytes only: its channel makes the calls and stores the codes of failures;
// nothing raises. The stream does not own its channel, which must outlive the open.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ByteChannel.h"

namespace zorvane {

class TextStream {
  public:
    enum class Mode { Closed, Input, Output };
    static constexpr std::size_t BufferSize = 128;

    void OpenForInput(ByteChannel& channel);
    void OpenForOutput(ByteChannel& channel, bool writeThrough);
    void Close();  // forgets the channel and the buffer; writes nothing

    Mode CurrentMode() const { return mode_; }
    bool WriteThrough() const { return writeThrough_; }

    // Reading from a stream not open for input, or writing to one not open for output, does
    // nothing and answers as a failed read or write would (the caller stores its own code).

    // Input. The line end and a Ctrl-Z stay unread after ReadLine; SkipLine consumes up to and
    // including the next LF but never a Ctrl-Z. AtEnd reads ahead without consuming. A failed
    // read ends only the operation under way; the next one asks the channel again.
    std::string ReadLine();
    void SkipLine();
    bool AtEnd();

    // Output. Write answers false when a block could not be written: that block and the rest
    // of the bytes are dropped. WriteOut writes what waits (false on failure, buffer emptied).
    bool Write(std::string_view bytes);
    bool WriteOut();

  private:
    bool Refill();  // true when a byte (possibly the Ctrl-Z end marker) is ready at pos_

    Mode mode_ = Mode::Closed;
    ByteChannel* channel_ = nullptr;
    bool writeThrough_ = false;
    char buffer_[BufferSize] = {};
    std::size_t pos_ = 0;  // input: next byte to read
    std::size_t end_ = 0;  // input: valid bytes; output: bytes waiting
};

}  // namespace zorvane
