// Deleting a registry key together with everything below it.
#pragma once

#include <string>

#include "platform/WindowsTypes.h"

namespace zorvane {

// RegDeleteKeyA on the NT family deletes only a key without subkeys, so the subkeys go first,
// deepest first. A key that Windows refuses to delete stays, and with it every key above it;
// the rest is deleted all the same. Nothing raises.
void DeleteKeyTree(HKEY root, const std::string& path);

}  // namespace zorvane
