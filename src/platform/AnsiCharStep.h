// Stepping through text in the system's ANSI code page, which may hold double-byte characters.
#pragma once

namespace zorvane {

// One character on with CharNextA, guarded as NextChar (platform/AsciiText.h) guards any step.
const char* NextAnsiChar(const char* current);

}  // namespace zorvane
