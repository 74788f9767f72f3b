#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TextStream.h"
#include "tests/native/MemoryChannel.h"

namespace zorvane::testing {
namespace {

using Texts = std::vector<std::string>;

// A failed read ends only the operation under way, with what it had collected; the next one
// asks the channel again.
TEST(TextStream, AFailedReadEndsOnlyTheOperationUnderWay) {
    MemoryChannel channel("ab\ncd\nef", 1);
    TextStream stream;
    stream.OpenForInput(channel);
    channel.failingRead = 2;
    EXPECT_EQ(stream.ReadLine(), "a");
    EXPECT_EQ(stream.ReadLine(), "b");
    stream.SkipLine();
    channel.failingRead = 6;
    EXPECT_EQ(stream.ReadLine(), "c");
    channel.failingRead = 7;
    stream.SkipLine();  // ends at the failure, before the LF
    EXPECT_EQ(stream.ReadLine(), "d");
    stream.SkipLine();
    channel.failingRead = 10;
    EXPECT_TRUE(stream.AtEnd());
    EXPECT_FALSE(stream.AtEnd());
    EXPECT_EQ(stream.ReadLine(), "ef");
    EXPECT_EQ(channel.reads, 13);
}

// Output leaves in 128-byte blocks the moment the buffer is full, and the rest when written
// out. A failed write drops its block and the rest of the bytes being written.
TEST(TextStream, WritesIn128ByteBlocksAndDropsWhatAFailedWriteHeld) {
    const std::string x200(200, 'x'), y128(128, 'y');
    MemoryChannel channel;
    TextStream stream;
    stream.OpenForOutput(channel, false);
    EXPECT_TRUE(stream.Write(x200));
    EXPECT_EQ(channel.blocks, Texts{x200.substr(0, 128)});
    EXPECT_TRUE(stream.Write(x200.substr(0, 56)));  // fills the buffer exactly
    EXPECT_TRUE(stream.WriteOut());                 // nothing waits: no call
    EXPECT_TRUE(stream.Write(y128 + "z"));
    EXPECT_TRUE(stream.WriteOut());
    EXPECT_EQ(channel.blocks, (Texts{x200.substr(0, 128), x200.substr(0, 128), y128, "z"}));
    EXPECT_EQ(channel.writes, 4);

    channel.blocks.clear();
    channel.failingWrite = 5;
    EXPECT_TRUE(stream.Write("a"));
    EXPECT_FALSE(stream.Write(y128 + y128 + "b"));  // the second block is never copied
    EXPECT_TRUE(stream.WriteOut());
    channel.failingWrite = 6;
    EXPECT_TRUE(stream.Write("c"));
    EXPECT_FALSE(stream.WriteOut());
    EXPECT_TRUE(stream.Write("d"));
    EXPECT_TRUE(stream.WriteOut());
    EXPECT_EQ(channel.blocks, Texts{"d"});
}

// A stream used the wrong way, or after Close, asks its channel nothing and answers as a failed
// call would; Close drops what waits.
TEST(TextStream, OnlyTheOpenDirectionReachesTheChannel) {
    MemoryChannel channel("a\n");
    TextStream stream;
    EXPECT_TRUE(stream.AtEnd());
    EXPECT_FALSE(stream.Write("b"));
    stream.OpenForOutput(channel, true);
    EXPECT_TRUE(stream.WriteThrough());
    EXPECT_EQ(stream.ReadLine(), "");
    EXPECT_TRUE(stream.Write("c"));
    stream.Close();
    EXPECT_FALSE(stream.WriteOut());
    stream.OpenForInput(channel);
    EXPECT_FALSE(stream.WriteThrough());
    EXPECT_FALSE(stream.Write("d"));
    EXPECT_EQ(stream.ReadLine(), "a");
    stream.OpenForOutput(channel, false);
    EXPECT_TRUE(stream.WriteOut());
    EXPECT_EQ(channel.reads, 1);
    EXPECT_EQ(channel.writes, 0);
}

}  // namespace
}  // namespace zorvane::testing
