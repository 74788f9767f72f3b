// Input bytes, handed out in pieces of 128, 1 and 7 bytes -> TextStream lines, read once until
// AtEnd and once by ReadLine and SkipLine alone, then written to a second stream and read back:
// the lines are the bytes' lines up to the first Ctrl-Z (a last, empty piece is no line), every
// later read is empty and asks nothing, the copy holds exactly those lines each followed by
// CR LF in 128-byte blocks, and reading the copy gives the same lines.
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/TextStream.h"
#include "tests/native/MemoryChannel.h"

namespace {

using zorvane::TextStream;
using zorvane::testing::MemoryChannel;

std::vector<std::string> LinesUntilAtEnd(MemoryChannel& channel, std::size_t most) {
    TextStream stream;
    stream.OpenForInput(channel);
    std::vector<std::string> lines;
    while (!stream.AtEnd() && lines.size() <= most) {
        lines.push_back(stream.ReadLine());
        stream.SkipLine();
    }
    const int reads = channel.reads;
    FUZZ_CHECK(stream.ReadLine().empty() && stream.AtEnd() && channel.reads == reads);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> pieces = RawLines(input);
    std::vector<std::string> expected;
    std::string copy;
    for (const std::string& piece : pieces) expected.push_back(WithoutCr(piece));
    if (pieces.back().empty()) expected.pop_back();
    for (const std::string& line : expected) copy += line + "\r\n";

    for (const std::size_t chunk : {128, 1, 7}) {
        MemoryChannel source(input, chunk), target;
        FUZZ_CHECK(LinesUntilAtEnd(source, expected.size()) == expected);

        MemoryChannel again(input, chunk);
        TextStream reader, writer;
        reader.OpenForInput(again);
        writer.OpenForOutput(target, false);
        for (const std::string& piece : pieces) {
            const std::string line = reader.ReadLine();
            FUZZ_CHECK(line == WithoutCr(piece));
            reader.SkipLine();
            if (&piece != &pieces.back() || !piece.empty())
                FUZZ_CHECK(writer.Write(line) && writer.Write("\r\n"));
        }
        FUZZ_CHECK(reader.ReadLine().empty() && writer.WriteOut());

        std::string written;
        for (const std::string& block : target.blocks) {
            FUZZ_CHECK(block.size() == TextStream::BufferSize || &block == &target.blocks.back());
            written += block;
        }
        FUZZ_CHECK(written == copy);
        MemoryChannel back(written, chunk);
        FUZZ_CHECK(LinesUntilAtEnd(back, expected.size()) == expected);
    }
    return 0;
}
