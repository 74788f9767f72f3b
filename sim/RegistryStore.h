// The registry of the simulated machine. (Placeholder: the full store is being built.)
#pragma once

#include <map>
#include <string>

#include "platform/WindowsTypes.h"

namespace sim {

class RegistryStore {
  public:
    struct Value {
        zorvane::DWORD type = 0;
        std::string data;  // raw bytes, as stored
        bool operator==(const Value&) const = default;
    };
    using Values = std::map<std::string, Value>;  // by upper-cased value name
};

}  // namespace sim
