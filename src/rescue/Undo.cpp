// --undo: everything a cure took away, put back from its quarantine, but never over an item that
// has changed since the cure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "rescue/Cure.h"
#include "rescue/Manifest.h"
#include "rescue/Text.h"

namespace zorvane::rescue {

namespace {

constexpr std::size_t MaxManifestSize = 16 << 20;
constexpr std::string_view PutBackSuffix = ".ZRVUNDO";

std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string HashOfFile(int folder, const std::string& name) {
    const Fd fd(openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) ThrowErrno("not readable");
    return HashOf(fd.Get());
}

// Puts one item back; answers why not, or nothing when it is back (or never went).
std::optional<std::string> PutBack(const Volumes& volumes, int quarantine, const ManifestLine& item,
                                   bool& putBack) {
    if (item.root == "system-partition" && !volumes.systemPartition)
        return "--system-partition not given";
    const VolumeRoot& root =
        volumes.Of(item.root == "volume" ? RootKind::Volume : RootKind::SystemPartition);
    const std::optional<Place> place = root.Find(Backslashed(item.path));
    if (!place) return "its folder is missing";
    const Fd stored(openat(quarantine, item.stored.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!stored) return "its stored copy is missing";
    if (HashOf(stored.Get()) != item.sha256) return "its stored copy is damaged";
    const int folder = place->folder.Get();
    mode_t mode = 0644;
    if (place->exists) {
        if (!place->IsRegularFile()) return "changed since the cure";
        const std::string now = HashOfFile(folder, place->name);
        if (now == item.sha256) return std::nullopt;  // the cure never got to change it
        if (item.action == "removed" || now != item.sha256After) return "changed since the cure";
        mode = place->status.st_mode & 0777;
    }
    const std::string newName = place->name + std::string(PutBackSuffix);
    unlinkat(folder, newName.c_str(), 0);  // a scratch file of an undo cut short
    const Fd copy(openat(folder, newName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!copy) ThrowErrno("cannot be written");
    try {
        if (CopyAndHash(stored.Get(), copy.Get(), "cannot be written") != item.sha256)
            throw RescueError("its stored copy changed while it was read");
        SyncOrThrow(copy.Get(), "cannot be written");
        if (renameat(folder, newName.c_str(), folder, place->name.c_str()) != 0)
            ThrowErrno("cannot be put in place");
    } catch (...) {
        unlinkat(folder, newName.c_str(), 0);
        throw;
    }
    fsync(folder);
    putBack = true;
    return std::nullopt;
}

}  // namespace

int RunUndo(const Volumes& volumes, const Options& options, Output& out) {
    const Fd quarantine(open(options.undo.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string manifest;
    if (quarantine) {
        const Fd file(openat(quarantine.Get(), std::string(ManifestName).c_str(),
                             O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (file) manifest = ReadPrefix(file.Get(), MaxManifestSize);
    }
    if (manifest.compare(0, ManifestHeader.size(), ManifestHeader) != 0) {
        out.Line("No quarantine at " + options.undo + ": " + std::string(ManifestName) +
                 " is missing or not one a cure wrote.");
        out.Conclude("Undo incomplete.");
        return ExitFailed;
    }
    std::vector<ManifestLine> items;
    std::vector<ManifestLine> failed;  // changes that did not happen: nothing to put back
    bool complete = true;
    std::string_view rest = std::string_view(manifest).substr(ManifestHeader.size());
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view text = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (text.empty()) continue;
        const std::optional<ManifestLine> line = ParseManifestLine(text);
        if (!line) {
            // A line cut short by a cure that stopped while writing it: its change never began.
            if (end == std::string_view::npos) continue;
            out.Line("   NOT put back: a manifest line cannot be read");
            complete = false;
        } else if (line->action == "failed") {
            failed.push_back(*line);
        } else {
            items.push_back(*line);
        }
    }
    // The last change first: a boot.ini put back from its backup needs the backup's place free.
    for (std::size_t i = items.size(); i-- > 0;) {
        const ManifestLine* item = &items[i];
        bool skip = false;
        for (const ManifestLine& gone : failed)
            skip = skip || (gone.stored == item->stored && gone.path == item->path);
        if (skip) continue;
        const std::string shown = item->root == "volume" || !volumes.systemPartition
                                      ? item->path
                                      : volumes.systemPartition->Path() + "/" + item->path;
        std::optional<std::string> reason;
        bool putBack = false;
        try {
            reason = PutBack(volumes, quarantine.Get(), *item, putBack);
        } catch (const std::exception& error) {
            reason = error.what();
        }
        if (reason) {
            out.Line("   NOT put back " + shown + ": " + *reason);
            complete = false;
        } else if (putBack) {
            out.Line("   put back " + shown);
        }
    }
    out.Conclude(complete ? "Undo complete." : "Undo incomplete.");
    return complete ? ExitClean : ExitFailed;
}

}  // namespace zorvane::rescue
