// Volumes, directories and files of the simulated machine, with Windows' file semantics.
// (Placeholder: the full store is being built.)
#pragma once

#include <string>

#include "platform/WindowsTypes.h"

namespace sim {

class FileStore {
  public:
    struct Entry {
        bool directory = false;
        zorvane::DWORD attributes = 0;
        std::string content;
        zorvane::FILETIME lastWrite{};
        bool operator==(const Entry& other) const {
            return directory == other.directory && attributes == other.attributes &&
                   content == other.content &&
                   lastWrite.dwLowDateTime == other.lastWrite.dwLowDateTime &&
                   lastWrite.dwHighDateTime == other.lastWrite.dwHighDateTime;
        }
    };
};

}  // namespace sim
