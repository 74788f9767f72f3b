// A simulated machine with a started process, for calling boot-control operations directly.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "platform/Exceptions.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "sim/SimWindows.h"

namespace zorvane::testing {

using namespace std::string_literals;  // journal texts hold zero bytes

#define SW " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"
inline const std::string BootIni = "C:\\boot.ini", Backup = "C:\\boot.ini.ZRVBACKUP",
                         CommandFile = "C:\\Zorvane.cmd", NewBootIni = "C:\\boot.ini.ZRVNEW",
                         SafeBoot = "HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot",
                         Winlogon =
                             "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         RunOnce = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

using Arrange = std::function<void(sim::SimWindows&)>;
inline Arrange Fail(const char* call, int occurrence, DWORD code) {
    return [=](sim::SimWindows& m) { m.FailCall(call, occurrence, code); };
}
inline Arrange Deny(std::string key) {
    return [=](sim::SimWindows& m) { m.registry.DenyAccess(key); };
}

struct BootHost {
    sim::SimWindows m;
    WindowsScope scope{m};
    explicit BootHost(std::string modulePath = "C:\\zorvane.exe",
                      sim::WindowsVersion version = sim::WindowsVersion::Xp) {
        m.SetVersion(version);
        m.StartProcess("zorvane.exe", std::move(modulePath));
        ComputeHostFacts();
        TakeIoError();
        m.ClearJournal();
    }
    std::string Value(const std::string& key, const char* name) const {
        return m.registry.GetString(key, name).value_or("-");
    }
    // What the cure arrangements left: shell, command file, boot.ini against `original`, backup.
    std::string State(const std::string& original) const {
        const std::string ini = !m.files.Exists(BootIni)               ? "missing"
                                : m.files.Content(BootIni) == original ? "same"
                                                                       : "changed";
        return Value(SafeBoot, "AlternateShell") + (m.files.Exists(CommandFile) ? " cmd " : " ") +
               ini + (m.files.Exists(Backup) ? " backup" : "") +
               " logon=" + Value(Winlogon, "AutoAdminLogon") +
               " restarts=" + std::to_string(m.RestartRequests().size());
    }
    // The journal of the named calls, one a line, handles left out.
    std::string Calls(const std::set<std::string>& names) const {
        std::string texts;
        for (const sim::Call& call : m.Journal()) {
            if (!names.contains(call.name)) continue;
            texts += call.name;
            for (const std::string& arg : call.args)
                if (arg.empty() || arg[0] != 'h') texts += " " + arg;
            texts += "\n";
        }
        return texts;
    }
};

// "Class: message" of the program's error that `operation` raised; empty when none.
inline std::string ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Exception& error) {
        return std::string(error.ClassName()) + ": " + error.Message();
    }
    return "";
}

}  // namespace zorvane::testing
