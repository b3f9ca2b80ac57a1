// The large-page hint for big tables.
//
// A table of megabytes (the FAT image of a file of thousands of maps) is
// filled page by page as soon as it is made, and every fresh page costs a
// fault. Offered for large pages before it is filled, such a table takes one
// fault for each large page instead of one for each small one.
#include "platform/platform.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

namespace {

constexpr uintptr_t large_page_size = uintptr_t(2) << 20;

}  // namespace

void offer_large_pages(void* start, size_t bytes)
{
    uintptr_t begin = reinterpret_cast<uintptr_t>(start);
    uintptr_t first = (begin + large_page_size - 1) & ~(large_page_size - 1);
    uintptr_t end = (begin + bytes) & ~(large_page_size - 1);
    // Only a hint: where large pages are off, the pages stay small.
    if (end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace platform
