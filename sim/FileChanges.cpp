// Directory searches, deletion, attributes, renames and the delete-at-restart list, and what a
// hiding driver changes in listings and locks.
#include <cstring>

#include "platform/AsciiText.h"
#include "sim/FileStore.h"
#include "sim/SimErrors.h"

namespace sim {

using namespace zorvane;

namespace {

constexpr DWORD DeleteAccess = 0x10000;
constexpr DWORD ShareAll = 7;
constexpr DWORD SettableAttributes = 0x1 | 0x2 | 0x4 | 0x20 | 0x100 | 0x1000 | 0x2000;

std::string Upper(std::string_view text) {
    return AsciiUpper(text);
}

// '*' matches any run of characters, '?' any one; both sides upper-cased.
bool Matches(std::string_view pattern, std::string_view name) {
    if (pattern.empty()) return name.empty();
    if (pattern[0] == '*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip) {
            if (Matches(pattern.substr(1), name.substr(skip))) return true;
        }
        return false;
    }
    if (name.empty()) return false;
    return (pattern[0] == '?' || pattern[0] == name[0]) &&
           Matches(pattern.substr(1), name.substr(1));
}

std::string LastName(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

// "C:\\DIR\\NAME" -> "C:\\DIR"; "C:\\NAME" -> "C:\\".
std::string ParentKey(const std::string& key) {
    const std::size_t slash = key.rfind('\\');
    return key.substr(0, slash == 2 ? 3 : slash);
}

bool Below(const std::string& key, const std::string& directory) {
    return key.size() > directory.size() && key.compare(0, directory.size(), directory) == 0 &&
           key[directory.size()] == '\\';
}

}  // namespace

bool FileStore::Hidden(const std::string& key) const {
    return hiddenByTest_.count(key) != 0 || hiddenByDriver_.count(key) != 0;
}

DWORD FileStore::FindFirst(const char* pattern, WIN32_FIND_DATAA& data, Handle handle) {
    const Path path = Resolve(pattern, true);
    if (path.error != 0) return path.error;
    const std::string text(pattern);
    if (!path.device.empty() || path.IsRoot() || text.back() == '\\' || text.back() == '/') {
        return error::FileNotFound;
    }
    const Node* found = nullptr;
    if (path.name.find_first_of("*?") == std::string::npos) {
        found = Find(path.key);
        if (found != nullptr && Hidden(path.key)) found = nullptr;
    } else {
        const std::string wanted = Upper(path.name);
        for (const auto& [key, node] : nodes_) {
            if (ParentKey(key) == path.parentKey && !Hidden(key) &&
                Matches(wanted, LastName(key))) {
                found = &node;
                break;
            }
        }
    }
    if (found == nullptr) return error::FileNotFound;

    std::memset(&data, 0, sizeof data);
    const Entry& entry = found->entry;
    data.dwFileAttributes = entry.attributes == 0 ? FileAttributeNormal : entry.attributes;
    data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = entry.lastWrite;
    data.nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(entry.content.size()) >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.content.size() & 0xFFFFFFFFu);
    const std::string name = LastName(found->path);
    std::memcpy(data.cFileName, name.c_str(), std::min<std::size_t>(name.size(), MaxPath - 1));
    searches_.insert(handle);
    return 0;
}

bool FileStore::CloseSearch(Handle handle) {
    return searches_.erase(handle) != 0;
}

DWORD FileStore::Delete(const char* text) {
    const Path path = Resolve(text);
    if (path.error != 0) return path.error;
    if (!path.device.empty() || path.IsRoot()) return error::AccessDenied;
    Node* node = Find(path.key);
    if (node == nullptr) return error::FileNotFound;
    if (VolumeReadOnly(path.volume)) return code::WriteProtect;
    if (node->entry.directory || node->deletePending) return error::AccessDenied;
    // DeleteFileA opens for DELETE sharing everything: any open without FILE_SHARE_DELETE wins.
    if (ShareConflict(path.key, DeleteAccess, ShareAll)) return error::SharingViolation;
    if ((node->entry.attributes & FileAttributeReadOnly) != 0) return error::AccessDenied;
    bool open = false;
    for (const auto& [handle, o] : opens_) open = open || o.key == path.key;
    for (const Open& hold : holds_) open = open || hold.key == path.key;
    if (open) {
        node->deletePending = true;  // goes with the last handle
    } else {
        RemoveNode(path.key);
    }
    return 0;
}

DWORD FileStore::SetAttributesOf(const char* text, DWORD attributes) {
    const Path path = Resolve(text);
    if (path.error != 0) return path.error;
    if (!path.device.empty()) return error::InvalidParameter;
    if (path.IsRoot()) return 0;
    Node* node = Find(path.key);
    if (node == nullptr) return error::FileNotFound;
    if (VolumeReadOnly(path.volume)) return code::WriteProtect;
    DWORD kept = attributes & SettableAttributes;
    if (node->entry.directory) {
        kept |= FileAttributeDirectory;
    } else if (kept == 0) {
        kept = FileAttributeNormal;  // no attribute at all reads back as NORMAL
    }
    node->entry.attributes = kept;
    return 0;
}

