// Where a text stream's bytes come from and go to: a Windows handle for the program, bytes in
// memory for the tests of the stream's own rules.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace zorvane {

class ByteChannel {
  public:
    virtual ~ByteChannel() = default;

    // Fills the start of `buffer`: the count of bytes read, 0 at the end of the input, or
    // nothing when the read failed (the channel has stored the pending I/O error).
    virtual std::optional<std::size_t> Read(std::span<char> buffer) = 0;
    // False when the write failed (the channel has stored the pending I/O error). A short
    // write is not a failure.
    virtual bool Write(std::string_view bytes) = 0;

  protected:
    ByteChannel() = default;
    ByteChannel(const ByteChannel&) = default;
    ByteChannel& operator=(const ByteChannel&) = default;
};

}  // namespace zorvane
