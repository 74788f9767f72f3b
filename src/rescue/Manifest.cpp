#include "rescue/Manifest.h"

#include <vector>

namespace zorvane::rescue {

namespace {

bool IsHash(std::string_view text) {
    if (text.size() != 64) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool IsStoredName(std::string_view name) {
    const std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos) return false;
    for (const char c : name.substr(0, dot))
        if (c < '0' || c > '9') return false;
    const std::string_view suffix = name.substr(dot);
    return suffix == ".quarantined" || suffix == ".original";
}

}  // namespace

bool IsRecordablePath(std::string_view path) {
    if (path.empty() || path.front() == '/' ||
        path.find_first_of("\t\r\n") != std::string_view::npos)
        return false;
    while (true) {
        const std::size_t end = path.find('/');
        const std::string_view part = path.substr(0, end);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string_view::npos) return true;
        path.remove_prefix(end + 1);
    }
}

std::string FormatManifestLine(const ManifestLine& line) {
    return line.action + "\t" + line.root + "\t" + line.path + "\t" + std::to_string(line.size) +
           "\t" + line.sha256 + "\t" + line.sha256After + "\t" + line.stored + "\n";
}

std::optional<ManifestLine> ParseManifestLine(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    std::vector<std::string_view> fields;
    while (fields.size() < 8) {
        const std::size_t end = text.find('\t');
        fields.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    if (fields.size() != 7) return std::nullopt;
    ManifestLine line{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), 0,
                      std::string(fields[4]), std::string(fields[5]), std::string(fields[6])};
    if (line.action != "removed" && line.action != "changed" && line.action != "failed")
        return std::nullopt;
    if (line.root != "volume" && line.root != "system-partition") return std::nullopt;
    if (!IsRecordablePath(line.path) || !IsHash(line.sha256) || !IsStoredName(line.stored))
        return std::nullopt;
    if (fields[3].empty() || fields[3].size() > 19) return std::nullopt;
    for (const char c : fields[3]) {
        if (c < '0' || c > '9') return std::nullopt;
        line.size = line.size * 10 + static_cast<uint64_t>(c - '0');
    }
    const bool removed = line.action == "removed";
    if (line.action != "failed" && !(removed ? line.sha256After == "-" : IsHash(line.sha256After)))
        return std::nullopt;
    return line;
}

}  // namespace zorvane::rescue
