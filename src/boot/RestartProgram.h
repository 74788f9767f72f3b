// The program that the next start runs again: the command file of the Safe Mode start and the
// NT 4.0 run-once entry name it.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

// Whether cmd.exe reads the path as written: rooted on a drive letter, printable ASCII only (the
// command file is read in the OEM code page, the path comes in the ANSI one, so any other byte
// may name another file), and none of the characters cmd.exe acts on even inside quotation marks
// ("%" takes a variable) or outside them ("&", "|", "<", ">", "^", parentheses, separators).
bool IsPlainCommandPath(std::string_view path);

// The path followed by `options` (which begin with a blank). A path with a blank is put in
// double quotation marks: unquoted, cmd.exe and the run-once launcher would start "C:\Program"
// (or whatever a user planted there) instead of this program.
std::string CommandFor(std::string_view path, std::string_view options);

struct RestartProgram {
    std::string path;       // empty when the cure cannot start
    bool copyMade = false;  // this run made the copy: a rollback removes it
    std::string failure;    // why the cure cannot start
};

// The program's own path where the next start surely reaches it as written and no other account
// can change it first: a plain command path on the drive Windows is on (a fixed local drive),
// outside the temporary folder, where neither the file nor its folder lets any account but the
// administrators, the system and the running one change or replace it. Elsewhere (a CD, a
// floppy, a USB stick or disk or a share are out or unreachable in minimal Safe Mode; a folder of
// a ZIP opened in Explorer is gone after the restart; a limited user's folder) a copy of the
// program in the root of the system drive.
RestartProgram PrepareRestartProgram();

// The cure is over: the copy goes, at the next restart when it is running (its image is in use).
void RemoveRestartCopy();
bool RunningFromRestartCopy();

}  // namespace zorvane
