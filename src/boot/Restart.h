// Every restart of the machine goes through here. Nothing raises; nothing is printed.
#pragma once

#include <string_view>

namespace zorvane {

bool SetTokenPrivilege(std::string_view name, bool enable);
void RestartSystem();
void FallbackRestart();

}  // namespace zorvane
