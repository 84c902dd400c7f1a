#include "heap.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#if defined(__linux__) && !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25 // older C library headers lack it; older kernels refuse it harmlessly
#endif
#if defined(__linux__) && !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23
#endif
#endif

namespace kestrune {

void MakeHeapRoom(uint64_t bytes)
{
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr uint64_t Least = 32ull << 20; // below this the faults cost little
    constexpr uint64_t Most = 2ull << 30;
    constexpr size_t Piece = 8u << 20;      // each piece below the heap's own limit for large blocks
    static uint64_t made = 0;               // the room made so far in this process
    bytes = std::min(bytes, Most);
    if (bytes < Least || bytes <= made)
        return;
    // Blocks up to 16 MiB come from the heap itself, and freed room at its
    // top stays there instead of going back to the system at once.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(bytes + Piece));
    const size_t pieces = static_cast<size_t>((bytes - made + Piece - 1) / Piece);
    std::array<void*, Most / Piece> taken{};
    size_t got = 0;
    uintptr_t low = UINTPTR_MAX, high = 0;
    for (; got < pieces; ++got) {
        void* p = std::malloc(Piece);
        if (!p)
            break;
        taken[got] = p;
        low = std::min(low, reinterpret_cast<uintptr_t>(p));
        high = std::max(high, reinterpret_cast<uintptr_t>(p) + Piece);
    }
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t from = (low + page - 1) & ~(page - 1);
    const uintptr_t to = high & ~(page - 1);
    if (got > 0 && to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    for (size_t i = 0; i < got; ++i)
        std::free(taken[i]);
#if defined(MADV_COLLAPSE)
    // Each piece's heap header was written before the advice, so the large
    // block holding it already has small pages, and would fault in 4 KiB
    // steps: such blocks are made large pages now, while nearly empty.
    constexpr uintptr_t Large = 2u << 20;
    for (size_t i = 0; i < got && to > from; ++i) {
        const uintptr_t block = reinterpret_cast<uintptr_t>(taken[i]) & ~(Large - 1);
        if (block >= from && block + Large <= to)
            ::madvise(reinterpret_cast<void*>(block), Large, MADV_COLLAPSE);
    }
#endif
#if defined(MADV_POPULATE_WRITE)
    // The system clears every page before the process first uses it, and
    // for a big load that is a good part of the time. The room is used
    // from its start up; a second thread has the system clear it from the
    // end down meanwhile, on the other processor.
    if (to > from && std::thread::hardware_concurrency() > 1) {
        constexpr uintptr_t Step = 2u << 20;
        const uintptr_t first = (from + Step - 1) & ~(Step - 1);
        const uintptr_t last = to & ~(Step - 1);
        if (last > first + 4 * Step) {
            try {
                std::thread([first, last] {
                    for (uintptr_t at = last; at - Step >= first + (last - first) / 4; at -= Step)
                        if (::madvise(reinterpret_cast<void*>(at - Step), Step, MADV_POPULATE_WRITE) != 0)
                            return; // not known to this system
                }).detach();
            } catch (...) { // no thread to be had: the pages are cleared as they are met
            }
        }
    }
#endif
    made += static_cast<uint64_t>(got) * Piece;
#else
    (void)bytes;
#endif
}

} // namespace kestrune
