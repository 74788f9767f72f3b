// The states of a volume in which a cure would do harm, so that it changes nothing at all.
#pragma once

#include <optional>
#include <string>

#include "rescue/Volumes.h"

namespace zorvane::rescue {

// The reason a cure of this volume must not start, before anything is looked at in detail:
// a read-only mount, or a hibernated Windows (its memory image would bring back the old state
// of the volume, and Windows would overwrite the cure when it resumes).
std::optional<std::string> VolumeRefusal(const Volumes& volumes);

// The installation to cure: the one named, or the only one. Sets `refusal` otherwise.
std::optional<std::string> ChosenInstallation(const std::vector<std::string>& installations,
                                              const std::string& named, std::string& refusal);

}  // namespace zorvane::rescue
