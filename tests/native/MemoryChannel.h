// Bytes in memory as a text stream's channel, for the tests and the fuzz targets: the input is
// handed out in reads of at most `chunk` bytes (as a pipe or console answers in pieces), every
// write is kept as one block, and a chosen read or write call fails.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/ByteChannel.h"

namespace zorvane::testing {

struct MemoryChannel final : ByteChannel {
    explicit MemoryChannel(std::string bytes = {}, std::size_t chunkSize = 128)
        : input(std::move(bytes)), chunk(chunkSize) {}

    std::optional<std::size_t> Read(std::span<char> buffer) override {
        if (++reads == failingRead) return std::nullopt;
        const std::size_t n = std::min({chunk, buffer.size(), input.size() - at});
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), n, buffer.begin());
        at += n;
        return n;
    }
    bool Write(std::string_view bytes) override {
        if (++writes == failingWrite) return false;
        blocks.emplace_back(bytes);
        return true;
    }

    std::string input;
    std::size_t chunk;
    std::size_t at = 0;
    int reads = 0, writes = 0;
    int failingRead = 0, failingWrite = 0;  // the number of the call that fails; 0: none
    std::vector<std::string> blocks;
};

}  // namespace zorvane::testing
