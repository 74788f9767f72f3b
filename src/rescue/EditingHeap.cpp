#include "rescue/EditingHeap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace zorvane::rescue {

void PrepareHeapFor(std::size_t bytes) {
    constexpr std::size_t HugePage = 2u << 20;
    constexpr std::size_t MostPrepared = 256u << 20;  // real hives stay far below
    // The block, hivex's bitmap of it (a 32nd) after it, and the block moved past the bitmap
    // when the first edit adds a page to the hive: on the heap a block cannot be remapped.
    const std::size_t room = 2 * bytes + bytes / 16 + 2 * HugePage;
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long freePages = sysconf(_SC_AVPHYS_PAGES);
    // A rescue system running from memory may have little to spare: there glibc keeps its ways.
    if (bytes > MostPrepared || pageSize <= 0 || freePages <= 0 ||
        static_cast<std::size_t>(freePages) < 2 * room / static_cast<std::size_t>(pageSize))
        return;
    static const bool tuned = [] {
        // Blocks from mmap go back to the kernel when freed, and with them their pages; blocks
        // from the heap stay, ready for the next allocation of their size.
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        return true;
    }();
    (void)tuned;
    char* block = static_cast<char*>(std::malloc(room));
    if (block == nullptr) return;
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + room) & ~(HugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    for (std::size_t at = 0; at < room; at += static_cast<std::size_t>(pageSize))
        static_cast<volatile char*>(block)[at] = 0;
    std::free(block);
}

}  // namespace zorvane::rescue
