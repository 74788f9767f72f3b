#include "rescue/Hive.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "rescue/EditingHeap.h"
#include "rescue/Text.h"

namespace zorvane::rescue {

namespace {

[[noreturn]] void Refused(std::string_view what) {
    if (errno == 0) errno = EINVAL;
    ThrowErrno(std::string("hivex refuses to ") + std::string(what));
}

struct Freer {
    void operator()(void* memory) const { std::free(memory); }
};

uint32_t Little32(std::string_view bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

Hive Hive::Open(int fd, bool forEditing) {
    struct stat status {};
    if (fstat(fd, &status) != 0) ThrowErrno("not readable");
    if (!S_ISREG(status.st_mode)) throw RescueError("not a regular file");
    if (static_cast<uint64_t>(status.st_size) > MaxHiveSize)
        throw RescueError("larger than any hive Windows writes");
    Hive hive;
    if (forEditing) PrepareHeapFor(static_cast<std::size_t>(status.st_size));
    errno = 0;
    hive.hive_.reset(hivex_open(ProcPath(fd).c_str(), forEditing ? HIVEX_OPEN_WRITE : 0));
    if (!hive.hive_) Refused("read it");
    return hive;
}

hive_node_h Hive::Root() const {
    errno = 0;
    const hive_node_h root = hivex_root(hive_.get());
    if (root == 0) Refused("find its root key");
    return root;
}

hive_node_h Hive::Child(hive_node_h node, std::string_view name) const {
    const std::string wanted(name);
    errno = 0;
    const hive_node_h child = hivex_node_get_child(hive_.get(), node, wanted.c_str());
    if (child == 0 && errno != 0) Refused("read a key's subkeys");
    return child;
}

hive_node_h Hive::Path(hive_node_h node, std::string_view path) const {
    while (node != 0 && !path.empty()) {
        const std::size_t end = path.find('\\');
        node = Child(node, path.substr(0, end));
        path.remove_prefix(end == std::string_view::npos ? path.size() : end + 1);
    }
    return node;
}

std::vector<std::pair<std::string, hive_node_h>> Hive::Children(hive_node_h node) const {
    errno = 0;
    const std::size_t count = hivex_node_nr_children(hive_.get(), node);
    if (count == 0 && errno != 0) Refused("count a key's subkeys");
    if (count > MaxSubkeys) throw RescueError("a key has more subkeys than any real one");
    std::vector<std::pair<std::string, hive_node_h>> result;
    if (count == 0) return result;
    errno = 0;
    std::unique_ptr<hive_node_h, Freer> children(hivex_node_children(hive_.get(), node));
    if (!children) Refused("list a key's subkeys");
    for (const hive_node_h* child = children.get(); *child != 0; ++child) {
        if (result.size() >= MaxSubkeys) throw RescueError("a key has too many subkeys");
        errno = 0;
        std::unique_ptr<char, Freer> name(hivex_node_name(hive_.get(), *child));
        if (!name) Refused("read a key's name");
        result.emplace_back(name.get(), *child);
    }
    return result;
}

std::vector<std::pair<std::string, RawValue>> Hive::Values(hive_node_h node) const {
    errno = 0;
    const std::size_t count = hivex_node_nr_values(hive_.get(), node);
    if (count == 0 && errno != 0) Refused("count a key's values");
    if (count > MaxValues) throw RescueError("a key has more values than any real one");
    std::vector<std::pair<std::string, RawValue>> result;
    if (count == 0) return result;
    errno = 0;
    std::unique_ptr<hive_value_h, Freer> values(hivex_node_values(hive_.get(), node));
    if (!values) Refused("list a key's values");
    for (const hive_value_h* value = values.get(); *value != 0; ++value) {
        if (result.size() >= MaxValues) throw RescueError("a key has too many values");
        errno = 0;
        std::unique_ptr<char, Freer> name(hivex_value_key(hive_.get(), *value));
        if (!name) Refused("read a value's name");
        result.emplace_back(name.get(), Raw(*value));
    }
    return result;
}

std::optional<RawValue> Hive::Value(hive_node_h node, std::string_view name) const {
    const std::string wanted(name);
    errno = 0;
    const hive_value_h value = hivex_node_get_value(hive_.get(), node, wanted.c_str());
    if (value == 0) {
        if (errno != 0) Refused("read a key's values");
        return std::nullopt;
    }
    return Raw(value);
}

RawValue Hive::Raw(hive_value_h value) const {
    // A damaged hive gives any number as a value's type, outside what the enumeration holds: it
    // is kept in an integer of the enumeration's own size.
    std::underlying_type_t<hive_type> rawType = 0;
    auto* type = reinterpret_cast<hive_type*>(&rawType);
    std::size_t size = 0;
    if (hivex_value_type(hive_.get(), value, type, &size) != 0) Refused("read a value");
    if (size > MaxValueSize) throw RescueError("a value is larger than any real one");
    errno = 0;
    std::unique_ptr<char, Freer> data(hivex_value_value(hive_.get(), value, type, &size));
    if (!data) Refused("read a value's data");
    return RawValue{static_cast<int>(rawType), std::string(data.get(), size)};
}

std::optional<std::string> Hive::Text(hive_node_h node, std::string_view name) const {
    const std::optional<RawValue> value = Value(node, name);
    if (!value) return std::nullopt;
    return ValueText(value->type, value->data);
}

std::optional<uint32_t> Hive::Dword(hive_node_h node, std::string_view name) const {
    const std::optional<RawValue> value = Value(node, name);
    if (!value || value->type != hive_t_REG_DWORD || value->data.size() < 4) return std::nullopt;
    return Little32(value->data, 0);
}

void Hive::SetValues(hive_node_h node,
                     const std::vector<std::pair<std::string, RawValue>>& values) {
    std::vector<hive_set_value> list;
    list.reserve(values.size());
    for (const auto& [name, value] : values) {
        list.push_back(hive_set_value{const_cast<char*>(name.c_str()),
                                      static_cast<hive_type>(value.type), value.data.size(),
                                      const_cast<char*>(value.data.data())});
    }
    errno = 0;
    if (hivex_node_set_values(hive_.get(), node, list.size(), list.data(), 0) != 0)
        Refused("change a key's values");
}

void Hive::DeleteKey(hive_node_h node) {
    errno = 0;
    if (hivex_node_delete_child(hive_.get(), node) != 0) {
        if (errno == ENOTSUP)
            throw RescueError(
                "hivex cannot delete a key whose parent keeps its subkeys in an \"li\" list");
        Refused("delete the key");
    }
}

void Hive::Commit(const std::string& path) {
    errno = 0;
    if (hivex_commit(hive_.get(), path.c_str(), 0) != 0) Refused("write the hive");
}

std::optional<bool> HiveIsDirty(int fd) {
    const std::string head = ReadPrefix(fd, 12);
    if (head.size() < 12 || head.compare(0, 4, "regf") != 0) return std::nullopt;
    return Little32(head, 4) != Little32(head, 8);
}

}  // namespace zorvane::rescue
