// The quarantine's manifest.tsv: one line per item the cure removed or changed, tab-separated,
// after a header line. A line is written (and on the disk) before the change it describes; a
// change that then fails is followed by a line "failed" for the same item.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::rescue {

inline constexpr std::string_view ManifestName = "manifest.tsv";
inline constexpr std::string_view ManifestHeader =
    "action\troot\tpath\tsize\tsha256\tsha256_after\tstored\n";

struct ManifestLine {
    std::string action;  // "removed", "changed" or "failed"
    std::string root;    // "volume" or "system-partition"
    std::string path;    // relative to the root, '/'-separated, as spelt on the disk
    uint64_t size = 0;
    std::string sha256;
    std::string sha256After;  // "-" for a removed file
    std::string stored;       // the file's name in the quarantine folder
};

std::string FormatManifestLine(const ManifestLine& line);
// Nothing when the line is not one the cure writes (the header among them).
std::optional<ManifestLine> ParseManifestLine(std::string_view text);

// Whether a path can stand in a manifest line and be put back safely: relative, no empty, "."
// or ".." component, no tab, CR or LF.
bool IsRecordablePath(std::string_view path);

}  // namespace zorvane::rescue
