// Set-up, inspection and path resolution of the simulated file system.
#include "sim/FileStore.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cstring>

#include "sim/FileTimes.h"
#include "sim/SimErrors.h"

namespace sim {

using namespace zorvane;

namespace {

std::string Upper(std::string_view text) {
    return AsciiUpper(text);
}

char VolumeLetter(char letter) {
    return Upper(std::string(1, letter))[0];
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Win32 drops trailing dots and blanks of a name ("boot.ini." opens "boot.ini").
std::string TrimName(std::string name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name;
}

// The name a DOS device answers to: "NUL", "nul.txt" and "C:\dir\NUL" all open NUL.
std::string DeviceBase(std::string_view path) {
    const auto slash = path.find_last_of("\\:");
    std::string base(slash == std::string_view::npos ? path : path.substr(slash + 1));
    base = base.substr(0, base.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    return Upper(base);
}

}  // namespace

FILETIME FileStore::DefaultTime() {
    return FileTimeOf(CalendarTime{2004, 7, 30, 12, 0, 0});
}

FileStore::Path FileStore::Resolve(const char* text, bool wildcards) const {
    Path path;
    if (text == nullptr || *text == 0) {
        path.error = error::PathNotFound;
        return path;
    }
    std::string given(text);
    if (given.size() >= MaxPath) {
        path.error = code::FilenameTooLong;
        return path;
    }
    std::replace(given.begin(), given.end(), '/', '\\');
    // \\.\NUL names a device directly; a device name wins wherever else it stands.
    const bool devicePath = given.rfind("\\\\.\\", 0) == 0;
    const std::string device = devicePath ? Upper(given.substr(4)) : DeviceBase(given);
    if (devices_.count(device) != 0) {
        path.device = device;
        return path;
    }
    if (given.rfind("\\\\", 0) == 0) {
        path.error = code::BadNetPath;  // no network in this machine
        return path;
    }
    std::string rest;
    if (given.size() >= 2 && IsLetter(given[0]) && given[1] == ':') {
        path.volume = VolumeLetter(given[0]);
        rest = given.substr(2);
    } else {
        path.volume = 'C';  // the current directory is C:\ .
        rest = given;
    }
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        const bool last = end == rest.size();
        std::string name = rest.substr(start, end - start);
        start = end + 1;
        if (name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        name = TrimName(name);
        if (name.empty()) continue;
        for (char c : name) {
            const bool wild = c == '*' || c == '?';
            if (static_cast<unsigned char>(c) < 32 || std::strchr("<>|\":", c) != nullptr ||
                (wild && !(wildcards && last))) {
                path.error = code::InvalidName;
                return path;
            }
        }
        names.push_back(name);
    }
    if (volumes_.count(path.volume) == 0) {
        path.error = error::PathNotFound;
        return path;
    }
    path.display = std::string(1, given.size() >= 2 && given[1] == ':' ? given[0] : 'C') + ":\\";
    path.key = std::string(1, path.volume) + ":\\";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i + 1 == names.size()) path.parentKey = path.key;
        if (i > 0) {
            path.display += '\\';
            path.key += '\\';
        }
        path.display += names[i];
        path.key += Upper(names[i]);
    }
    if (!names.empty()) path.name = names.back();
    // Every directory on the way must exist.
    std::string prefix = std::string(1, path.volume) + ":\\";
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        prefix += (i > 0 ? "\\" : "") + Upper(names[i]);
        const Node* node = Find(prefix);
        if (node == nullptr || !node->entry.directory) {
            path.error = error::PathNotFound;
            return path;
        }
    }
    return path;
}

FileStore::Node* FileStore::Find(const std::string& key) {
    const auto it = nodes_.find(key);
    return it == nodes_.end() ? nullptr : &it->second;
}

