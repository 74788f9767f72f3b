#include "rescue/HiveEdit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <future>

#include "rescue/Text.h"

namespace zorvane::rescue {

namespace {

constexpr std::string_view NewHiveSuffix = ".ZRVNEW";
constexpr std::launch OtherCoreOrHere = std::launch::async | std::launch::deferred;

// What a key must look like in the new file: its subkeys' names and its values.
struct KeyState {
    std::string keyPath;  // empty: the root
    std::vector<std::string> subkeys;
    ValueList values;
};

std::vector<std::string> SubkeyNames(const Hive& hive, hive_node_h node) {
    std::vector<std::string> names;
    for (const auto& [name, child] : hive.Children(node)) names.push_back(name);
    return names;
}

// Makes one edit on the hive in memory and answers what the edited key must then show: as it
// was, less the deleted subkey, with the values edited. Nothing when the key is not there.
std::optional<KeyState> Apply(Hive& hive, const HiveOp& op) {
    const hive_node_h key = hive.Path(hive.Root(), op.keyPath);
    if (key == 0) return std::nullopt;
    KeyState expected{op.keyPath, {}, hive.Values(key)};
    for (std::string& name : SubkeyNames(hive, key))
        if (!op.deleteChild || !SameName(name, *op.deleteChild))
            expected.subkeys.push_back(std::move(name));
    if (op.deleteChild) {
        if (const hive_node_h child = hive.Child(key, *op.deleteChild)) hive.DeleteKey(child);
    }
    if (op.editValues) {
        const ValueList values = expected.values;
        op.editValues(expected.values);
        if (expected.values != values) hive.SetValues(key, expected.values);
    }
    return expected;
}

void Verify(const Hive& written, const KeyState& expected) {
    const hive_node_h key =
        expected.keyPath.empty() ? written.Root() : written.Path(written.Root(), expected.keyPath);
    if (key == 0) throw RescueError("the new hive lost " + expected.keyPath);
    if (SubkeyNames(written, key) != expected.subkeys)
        throw RescueError("the new hive's subkeys of " + expected.keyPath + " differ");
    if (!expected.keyPath.empty() && written.Values(key) != expected.values)
        throw RescueError("the new hive's values of " + expected.keyPath + " differ");
}

}  // namespace

HiveEditResult EditHive(const VolumeRoot& volume, const std::string& lookup,
                        std::vector<HiveOp> ops, Quarantine& quarantine) {
    HiveEditResult result;
    const std::optional<Place> place = volume.Find(lookup);
    if (!place || !place->IsRegularFile()) throw RescueError("no longer a regular file");
    const int folder = place->folder.Get();
    const Fd original(openat(folder, place->name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!original) ThrowErrno("not readable");
    if (HiveIsDirty(original.Get()).value_or(true)) throw RescueError("dirty or no longer a hive");
    // The original's hash, for the manifest, on another core while hivex reads and edits it
    // (here, when no thread can be started).
    std::future<std::string> originalHash =
        std::async(OtherCoreOrHere, [fd = original.Get()] { return HashOf(fd); });

    // An edit hivex refuses may already have changed the hive in memory (a key deletion under an
    // "li" list frees the subtree first): that handle is thrown away, never committed, and the
    // edits are made again on a fresh one without the refused edit.
    std::optional<Hive> edited;
    std::vector<KeyState> expected;
    while (!edited) {
        Hive hive = Hive::Open(original.Get(), true);
        expected.assign(1, KeyState{"", SubkeyNames(hive, hive.Root()), {}});
        bool refused = false;
        for (std::size_t i = 0; i < ops.size() && !refused; ++i) {
            try {
                if (std::optional<KeyState> state = Apply(hive, ops[i]))
                    expected.push_back(std::move(*state));
            } catch (const std::exception& error) {
                std::string reason = error.what();
                if (ops[i].fallback) reason += "; " + ops[i].fallbackNote;
                result.failed.emplace_back(ops[i].shown, reason);
                if (ops[i].fallback) {
                    ops[i] = HiveOp(*ops[i].fallback);
                } else {
                    ops.erase(ops.begin() + static_cast<std::ptrdiff_t>(i));
                }
                refused = true;
            }
        }
        if (!refused) edited = std::move(hive);
    }
    if (expected.size() == 1) return result;  // nothing left to change

    const std::string newName = place->name + std::string(NewHiveSuffix);
    // A new file left by a cure cut short is the rescue's own: it goes.
    struct stat leftover {};
    if (fstatat(folder, newName.c_str(), &leftover, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(leftover.st_mode))
        unlinkat(folder, newName.c_str(), 0);
    Fd copy(openat(folder, newName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   place->status.st_mode & 0666));
    if (!copy) ThrowErrno("the new hive cannot be created");
    try {
        edited->Commit(ProcPath(copy.Get()));
        edited.reset();
        // The new file's hash while it is read back and checked.
        std::future<std::string> newHash =
            std::async(OtherCoreOrHere, [fd = copy.Get()] { return HashOf(fd); });
        {
            const Hive written = Hive::Open(copy.Get(), false);
            for (const KeyState& state : expected) Verify(written, state);
        }
        SyncOrThrow(copy.Get(), "the new hive");
        const std::string shaAfter = newHash.get();
        const Quarantine::Stored stored = quarantine.KeepLinked(folder, place->name, original.Get(),
                                                                "original", originalHash.get());
        quarantine.RecordAndDo(
            {"changed", "volume", place->path, stored.size, stored.sha256, shaAfter, stored.name},
            [&] { return renameat(folder, newName.c_str(), folder, place->name.c_str()); },
            "the hive cannot be replaced");
    } catch (...) {
        unlinkat(folder, newName.c_str(), 0);
        throw;
    }
    // Renamed: the hive is the new one, but only a flushed folder keeps the rename through a
    // power loss.
    if (fsync(folder) != 0) result.unflushed = "its folder cannot be flushed: " + ErrnoText(errno);
    result.changed = true;
    return result;
}

}  // namespace zorvane::rescue
