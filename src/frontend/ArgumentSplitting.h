// The splitting of a command line into arguments, as the program's runtime always did it.
#pragma once

#include <string>

#include "platform/AsciiText.h"

namespace zorvane {

// Takes the arguments of a zero-terminated command line one after another, stepping through it
// one character at a time with `step`; the program's name is only skipped. Blanks (bytes 1 to
// 32) outside quotes separate arguments; quotes group and are never part of an argument; an
// empty quote pair between arguments is skipped; a backslash is an ordinary byte. The line
// must outlive the reader.
class ArgumentReader {
  public:
    ArgumentReader(const char* commandLine, CharStep step);

    // The next argument; empty once the line is used up (and only then, since empty quote
    // pairs are skipped), so that a caller stops as early as it likes.
    std::string Next();

  private:
    const char* next_;
    CharStep step_;
};

}  // namespace zorvane
