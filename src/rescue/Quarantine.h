// Where the cure keeps everything it takes away: each removed file and the original of each
// file it changes, under names that cannot run, with the manifest that says what became of each.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "rescue/Manifest.h"
#include "rescue/Posix.h"
#include "rescue/VolumePath.h"

namespace zorvane::rescue {

class Quarantine {
  public:
    // VOLUME/Zorvane.quarantine/<YYYYMMDD-HHMMSS>/ (both made with mode 0700), or `folder` when
    // the user named one (made when missing; an existing one must be empty). Raises when the
    // folder cannot be made; nothing is changed then.
    static Quarantine Create(const VolumeRoot& volume, const std::string& folder);

    const std::string& Path() const { return path_; }

    struct Stored {
        std::string name;
        std::string sha256;
        uint64_t size = 0;
    };
    // A copy of the whole file behind `fd` under the next "<n>.<suffix>", on the disk when this
    // returns.
    Stored Keep(int fd, std::string_view suffix);
    // The same for a file about to be replaced by a rename: a second link to it where the file
    // system allows (no copy of a large hive; the rename then leaves the original only here),
    // else a copy. `sha256`: the file's hash, already taken.
    Stored KeepLinked(int folder, const std::string& name, int fd, std::string_view suffix,
                      std::string sha256);
    // Appends the line to the manifest and has it on the disk.
    void Record(const ManifestLine& line);
    // Records the line, then makes the change (a call answering 0, or -1 with errno); when it
    // fails, records the line again as "failed" where the manifest still takes it, and raises
    // `what` with the change's error.
    void RecordAndDo(ManifestLine line, const std::function<int()>& change, std::string_view what);

  private:
    Fd folder_;
    Fd manifest_;
    std::string path_;
    int next_ = 1;
};

}  // namespace zorvane::rescue
