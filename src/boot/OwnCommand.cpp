#include "boot/OwnCommand.h"

#include "frontend/CommandLine.h"

namespace zorvane {

std::string OwnCommand(std::string_view options) {
    std::string path = ArgumentAt(0);
    if (path.find(' ') != std::string::npos) path = '"' + path + '"';
    path += options;
    return path;
}

}  // namespace zorvane
