// boot.ini lines -> the Safe Mode rewrite -> the switch removal of the return to normal boot:
// the rewrite only ever appends the switch, and removing it gives back every line of the
// backup (but a line that already ended with the switch, which the removal takes too).
#include <cstdint>

#include "FuzzSupport.h"
#include "boot/BootIniRewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvane;
    SafeModeSwitchRewrite rewrite;
    for (const std::string& line : RawLines({reinterpret_cast<const char*>(data), size})) {
        const std::string rewritten = rewrite.Next(line);
        FUZZ_CHECK(rewritten == line || rewritten == WithSafeModeSwitch(line));
        if (!line.ends_with(SafeModeSwitch)) FUZZ_CHECK(WithoutSafeModeSwitch(rewritten) == line);
    }
    return 0;
}
