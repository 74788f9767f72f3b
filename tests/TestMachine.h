// The simulated machine as the tests use it: a started process of the program for calling single
// operations, the paths and keys that a cure touches, and whole runs of the program.
#pragma once

#include <gtest/gtest.h>

#include "frontend/RunFlow.h"
#include "platform/Exceptions.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "sim/SimWindows.h"

namespace zorvane::testing {

using namespace std::string_literals;  // journal texts hold zero bytes
using Texts = std::vector<std::string>;
using sim::SimWindows;
using enum sim::WindowsVersion;

#define SW " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"
inline const std::string BootIni = "C:\\boot.ini", Backup = "C:\\boot.ini.ZRVBACKUP",
                         CommandFile = "C:\\Zorvane.cmd", NewBootIni = "C:\\boot.ini.ZRVNEW",
                         SafeBoot = "HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot",
                         Winlogon =
                             "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         RunOnce = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

using Arrange = std::function<void(SimWindows&)>;
inline Arrange Fail(const char* call, int occurrence, DWORD code) {
    return [=](SimWindows& m) { m.FailCall(call, occurrence, code); };
}
inline Arrange Deny(std::string key) {
    return [=](SimWindows& m) { m.registry.DenyAccess(key); };
}

// A process of the program on a fresh machine, its host facts computed, the journal empty.
struct Host {
    SimWindows m;
    WindowsScope scope{m};
    explicit Host(std::string modulePath = "C:\\zorvane.exe", sim::WindowsVersion version = Xp) {
        m.SetVersion(version);
        m.StartProcess("zorvane.exe", std::move(modulePath));
        SystemDrive('C');
        TakeIoError();
    }
    // "SystemDrive" on another volume; the Windows directories stay on C:.
    void SystemDrive(char letter) {
        m.files.AddVolume(letter);
        m.SetEnv("SystemDrive", std::string(1, letter) + ":");
        ComputeHostFacts();
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
    // The journal of the named calls (all when none is named), one a line, handles left out.
    std::string Calls(const std::set<std::string>& names = {}) const {
        std::string texts;
        for (const sim::Call& call : m.Journal()) {
            if (!names.empty() && !names.contains(call.name)) continue;
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

// Both threats as they live on an infected machine: the shell hook, and the driver file that
// the driver holds open and, unless `driverHides` is false, hides from listings.
inline void Infect(SimWindows& m, bool driverHides = true) {
    m.registry.SetString(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    const Texts driver{"C:\\ubr2drv.sys"};
    m.InstallHidingDriver(driver[0], driverHides ? driver : Texts{}, driver);
}

// One whole process of the program on `m`.
struct RunResult {
    int exitCode;
    std::string out, err;
};
inline RunResult RunProgram(SimWindows& m, std::string commandLine, std::string input = "",
                            std::string modulePath = "C:\\zorvane.exe") {
    m.StartProcess(std::move(commandLine), std::move(modulePath), std::move(input));
    const int exitCode = RunZorvane(m);
    RunResult result{exitCode, m.Stdout(), m.Stderr()};
    m.EndProcess();
    return result;
}

}  // namespace zorvane::testing
