#pragma once
// Room on the heap ahead of a large load.

#include <cstdint>

namespace kestrune {

// Makes room for about `bytes` more of small heap objects in one step, in
// memory the system may back with large pages, so that building a big
// project in a new process does not take one page fault per 4 KiB. Small
// amounts, and systems without the means, are left alone; the heap grows as
// usual past what was made room for. Any number of calls; only growth counts.
void MakeHeapRoom(uint64_t bytes);

} // namespace kestrune
