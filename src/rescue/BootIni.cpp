#include "rescue/BootIni.h"

#include <fcntl.h>

#include "boot/BootIniRewrite.h"
#include "rescue/Scan.h"

namespace zorvane::rescue {

namespace {

constexpr std::size_t MaxBootIniSize = 1 << 20;

}  // namespace

std::vector<std::string> BootIniLines(std::string_view content) {
    content = content.substr(0, content.find('\x1A'));
    std::vector<std::string> lines;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string line;
        for (const char c : content.substr(0, end))
            if (c != '\r') line.push_back(c);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        content.remove_prefix(end + 1);
    }
    return lines;
}

std::string WithoutSwitch(const std::vector<std::string>& lines) {
    std::string content;
    for (const std::string& line : lines) content += WithoutSafeModeSwitch(line) + "\r\n";
    return content;
}

std::string ReadBootIni(const VolumeRoot& root, const FoundFile& file) {
    const std::optional<Place> place = root.Find(file.lookup);
    if (!place || !place->IsRegularFile()) throw RescueError("no longer a regular file");
    const Fd fd(
        openat(place->folder.Get(), place->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) ThrowErrno("not readable");
    std::string content = ReadPrefix(fd.Get(), MaxBootIniSize + 1);
    if (content.size() > MaxBootIniSize) throw RescueError("larger than any boot.ini");
    return content;
}

bool BootIniHasSwitch(const VolumeRoot& root, const FoundFile& file) {
    for (const std::string& line : BootIniLines(ReadBootIni(root, file)))
        if (WithoutSafeModeSwitch(line) != line) return true;
    return false;
}

}  // namespace zorvane::rescue
