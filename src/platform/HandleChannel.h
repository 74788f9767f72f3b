// A Windows file, pipe or console handle as the byte channel of a text stream: one ReadFile or
// WriteFile a call, failures stored as the pending I/O error. The handle is not owned.
#pragma once

#include "platform/ByteChannel.h"
#include "platform/WindowsApi.h"

namespace zorvane {

class HandleChannel final : public ByteChannel {
  public:
    explicit HandleChannel(HANDLE handle = nullptr) : handle_(handle) {}

    std::optional<std::size_t> Read(std::span<char> buffer) override;
    bool Write(std::string_view bytes) override;

  private:
    HANDLE handle_;
};

}  // namespace zorvane
