// The two roots a rescue works on: the Windows volume, and the loader's partition (drive C:,
// where boot.ini lives) when it is mounted elsewhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "rescue/VolumePath.h"

namespace zorvane::rescue {

enum class RootKind { Volume, SystemPartition };

struct Volumes {
    VolumeRoot volume;
    std::optional<VolumeRoot> systemPartition;

    // The root that holds "c:\" and boot.ini: the system partition when given, else the volume.
    RootKind DriveC() const {
        return systemPartition ? RootKind::SystemPartition : RootKind::Volume;
    }
    const VolumeRoot& Of(RootKind kind) const {
        return kind == RootKind::SystemPartition ? *systemPartition : volume;
    }
    // How an item is named to the user: relative to the volume, or under the partition's path.
    std::string Shown(RootKind kind, const std::string& path) const {
        return kind == RootKind::Volume ? path : systemPartition->Path() + "/" + path;
    }
};

inline std::string_view RootName(RootKind kind) {
    return kind == RootKind::Volume ? "volume" : "system-partition";
}

}  // namespace zorvane::rescue
