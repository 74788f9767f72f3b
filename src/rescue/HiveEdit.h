// A hive changed without ever being half-written: the edits are made on the hive read into
// memory and committed to a new file beside it; that file is opened again and checked (the
// edits are there, the keys around them are as they were), put on the disk, and only then
// renamed over the hive, and the folder flushed. Any failure before the rename leaves the hive
// as it was and removes the new file.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rescue/Hive.h"
#include "rescue/Quarantine.h"
#include "rescue/Volumes.h"

namespace zorvane::rescue {

using ValueList = std::vector<std::pair<std::string, RawValue>>;

// One edit: below `keyPath` (from the hive's root), delete the subkey `deleteChild` (with all
// below it) and/or rewrite the key's values with `editValues`.
struct HiveOp {
    std::string shown;  // the item as the cure names it when it stays
    std::string keyPath;
    std::optional<std::string> deleteChild;
    std::function<void(ValueList&)> editValues;
    // Made instead when hivex refuses this edit, and said after the reason ("; <note>").
    std::shared_ptr<const HiveOp> fallback;
    std::string fallbackNote;
};

struct HiveEditResult {
    bool changed = false;                  // the hive was replaced
    std::optional<std::string> unflushed;  // why the folder of the replaced hive is not flushed
    std::vector<std::pair<std::string, std::string>> failed;  // item shown, reason
};

// `lookup`: the hive below the volume's root. Raises when the hive as a whole could not be
// changed (it is then as it was).
HiveEditResult EditHive(const VolumeRoot& volume, const std::string& lookup,
                        std::vector<HiveOp> ops, Quarantine& quarantine);

}  // namespace zorvane::rescue
