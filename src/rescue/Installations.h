// The Windows installations of a volume: each folder of its root that holds the hives
// system32\config\SYSTEM and SOFTWARE (WINDOWS, WINNT, or any other name).
#pragma once

#include <string>
#include <vector>

#include "rescue/VolumePath.h"

namespace zorvane::rescue {

// The folder names as spelt on the disk, in byte order. A folder that is a link, or that cannot
// be looked into, is no installation.
std::vector<std::string> FindInstallations(const VolumeRoot& volume);

}  // namespace zorvane::rescue
