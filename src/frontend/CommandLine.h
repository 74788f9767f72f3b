// The program's arguments, split from GetCommandLineA as the program's runtime always did.
#pragma once

#include <string>

namespace zorvane {

int ArgumentCount();
// 0: the full path of the program's own file; 1..ArgumentCount(): the arguments; else empty.
std::string ArgumentAt(int index);

}  // namespace zorvane
