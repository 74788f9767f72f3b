// Set-up, inspection and key paths of the simulated registry.
#include "sim/RegistryStore.h"
#include "platform/AsciiText.h"

#include <vector>

namespace sim {

using namespace zorvane;

namespace {

std::string Upper(std::string_view text) {
    return AsciiUpper(text);
}

std::vector<std::string> Names(std::string_view path) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

}  // namespace

RegistryStore::RegistryStore() {
    MakeKeys("HKLM", "HKLM");
    MakeKeys("HKCU", "HKCU");
}

std::string RegistryStore::Canonical(std::string_view path, std::string* display) {
    std::vector<std::string> names = Names(path);
    std::string root = "HKLM";
    if (!names.empty()) {
        const std::string first = Upper(names.front());
        if (first == "HKLM" || first == "HKEY_LOCAL_MACHINE") {
            names.erase(names.begin());
        } else if (first == "HKCU" || first == "HKEY_CURRENT_USER") {
            root = "HKCU";
            names.erase(names.begin());
        }
    }
    // HKLM\SYSTEM\CurrentControlSet is a link to the control set in use, ControlSet001.
    if (root == "HKLM" && names.size() >= 2 && Upper(names[0]) == "SYSTEM" &&
        Upper(names[1]) == "CURRENTCONTROLSET") {
        names[1] = "ControlSet001";
    }
    std::string key = root;
    std::string shown = root;
    for (const std::string& name : names) {
        key += "\\" + Upper(name);
        shown += "\\" + name;
    }
    if (display != nullptr) *display = shown;
    return key;
}

RegistryStore::Key* RegistryStore::FindKey(const std::string& key) {
    const auto it = keys_.find(key);
    return it == keys_.end() ? nullptr : &it->second;
}

RegistryStore::Key& RegistryStore::MakeKeys(const std::string& key, const std::string& display) {
    // Both paths have the same number of levels; create each missing one.
    std::size_t keyEnd = 0;
    std::size_t displayEnd = 0;
    Key* made = nullptr;
    while (true) {
        keyEnd = key.find('\\', keyEnd + 1);
        displayEnd = display.find('\\', displayEnd + 1);
        const std::string prefix = key.substr(0, keyEnd);
        auto [it, added] = keys_.try_emplace(prefix);
        if (added) {
            it->second.path = display.substr(0, displayEnd);
            it->second.id = nextId_++;
        }
        made = &it->second;
        if (keyEnd == std::string::npos) break;
    }
    return *made;
}

bool RegistryStore::Denied(const std::string& key, DWORD access) const {
    constexpr DWORD writeRights =
        0x2 | 0x4 | 0x20 | 0x10000 | 0x40000 | 0x80000 | 0x40000000 | 0x10000000;
    for (const auto& [denied, denyRead] : denied_) {
        const bool covers = key == denied || (key.size() > denied.size() &&
                                              key.compare(0, denied.size(), denied) == 0 &&
                                              key[denied.size()] == '\\');
        if (covers && (denyRead || (access & writeRights) != 0)) return true;
    }
    return false;
}

// --- set-up and inspection ----------------------------------------------------------------

void RegistryStore::AddKey(std::string_view path) {
    std::string display;
    const std::string key = Canonical(path, &display);
    MakeKeys(key, display);
}

bool RegistryStore::KeyExists(std::string_view path) const {
    return keys_.count(Canonical(path)) != 0;
}

void RegistryStore::DeleteKeyTree(std::string_view path) {
    const std::string key = Canonical(path);
    std::erase_if(keys_, [&key](const auto& item) {
        const std::string& name = item.first;
        const bool below = name.size() > key.size() && name.compare(0, key.size(), key) == 0 &&
                           name[key.size()] == '\\';
        return below || (name == key && key.find('\\') != std::string::npos);
    });
}

void RegistryStore::SetValue(std::string_view path, std::string_view name, DWORD type,
                             std::string_view data) {
    std::string display;
    const std::string key = Canonical(path, &display);
    MakeKeys(key, display).values[Upper(name)] = Value{type, std::string(data)};
}

void RegistryStore::SetString(std::string_view path, std::string_view name, std::string_view text) {
    std::string data(text);
    data.push_back('\0');
    SetValue(path, name, RegSz, data);
}

void RegistryStore::SetDword(std::string_view path, std::string_view name, std::uint32_t value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    SetValue(path, name, RegDword, data);
}

void RegistryStore::DeleteValue(std::string_view path, std::string_view name) {
    if (Key* key = FindKey(Canonical(path))) key->values.erase(Upper(name));
}

std::optional<RegistryStore::Value> RegistryStore::GetValue(std::string_view path,
                                                            std::string_view name) const {
    const auto key = keys_.find(Canonical(path));
    if (key == keys_.end()) return std::nullopt;
    const auto value = key->second.values.find(Upper(name));
    if (value == key->second.values.end()) return std::nullopt;
    return value->second;
}

std::optional<std::string> RegistryStore::GetString(std::string_view path,
                                                    std::string_view name) const {
    const std::optional<Value> value = GetValue(path, name);
    if (!value || (value->type != RegSz && value->type != RegExpandSz)) return std::nullopt;
    return value->data.substr(0, value->data.find('\0'));
}

void RegistryStore::DenyAccess(std::string_view path, bool denyRead) {
    denied_[Canonical(path)] = denyRead;
}

std::map<std::string, RegistryStore::Values> RegistryStore::Listing() const {
    std::map<std::string, Values> listing;
    for (const auto& [key, entry] : keys_) listing.emplace(key, entry.values);
    return listing;
}

std::size_t RegistryStore::OpenKeyCount() const {
    return open_.size();
}

}  // namespace sim
