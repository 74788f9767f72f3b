// File bytes -> TextLineFile reading until AtEnd, then the lines written to a second file:
// the lines read are the bytes' lines (a last, empty piece is no line), and the copy holds
// exactly those lines, each followed by CR LF.
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/IoError.h"
#include "platform/TextLineFile.h"
#include "sim/SimWindows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static sim::SimWindows machine;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> expected = RawLines(input);
    if (expected.back().empty()) expected.pop_back();
    std::string copy;
    for (std::string& line : expected) copy += (line = WithoutCr(line)) + "\r\n";

    machine.StartProcess("zorvane.exe");
    machine.files.AddFile("C:\\fuzz.txt", input);
    {
        const zorvane::WindowsScope scope(machine);
        zorvane::TextLineFile source("C:\\fuzz.txt");
        zorvane::TextLineFile target("C:\\copy.txt");
        source.OpenForReading();
        target.OpenForWriting();
        FUZZ_CHECK(zorvane::TakeIoError() == 0);
        std::vector<std::string> lines;
        while (!source.AtEnd() && lines.size() <= expected.size()) {
            lines.push_back(source.ReadLineText());
            source.SkipLine();
            target.WriteText(lines.back());
            target.EndLine();
        }
        FUZZ_CHECK(lines == expected);
        source.CloseText();
        target.CloseText();
        FUZZ_CHECK(zorvane::TakeIoError() == 0);
    }
    FUZZ_CHECK(machine.files.Content("C:\\copy.txt") == copy);
    machine.EndProcess();
    machine.ClearJournal();
    return 0;
}
