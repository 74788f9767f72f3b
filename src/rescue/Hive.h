// A registry hive file through hivex, read with bounds: a hive is whatever the infected machine
// (or an attacker) left, so every list and value is sized before it is fetched, and any refusal
// of the library is an error the caller turns into "could not be checked", never a crash.
#pragma once

#include <hivex.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rescue/Posix.h"

namespace zorvane::rescue {

inline constexpr std::size_t MaxSubkeys = 100'000;    // Windows' own keys stay far below
inline constexpr std::size_t MaxValues = 10'000;      // per key
inline constexpr std::size_t MaxValueSize = 1 << 20;  // bytes of one value's data
inline constexpr std::size_t MaxHiveSize = 2u << 30;  // hivex holds the whole file in memory

struct RawValue {
    int type = 0;
    std::string data;
    bool operator==(const RawValue&) const = default;
};

class Hive {
  public:
    // Opens the hive behind `fd` (opened without following links). With `forEditing` the file is
    // read into memory and may be changed there; it is never written unless committed.
    static Hive Open(int fd, bool forEditing);

    hive_node_h Root() const;
    // The subkey of that name (without regard to case), 0 when there is none.
    hive_node_h Child(hive_node_h node, std::string_view name) const;
    // The key at the '\\'-separated path below `node`, 0 when any key on the way is missing.
    hive_node_h Path(hive_node_h node, std::string_view path) const;
    std::vector<std::pair<std::string, hive_node_h>> Children(hive_node_h node) const;

    std::optional<RawValue> Value(hive_node_h node, std::string_view name) const;
    // All values of the key by name ("" for the default value), in the order stored.
    std::vector<std::pair<std::string, RawValue>> Values(hive_node_h node) const;
    std::optional<std::string> Text(hive_node_h node, std::string_view name) const;
    std::optional<uint32_t> Dword(hive_node_h node, std::string_view name) const;

    // Changes in memory; a failure leaves the handle unusable for a commit (see HiveEdit).
    void SetValues(hive_node_h node, const std::vector<std::pair<std::string, RawValue>>& values);
    void DeleteKey(hive_node_h node);
    void Commit(const std::string& path);

  private:
    RawValue Raw(hive_value_h value) const;
    struct Closer {
        void operator()(hive_h* hive) const { hivex_close(hive); }
    };
    std::unique_ptr<hive_h, Closer> hive_;
};

// Whether the base block's two sequence numbers differ: Windows was writing when it stopped,
// and the hive's .LOG holds changes not yet in the file (hivex never reads the log).
// Nothing when the file does not begin as a hive does.
std::optional<bool> HiveIsDirty(int fd);

}  // namespace zorvane::rescue
