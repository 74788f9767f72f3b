#include "rescue/HiveEdit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rescue/Text.h"

namespace zorvane::rescue {

namespace {

constexpr std::string_view NewHiveSuffix = ".ZRVNEW";

// What the new file must show for one edit, compared with the hive as it was.
void Verify(const Hive& before, const Hive& after, const HiveOp& op) {
    const hive_node_h old = before.Path(before.Root(), op.keyPath);
    if (old == 0) return;  // nothing was there to change
    const hive_node_h now = after.Path(after.Root(), op.keyPath);
    if (now == 0) throw RescueError("the new hive lost " + op.keyPath);
    std::vector<std::string> expectedKeys;
    for (const auto& [name, node] : before.Children(old))
        if (!op.deleteChild || !SameName(name, *op.deleteChild)) expectedKeys.push_back(name);
    std::vector<std::string> keys;
    for (const auto& [name, node] : after.Children(now)) keys.push_back(name);
    if (keys != expectedKeys)
        throw RescueError("the new hive's subkeys of " + op.keyPath + " differ");
    ValueList expectedValues = before.Values(old);
    if (op.editValues) op.editValues(expectedValues);
    if (after.Values(now) != expectedValues)
        throw RescueError("the new hive's values of " + op.keyPath + " differ");
}

void VerifyTop(const Hive& before, const Hive& after) {
    std::vector<std::string> a, b;
    for (const auto& [name, node] : before.Children(before.Root())) a.push_back(name);
    for (const auto& [name, node] : after.Children(after.Root())) b.push_back(name);
    if (a != b) throw RescueError("the new hive's top keys differ");
}

void Apply(Hive& hive, const HiveOp& op) {
    const hive_node_h key = hive.Path(hive.Root(), op.keyPath);
    if (key == 0) return;
    if (op.deleteChild) {
        if (const hive_node_h child = hive.Child(key, *op.deleteChild)) hive.DeleteKey(child);
    }
    if (op.editValues) {
        const ValueList values = hive.Values(key);
        ValueList edited = values;
        op.editValues(edited);
        if (edited != values) hive.SetValues(key, edited);
    }
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

    // An edit hivex refuses may already have changed the hive in memory (a key deletion under an
    // "li" list frees the subtree first): that handle is thrown away, never committed, and the
    // edits are made again on a fresh one without the refused edit.
    std::optional<Hive> edited;
    while (!edited) {
        Hive hive = Hive::Open(original.Get(), true);
        bool refused = false;
        for (std::size_t i = 0; i < ops.size() && !refused; ++i) {
            try {
                Apply(hive, ops[i]);
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
    if (ops.empty()) return result;

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
        {
            const Hive before = Hive::Open(original.Get(), false);
            const Hive after = Hive::Open(copy.Get(), false);
            VerifyTop(before, after);
            for (const HiveOp& op : ops) Verify(before, after, op);
        }
        SyncOrThrow(copy.Get(), "the new hive");
        const std::string shaAfter = HashOf(copy.Get());
        const Quarantine::Stored stored = quarantine.Keep(original.Get(), "original");
        ManifestLine line{"changed",     "volume", place->path, stored.size,
                          stored.sha256, shaAfter, stored.name};
        quarantine.Record(line);
        if (renameat(folder, newName.c_str(), folder, place->name.c_str()) != 0) {
            const int code = errno;
            line.action = "failed";
            try {
                quarantine.Record(line);
            } catch (const RescueError&) {
            }
            errno = code;
            ThrowErrno("the hive cannot be replaced");
        }
    } catch (...) {
        unlinkat(folder, newName.c_str(), 0);
        throw;
    }
    // Renamed: the hive is the new one. Its folder's entry is flushed so that the rename outlives
    // a power loss; a failure here changes nothing of what was done.
    fsync(folder);
    result.changed = true;
    return result;
}

}  // namespace zorvane::rescue
