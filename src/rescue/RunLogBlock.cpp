#include "rescue/RunLogBlock.h"
#include "rescue/Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace zorvane::rescue {

namespace {

constexpr std::string_view LogName = "Zorvane.log";

}  // namespace

std::optional<std::string> AppendRunLog(const VolumeRoot& volume, const std::string& commandLine,
                                        const std::string& lines, int exitCode) {
    std::string block = "==== " + LocalTimeNow("%Y-%m-%d %H:%M:%S") + " Zorvane rescue 0.1\r\n";
    block += "Command line: " + commandLine + "\r\n";
    std::string_view rest = lines;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        block += std::string(rest.substr(0, end)) + "\r\n";
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    block += "Exit code: " + std::to_string(exitCode) + "\r\n";
    const std::string name = MatchName(volume.Fd(), LogName).value_or(std::string(LogName));
    const Fd log(openat(volume.Fd(), name.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    try {
        if (!log) ThrowErrno(name);
        WriteAll(log.Get(), block, name);
        SyncOrThrow(log.Get(), name);
    } catch (const std::exception& error) {
        return error.what();
    }
    return std::nullopt;
}

}  // namespace zorvane::rescue
