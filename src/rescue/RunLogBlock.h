// The block a cure or an undo appends to Zorvane.log in the volume's root, in zorvane.exe's
// format (CR LF lines, "==== <local date and time> ...", "Exit code: N"), so that the machine
// keeps one history whichever program worked on it.
#pragma once

#include <optional>
#include <string>

#include "rescue/VolumePath.h"

namespace zorvane::rescue {

// `lines`: what the console showed, '\n'-separated. Answers "<log name>: <reason>" when the
// block is not on the disk: the run then is not recorded, and so not complete.
std::optional<std::string> AppendRunLog(const VolumeRoot& volume, const std::string& commandLine,
                                        const std::string& lines, int exitCode);

}  // namespace zorvane::rescue
