// Paths inside a mounted Windows volume, which is untrusted: every component is matched without
// regard to case, and opened without following a symbolic link (ntfs-3g shows junctions as
// links too) or stepping onto another file system, so nothing outside the volume is ever read
// or changed.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rescue/Posix.h"

namespace zorvane::rescue {

// Where an item is: its folder, opened, and its name in it. `exists` tells whether an entry of
// that name is there; `name` is then spelt as on the disk, else as asked.
struct Place {
    Fd folder;
    std::string name;
    std::string path;  // relative to the root, '/' between components, as spelt on the disk
    bool exists = false;
    struct stat status {};  // of the entry itself (a link is not followed), when it exists

    bool IsRegularFile() const { return exists && S_ISREG(status.st_mode); }
};

class VolumeRoot {
  public:
    // Opens the folder given on the command line (that one may be reached through links: the
    // user named it). Raises when it is no folder.
    static VolumeRoot Open(const std::string& path);

    int Fd() const { return root_.Get(); }
    const std::string& Path() const { return path_; }

    // The item at `components` below the root (a folder component of '\\'-separated names may
    // hold several). Nothing when a folder on the way is missing; raises when one is a link, no
    // folder, on another file system, or cannot be read.
    std::optional<Place> Find(const std::vector<std::string_view>& components) const;
    std::optional<Place> Find(std::string_view backslashPath) const;

    // Opens a folder below the root (the same rules), for listing it.
    std::optional<rescue::Fd> OpenFolder(const std::vector<std::string_view>& components) const;

  private:
    std::optional<rescue::Fd> OpenFolder(const std::vector<std::string_view>& components,
                                         std::string& path) const;

    rescue::Fd root_;
    std::string path_;
    dev_t device_ = 0;
};

// The name in the open folder that matches `name` without regard to case: the exact spelling
// when it is there, else the first match in byte order (a case-sensitive file system may hold
// several). Nothing when none matches.
std::optional<std::string> MatchName(int folder, std::string_view name);

// The names in an open folder, "." and ".." left out, in byte order; at most `limit`.
std::vector<std::string> ListFolder(int folder, std::size_t limit);

// Splits "a\\b\\c" into its components.
std::vector<std::string_view> Components(std::string_view backslashPath);

}  // namespace zorvane::rescue
