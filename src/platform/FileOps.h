// Whole-file operations of the platform layer.
#pragma once

#include <optional>
#include <string>

#include "platform/Handles.h"

namespace zorvane {

// Existence by directory search: a name that the system leaves out of listings counts as
// absent even when it can be opened by name.
bool FileListed(const std::string& path);
// The attributes a directory search shows for the file; none when FileListed would say no.
std::optional<DWORD> ListedAttributes(const std::string& path);

// Creates the file (or empties it) and holds it open for reading and writing, unshared.
// An empty handle on any failure.
FileHandle CreateExclusive(const std::string& path);

bool RemoveFile(const std::string& path);

// Attributes are reset first, so that a read-only, hidden or system file is deleted too.
bool ClearAttributesAndRemove(const std::string& path);

// Registers the file for deletion by the system during the next restart, when no program can
// hold it open any more.
bool RemoveAtRestart(const std::string& path);

// Moves `from` over `to`, replacing it (across volumes the system copies and then deletes), and
// returns only once the move is on the disk: after a power loss `to` is the old file or the new
// one. Answers 0, or the move's error code, taken before any other call can change it.
DWORD MoveReplacingDurably(const std::string& from, const std::string& to);

// Copies the file byte for byte (no line rules, nothing after a Ctrl-Z lost) into `to`, created
// or emptied, and has the copy's data on the disk before it answers, so that a move of the copy
// made afterwards never names a file whose data a power loss took. False when any call fails; a
// partial `to` is then left for the caller to remove.
bool CopyWholeFile(const std::string& from, const std::string& to);

// A copy of a program: `to` is replaced whatever its attributes, and is left with normal ones.
// A copy from a CD keeps the read-only attribute, and the system skips a read-only file when it
// carries out the deletions registered for the restart.
bool CopyProgram(const std::string& from, const std::string& to);

}  // namespace zorvane
