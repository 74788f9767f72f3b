#include "rescue/Installations.h"

namespace zorvane::rescue {

namespace {

constexpr std::size_t RootEntryLimit = 100'000;

bool HoldsHive(const VolumeRoot& volume, const std::string& folder, std::string_view hive) {
    const std::optional<Place> place = volume.Find({folder, "system32", "config", hive});
    return place && place->IsRegularFile();
}

}  // namespace

std::vector<std::string> FindInstallations(const VolumeRoot& volume) {
    std::vector<std::string> found;
    for (const std::string& name : ListFolder(volume.Fd(), RootEntryLimit)) {
        try {
            if (HoldsHive(volume, name, "SYSTEM") && HoldsHive(volume, name, "SOFTWARE"))
                found.push_back(name);
        } catch (const RescueError&) {
            // A link, a file, or a folder that cannot be read: not an installation to look at.
        }
    }
    return found;
}

}  // namespace zorvane::rescue
