// The buffered text stream under both console streams and every TextLineFile, so that the
// line, end-of-file and block rules are written once: a 128-byte buffer; a line is read up to
// LF with every CR left out; a Ctrl-Z byte ends the input; output leaves in 128-byte blocks.
// Failures store a code in the pending I/O error; nothing raises. The stream does not own its
// handle: the console's standard handles are never closed, a TextLineFile closes its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/WindowsApi.h"

namespace zorvane {

class TextStream {
  public:
    enum class Mode { Closed, Input, Output };
    static constexpr std::size_t BufferSize = 128;

    void OpenForInput(HANDLE handle);
    void OpenForOutput(HANDLE handle, bool writeThrough);
    void Close();  // forgets the handle and the buffer; writes nothing

    Mode CurrentMode() const { return mode_; }
    HANDLE Handle() const { return handle_; }
    bool WriteThrough() const { return writeThrough_; }

    // Input. The line end and a Ctrl-Z stay unread after ReadLine; SkipLine consumes up to and
    // including the next LF but never a Ctrl-Z. AtEnd reads ahead without consuming.
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
    HANDLE handle_ = nullptr;
    bool writeThrough_ = false;
    char buffer_[BufferSize] = {};
    std::size_t pos_ = 0;  // input: next byte to read
    std::size_t end_ = 0;  // input: valid bytes; output: bytes waiting
};

}  // namespace zorvane
