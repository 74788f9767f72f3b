#include <gtest/gtest.h>

#include <functional>

#include "platform/Exceptions.h"
#include "platform/IoError.h"
#include "platform/TextLineFile.h"
#include "sim/SimWindows.h"

namespace zorvane {
namespace {

using Lines = std::vector<std::string>;

class TextLineFileTest : public ::testing::Test {
  protected:
    TextLineFileTest() { TakeIoError(); }
    sim::SimWindows machine;
    WindowsScope scope{machine};
};

// The read rules are those of standard input too: both streams share one core.
TEST_F(TextLineFileTest, ReadsLinesUpToLfLeavingCrOutAndEndsAtCtrlZ) {
    const std::string x127(127, 'x'), z300(300, 'z'), zero("0\0001", 3);  // \032 is Ctrl-Z
    const std::pair<std::string, Lines> cases[] = {
        {"a\r\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r\n\r\n", {"ab", ""}},
        {"", {}},
        {"a\r\n\032b", {"a"}},
        {"a\032b\r\nc", {"a"}},
        {z300 + "\n" + zero, {z300, zero}},
        {x127 + "\r\nq", {x127, "q"}},  // the CR is the 128th byte, its LF the next block's first
    };
    for (const auto& [content, expected] : cases) {
        machine.files.AddFile("C:\\t.txt", content);
        TextLineFile file("C:\\t.txt");
        file.OpenForReading();
        Lines lines;
        for (int i = 0; i < 9 && !file.AtEnd(); ++i) {
            lines.push_back(file.ReadLineText());
            file.SkipLine();
        }
        EXPECT_EQ(file.ReadLineText(), "");
        file.CloseText();
        EXPECT_EQ(lines, expected) << content;
        EXPECT_EQ(TakeIoError(), 0);
    }
}

TEST_F(TextLineFileTest, WritesCrLfLinesIn128ByteBlocksAndEachLineToADevice) {
    machine.files.AddFile("C:\\out.txt", "old content");
    machine.files.AddCharacterDevice("NUL");
    TextLineFile file("C:\\out.txt"), device("NUL");
    file.OpenForWriting();
    device.OpenForWriting();
    EXPECT_EQ(machine.files.Content("C:\\out.txt"), "");  // emptied at the open
    machine.ClearJournal();
    for (TextLineFile* f : {&file, &device}) {
        f->WriteText(std::string(200, 'x'));
        f->EndLine();
        f->WriteText("y");
    }
    const std::string block = "\"" + std::string(128, 'x') + "\", 0x80)";
    EXPECT_EQ(machine.JournalTexts(),  // the device gets its line at the line end, "y" waits
              (Lines{"WriteFile(h1, " + block, "WriteFile(h2, " + block,
                     "WriteFile(h2, \"" + std::string(72, 'x') + "\r\n\", 0x4A)"}));
    file.CloseText();
    EXPECT_EQ(machine.files.Content("C:\\out.txt"), std::string(200, 'x') + "\r\ny");
    EXPECT_EQ(TakeIoError(), 0);
}

// Each step runs whatever code is pending and leaves the code of its own failure.
TEST_F(TextLineFileTest, StoresCodesAndNeverRaises) {
    machine.files.AddFile("C:\\in.txt", "a");
    TextLineFile missing("C:\\missing.txt"), out("C:\\out.txt"), never("C:\\never.txt"),
        in("C:\\in.txt"), nodir("C:\\nodir\\x.txt"), tooLong("C:\\" + std::string(260, 'a'));
    const std::pair<std::function<void()>, int> steps[] = {
        {[&] { missing.OpenForReading(), out.OpenForWriting(); }, 2},  // kept across a good open
        {[] {}, 0},
        {[&] { EXPECT_EQ(out.ReadLineText(), ""); }, 104},
        {[&] {
             never.CloseText();
             EXPECT_THROW(CheckIoError(), EInOutError);
         },
         0},
        {[&] { never.EndLine(); }, 103},  // after the 105 of its write
        {[&] { EXPECT_TRUE(never.AtEnd()); }, 104},
        {[&] { in.OpenForReading(), in.WriteText("b"); }, 105},
        {[&] { machine.FailCall("ReadFile", 1, error::AccessDenied), in.SkipLine(); }, 5},
        {[&] { EXPECT_EQ(in.ReadLineText(), "a"); }, 0},  // the failure ended that read only
        {[&] { nodir.OpenForWriting(); }, 3},
        {[&] { tooLong.OpenForReading(); }, 3},
        {[&] { machine.FailCall("GetFileType", 1, error::InvalidHandle), out.OpenForWriting(); },
         105},
        {[&] { out.OpenForWriting(), machine.FailCall("WriteFile", 1, error::DiskFull); }, 0},
        {[&] { out.WriteText(std::string(130, 'w')), out.CloseText(); }, 112},
        {[&] { EXPECT_EQ(machine.files.Content("C:\\out.txt"), ""); }, 0},  // the rest dropped
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        steps[i].first();
        EXPECT_EQ(TakeIoError(), steps[i].second) << "step " << i;
    }
    EXPECT_EQ(IoErrorMessage(103), "I/O error 103");
}

}  // namespace
}  // namespace zorvane
