// Line operations on a text-line file, each followed by the error test, so that a failure
// raises EInOutError at the line where it happened.
#pragma once

#include <string>
#include <string_view>

#include "platform/TextLineFile.h"

namespace zorvane {

std::string ReadCheckedLine(TextLineFile& file);  // the line's text; its line end is dropped
void WriteCheckedLine(TextLineFile& file, std::string_view text);
bool CheckedAtEnd(TextLineFile& file);
void CheckedClose(TextLineFile& file);

}  // namespace zorvane
