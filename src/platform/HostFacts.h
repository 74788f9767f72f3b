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
// Windows NT up to XP and Server 2003 start through NTLDR and its boot.ini; Vista and later
// start through their own boot manager and never read a boot.ini. Compatibility mode ("Windows
// XP") makes the version calls report an older system; the kernel's own major version tells.
bool StartsFromBootIni();
// 64-bit Windows runs the program under WoW64, which shows it another system folder and other
// registry keys than the ones Windows starts from. Asked when needed, not at start-up.
bool RunsUnderWow64();
// The version as the program sees it, for the run log: "NT 5.1 build 2600 Service Pack 2", or
// "95/98/ME 4.10" for the Windows 95 family.
const std::string& WindowsVersionText();

// The system drive letter followed by a suffix such as ":\boot.ini".
std::string DriveRootedPath(std::string_view suffix);

}  // namespace zorvane
