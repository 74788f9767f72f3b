#include "platform/WindowsApi.h"

namespace zorvane {

namespace {
WindowsApi* current = nullptr;
}

WindowsApi& Windows() {
    return *current;
}

WindowsScope::WindowsScope(WindowsApi& api) : previous_(current) {
    current = &api;
}

WindowsScope::~WindowsScope() {
    current = previous_;
}

}  // namespace zorvane
