// Volumes, directories and files of the simulated machine, with Windows' file semantics.
// Paths are compared without regard to ASCII case. The test-facing part is declared here; the
// Windows semantics behind the door methods live with it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WindowsTypes.h"

namespace sim {

class FileStore {
  public:
    struct Entry {
        bool directory = false;
        zorvane::DWORD attributes = 0;
        std::string content;
        zorvane::FILETIME lastWrite{};
        bool operator==(const Entry& other) const {
            return directory == other.directory && attributes == other.attributes &&
                   content == other.content &&
                   lastWrite.dwLowDateTime == other.lastWrite.dwLowDateTime &&
                   lastWrite.dwHighDateTime == other.lastWrite.dwHighDateTime;
        }
    };

    // --- set-up and inspection by tests (never journaled) ---------------------------------
    void AddVolume(char letter, bool readOnly = false);
    void RemoveVolume(char letter);
    void SetVolumeReadOnly(char letter, bool readOnly);
    void SetVolumeCapacity(char letter, std::uint64_t bytes);  // writes beyond it fail with 112
    void AddDirectory(std::string_view path);                  // with missing parents
    // With missing parent directories. Last-write time 2004-07-30 12:00 UTC unless set.
    void AddFile(std::string_view path, std::string_view content = {},
                 zorvane::DWORD attributes = zorvane::FileAttributeArchive);
    void AddCharacterDevice(std::string_view name);  // e.g. "NUL": opens as FILE_TYPE_CHAR
    bool Exists(std::string_view path) const;        // file or directory
    bool IsDirectory(std::string_view path) const;
    std::string Content(std::string_view path) const;        // empty when missing
    zorvane::DWORD Attributes(std::string_view path) const;  // 0xFFFFFFFF when missing
    void SetAttributes(std::string_view path, zorvane::DWORD attributes);
    void SetLastWriteTime(std::string_view path, zorvane::FILETIME time);
    void SetLocalTimeOffsetMinutes(int minutes);                       // local time = UTC + minutes
    void HideFromListings(std::string_view path, bool hidden = true);  // FindFirstFileA only
    // Another process holds the file open with this access and share mode.
    void HoldOpenByOtherProcess(std::string_view path,
                                zorvane::DWORD access = zorvane::GenericRead |
                                                        zorvane::GenericWrite,
                                zorvane::DWORD shareMode = 0);
    void ReleaseOtherProcessHolds();
    const std::vector<std::string>& PendingDeletes() const;  // MoveFileExA(path, NULL, 4), in order
    std::map<std::string, Entry> Listing() const;  // every file and directory, by upper-cased path
    std::size_t OpenHandleCount() const;           // handles the program holds open
};

}  // namespace sim
