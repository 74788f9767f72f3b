#include "platform/HostFacts.h"

#include "platform/AsciiText.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

bool isNTPlatform = false;
bool isWindowsNT4 = false;
char systemDriveLetter = 'C';
bool startsFromBootIni = false;
std::string versionText;
constexpr DWORD FirstBootManagerVersion = 6;  // Windows Vista

constexpr DWORD OsVersionInfoSize = 148;  // the ANSI record; NT refuses any other size
constexpr DWORD EnvironmentBufferSize = 250;

// Only the platform and the major version count: every NT 4.0 service pack is NT 4.0. A failing
// GetVersionExA leaves the record's fields undefined; the major version that GetVersion gave
// (its low byte) answers then, so that NT 4.0, which has no Safe Mode, is never sent down the
// Safe Mode path (its loader would ignore the switch and the cure would never run).
bool ComputeIsWindowsNT4(DWORD version) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = OsVersionInfoSize;
    if (!Windows().GetVersionExA(&info)) return (version & 0xFFu) == 4;
    info.szCSDVersion[sizeof info.szCSDVersion - 1] = 0;
    if (info.szCSDVersion[0] != 0) versionText += std::string(" ") + info.szCSDVersion;
    return info.dwPlatformId == VerPlatformWin32Nt && info.dwMajorVersion == 4;
}

// Major and minor version are GetVersion's low bytes; the NT family has the build above them.
std::string VersionNumbersText(DWORD version, bool nt) {
    std::string text = nt ? "NT " : "95/98/ME ";
    text += DecimalText(version & 0xFFu);
    text += '.';
    text += DecimalText(version >> 8 & 0xFFu);
    if (nt) {
        text += " build ";
        text += DecimalText(version >> 16);
    }
    return text;
}

// The first byte of "SystemDrive", used as it is. "C" when the variable is absent or empty, the
// call fails, or the value does not fit (the call then delivers nothing and answers the size
// it would need, which is at least the buffer's size).
char ComputeSystemDriveLetter() {
    char value[EnvironmentBufferSize] = {};
    const DWORD length =
        Windows().GetEnvironmentVariableA("SystemDrive", value, EnvironmentBufferSize);
    if (length == 0 || length >= EnvironmentBufferSize || value[0] == 0) return 'C';
    return value[0];
}

}  // namespace

void ComputeHostFacts() {
    const DWORD version = Windows().GetVersion();
    isNTPlatform = (version & 0x80000000u) == 0;  // Windows 95, 98 and ME set the highest bit
    versionText = VersionNumbersText(version, isNTPlatform);
    isWindowsNT4 = isNTPlatform && ComputeIsWindowsNT4(version);
    systemDriveLetter = ComputeSystemDriveLetter();
    // The shared data page is there on the NT family only.
    startsFromBootIni = isNTPlatform && (version & 0xFFu) < FirstBootManagerVersion &&
                        Windows().SharedDataMajorVersion() < FirstBootManagerVersion;
}

bool IsNTPlatform() {
    return isNTPlatform;
}

bool IsWindowsNT4() {
    return isWindowsNT4;
}

char SystemDriveLetter() {
    return systemDriveLetter;
}

bool StartsFromBootIni() {
    return startsFromBootIni;
}

bool RunsUnderWow64() {
    BOOL wow64 = 0;
    return Windows().IsWow64Process(Windows().GetCurrentProcess(), &wow64) && wow64;
}

const std::string& WindowsVersionText() {
    return versionText;
}

std::string DriveRootedPath(std::string_view suffix) {
    std::string path(1, systemDriveLetter);
    path += suffix;
    return path;
}

}  // namespace zorvane
