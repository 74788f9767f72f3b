#include "rescue/Quarantine.h"
#include "rescue/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace zorvane::rescue {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::string_view QuarantineFolderName = "Zorvane.quarantine";

}  // namespace

Quarantine Quarantine::Create(const VolumeRoot& volume, const std::string& folder) {
    Quarantine quarantine;
    // What this call made, taken away again when it fails: a quarantine folder without its
    // manifest would say nothing of the cure that never began.
    Fd parent;
    std::string parentMade, made;
    try {
        if (folder.empty()) {
            const std::optional<std::string> parentName =
                MatchName(volume.Fd(), QuarantineFolderName);
            const std::string parentSpelt = parentName.value_or(std::string(QuarantineFolderName));
            if (mkdirat(volume.Fd(), parentSpelt.c_str(), 0700) == 0) {
                parentMade = parentSpelt;
            } else if (errno != EEXIST) {
                ThrowErrno(parentSpelt);
            }
            parent = Fd(openat(volume.Fd(), parentSpelt.c_str(), FolderFlags));
            if (!parent) ThrowErrno(parentSpelt);
            // Two cures within one second each get their own folder.
            const std::string stamp = LocalTimeNow("%Y%m%d-%H%M%S");
            for (int attempt = 1;; ++attempt) {
                const std::string name =
                    attempt == 1 ? stamp : stamp + "-" + std::to_string(attempt);
                if (mkdirat(parent.Get(), name.c_str(), 0700) == 0) {
                    made = name;
                    quarantine.folder_ = Fd(openat(parent.Get(), name.c_str(), FolderFlags));
                    if (!quarantine.folder_) ThrowErrno(name);
                    quarantine.path_ = volume.Path();
                    quarantine.path_.append("/").append(parentSpelt).append("/").append(name);
                    break;
                }
                if (errno != EEXIST || attempt >= 99) ThrowErrno(name);
            }
        } else {
            if (mkdir(folder.c_str(), 0700) == 0) {
                made = folder;
            } else if (errno != EEXIST) {
                ThrowErrno(folder);
            }
            quarantine.folder_ = Fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!quarantine.folder_) ThrowErrno(folder);
            if (!ListFolder(quarantine.folder_.Get(), 1).empty())
                throw RescueError(folder + " is not empty");
            quarantine.path_ = folder;
        }
        quarantine.manifest_ =
            Fd(openat(quarantine.folder_.Get(), std::string(ManifestName).c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!quarantine.manifest_) ThrowErrno("the manifest");
        WriteAll(quarantine.manifest_.Get(), ManifestHeader, "the manifest");
        SyncOrThrow(quarantine.manifest_.Get(), "the manifest");
        SyncOrThrow(quarantine.folder_.Get(), "the quarantine folder");
        if (parent) SyncOrThrow(parent.Get(), "the quarantine folder");
    } catch (...) {
        if (!made.empty()) {
            if (quarantine.manifest_)
                unlinkat(quarantine.folder_.Get(), std::string(ManifestName).c_str(), 0);
            unlinkat(parent ? parent.Get() : AT_FDCWD, made.c_str(), AT_REMOVEDIR);
        }
        if (!parentMade.empty()) unlinkat(volume.Fd(), parentMade.c_str(), AT_REMOVEDIR);
        throw;
    }
    return quarantine;
}

Quarantine::Stored Quarantine::Keep(int fd, std::string_view suffix) {
    Stored stored;
    stored.name = std::to_string(next_++) + "." + std::string(suffix);
    const std::string what = "the quarantine's " + stored.name;
    Fd copy(openat(folder_.Get(), stored.name.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!copy) ThrowErrno(what);
    try {
        stored.sha256 = CopyAndHash(fd, copy.Get(), what);
        struct stat status {};
        if (fstat(copy.Get(), &status) != 0) ThrowErrno(what);
        stored.size = static_cast<uint64_t>(status.st_size);
        SyncOrThrow(copy.Get(), what);
        SyncOrThrow(folder_.Get(), what);
    } catch (...) {
        unlinkat(folder_.Get(), stored.name.c_str(), 0);
        throw;
    }
    return stored;
}

Quarantine::Stored Quarantine::KeepLinked(int folder, const std::string& name, int fd,
                                          std::string_view suffix, std::string sha256) {
    Stored stored;
    stored.name = std::to_string(next_) + "." + std::string(suffix);
    if (linkat(folder, name.c_str(), folder_.Get(), stored.name.c_str(), 0) != 0)
        return Keep(fd, suffix);  // another file system, or no hard links (FAT)
    ++next_;
    const std::string what = "the quarantine's " + stored.name;
    try {
        struct stat linked {
        }, original{};
        // Still the file opened: nothing replaced it between the open and the link.
        if (fstatat(folder_.Get(), stored.name.c_str(), &linked, AT_SYMLINK_NOFOLLOW) != 0 ||
            fstat(fd, &original) != 0 || linked.st_ino != original.st_ino ||
            linked.st_dev != original.st_dev)
            throw RescueError(what + " is not the file it should keep");
        stored.sha256 = std::move(sha256);
        stored.size = static_cast<uint64_t>(original.st_size);
        SyncOrThrow(fd, what);
        SyncOrThrow(folder_.Get(), what);
    } catch (...) {
        unlinkat(folder_.Get(), stored.name.c_str(), 0);
        throw;
    }
    return stored;
}

void Quarantine::Record(const ManifestLine& line) {
    WriteAll(manifest_.Get(), FormatManifestLine(line), "the manifest");
    SyncOrThrow(manifest_.Get(), "the manifest");
}

void Quarantine::RecordAndDo(ManifestLine line, const std::function<int()>& change,
                             std::string_view what) {
    Record(line);
    if (change() == 0) return;
    const int code = errno;
    line.action = "failed";
    try {
        Record(line);
    } catch (const RescueError&) {
        // The change did not happen; the original is where it was either way.
    }
    errno = code;
    ThrowErrno(what);
}

}  // namespace zorvane::rescue