DWORD FileStore::Move(const char* from, const char* to, DWORD flags) {
    if (from == nullptr || to == nullptr) return error::InvalidParameter;
    const Path source = Resolve(from);
    if (source.error != 0) return source.error;
    const Path target = Resolve(to);
    if (target.error != 0) return target.error;
    if (!source.device.empty() || !target.device.empty() || source.IsRoot() || target.IsRoot()) {
        return error::AccessDenied;
    }
    Node* node = Find(source.key);
    if (node == nullptr) return error::FileNotFound;
    if (VolumeReadOnly(source.volume) || VolumeReadOnly(target.volume)) return code::WriteProtect;
    if (ShareConflict(source.key, DeleteAccess, ShareAll)) return error::SharingViolation;
    if (source.key == target.key) {
        node->path = target.display;  // a change of case only
        return 0;
    }
    if (Below(target.key, source.key)) return error::AccessDenied;  // into itself
    if (const Node* existing = Find(target.key)) {
        if ((flags & MovefileReplaceExisting) == 0) return code::AlreadyExists;
        if (existing->entry.directory || node->entry.directory) return error::AccessDenied;
        if ((existing->entry.attributes & FileAttributeReadOnly) != 0) return error::AccessDenied;
        if (ShareConflict(target.key, DeleteAccess, ShareAll)) return error::SharingViolation;
        for (const auto& [handle, open] : opens_) {
            if (open.key == target.key) return error::AccessDenied;
        }
    }

    if (source.volume == target.volume) {
        // A rename: the entry keeps its content, attributes and time; a directory takes its
        // whole tree along.
        std::map<std::string, Node> moved;
        for (auto it = nodes_.begin(); it != nodes_.end();) {
            if (it->first == source.key || Below(it->first, source.key)) {
                Node entry = it->second;
                const std::string rest = it->first.substr(source.key.size());
                entry.path = target.display + entry.path.substr(entry.path.size() - rest.size());
                moved[target.key + rest] = entry;
                it = nodes_.erase(it);
            } else {
                ++it;
            }
        }
        nodes_.erase(target.key);
        for (auto& [key, entry] : moved) nodes_[key] = entry;
        return 0;
    }
    // Across volumes: copied, then the source deleted, as CopyFile and DeleteFile would.
    if ((flags & MovefileCopyAllowed) == 0) return code::NotSameDevice;
    if (node->entry.directory) return error::AccessDenied;
    const Node* existing = Find(target.key);
    const std::uint64_t freed = existing == nullptr ? 0 : existing->entry.content.size();
    const std::uint64_t size = node->entry.content.size();
    if (size > freed && !Fits(target.volume, size - freed)) return error::DiskFull;
    const Entry copy = node->entry;
    Node& made = MakeNode(target, false, copy.attributes);
    made.entry = copy;
    if ((copy.attributes & FileAttributeReadOnly) != 0) return error::AccessDenied;
    RemoveNode(source.key);
    return 0;
}

DWORD FileStore::ScheduleMove(const char* from, const char* to) {
    if (from == nullptr) return error::InvalidParameter;
    // Windows only writes the names down; whether the file exists is seen at the restart.
    pendingMoves_.push_back(PendingMove{from, to == nullptr ? std::string() : std::string(to)});
    if (to == nullptr) pendingDeletes_.push_back(from);
    return 0;
}

void FileStore::CarryOutPendingMoves() {
    for (const PendingMove& move : pendingMoves_) {
        const Path path = Resolve(move.from.c_str());
        const Node* node = path.error == 0 ? Find(path.key) : nullptr;
        if (node == nullptr || (node->entry.attributes & FileAttributeReadOnly) != 0) continue;
        if (!move.to.empty()) {
            Move(move.from.c_str(), move.to.c_str(), MovefileReplaceExisting);
            continue;
        }
        const auto child = nodes_.lower_bound(path.key + "\\");
        const bool hasChildren = child != nodes_.end() && Below(child->first, path.key);
        if (!hasChildren) RemoveNode(path.key);  // a directory goes only when empty
    }
    pendingMoves_.clear();
    pendingDeletes_.clear();
}

void FileStore::LoadDriver(const std::vector<std::string>& hidden,
                           const std::vector<std::string>& locked) {
    UnloadDriver();
    for (const std::string& name : hidden) {
        const Path path = Resolve(name.c_str());
        if (path.error == 0) hiddenByDriver_.insert(path.key);
    }
    for (const std::string& name : locked) {
        const Path path = Resolve(name.c_str());
        if (path.error == 0) driverLocks_.push_back(path.key);
    }
}

void FileStore::UnloadDriver() {
    hiddenByDriver_.clear();
    driverLocks_.clear();
}

}  // namespace sim
