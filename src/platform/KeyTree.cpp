#include "platform/KeyTree.h"

#include <vector>

#include "platform/AsciiText.h"
#include "platform/Handles.h"
#include "platform/RunLog.h"

namespace zorvane {
namespace {

// Key names are at most 255 characters; a longer one cannot be a key the program deletes.
constexpr DWORD KeyNameSize = 256;
// A symbolic link below a key could lead back above it; no driver key is nearly this deep.
constexpr int MaxDepth = 16;

// Taken whole before any deletion: deleting while enumerating would shift the indexes.
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    RegistryKey key;
    if (Windows().RegOpenKeyExA(root, path.c_str(), 0, KeyEnumerateSubKeys, key.Put()) !=
        static_cast<LONG>(error::Success)) {
        key.Release();  // a refused open hands back nothing to close
        return names;
    }
    char name[KeyNameSize];
    for (DWORD index = 0; Windows().RegEnumKeyA(key.Get(), index, name, KeyNameSize) ==
                          static_cast<LONG>(error::Success);
         ++index) {
        name[KeyNameSize - 1] = '\0';
        names.emplace_back(name);
    }
    return names;
}

// Answers the status of the key's own deletion.
LONG DeleteTree(HKEY root, const std::string& path, int depth) {
    if (depth < MaxDepth) {
        for (const std::string& name : SubkeyNames(root, path))
            DeleteTree(root, Join({path, "\\", name}), depth + 1);
    }
    return Windows().RegDeleteKeyA(root, path.c_str());
}

}  // namespace

void DeleteKeyTree(HKEY root, const std::string& path) {
    const auto status = static_cast<DWORD>(DeleteTree(root, path, 0));
    if (!RunLogOpen()) return;
    // A key that stays after its subkeys were asked to go kept one of them, or was refused.
    Log({"Delete key HKLM\\", path, ": ",
         status == error::FileNotFound ? "not there" : Outcome(status == error::Success, status)});
}

}  // namespace zorvane
