// The program's own types come first: several of their names are macros in <windows.h>.
#include "TestMachine.h"

#include "platform/AsciiText.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

// Spelled out here: inside the namespace, HKEY is the program's own type.
static const ::HKEY LocalMachine = HKEY_LOCAL_MACHINE;

namespace zorvane::testing {

const Texts UbrielFiles = {"C:\\windows\\system32\\ubr2.exe",   "C:\\windows\\system32\\hcsrss.dll",
                           "C:\\windows\\system32\\icsrss.dll", "C:\\ubr2.exe",
                           "C:\\windows\\icsrss.dll",           "C:\\windows\\system\\ubr2.exe"};
const Texts DriverKeys = {"HKLM\\SYSTEM\\ControlSet001\\Enum\\Root\\LEGACY_UBR2DRV",
                          "HKLM\\SYSTEM\\ControlSet001\\Services\\ubr2drv",
                          "HKLM\\SYSTEM\\ControlSet002\\Enum\\Root\\LEGACY_UBR2DRV",
                          "HKLM\\SYSTEM\\ControlSet002\\Services\\ubr2drv"};

namespace {

struct OwnedKey {
    ::HKEY key = nullptr;
    ~OwnedKey() {
        if (key) ::RegCloseKey(key);
    }
};

bool OpenKey(const std::string& key, OwnedKey& opened, bool create = false) {
    EXPECT_TRUE(key.starts_with("HKLM\\")) << key;
    const std::string path = key.substr(5);
    return (create ? ::RegCreateKeyExA(LocalMachine, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                       nullptr, &opened.key, nullptr)
                   : ::RegOpenKeyExA(LocalMachine, path.c_str(), 0, KEY_ALL_ACCESS, &opened.key)) ==
           ERROR_SUCCESS;
}

// The program a command line starts: a quoted first word, or everything up to the first blank.
std::string ProgramOf(const std::string& command) {
    const std::size_t start = command.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    if (command[start] != '"')
        return command.substr(start, command.find_first_of(" \t", start) - start);
    const std::size_t end = command.find('"', start + 1);
    return command.substr(start + 1, end == std::string::npos ? end : end - start - 1);
}

// Windows carries out MoveFileEx's delayed deletions early in the start (the program registers
// no delayed renames).
void CarryOutPendingDeletions() {
    for (const std::string& operation : PendingOperations())
        if (operation.find(" -> ") == std::string::npos) ::DeleteFileA(operation.c_str());
    EraseValue(SessionManager, "PendingFileRenameOperations");
}

// The boot.ini entry that the loader starts: the one "default=" names, else the first.
std::optional<std::string> DefaultEntry() {
    const std::optional<std::string> bootIni = FileBytes(BootIni);
    if (!bootIni) return std::nullopt;
    std::string defaultPath, first, chosen;
    bool entries = false;
    for (std::size_t at = 0; at < bootIni->size();) {
        const std::size_t end = std::min(bootIni->find('\n', at), bootIni->size());
        std::string line = bootIni->substr(at, end - at);
        at = end + 1;
        if (line.ends_with('\r')) line.pop_back();
        const std::string upper = AsciiUpper(line);
        if (line.starts_with('[')) entries = upper.starts_with("[OPERATING SYSTEMS]");
        if (!entries && upper.starts_with("DEFAULT=")) defaultPath = upper.substr(8);
        if (!entries || line.starts_with('[') || line.find('=') == std::string::npos) continue;
        if (first.empty()) first = line;
        if (chosen.empty() && upper.substr(0, upper.find('=')) == defaultPath) chosen = line;
    }
    return chosen.empty() ? first : chosen;
}

// The control set that HKLM\SYSTEM\Select "Default" names for the next start.
std::string ControlSetOfNextStart() {
    const std::optional<std::string> chosen = ValueOf("HKLM\\SYSTEM\\Select", "Default");
    DWORD number = 1;
    if (chosen && chosen->size() == 4) std::memcpy(&number, chosen->data(), 4);
    char name[32];
    std::snprintf(name, sizeof name, "HKLM\\SYSTEM\\ControlSet%03lu", number);
    return name;
}

// `command` in the OEM code page or the ANSI one; the program runs with it in the ANSI one.
void RunCommand(TestWindows& w, Start& start, const std::string& command, bool oem) {
    std::string line = command;
    if (oem) ::OemToCharA(command.c_str(), line.data());
    const std::string program = ProgramOf(line);
    const DWORD attributes = ::GetFileAttributesA(program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        start.shellRuns = false;
        return;
    }
    start.commands.push_back(command);
    start.runs.push_back(RunProgram(w, line, "", program));
}

}  // namespace

// --- files ---------------------------------------------------------------------------------------

void PutFile(const std::string& path, const std::string& bytes, DWORD attributes) {
    Erase(path);
    for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    if (attributes) ::SetFileAttributesA(path.c_str(), attributes);
}

namespace {
std::string ReadAll(HANDLE file) {
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    ::CloseHandle(file);
    return bytes;
}
}  // namespace

std::optional<std::string> FileBytes(const std::string& path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    return ReadAll(file);
}

bool Exists(const std::string& path) {
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

DWORD AttributesOf(const std::string& path) {
    return ::GetFileAttributesA(path.c_str());
}

void Erase(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileA(path.c_str());
        return;
    }
    for (const auto& [name, entry] : FolderListing(path)) Erase(path + "\\" + name);
    ::RemoveDirectoryA(path.c_str());
}

std::map<std::string, std::string> FolderListing(const std::string& folder) {
    std::map<std::string, std::string> entries;
    ::WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        char text[80];
        std::snprintf(text, sizeof text, "attributes 0x%lX", found.dwFileAttributes);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            std::snprintf(text + std::strlen(text), 60, ", %lu bytes, written %08lX%08lX",
                          found.nFileSizeLow, found.ftLastWriteTime.dwHighDateTime,
                          found.ftLastWriteTime.dwLowDateTime);
        entries[AsciiUpper(name)] = text;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return entries;
}

void PutDacl(const std::string& path, std::optional<DWORD> rights, BYTE flags) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY;
    PSID administrators = nullptr, everyone = nullptr;
    ::AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &administrators);
    ::AllocateAndInitializeSid(&world, 1, 0, 0, 0, 0, 0, 0, 0, 0, &everyone);
    DWORD buffer[128];
    const auto acl = reinterpret_cast<::PACL>(buffer);
    ::InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, administrators);
    if (rights) ::AddAccessAllowedAceEx(acl, ACL_REVISION, flags, *rights, everyone);
    ::SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, rights ? acl : nullptr, FALSE);
    EXPECT_TRUE(::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor)) << path;
    ::FreeSid(administrators);
    ::FreeSid(everyone);
}

