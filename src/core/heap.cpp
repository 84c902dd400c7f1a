#include "heap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#if defined(__linux__) && !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23 // older C library headers lack it; older kernels refuse it harmlessly
#endif
#endif

namespace kestrune {

namespace {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
constexpr uintptr_t Large = 2u << 20; // the size of a large page

// The system clears every page before the process first uses it, and for a
// big load that is a good part of the time. The room is used from its start
// up; a second thread has the system clear its far part from the end down
// meanwhile, on the other processor.
void ClearAhead(uintptr_t first, uintptr_t last)
{
#if defined(MADV_POPULATE_WRITE)
    if (last < first + 4 * Large || std::thread::hardware_concurrency() < 2)
        return;
    try {
        std::thread([first, last] {
            for (uintptr_t at = last; at - Large >= first + (last - first) / 4; at -= Large)
                if (::madvise(reinterpret_cast<void*>(at - Large), Large, MADV_POPULATE_WRITE) != 0)
                    return; // not known to this system
        }).detach();
    } catch (...) { // no thread to be had: the pages are cleared as they are met
    }
#else
    (void)first;
    (void)last;
#endif
}
#endif
} // namespace

void MakeHeapRoom(uint64_t bytes)
{
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    constexpr uint64_t Least = 32ull << 20; // below this the faults cost little
    constexpr uint64_t Most = 2ull << 30;
    constexpr int TopPad = 128 << 10; // the heap's own default
    static uint64_t made = 0;         // the room made so far in this process
    bytes = std::min(bytes, Most);
    if (bytes < Least || bytes <= made)
        return;
    const uint64_t more = bytes - made;
    // Blocks up to 16 MiB come from the heap itself, and freed room at its
    // top stays there instead of going back to the system at once.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min<uint64_t>(bytes + Large, INT32_MAX)));
    // The heap grows by the whole room in one step: a block larger than
    // its free top, with the growth padded by the room. Of the new memory
    // only the start is written (the heap's note of its top), so the advice
    // below finds the rest untouched, and the system backs it with large
    // pages as it is first used.
    mallopt(M_TOP_PAD, static_cast<int>(std::min<uint64_t>(more, INT32_MAX)));
    const size_t ask = mallinfo2().keepcost + (64 << 10);
    void* block = std::malloc(ask);
    mallopt(M_TOP_PAD, TopPad);
    if (!block)
        return;
    const uintptr_t top = reinterpret_cast<uintptr_t>(block) + ask; // where the free top now starts
    const uintptr_t end = reinterpret_cast<uintptr_t>(::sbrk(0));
    std::free(block);
    if (end <= top || end - top > 2 * more + Large)
        return; // the block did not come from growing the heap's top
    const uintptr_t first = (top + Large) & ~(Large - 1); // past the page holding the heap's note
    const uintptr_t last = end & ~(Large - 1);
    if (last <= first)
        return;
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    ClearAhead(first, last);
    made += end - top;
#else
    (void)bytes;
#endif
}

} // namespace kestrune
