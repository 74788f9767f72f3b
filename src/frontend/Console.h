// The console streams on standard output and standard input (128-byte buffers, CR LF).
// Failures store a code in the pending I/O error; the caller applies CheckIoError.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

void ConsoleWrite(std::string_view text);
void ConsoleWriteLine(std::string_view text);
std::string ConsoleReadLine();
void ConsoleSkipLine();

void ResetConsole();  // a new process: both streams closed, buffers empty, nothing written
void FlushConsole();  // writes out what waits for standard output; failures are not reported
void CloseConsole();  // process end: FlushConsole, then both streams closed

}  // namespace zorvane