const FileStore::Node* FileStore::Find(const std::string& key) const {
    const auto it = nodes_.find(key);
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FileStore::VolumeReadOnly(char volume) const {
    const auto it = volumes_.find(volume);
    return it != volumes_.end() && it->second.readOnly;
}

std::uint64_t FileStore::VolumeUsed(char volume) const {
    std::uint64_t used = 0;
    for (const auto& [key, node] : nodes_) {
        if (key[0] == volume) used += node.entry.content.size();
    }
    return used;
}

bool FileStore::Fits(char volume, std::uint64_t more) const {
    const auto it = volumes_.find(volume);
    if (it == volumes_.end() || !it->second.capacity) return true;
    return VolumeUsed(volume) + more <= *it->second.capacity;
}

FileStore::Node& FileStore::MakeNode(const Path& path, bool directory, DWORD attributes) {
    Node& node = nodes_[path.key];
    node.path = path.display;
    node.id = nextId_++;
    node.deletePending = false;
    node.entry = Entry{};
    node.entry.directory = directory;
    node.entry.attributes = attributes;
    node.entry.lastWrite = now_;
    return node;
}

void FileStore::RemoveNode(const std::string& key) {
    nodes_.erase(key);
}

// --- set-up and inspection ----------------------------------------------------------------

void FileStore::AddVolume(char letter, bool readOnly) {
    volumes_[VolumeLetter(letter)].readOnly = readOnly;
}

void FileStore::RemoveVolume(char letter) {
    const char volume = VolumeLetter(letter);
    volumes_.erase(volume);
    std::erase_if(nodes_, [volume](const auto& item) { return item.first[0] == volume; });
}

void FileStore::SetVolumeReadOnly(char letter, bool readOnly) {
    AddVolume(letter, readOnly);
}

void FileStore::SetVolumeCapacity(char letter, std::uint64_t bytes) {
    volumes_[VolumeLetter(letter)].capacity = bytes;
}

void FileStore::AddDirectory(std::string_view path) {
    const std::string text(path);
    if (text.size() >= 2 && text[1] == ':' && volumes_.count(VolumeLetter(text[0])) == 0) {
        AddVolume(text[0]);
    }
    // Create each level in turn, so that resolution of the next one finds its parent.
    std::size_t end = 0;
    while (end != std::string::npos) {
        end = text.find_first_of("\\/", end + 1);
        const Path resolved = Resolve(text.substr(0, end).c_str());
        if (resolved.error != 0 || !resolved.device.empty() || resolved.IsRoot()) continue;
        const Node* node = Find(resolved.key);
        if (node == nullptr || !node->entry.directory) {
            MakeNode(resolved, true, FileAttributeDirectory);
        }
    }
}

void FileStore::AddFile(std::string_view path, std::string_view content, DWORD attributes) {
    const std::string text(path);
    const auto slash = text.find_last_of("\\/");
    if (slash != std::string::npos) AddDirectory(text.substr(0, slash));
    const Path resolved = Resolve(text.c_str());
    if (resolved.error != 0 || resolved.name.empty()) return;
    Node& node = MakeNode(resolved, false, attributes);
    node.entry.content = std::string(content);
    node.entry.lastWrite = DefaultTime();
}

void FileStore::AddCharacterDevice(std::string_view name) {
    devices_.emplace(Upper(name), std::string());
}

bool FileStore::Exists(std::string_view path) const {
    const Path resolved = Resolve(std::string(path).c_str());
    if (resolved.error != 0 || !resolved.device.empty()) return false;
    return resolved.IsRoot() || Find(resolved.key) != nullptr;
}

bool FileStore::IsDirectory(std::string_view path) const {
    const Path resolved = Resolve(std::string(path).c_str());
    if (resolved.error != 0 || !resolved.device.empty()) return false;
    const Node* node = Find(resolved.key);
    return resolved.IsRoot() || (node != nullptr && node->entry.directory);
}

std::string FileStore::Content(std::string_view path) const {
    const Path resolved = Resolve(std::string(path).c_str());
    const Node* node = resolved.error == 0 ? Find(resolved.key) : nullptr;
    return node == nullptr ? std::string() : node->entry.content;
}

DWORD FileStore::Attributes(std::string_view path) const {
    const Path resolved = Resolve(std::string(path).c_str());
    const Node* node = resolved.error == 0 ? Find(resolved.key) : nullptr;
    return node == nullptr ? 0xFFFFFFFFu : node->entry.attributes;
}

void FileStore::SetAttributes(std::string_view path, DWORD attributes) {
    const Path resolved = Resolve(std::string(path).c_str());
    if (Node* node = resolved.error == 0 ? Find(resolved.key) : nullptr) {
        node->entry.attributes = attributes | (node->entry.directory ? FileAttributeDirectory : 0);
    }
}

void FileStore::SetLastWriteTime(std::string_view path, FILETIME time) {
    const Path resolved = Resolve(std::string(path).c_str());
    if (Node* node = resolved.error == 0 ? Find(resolved.key) : nullptr) {
        node->entry.lastWrite = time;
    }
}

void FileStore::SetLocalTimeOffsetMinutes(int minutes) {
    localOffsetMinutes_ = minutes;
}

void FileStore::HideFromListings(std::string_view path, bool hidden) {
    const Path resolved = Resolve(std::string(path).c_str());
    if (resolved.error != 0) return;
    if (hidden) {
        hiddenByTest_.insert(resolved.key);
    } else {
        hiddenByTest_.erase(resolved.key);
    }
}

void FileStore::HoldOpenByOtherProcess(std::string_view path, DWORD access, DWORD shareMode) {
    const Path resolved = Resolve(std::string(path).c_str());
    if (resolved.error != 0) return;
    Open hold;
    hold.key = resolved.key;
    hold.access = access;
    hold.share = shareMode;
    if (const Node* node = Find(resolved.key)) hold.id = node->id;
    holds_.push_back(hold);
}

void FileStore::ReleaseOtherProcessHolds() {
    holds_.clear();
}

const std::vector<std::string>& FileStore::PendingDeletes() const {
    return pendingDeletes_;
}

std::vector<std::pair<std::string, std::string>> FileStore::PendingRenames() const {
    std::vector<std::pair<std::string, std::string>> renames;
    for (const PendingMove& move : pendingMoves_) {
        if (!move.to.empty()) renames.emplace_back(move.from, move.to);
    }
    return renames;
}

std::map<std::string, FileStore::Entry> FileStore::Listing() const {
    std::map<std::string, Entry> listing;
    for (const auto& [key, node] : nodes_) listing.emplace(key, node.entry);
    return listing;
}

std::size_t FileStore::OpenHandleCount() const {
    return opens_.size() + searches_.size();
}

std::string FileStore::DeviceOutput(std::string_view name) const {
    const auto it = devices_.find(Upper(name));
    return it == devices_.end() ? std::string() : it->second;
}

void FileStore::SetCurrentTime(FILETIME now) {
    now_ = now;
}

}  // namespace sim
