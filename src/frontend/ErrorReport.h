// The end of a run that an error nothing handled has stopped.
#pragma once

#include <exception>

namespace zorvane {

// Writes out standard output, puts the report on standard error and answers the exit code, 1.
// The system's crash handler is never involved: on a stock machine it is a debugger (winedbg,
// Dr. Watson) or an error-reporting dialog, which would hold up an unattended run, print into
// its output and end it without the report.
// `codeLocation` is the code shown in the report (the run flow's entry, where errors land).
int ReportUnhandledError(const std::exception& error, const void* codeLocation);

}  // namespace zorvane
