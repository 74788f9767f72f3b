// The first line names the running system, the rest is a boot.ini -> the Safe Mode rewrite ->
// the switch removal of the return to normal boot. The rewrite keeps the number of lines, only
// ever appends the switch in place of an entry's own Safe Mode options (and counts each time), or
// points a "default=" line at an entry that got it; removing the switch gives back every line of
// the backup without those options (but a line that already ended with the switch, which the
// removal takes too); a rewrite of the rewrite finds every default already in place.
#include <cstdint>

#include "FuzzSupport.h"
#include "boot/BootIniRewrite.h"
#include "platform/AsciiText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvane;
    std::vector<std::string> lines = RawLines({reinterpret_cast<const char*>(data), size});
    const std::string running = lines.front();
    lines.erase(lines.begin());
    const SafeModeBootIni safeMode = SafeModeStartOf(lines, running);
    FUZZ_CHECK(safeMode.lines.size() == lines.size());
    int switched = 0, unsure = 0;  // unsure: a line that had the switch alone, switched or not
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string& rewritten = safeMode.lines[i];
        const std::string entry = WithoutSafeBootOptions(line);
        if (rewritten == WithSafeModeSwitch(entry)) {
            ++(rewritten == line ? unsure : switched);
            FUZZ_CHECK(rewritten == line || IsArcPathEntry(line));
            FUZZ_CHECK(WithoutSafeBootOptions(entry) == entry);
            if (!entry.ends_with(SafeModeSwitch))
                FUZZ_CHECK(WithoutSafeModeSwitch(rewritten) == entry);
        } else if (rewritten != line) {
            FUZZ_CHECK(AsciiUpper(line).starts_with("DEFAULT"));
            std::string_view name = running;
            while (name.ends_with(' ') || name.ends_with('\t')) name.remove_suffix(1);
            FUZZ_CHECK(AsciiUpper(rewritten).ends_with(AsciiUpper(name)));
        }
    }
    FUZZ_CHECK(switched <= safeMode.switchedEntries &&
               safeMode.switchedEntries <= switched + unsure);
    const SafeModeBootIni again = SafeModeStartOf(safeMode.lines, running);
    for (std::size_t i = 0; i < lines.size(); ++i)
        FUZZ_CHECK(again.lines[i] == safeMode.lines[i] ||
                   again.lines[i] == WithSafeModeSwitch(safeMode.lines[i]));
    return 0;
}
