// The command line that starts this program again, as the command file and the run-once entry
// hold it.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// The program's own full path, then `options` (which begin with a blank). A path with a blank is
// put in double quotation marks: unquoted, cmd.exe and the run-once launcher would start
// "C:\Program" (or whatever a user planted there) instead of this program.
std::string OwnCommand(std::string_view options);

}  // namespace zorvane
