// The three things the rescue does: scan (reads only), cure, and undo a cure.
#pragma once

#include <string>

#include "rescue/Output.h"
#include "rescue/Volumes.h"

namespace zorvane::rescue {

struct Options {
    bool cure = false;
    std::string undo;         // the quarantine folder to put back from
    std::string windows;      // the installation named with --windows
    std::string quarantine;   // --quarantine
    std::string commandLine;  // for the run log
};

inline constexpr int ExitClean = 0;
inline constexpr int ExitFailed = 1;  // something could not be checked, cured or put back
inline constexpr int ExitFound = 2;

int RunScan(const Volumes& volumes, const Options& options, Output& out);
int RunCure(const Volumes& volumes, const Options& options, Output& out);
int RunUndo(const Volumes& volumes, const Options& options, Output& out);

}  // namespace zorvane::rescue
