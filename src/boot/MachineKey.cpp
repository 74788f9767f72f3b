#include "boot/MachineKey.h"

#include <string>

#include "boot/BootFiles.h"
#include "platform/Guarded.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr DWORD HighestControlSet = 999;  // the key names have three digits
constexpr std::string_view ShellValue = "AlternateShell";
constexpr std::string_view KeptShellValue = "OLDAlternateShell";

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
        if (control.OpenCurrentKeyReadOnly("\\SYSTEM\\CurrentControlSet\\Control") &&
            control.HasValue("SystemBootDevice"))
            device = control.GetString("SystemBootDevice");
    });
    char directory[MaxPath] = {};
    const UINT length = Windows().GetWindowsDirectoryA(directory, MaxPath);
    // "C:\WINDOWS": the loader's name holds only what follows the drive letter and its colon.
    if (device.empty() || length < 3 || length >= MaxPath || directory[1] != ':') return {};
    return device + std::string(directory + 2, length - 2);
}

std::string SystemPartitionDevice() {
    RegistryKey setup;
    if (Windows().RegOpenKeyExA(HkeyLocalMachine(), "SYSTEM\\Setup", 0, KeyQueryValue,
                                setup.Put()) != error::Success) {
        setup.Release();  // a failed open hands back nothing to close
        return {};
    }
    char device[MaxPath + 1] = {};  // a zero stays at the end whatever comes back
    DWORD type = RegNone;
    DWORD size = MaxPath;
    if (Windows().RegQueryValueExA(setup.Get(), "SystemPartition", nullptr, &type,
                                   reinterpret_cast<BYTE*>(device), &size) != error::Success ||
        (type != RegSz && type != RegExpandSz))
        device[0] = 0;
    return device;
}

void SetAlternateShell(std::string_view shell) {
    for (const std::string& key : SafeBootKeys()) {
        TRegistry safeBoot;
        OpenOrMakeMachineKey(safeBoot, key);
        if (!safeBoot.HasValue(KeptShellValue)) {
            const std::string found = safeBoot.GetText(ShellValue);
            if (!found.empty() && !IsProgramCommandFile(found))
                safeBoot.PutString(KeptShellValue, found);
        }
        safeBoot.PutString(ShellValue, shell);
    }
}

std::vector<std::string> PutBackAlternateShell(bool onlyFromTheProgram) {
    std::vector<std::string> commandFiles;
    for (const std::string& key : SafeBootKeys()) {
        const auto putBack = [&] {
            TRegistry safeBoot;
            std::string shell;
            if (onlyFromTheProgram) {
                safeBoot.SelectRoot(HkeyLocalMachine());
                if (!safeBoot.OpenCurrentKeyReadOnly(key)) return;
                shell = safeBoot.GetText(ShellValue);
                const bool kept = safeBoot.HasValue(KeptShellValue);
                if ((!kept && !IsProgramCommandFile(shell)) || !safeBoot.OpenCurrentKey(key, false))
                    return;
            } else {
                OpenOrMakeMachineKey(safeBoot, key);
                shell = safeBoot.GetText(ShellValue);
            }
            if (IsProgramCommandFile(shell)) {
                commandFiles.push_back(shell);
            } else if (onlyFromTheProgram) {
                // The shell is no longer the program's: the kept value is a leftover.
                safeBoot.DeleteValue(KeptShellValue);
                return;
            }
            const std::string kept = safeBoot.GetText(KeptShellValue);
            safeBoot.PutString(ShellValue, kept.empty() || IsProgramCommandFile(kept)
                                               ? DefaultAlternateShell
                                               : std::string_view(kept));
            // Put back, the kept value has served: left in place, a later scheduling would keep
            // it instead of the shell the user has then.
            safeBoot.DeleteValue(KeptShellValue);
        };
        if (onlyFromTheProgram) {
            Guarded(putBack);
        } else {
            putBack();
        }
    }
    return commandFiles;
}

void OpenOrMakeMachineKey(TRegistry& registry, std::string_view path) {
    registry.SelectRoot(HkeyLocalMachine());
    if (!registry.HasKey(path)) registry.MakeKey(path);
    registry.OpenCurrentKey(path, false);
}

}  // namespace zorvane
