// Standard input bytes -> ConsoleReadLine / ConsoleSkipLine: every line comes back whole,
// without CRs, up to the first Ctrl-Z; after the end every read is empty and no error is left.
#include <cstdint>

#include "FuzzSupport.h"
#include "frontend/Console.h"
#include "platform/IoError.h"
#include "sim/SimWindows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static sim::SimWindows machine;
    const std::string input(reinterpret_cast<const char*>(data), size);
    machine.StartProcess("zorvane.exe", "C:\\zorvane.exe", input);
    {
        const zorvane::WindowsScope scope(machine);
        zorvane::ResetConsole();
        for (const std::string& line : RawLines(input)) {
            FUZZ_CHECK(zorvane::ConsoleReadLine() == WithoutCr(line));
            zorvane::ConsoleSkipLine();
        }
        FUZZ_CHECK(zorvane::ConsoleReadLine().empty());
        zorvane::ConsoleSkipLine();
        FUZZ_CHECK(zorvane::TakeIoError() == 0);
        zorvane::CloseConsole();
    }
    machine.EndProcess();
    machine.ClearJournal();
    return 0;
}
