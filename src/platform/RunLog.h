// The run log: every run appends one block of lines to "Zorvane.log" in the root of the system
// drive, so that the Safe Mode run, whose console nobody sees, and each of an administrator's
// machines leave a record. Logging never changes a run: a log that cannot be opened or written
// is given up without a word, and Windows' last error is the same after a log call as before.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/WindowsTypes.h"

namespace zorvane {

// Opens the log for appending; a log over 1 MiB is first renamed to "Zorvane.old.log" (replacing
// an older one), so that the log of a machine never grows without end.
void OpenRunLog();
void CloseRunLog();
bool RunLogOpen();

// One line made of `pieces`, CR LF added; nothing while the log is not open.
void Log(std::initializer_list<std::string_view> pieces);

// A line telling what was done, and how it went: "done", or "failed, error N".
void LogOutcome(std::initializer_list<std::string_view> what, bool succeeded, DWORD errorCode);

// Texts for log lines: a text in double quotes; the outcome of a call that may fail.
std::string Quoted(std::string_view text);
std::string Outcome(bool succeeded, DWORD errorCode);  // "done", or "failed, error N"

// The local time as "YYYY-MM-DD hh:mm:ss".
std::string LocalTimeText();

}  // namespace zorvane
