#include "rescue/Refusals.h"

#include <fcntl.h>
#include <sys/statvfs.h>

#include "rescue/Text.h"

namespace zorvane::rescue {

namespace {

bool ReadOnly(const VolumeRoot& root) {
    struct statvfs status {};
    return fstatvfs(root.Fd(), &status) == 0 && (status.f_flag & ST_RDONLY) != 0;
}

// hiberfil.sys begins with one of these while it holds a memory image to resume from.
bool Hibernated(const VolumeRoot& volume) {
    const std::optional<Place> place = volume.Find("hiberfil.sys");
    if (!place || !place->IsRegularFile()) return false;
    const Fd fd(
        openat(place->folder.Get(), place->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) ThrowErrno("hiberfil.sys");
    const std::string head = ReadPrefix(fd.Get(), 4);
    for (const char* signature : {"hibr", "HIBR", "wake", "WAKE", "RSTR"})
        if (head == signature) return true;
    return false;
}

}  // namespace

std::optional<std::string> VolumeRefusal(const Volumes& volumes) {
    if (ReadOnly(volumes.volume) || (volumes.systemPartition && ReadOnly(*volumes.systemPartition)))
        return "the volume is mounted read-only";
    if (Hibernated(volumes.volume))
        return "Windows is hibernated or was shut down with fast startup (hiberfil.sys)";
    return std::nullopt;
}

std::optional<std::string> ChosenInstallation(const std::vector<std::string>& installations,
                                              const std::string& named, std::string& refusal) {
    if (!named.empty()) {
        for (const std::string& folder : installations)
            if (SameName(folder, named)) return folder;
        refusal = "no Windows installation named " + named;
        return std::nullopt;
    }
    if (installations.size() == 1) return installations.front();
    if (installations.empty()) {
        refusal = "no Windows installation on the volume";
        return std::nullopt;
    }
    refusal = "several Windows installations: name one with --windows (";
    for (std::size_t i = 0; i < installations.size(); ++i)
        refusal += (i == 0 ? "" : ", ") + installations[i];
    refusal += ")";
    return std::nullopt;
}

}  // namespace zorvane::rescue
