// Room on the heap for a hive that hivex reads to edit.
#pragma once

#include <cstddef>

namespace zorvane::rescue {

// hivex reads a hive it may edit into one malloc'd block the size of the file. Where page faults
// are dear (a virtual machine, as rescue systems often are) faulting a 35 MB block in page by
// page costs several times reading the file into it; so large blocks come from the heap, which
// is kept, and the room for this one is faulted in beforehand on huge pages where the kernel
// gives them (for a hive of up to 256 MB). Only speed depends on it: any step the allocator or the
// kernel declines is skipped.
void PrepareHeapFor(std::size_t bytes, bool editing);

}  // namespace zorvane::rescue
