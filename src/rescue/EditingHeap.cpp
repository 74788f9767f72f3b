#include "rescue/EditingHeap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace zorvane::rescue {

void PrepareHeapFor(std::size_t bytes, bool editing) {
    constexpr std::size_t HugePage = 2u << 20;
    static const bool tuned = [] {
        // Blocks from mmap go back to the kernel when freed, and with them their pages; blocks
        // from the heap stay, ready for the next allocation of their size.
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        return true;
    }();
    (void)tuned;
    // Past this the room is not worth its memory (real hives stay far below).
    constexpr std::size_t MostPrepared = 256u << 20;
    if (bytes > MostPrepared) return;
    // The block, hivex's bitmap of it (a 32nd) after it, and the block moved past the bitmap
    // when the first edit adds a page to the hive.
    const std::size_t room = (editing ? 2 * bytes : 0) + bytes / 16 + 2 * HugePage;
    char* block = static_cast<char*>(std::malloc(room));
    if (block == nullptr) return;
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + room) & ~(HugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const std::size_t page = pageSize > 0 ? static_cast<std::size_t>(pageSize) : 4096;
    for (std::size_t at = 0; at < room; at += page) static_cast<volatile char*>(block)[at] = 0;
    std::free(block);
}

}  // namespace zorvane::rescue
