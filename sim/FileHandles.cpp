// Opening files the way CreateFileA does (dispositions, attributes, share modes), and reading
// and writing through the handles.
#include <algorithm>
#include <cstring>

#include "sim/FileStore.h"
#include "sim/SimErrors.h"

namespace sim {

using namespace zorvane;

namespace {

constexpr DWORD TruncateExisting = 5;
constexpr DWORD GenericExecute = 0x20000000;
constexpr DWORD FileShareDelete = 4;
constexpr DWORD SettableAttributes = 0x1 | 0x2 | 0x4 | 0x20 | 0x100 | 0x1000 | 0x2000;

bool Reads(DWORD access) {
    return (access & (GenericRead | code::GenericAll | GenericExecute | 0x1 | 0x20)) != 0;
}
bool Writes(DWORD access) {
    return (access & (GenericWrite | code::GenericAll | 0x2 | 0x4)) != 0;
}
bool Deletes(DWORD access) {
    return (access & (code::DeleteAccess | code::GenericAll)) != 0;
}

}  // namespace

bool FileStore::ShareConflict(const std::string& key, DWORD access, DWORD share) const {
    // Only data access takes part in sharing; an open for attributes alone never conflicts.
    if (!Reads(access) && !Writes(access) && !Deletes(access)) return false;
    const auto conflicts = [&](const Open& other) {
        if (other.key != key) return false;
        return (Reads(access) && (other.share & FileShareRead) == 0) ||
               (Writes(access) && (other.share & FileShareWrite) == 0) ||
               (Deletes(access) && (other.share & FileShareDelete) == 0) ||
               (Reads(other.access) && (share & FileShareRead) == 0) ||
               (Writes(other.access) && (share & FileShareWrite) == 0) ||
               (Deletes(other.access) && (share & FileShareDelete) == 0);
    };
    for (const auto& [handle, open] : opens_) {
        if (conflicts(open)) return true;
    }
    for (const Open& hold : holds_) {
        if (conflicts(hold)) return true;
    }
    for (const std::string& locked : driverLocks_) {
        Open lock;
        lock.key = locked;
        lock.access = GenericRead | GenericWrite;
        if (conflicts(lock)) return true;
    }
    return false;
}

DWORD FileStore::CreateFile(const char* text, DWORD access, DWORD share, DWORD disposition,
                            DWORD flags, Handle handle, bool& existed) {
    existed = false;
    const Path path = Resolve(text);
    if (path.error != 0) return path.error;
    if (disposition < CreateNew || disposition > TruncateExisting) return error::InvalidParameter;
    if (!path.device.empty()) {
        Open open;
        open.device = path.device;
        open.access = access;
        open.share = share;
        opens_[handle] = open;
        return 0;
    }
    if (path.IsRoot()) return error::AccessDenied;

    const bool truncates = disposition == CreateAlways || disposition == TruncateExisting;
    const DWORD requested = flags & SettableAttributes;
    Node* node = Find(path.key);
    if (node != nullptr) {
        const DWORD attributes = node->entry.attributes;
        if (node->deletePending) return error::AccessDenied;
        if (disposition == CreateNew) return error::FileExists;
        if (node->entry.directory) return error::AccessDenied;
        if (VolumeReadOnly(path.volume) && (Writes(access) || truncates)) return code::WriteProtect;
        if ((attributes & FileAttributeReadOnly) != 0 && (Writes(access) || truncates)) {
            return error::AccessDenied;
        }
        // Replacing a hidden or system file takes asking for those attributes again.
        const DWORD kept = attributes & (FileAttributeHidden | FileAttributeSystem);
        if (truncates && (kept & ~requested) != 0) return error::AccessDenied;
        if (disposition == TruncateExisting && !Writes(access)) return error::InvalidParameter;
        if (ShareConflict(path.key, access, share)) return error::SharingViolation;
        if (truncates) {
            // Emptied at once, before anything is written.
            node->entry.content.clear();
            node->entry.lastWrite = now_;
            if (disposition == CreateAlways)
                node->entry.attributes = requested | FileAttributeArchive;
        }
        existed = true;
    } else {
        if (disposition == OpenExisting || disposition == TruncateExisting) {
            return error::FileNotFound;
        }
        if (VolumeReadOnly(path.volume)) return code::WriteProtect;
        node = &MakeNode(path, false, requested | FileAttributeArchive);
    }
    Open open;
    open.key = path.key;
    open.id = node->id;
    open.access = access;
    open.share = share;
    opens_[handle] = open;
    return 0;
}

bool FileStore::IsDevice(Handle handle) const {
    const auto it = opens_.find(handle);
    return it != opens_.end() && !it->second.device.empty();
}

DWORD FileStore::Read(Handle handle, void* buffer, DWORD count, DWORD& done) {
    done = 0;
    Open& open = opens_.at(handle);
    if (!open.device.empty()) return 0;  // a device has nothing to read: the end at once
    if (!Reads(open.access)) return error::AccessDenied;
    const Node* node = Find(open.key);
    if (node == nullptr || node->id != open.id) return error::InvalidHandle;
    const std::string& content = node->entry.content;
    if (open.position < content.size()) {
        done = static_cast<DWORD>(std::min<std::size_t>(count, content.size() - open.position));
        std::memcpy(buffer, content.data() + open.position, done);
        open.position += done;
    }
    return 0;
}

DWORD FileStore::Write(Handle handle, const void* buffer, DWORD count, DWORD& done) {
    done = 0;
    Open& open = opens_.at(handle);
    const char* bytes = static_cast<const char*>(buffer);
    if (!open.device.empty()) {
        devices_[open.device].append(bytes, count);
        done = count;
        return 0;
    }
    if (!Writes(open.access)) return error::AccessDenied;
    Node* node = Find(open.key);
    if (node == nullptr || node->id != open.id) return error::InvalidHandle;
    std::string& content = node->entry.content;
    const std::size_t end = open.position + count;
    // A write that cannot get its space fails whole.
    if (end > content.size() && !Fits(open.key[0], end - content.size())) return error::DiskFull;
    if (end > content.size()) content.resize(end);
    std::memcpy(content.data() + open.position, bytes, count);
    open.position = end;
    done = count;
    node->entry.lastWrite = now_;
    node->entry.attributes = (node->entry.attributes & ~FileAttributeNormal) | FileAttributeArchive;
    return 0;
}

bool FileStore::Close(Handle handle) {
    const auto it = opens_.find(handle);
    if (it == opens_.end()) return false;
    const std::string key = it->second.key;
    opens_.erase(it);
    // A file deleted while open goes with its last handle.
    Node* node = key.empty() ? nullptr : Find(key);
    if (node != nullptr && node->deletePending) {
        const bool stillOpen =
            std::any_of(opens_.begin(), opens_.end(),
                        [&](const auto& o) { return o.second.key == key; }) ||
            std::any_of(holds_.begin(), holds_.end(), [&](const Open& o) { return o.key == key; });
        if (!stillOpen) RemoveNode(key);
    }
    return true;
}

void FileStore::CloseAll() {
    while (!opens_.empty()) Close(opens_.begin()->first);
    searches_.clear();
}

}  // namespace sim
