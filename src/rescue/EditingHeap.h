// Room on the heap for a hive that hivex reads to edit.
#pragma once

#include <cstddef>

namespace zorvane::rescue {

// hivex reads a hive it may edit into one malloc'd block the size of the file. Where page faults
// are dear (a virtual machine, as rescue systems often are) faulting a 35 MB block in page by
// page costs several times reading the file into it; so large blocks come from the heap, which
// is kept, and the room for this one (about twice the hive) is faulted in beforehand, on huge
// pages where the kernel gives them. Skipped for a hive over 256 MB or where free memory is
// short; only speed depends on it.
void PrepareHeapFor(std::size_t bytes);

}  // namespace zorvane::rescue
