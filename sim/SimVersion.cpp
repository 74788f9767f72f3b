// Version answers: GetVersion and GetVersionExA for 95, 98, ME, NT 3.51, NT 4.0, 2000 and XP.
#include <cstring>
#include <string>

#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

namespace {

struct VersionFacts {
    DWORD major, minor, build, platform;
};

VersionFacts FactsOf(WindowsVersion version) {
    switch (version) {
        case WindowsVersion::Win95:
            return {4, 0, 950, VerPlatformWin32Windows};
        case WindowsVersion::Win98:
            return {4, 10, 1998, VerPlatformWin32Windows};
        case WindowsVersion::WinMe:
            return {4, 90, 3000, VerPlatformWin32Windows};
        case WindowsVersion::Nt351:
            return {3, 51, 1057, VerPlatformWin32Nt};
        case WindowsVersion::Nt4:
            return {4, 0, 1381, VerPlatformWin32Nt};
        case WindowsVersion::Win2000:
            return {5, 0, 2195, VerPlatformWin32Nt};
        case WindowsVersion::Xp:
            break;
    }
    return {5, 1, 2600, VerPlatformWin32Nt};
}

constexpr DWORD InfoSize = 148;    // OSVERSIONINFOA
constexpr DWORD InfoExSize = 156;  // OSVERSIONINFOEXA

}  // namespace

void SimWindows::SetVersion(WindowsVersion version, int servicePack) {
    core_->version = version;
    core_->servicePack = servicePack;
}

DWORD SimWindows::GetVersion() {
    EnterInfallible("GetVersion", {});
    const VersionFacts facts = FactsOf(core_->version);
    const DWORD low = facts.major | (facts.minor << 8);
    if (facts.platform == VerPlatformWin32Nt) return low | (facts.build << 16);
    // Windows 9x: bit 31 set; the high word holds no build number (98 gives 0xC0000A04).
    return 0xC0000000u | low;
}

BOOL SimWindows::GetVersionExA(OSVERSIONINFOA* info) {
    if (Enter("GetVersionExA", {info == nullptr ? "NULL" : Hex(info->dwOSVersionInfoSize)})) {
        return FALSE;
    }
    if (info == nullptr) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    const Core& core = *core_;
    // OSVERSIONINFOEXA came with NT 4.0 Service Pack 6.
    const bool exKnown = core.version == WindowsVersion::Win2000 ||
                         core.version == WindowsVersion::Xp ||
                         (core.version == WindowsVersion::Nt4 && core.servicePack >= 6);
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != InfoSize && !(size == InfoExSize && exKnown)) {
        lastError_ = code::InsufficientBuffer;
        return FALSE;
    }
    const VersionFacts facts = FactsOf(core.version);
    info->dwMajorVersion = facts.major;
    info->dwMinorVersion = facts.minor;
    info->dwBuildNumber = facts.platform == VerPlatformWin32Nt
                              ? facts.build
                              : (facts.major << 24) | (facts.minor << 16) | facts.build;
    info->dwPlatformId = facts.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (facts.platform == VerPlatformWin32Nt && core.servicePack > 0) {
        const std::string pack = "Service Pack " + std::to_string(core.servicePack);
        std::memcpy(info->szCSDVersion, pack.c_str(), pack.size());
    }
    if (size == InfoExSize) {
        // wServicePackMajor, wServicePackMinor, wSuiteMask, wProductType, wReserved.
        unsigned char extra[8] = {static_cast<unsigned char>(core.servicePack),
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  1 /* VER_NT_WORKSTATION */,
                                  0};
        std::memcpy(reinterpret_cast<unsigned char*>(info) + InfoSize, extra, sizeof extra);
    }
    return TRUE;
}

}  // namespace sim
