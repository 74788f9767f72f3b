// The Wine machine as the tests use it: its files and registry reached directly, processes of
// the program run in the test's own process through TestWindows, and restarts played as Windows
// makes them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TestWindows.h"
#include "frontend/RunFlow.h"
#include "platform/Exceptions.h"
#include "platform/HostFacts.h"
#include "platform/IoError.h"
#include "platform/RealWindows.h"

namespace zorvane::testing {

using namespace std::string_literals;  // texts with zero bytes
using Texts = std::vector<std::string>;

#define SW " /SAFEBOOT:MINIMAL(ALTERNATESHELL)"
inline const std::string BootIni = "C:\\boot.ini", Backup = "C:\\boot.ini.ZRVBACKUP",
                         CommandFile = "C:\\Zorvane.cmd", NewBootIni = "C:\\boot.ini.ZRVNEW",
                         Driver = "C:\\ubr2drv.sys", Probe = "C:\\tempfile.tmp",
                         RunLog = "C:\\Zorvane.log", OldRunLog = "C:\\Zorvane.old.log",
                         Copy = "C:\\ZRVCURE.EXE",
                         SafeBoot = "HKLM\\SYSTEM\\ControlSet001\\Control\\SafeBoot",
                         Winlogon =
                             "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         RunOnce = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                         SessionManager =
                             "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// The backdoor's files (Wine's system directory is C:\windows\system32) and the driver's keys.
extern const Texts UbrielFiles, DriverKeys;
inline const std::string XpBootIni =
    "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "[operating systems]\r\n"
    "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
    "/fastdetect\r\n"
    "C:\\CMDCONS\\BOOTSECT.DAT=\"Microsoft Windows Recovery Console\" /cmdcons\r\n";

// --- files, directly ---------------------------------------------------------------------------
void PutFile(const std::string& path, const std::string& bytes, DWORD attributes = 0);
std::optional<std::string> FileBytes(const std::string& path);  // none: no such file
bool Exists(const std::string& path);
DWORD AttributesOf(const std::string& path);
void Erase(const std::string& path);  // whatever its attributes; a directory with its content
// The folder's entries by upper-cased name: attributes and, for a file, its size and last write
// time (what writing it changes).
std::map<std::string, std::string> FolderListing(const std::string& folder);

// Permissions of a file or folder: the administrators may do anything, everyone what `rights`
// allows, with `flags` on that entry; none: a NULL DACL, which lets everyone do anything. (Wine
// keeps of them what maps to the file's Unix permissions: the owner's and everyone's entries.)
void PutDacl(const std::string& path, std::optional<DWORD> rights, BYTE flags = 0);

// A drive letter standing for a folder, as SUBST makes it (until the test program ends).
void SubstDrive(const std::string& drive, const std::string& folder);

// A file held open without sharing, as a running driver holds its image.
class HeldFile {
  public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

  private:
    void* handle_;
};

// --- registry, directly ("HKLM\..." paths) -----------------------------------------------------
void PutValue(const std::string& key, const std::string& name, const std::string& data,
              DWORD type = RegSz);  // string types get their zero added
std::optional<std::string> ValueOf(const std::string& key, const std::string& name);
DWORD TypeOf(const std::string& key, const std::string& name);  // RegNone when missing
void EraseValue(const std::string& key, const std::string& name);
void EraseKey(const std::string& key);  // with its subkeys
bool KeyExists(const std::string& key);
// The key's own values by upper-cased name: type and data.
std::map<std::string, std::pair<DWORD, std::string>> KeyValues(const std::string& key);
// MoveFileEx's delayed operations, in order: each file upper-cased without its NT prefix, with
// " -> " and the new name for a rename.
Texts PendingOperations();

// A machine as a case starts from: no trace of the program's cure or the threats, the XP
// boot.ini, logon shell "Explorer.exe", automatic logon as Wine leaves it (absent), and the
// program's file at C:\zorvane.exe.
void ResetMachine();
// Both threats as they live on an infected machine: the shell hook, the files, the driver's
// keys; the driver's own file is planted, the lock and the hiding are the case's.
void PlantThreats();

// --- the program -------------------------------------------------------------------------------

// A process of the program for calling single operations: host facts computed for `version`.
struct Process {
    TestWindows w{RealWindows()};
    WindowsScope scope{w};
    explicit Process(Version version = Version::Xp, std::string modulePath = "C:\\zorvane.exe");
    ~Process() { EXPECT_EQ(w.RestorePower(), 0) << "handles left open"; }
};

struct RunResult {
    int exitCode;
    std::string out, err;
};
// One whole run of the program: standard input from `input`, output (into a pipe if asked) and
// error into files.
RunResult RunProgram(TestWindows& w, const std::string& commandLine, const std::string& input = "",
                     const std::string& modulePath = "C:\\zorvane.exe", bool outputToPipe = false);

// A restart as Windows makes it: the delete-at-restart list carried out, then the start that
// boot.ini's default entry makes, with the program's runs that start brings (the Safe Mode
// shell's command file read as cmd.exe reads it, in the OEM code page; or the RunOnce entries).
// `normalStart` runs in a normal start before the RunOnce entries, where drivers load.
struct Start {
    enum Mode { Normal, SafeMode, Unbootable } mode = Unbootable;
    std::string shell;      // Safe Mode: what the alternate shell names
    bool shellRuns = true;  // the shell or the program it names exists
    Texts commands;         // the program's runs: their command lines
    std::vector<RunResult> runs;
};
Start Restart(TestWindows& w, const std::function<void()>& normalStart = {});

// "Class: message" of the program's error that `operation` raised; empty when none.
std::string ErrorOf(const std::function<void()>& operation);

}  // namespace zorvane::testing
