// The one pending input/output error code, shared by the console streams and every text-line
// file, and the error test that turns it into EInOutError.
#pragma once

#include <string>

namespace zorvane {

void StoreIoError(int code);  // replaces any pending code
int TakeIoError();            // returns the pending code (0 when none) and clears it
void CheckIoError();          // the error test: raises EInOutError when a code is pending
std::string IoErrorMessage(int code);

}  // namespace zorvane
