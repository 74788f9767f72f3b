// boot.ini on the loader's partition, as an unfinished cure of zorvane.exe may have left it:
// with the Safe Mode switch on its entries, or saved as boot.ini.ZRVBACKUP.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rescue/VolumePath.h"

namespace zorvane::rescue {

struct FoundFile;

// The file's lines as the loader reads them: up to LF, every CR left out, up to a Ctrl-Z.
std::vector<std::string> BootIniLines(std::string_view content);
// The same lines without the Safe Mode switch at their ends, CR LF after each.
std::string WithoutSwitch(const std::vector<std::string>& lines);

// The content of boot.ini (read without following links); raises when it is unreadable or far
// larger than any boot.ini.
std::string ReadBootIni(const VolumeRoot& root, const FoundFile& file);
bool BootIniHasSwitch(const VolumeRoot& root, const FoundFile& file);

}  // namespace zorvane::rescue
