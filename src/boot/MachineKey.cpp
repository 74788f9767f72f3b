#include "boot/MachineKey.h"

#include <string>

#include "platform/Guarded.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr DWORD HighestControlSet = 999;  // the key names have three digits

// HKLM\SYSTEM\Select "Default"; 1 when it cannot be read as a number of a control set.
DWORD DefaultControlSet() {
    RegistryKey select;
    if (Windows().RegOpenKeyExA(HkeyLocalMachine(), "SYSTEM\\Select", 0, KeyQueryValue,
                                select.Put()) != error::Success) {
        select.Release();  // a failed open hands back nothing to close
        return 1;
    }
    DWORD type = RegNone;
    DWORD number = 0;
    DWORD size = sizeof number;
    const LONG status = Windows().RegQueryValueExA(select.Get(), "Default", nullptr, &type,
                                                   reinterpret_cast<BYTE*>(&number), &size);
    if (status != error::Success || type != RegDword || size != sizeof number) return 1;
    return number >= 1 && number <= HighestControlSet ? number : 1;
}

}  // namespace

std::vector<std::string> SafeBootKeys() {
    std::vector<std::string> keys{std::string(SafeBootKey)};
    const DWORD set = DefaultControlSet();
    if (set != 1) {
        std::string key = "\\SYSTEM\\ControlSet000\\Control\\SafeBoot";
        for (DWORD at = 20, number = set; at >= 18; --at, number /= 10)
            key[at] = static_cast<char>('0' + number % 10);
        keys.push_back(key);
    }
    return keys;
}

std::string RunningSystemArcPath() {
    std::string device;
    Guarded([&] {
        TRegistry control;
        control.SelectRoot(HkeyLocalMachine());
        if (control.OpenCurrentKey("\\SYSTEM\\CurrentControlSet\\Control", false) &&
            control.HasValue("SystemBootDevice"))
            device = control.GetString("SystemBootDevice");
    });
    char directory[MaxPath] = {};
    const UINT length = Windows().GetWindowsDirectoryA(directory, MaxPath);
    // "C:\WINDOWS": the loader's name holds only what follows the drive letter and its colon.
    if (device.empty() || length < 3 || length >= MaxPath || directory[1] != ':') return {};
    return device + std::string(directory + 2, length - 2);
}

void SetAlternateShell(std::string_view shell) {
    for (const std::string& key : SafeBootKeys()) {
        TRegistry safeBoot;
        OpenOrMakeMachineKey(safeBoot, key);
        safeBoot.PutString("AlternateShell", shell);
    }
}

void OpenOrMakeMachineKey(TRegistry& registry, std::string_view path) {
    registry.SelectRoot(HkeyLocalMachine());
    if (!registry.HasKey(path)) registry.MakeKey(path);
    registry.OpenCurrentKey(path, false);
}

}  // namespace zorvane
