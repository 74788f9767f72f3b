// The fresh machine, the call journal and failure injection.
#include <utility>

#include "platform/AsciiText.h"
#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

std::string UpperAscii(std::string_view text) {
    return zorvane::AsciiUpper(text);
}

namespace {

const char* const Winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

}  // namespace

const char* SimWindows::XpBootIni() {
    return "[boot loader]\r\n"
           "timeout=30\r\n"
           "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
           "[operating systems]\r\n"
           "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
           "/noexecute=optin /fastdetect\r\n";
}

SimWindows::SimWindows() : core_(std::make_unique<Core>()) {
    for (const char* device : {"NUL", "CON", "AUX", "PRN"}) files.AddCharacterDevice(device);
    core_->streams[0].handle = 1010;  // apart from the program's own handles, which count from 1
    core_->streams[1].handle = 1011;
    core_->streams[2].handle = 1012;

    UseSystemDrive('C');
    files.AddFile("C:\\zorvane.exe", "MZ");

    registry.SetString(Winlogon, "Shell", "Explorer.exe");
    registry.SetString(Winlogon, "Userinit", "C:\\WINDOWS\\system32\\userinit.exe,");
    registry.SetString(Winlogon, "AutoAdminLogon", "0");
    const std::string safeBoot = "HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot";
    registry.SetString(safeBoot, "AlternateShell", "cmd.exe");
    registry.AddKey(safeBoot + "\\Minimal");
    registry.AddKey(safeBoot + "\\Network");
    registry.AddKey("HKLM\\SYSTEM\\ControlSet001\\Control\\Session Manager");
    for (const char* set : {"ControlSet001", "ControlSet002"}) {
        registry.AddKey(std::string("HKLM\\SYSTEM\\") + set + "\\Enum\\Root");
        registry.AddKey(std::string("HKLM\\SYSTEM\\") + set + "\\Services");
    }
    registry.AddKey("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    registry.AddKey("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    registry.AddKey("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");

    SetEnv("OS", "Windows_NT");
    SetEnv("ComSpec", "C:\\WINDOWS\\system32\\cmd.exe");
    SetEnv("Path", "C:\\WINDOWS\\system32;C:\\WINDOWS");

    StartProcess("zorvane.exe");
}

SimWindows::~SimWindows() = default;

void SimWindows::UseSystemDrive(char letter) {
    const std::string drive = std::string(1, letter) + ":";
    const std::string windows = drive + "\\WINDOWS";
    files.AddVolume(letter);
    files.AddDirectory(windows + "\\system");
    files.AddFile(windows + "\\explorer.exe", "MZ");
    files.AddFile(windows + "\\system32\\cmd.exe", "MZ");
    files.AddFile(windows + "\\system32\\userinit.exe", "MZ");
    files.AddFile(drive + "\\boot.ini", XpBootIni(),
                  zorvane::FileAttributeHidden | zorvane::FileAttributeSystem);
    SetEnv("SystemDrive", drive);
    SetEnv("SystemRoot", windows);
    SetEnv("windir", windows);
    SetWindowsDirectory(windows);
    SetSystemDirectory(windows + "\\system32");
}

void SimWindows::SetWindowsDirectory(std::string path) {
    core_->windowsDirectory = std::move(path);
}

void SimWindows::SetSystemDirectory(std::string path) {
    core_->systemDirectory = std::move(path);
}

// --- journal and failure injection ---------------------------------------------------------

bool SimWindows::Enter(const char* name, std::vector<std::string> args) {
    const DWORD code = recorder_.Record(name, std::move(args));
    if (code == 0) return false;
    lastError_ = code;
    return true;
}

BOOL SimWindows::Answer(DWORD failure) {
    if (failure == 0) return TRUE;
    lastError_ = failure;
    return FALSE;
}

void SimWindows::EnterInfallible(const char* name, std::vector<std::string> args) {
    recorder_.Record(name, std::move(args));
}

LONG SimWindows::EnterRegistry(const char* name, std::vector<std::string> args) {
    return static_cast<LONG>(recorder_.Record(name, std::move(args)));
}

std::uintptr_t SimWindows::NewHandle() {
    return core_->nextHandle++;
}

void SimWindows::FailCall(const std::string& name, int occurrence, DWORD errorCode) {
    recorder_.FailCall(name, occurrence, errorCode);
}

void SimWindows::FailCallAt(std::size_t position, DWORD errorCode) {
    recorder_.FailCallAt(position, errorCode);
}

void SimWindows::PowerCutAfter(std::size_t position) {
    recorder_.PowerCutAfter(position);
}

const std::vector<Call>& SimWindows::Journal() const {
    return recorder_.Journal();
}

std::vector<std::string> SimWindows::JournalNames() const {
    std::vector<std::string> names;
    for (const Call& call : recorder_.Journal()) names.push_back(call.name);
    return names;
}

std::vector<std::string> SimWindows::JournalTexts() const {
    std::vector<std::string> texts;
    for (const Call& call : recorder_.Journal()) texts.push_back(call.Text());
    return texts;
}

void SimWindows::ClearJournal() {
    recorder_.ClearJournal();
}

std::size_t SimWindows::CallCount() const {
    return recorder_.CallCount();
}

void SimWindows::SetLastError(DWORD code) {
    lastError_ = code;
}

}  // namespace sim
