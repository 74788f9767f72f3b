// Volumes, directories and files of the simulated machine, with Windows' file semantics.
// Paths are compared without regard to ASCII case. The test-facing part is declared here; the
// Windows semantics behind the door methods live with it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
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

    // --- additions ----------------------------------------------------------------------
    std::string DeviceOutput(std::string_view name) const;  // bytes written to a device
    void SetCurrentTime(zorvane::FILETIME now);  // last-write time of files the program writes
    // MoveFileExA(from, to, 4): renames waiting for the next restart, in order.
    std::vector<std::pair<std::string, std::string>> PendingRenames() const;

  private:
    friend class SimWindows;
    using DWORD = zorvane::DWORD;
    using Handle = std::uintptr_t;

    struct Node {
        std::string path;  // as first named
        Entry entry;
        std::uint64_t id = 0;
        bool deletePending = false;  // deleted while open with FILE_SHARE_DELETE
    };
    struct Volume {
        bool readOnly = false;
        std::optional<std::uint64_t> capacity;
    };
    struct Open {  // an open of a file (or device) by the program or by someone else
        std::string key;
        std::uint64_t id = 0;
        DWORD access = 0;
        DWORD share = 0;
        std::size_t position = 0;
        std::string device;  // upper-cased device name for a character device
    };
    struct PendingMove {
        std::string from;
        std::string to;  // empty: delete
    };
    // A path resolved the way Win32 does: volume, case-insensitive key, the name as given.
    struct Path {
        DWORD error = 0;
        char volume = 0;
        std::string key;        // "C:\DIR\NAME"; "C:\" for a root
        std::string display;    // "C:\Dir\Name" as given
        std::string name;       // last component as given ("" for a root)
        std::string parentKey;  // "" for a root
        std::string device;     // a character device name instead of a file
        bool IsRoot() const { return name.empty() && device.empty(); }
    };

    // --- the Windows semantics behind the door methods (SimFiles.cpp and friends) ---------
    Path Resolve(const char* path, bool wildcards = false) const;
    Node* Find(const std::string& key);
    const Node* Find(const std::string& key) const;
    bool VolumeReadOnly(char volume) const;
    std::uint64_t VolumeUsed(char volume) const;
    bool Fits(char volume, std::uint64_t more) const;
    // Share check of a new open against every open of the file (program, others, driver).
    bool ShareConflict(const std::string& key, DWORD access, DWORD share) const;
    Node& MakeNode(const Path& path, bool directory, DWORD attributes);
    void RemoveNode(const std::string& key);

    DWORD CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                     Handle handle, bool& existed);
    bool IsOpenFile(Handle handle) const { return opens_.count(handle) != 0; }
    bool IsDevice(Handle handle) const;
    DWORD Read(Handle handle, void* buffer, DWORD count, DWORD& done);
    DWORD Write(Handle handle, const void* buffer, DWORD count, DWORD& done);
    bool Close(Handle handle);
    void CloseAll();  // the process ended: its opens and searches go

    DWORD FindFirst(const char* pattern, zorvane::WIN32_FIND_DATAA& data, Handle handle);
    bool CloseSearch(Handle handle);
    DWORD Delete(const char* path);
    DWORD SetAttributesOf(const char* path, DWORD attributes);
    DWORD Move(const char* from, const char* to, DWORD flags);
    DWORD ScheduleMove(const char* from, const char* to);
    void CarryOutPendingMoves();  // at restart, in order; read-only files stay

    void LoadDriver(const std::vector<std::string>& hidden, const std::vector<std::string>& locked);
    void UnloadDriver();
    bool Hidden(const std::string& key) const;

    std::map<char, Volume> volumes_;
    std::map<std::string, Node> nodes_;           // by key
    std::map<std::string, std::string> devices_;  // upper-cased name -> bytes written
    std::map<Handle, Open> opens_;                // the program's
    std::vector<Open> holds_;                     // other processes'
    std::set<Handle> searches_;                   // the program's FindFirstFileA handles
    std::set<std::string> hiddenByTest_;          // keys
    std::set<std::string> hiddenByDriver_;        // keys, while the driver is loaded
    std::vector<std::string> driverLocks_;        // keys, while the driver is loaded
    std::vector<std::string> pendingDeletes_;     // as given
    std::vector<PendingMove> pendingMoves_;       // deletes and renames, in order
    int localOffsetMinutes_ = 0;
    zorvane::FILETIME now_ = DefaultTime();
    std::uint64_t nextId_ = 1;

    static zorvane::FILETIME DefaultTime();
};

}  // namespace sim
