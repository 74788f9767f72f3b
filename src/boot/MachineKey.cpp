#include "boot/MachineKey.h"

namespace zorvane {

void OpenOrMakeMachineKey(TRegistry& registry, std::string_view path) {
    registry.SelectRoot(HkeyLocalMachine());
    if (!registry.HasKey(path)) registry.MakeKey(path);
    registry.OpenCurrentKey(path, false);
}

}  // namespace zorvane
