// zorvane-rescue: scans and cures a Windows installation that is not running, from Linux, on
// its volume mounted as a folder.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "rescue/Cure.h"
#include "rescue/RunLogBlock.h"

namespace {

using namespace zorvane::rescue;

constexpr int ExitUsage = 64;
constexpr char Usage[] =
    "usage: zorvane-rescue [--cure | --undo DIR] [--windows FOLDER] [--system-partition DIR]\n"
    "                      [--quarantine DIR] VOLUME\n";
constexpr char Help[] =
    "Scans a Windows installation that is not running for Backdoor.Ubriel.b,\n"
    "Backdoor.HacDef.073.b and what an unfinished cure of zorvane.exe left, on its volume\n"
    "mounted as the folder VOLUME. The scan reads only.\n"
    "  --cure                  removes what the scan finds; everything removed or changed is\n"
    "                          kept in a quarantine folder first\n"
    "  --undo DIR              puts back what the cure kept in the quarantine folder DIR\n"
    "  --windows FOLDER        the installation to cure, when the volume holds several\n"
    "  --system-partition DIR  where the loader's partition (C:, boot.ini) is mounted, when\n"
    "                          it is not VOLUME\n"
    "  --quarantine DIR        the quarantine folder (default VOLUME/Zorvane.quarantine/<time>)\n"
    "Exit codes: scan 0 clean, 2 something found, 1 something could not be checked;\n"
    "--cure and --undo 0 done, 1 not all done or refused; 64 bad usage.\n";

int BadUsage(const char* why) {
    std::fprintf(stderr, "zorvane-rescue: %s\n%s", why, Usage);
    return ExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string volume, systemPartition;
    options.commandLine = "zorvane-rescue";
    for (int i = 1; i < argc; ++i) {
        options.commandLine += std::string(" ") + argv[i];
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return false;
            into = argv[++i];
            options.commandLine += std::string(" ") + argv[i];
            return true;
        };
        bool good = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            std::fputs(Help, stdout);
            return 0;
        } else if (arg == "--cure") {
            good = !options.cure;
            options.cure = true;
        } else if (arg == "--undo") {
            good = options.undo.empty() && value(options.undo);
        } else if (arg == "--windows") {
            good = options.windows.empty() && value(options.windows);
        } else if (arg == "--system-partition") {
            good = systemPartition.empty() && value(systemPartition);
        } else if (arg == "--quarantine") {
            good = options.quarantine.empty() && value(options.quarantine);
        } else if (arg.starts_with("-") && arg != "-") {
            return BadUsage(("unknown option " + std::string(arg)).c_str());
        } else {
            good = volume.empty();
            volume = arg;
        }
        if (!good) return BadUsage(("misplaced or repeated " + std::string(arg)).c_str());
    }
    if (volume.empty()) return BadUsage("no VOLUME");
    if (options.cure && !options.undo.empty()) return BadUsage("--cure and --undo together");
    if (!options.quarantine.empty() && !options.cure)
        return BadUsage("--quarantine goes with --cure");

    Output out;
    try {
        Volumes volumes{VolumeRoot::Open(volume), std::nullopt};
        if (!systemPartition.empty()) volumes.systemPartition = VolumeRoot::Open(systemPartition);
        if (options.cure || !options.undo.empty()) {
            const int code =
                options.cure ? RunCure(volumes, options, out) : RunUndo(volumes, options, out);
            // A refused cure changed nothing, the log included, and has no verdict to hold.
            if (!out.HasVerdict()) return code;
            const std::optional<std::string> unlogged =
                AppendRunLog(volumes.volume, options.commandLine, out.Text(), code);
            if (!unlogged) {
                out.Finish();
                return code;
            }
            out.Line("   NOT logged " + *unlogged);
            out.Finish(options.cure ? "Cure incomplete." : "Undo incomplete.");
            return ExitFailed;
        }
        return RunScan(volumes, options, out);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zorvane-rescue: %s\n", error.what());
        return ExitFailed;
    }
}
