// The end of a run that an error nothing handled has stopped.
#pragma once

#include <exception>

namespace zorvane {

// The exception code handed to the system's unhandled-exception filter for a program error
// (customer bit set, so it cannot be taken for a system code).
constexpr unsigned ProgramErrorExceptionCode = 0xE05A5256u;

// Asks the system's unhandled-exception filter first. When it answers EXCEPTION_CONTINUE_SEARCH
// the system ends the process: output still held for standard output is lost, and the answer
// is the exit code the system gives such a process, the exception code. Otherwise standard
// output is written out, the report goes to standard error, and the answer is 1.
// `codeLocation` is the code shown in the report (the run flow's entry, where errors land).
int ReportUnhandledError(const std::exception& error, const void* codeLocation);

}  // namespace zorvane