void SubstDrive(const std::string& drive, const std::string& folder) {
    EXPECT_TRUE(::DefineDosDeviceA(0, drive.c_str(), folder.c_str())) << drive;
}

HeldFile::HeldFile(const std::string& path)
    : handle_(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
}

HeldFile::~HeldFile() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
}

// --- registry ----------------------------------------------------------------------------------

void PutValue(const std::string& key, const std::string& name, const std::string& data,
              DWORD type) {
    OwnedKey opened;
    ASSERT_TRUE(OpenKey(key, opened, true)) << key;
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    ::RegSetValueExA(opened.key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + (text ? 1 : 0)));
}

std::optional<std::string> ValueOf(const std::string& key, const std::string& name) {
    const auto values = KeyValues(key);
    const auto found = values.find(AsciiUpper(name));
    if (found == values.end()) return std::nullopt;
    std::string data = found->second.second;
    const DWORD type = found->second.first;
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.ends_with('\0')) data.pop_back();
    return data;
}

DWORD TypeOf(const std::string& key, const std::string& name) {
    const auto values = KeyValues(key);
    const auto found = values.find(AsciiUpper(name));
    return found == values.end() ? REG_NONE : found->second.first;
}

void EraseValue(const std::string& key, const std::string& name) {
    OwnedKey opened;
    if (OpenKey(key, opened)) ::RegDeleteValueA(opened.key, name.c_str());
}

