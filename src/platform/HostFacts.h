// Facts about the running system, computed once at start-up and then only read.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// In this order: IsNTPlatform, IsWindowsNT4 (only on NT), SystemDriveLetter.
void ComputeHostFacts();

bool IsNTPlatform();
bool IsWindowsNT4();
char SystemDriveLetter();

// The system drive letter followed by a suffix such as ":\boot.ini".
std::string DriveRootedPath(std::string_view suffix);

}  // namespace zorvane
