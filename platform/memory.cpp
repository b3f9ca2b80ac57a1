// The heap's set-up for tasks that build their tables in many small blocks.
//
// A task over thousands of maps (a join of tiles, the report or change of
// the file they were joined into) reads their FAT and map headers into
// small records, about 3.6 KiB a map, and a large file's FAT image into one
// block of megabytes: every page of it fresh. On a virtual machine each fresh 4 KiB page costs a fault that takes
// longer than reading the page it describes (10 us and more where the host
// keeps the guest's page tables), while a 2 MiB page costs one. The heap's
// first stretch is therefore set aside at the start, offered to the kernel
// for large pages, and given back to the allocator, which carves the small
// blocks out of it.
#include "platform/platform.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

constexpr uintptr_t large_page_size = uintptr_t(2) << 20;
// The allocator takes no threshold for pages of their own above 32 MiB
// (on 64-bit systems); the stretch stays below it with a large page to spare.
constexpr size_t largest_stretch = (size_t(32) << 20) - large_page_size;

}  // namespace

void prefer_large_heap_pages(size_t bytes)
{
    static bool done = false;
    if (done || bytes < 2 * large_page_size)
        return;
    done = true;
    bytes = std::min(bytes, largest_stretch);
    // Blocks smaller than the stretch come from the heap (the threshold
    // would otherwise send the stretch itself, and the FAT images, to pages
    // of their own), and the heap keeps the stretch when it is free again.
    if (!mallopt(M_MMAP_THRESHOLD, static_cast<int>(bytes + large_page_size)) ||
        !mallopt(M_TRIM_THRESHOLD, static_cast<int>(bytes + large_page_size)))
        return;
    // The allocator's own malloc and free: the stretch is not memory the
    // program uses, only the place its later blocks are to come from.
    void* stretch = malloc(bytes);
    if (!stretch)
        return;
    offer_large_pages(stretch, bytes);
    free(stretch);
}

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