void EraseKey(const std::string& key) {
    Texts subkeys;
    {
        OwnedKey opened;
        if (!OpenKey(key, opened)) return;
        char sub[256];
        for (DWORD i = 0; ::RegEnumKeyA(opened.key, i, sub, sizeof sub) == ERROR_SUCCESS; ++i)
            subkeys.push_back(sub);
    }
    for (const std::string& sub : subkeys) EraseKey(key + "\\" + sub);
    ::RegDeleteKeyA(LocalMachine, key.substr(5).c_str());
}

bool KeyExists(const std::string& key) {
    OwnedKey opened;
    return OpenKey(key, opened);
}

std::map<std::string, std::pair<DWORD, std::string>> KeyValues(const std::string& key) {
    std::map<std::string, std::pair<DWORD, std::string>> values;
    OwnedKey opened;
    DWORD nameMax = 0, dataMax = 0;
    if (!OpenKey(key, opened) ||
        ::RegQueryInfoKeyA(opened.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &nameMax, &dataMax, nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::string name(nameMax + 1, '\0'), data(dataMax, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = nameMax + 1, dataSize = dataMax, type = 0;
        if (::RegEnumValueA(opened.key, index, name.data(), &nameSize, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS)
            break;
        values[AsciiUpper(name.substr(0, nameSize))] = {type, data.substr(0, dataSize)};
    }
    return values;
}

Texts PendingOperations() {
    Texts operations;
    const std::string list = ValueOf(SessionManager, "PendingFileRenameOperations").value_or("");
    for (std::size_t at = 0; at < list.size() && list[at];) {
        const std::string from = list.c_str() + at;
        at += from.size() + 1;
        const std::string to = list.c_str() + std::min(at, list.size());
        at += to.size() + 1;
        operations.push_back(AsciiUpper(from.substr(from.starts_with("\\??\\") ? 4 : 0)) +
                             (to.empty() ? "" : " -> " + to));
    }
    return operations;
}

void ResetMachine() {
    for (const std::string& file : UbrielFiles) Erase(file);
    for (const std::string& file :
         {BootIni, Backup, NewBootIni, CommandFile, Driver, Probe, RunLog, OldRunLog, Copy})
        Erase(file);
    for (const std::string& key : DriverKeys) EraseKey(key);
    EraseKey(SafeBoot);
    EraseKey("HKLM\\SYSTEM\\ControlSet002\\Control\\SafeBoot");
    EraseValue("HKLM\\SYSTEM\\Select", "Default");
    EraseValue("HKLM\\SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice");
    char partition[MAX_PATH + 1] = {};  // as on Windows, where the loader's drive is named
    ::QueryDosDeviceA("C:", partition, MAX_PATH);
    PutValue("HKLM\\SYSTEM\\Setup", "SystemPartition", partition);
    PutValue(Winlogon, "Shell", "Explorer.exe");
    EraseValue(Winlogon, "AutoAdminLogon");
    EraseValue(Winlogon, "OLDAutoAdminLogon");
    EraseValue(Winlogon, "DefaultPassword");
    EraseValue(RunOnce, "Zorvane");
    EraseValue(SessionManager, "PendingFileRenameOperations");
    PutFile(BootIni, XpBootIni,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    // Where a run starts by default (the restart may run it); left as it is when already there, so
    // that a sweep's snapshot of the machine does not see it written anew.
    if (FileBytes("C:\\zorvane.exe") != "MZ") PutFile("C:\\zorvane.exe", "MZ");
}

void PlantThreats() {
    PutValue(Winlogon, "Shell", "Explorer.exe ubr2.exe");
    for (const std::string& file : UbrielFiles) PutFile(file, "MZ");
    PutFile(Driver, "MZ");
    // A driver that has run has subkeys under both of its keys.
    for (const std::string& key : DriverKeys) {
        PutValue(key, "Zv", "1");
        for (const std::string& sub :
             key.ends_with("ubr2drv") ? Texts{"\\Enum", "\\Security"} : Texts{"\\0000\\Control"})
            PutValue(key + sub, "Zv", "1");
    }
}

// --- the program -------------------------------------------------------------------------------

Process::Process(Version version, std::string modulePath) {
    w.SetVersion(version);
    w.SetProcess("zorvane.exe", std::move(modulePath));
    w.SetSystemDrive("C:");
    ComputeHostFacts();
    TakeIoError();
    w.ClearJournal();
}

RunResult RunProgram(TestWindows& w, const std::string& commandLine, const std::string& input,
                     const std::string& modulePath, bool outputToPipe) {
    const std::string in = "C:\\windows\\temp\\zv-in", out = "C:\\windows\\temp\\zv-out",
                      err = "C:\\windows\\temp\\zv-err";
    PutFile(in, input);
    const auto open = [](const std::string& path, DWORD access, DWORD disposition) {
        return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0,
                             nullptr);
    };
    HANDLE handles[] = {open(in, GENERIC_READ, OPEN_EXISTING),
                        open(out, GENERIC_WRITE, CREATE_ALWAYS),
                        open(err, GENERIC_WRITE, CREATE_ALWAYS)},
           pipe = nullptr;
    if (outputToPipe) {  // the pipe's buffer takes a whole run's output
        ::CloseHandle(handles[1]);
        ::CreatePipe(&pipe, &handles[1], nullptr, 1 << 16);
    }
    w.SetStdHandles(handles[0], handles[1], handles[2]);
    w.SetProcess(commandLine, modulePath);
    RunResult result{RunZorvane(w), "", ""};
    for (const HANDLE handle : handles) ::CloseHandle(handle);
    result.out = pipe ? ReadAll(pipe) : FileBytes(out).value_or("");
    result.err = FileBytes(err).value_or("");
    return result;
}

Start Restart(TestWindows& w, const std::function<void()>& normalStart) {
    EXPECT_EQ(w.RestorePower(), 0) << "handles left open";
    CarryOutPendingDeletions();
    Start start;
    const std::optional<std::string> entry = DefaultEntry();
    if (!entry) return start;
    if (AsciiUpper(*entry).find(SW) == std::string::npos) {
        start.mode = Start::Normal;
        if (normalStart) normalStart();
        // Each RunOnce entry of this start is taken away before it runs; what the runs write
        // there is for the next start.
        for (const auto& [name, value] : KeyValues(RunOnce)) {
            EraseValue(RunOnce, name);
            RunCommand(w, start, value.second.c_str(), false);
        }
        return start;
    }
    start.mode = Start::SafeMode;
    start.shell = ValueOf(ControlSetOfNextStart() + "\\Control\\SafeBoot", "AlternateShell")
                      .value_or("cmd.exe");
    if (AsciiUpper(start.shell) == "CMD.EXE") return start;
    const std::optional<std::string> commands = FileBytes(start.shell);
    if (!commands) {
        start.shellRuns = false;
        return start;
    }
    // cmd.exe reads a command file in the OEM code page. (Its metacharacters are left to the
    // tests that run cmd.exe itself.)
    RunCommand(w, start, commands->substr(0, commands->find_first_of("\r\n")), true);
    return start;
}

std::string ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Exception& error) {
        return std::string(error.ClassName()) + ": " + error.Message();
    }
    return "";
}

}  // namespace zorvane::testing
