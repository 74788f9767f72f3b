#include "rescue/VolumePath.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "rescue/Text.h"

namespace zorvane::rescue {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::size_t ListLimit = 1'000'000;  // no real folder of Windows comes near

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string Joined(const std::string& path, std::string_view name) {
    return path.empty() ? std::string(name) : path + "/" + std::string(name);
}

}  // namespace

std::vector<std::string> ListFolder(int folder, std::size_t limit) {
    // The listing reads through its own descriptor, so the folder's stays where it is.
    const int copy = openat(folder, ".", FolderFlags);
    if (copy < 0) ThrowErrno("folder not readable");
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(copy));
    if (!dir) {
        close(copy);
        ThrowErrno("folder not readable");
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
        if (names.size() >= limit) break;
    }
    if (errno != 0) ThrowErrno("folder not readable");
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> MatchName(int folder, std::string_view name) {
    struct stat status {};
    const std::string exact(name);
    if (fstatat(folder, exact.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return exact;
    if (errno != ENOENT) ThrowErrno(exact);
    for (const std::string& entry : ListFolder(folder, ListLimit))
        if (SameName(entry, name)) return entry;
    return std::nullopt;
}

std::vector<std::string_view> Components(std::string_view backslashPath) {
    std::vector<std::string_view> parts;
    while (!backslashPath.empty()) {
        const std::size_t end = backslashPath.find('\\');
        const std::string_view part = backslashPath.substr(0, end);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string_view::npos) break;
        backslashPath.remove_prefix(end + 1);
    }
    return parts;
}

VolumeRoot VolumeRoot::Open(const std::string& path) {
    VolumeRoot root;
    root.root_ = rescue::Fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.root_) ThrowErrno(path);
    struct stat status {};
    if (fstat(root.root_.Get(), &status) != 0) ThrowErrno(path);
    root.device_ = status.st_dev;
    root.path_ = path;
    return root;
}

std::optional<Fd> VolumeRoot::OpenFolder(const std::vector<std::string_view>& components) const {
    std::string path;
    return OpenFolder(components, path);
}

std::optional<Fd> VolumeRoot::OpenFolder(const std::vector<std::string_view>& components,
                                         std::string& path) const {
    rescue::Fd folder(openat(root_.Get(), ".", FolderFlags));
    if (!folder) ThrowErrno(path_);
    path.clear();
    for (const std::string_view component : components) {
        const std::optional<std::string> name = MatchName(folder.Get(), component);
        if (!name) return std::nullopt;
        path = Joined(path, *name);
        rescue::Fd next(openat(folder.Get(), name->c_str(), FolderFlags));
        if (!next) {
            if (errno == ELOOP || errno == ENOTDIR)
                throw RescueError(path + " is a link or no folder");
            ThrowErrno(path);
        }
        struct stat status {};
        if (fstat(next.Get(), &status) != 0) ThrowErrno(path);
        if (status.st_dev != device_) throw RescueError(path + " leads to another file system");
        folder = std::move(next);
    }
    return folder;
}

std::optional<Place> VolumeRoot::Find(const std::vector<std::string_view>& components) const {
    if (components.empty()) return std::nullopt;
    std::string path;
    std::optional<rescue::Fd> folder =
        OpenFolder(std::vector<std::string_view>(components.begin(), components.end() - 1), path);
    if (!folder) return std::nullopt;
    Place place;
    place.folder = std::move(*folder);
    const std::optional<std::string> name = MatchName(place.folder.Get(), components.back());
    place.exists = name.has_value();
    place.name = name ? *name : std::string(components.back());
    place.path = Joined(path, place.name);
    if (place.exists &&
        fstatat(place.folder.Get(), place.name.c_str(), &place.status, AT_SYMLINK_NOFOLLOW) != 0)
        ThrowErrno(place.path);
    return place;
}

std::optional<Place> VolumeRoot::Find(std::string_view backslashPath) const {
    return Find(Components(backslashPath));
}

}  // namespace zorvane::rescue
