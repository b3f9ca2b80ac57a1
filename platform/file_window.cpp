// Read-only memory windows onto open files (mmap).
#include "platform/platform.h"

#include <sys/mman.h>
#include <unistd.h>

namespace platform {

FileWindow::~FileWindow() { unmap(); }

void FileWindow::unmap()
{
    if (base_)
        munmap(base_, mapped_);
    base_ = nullptr;
    mapped_ = 0;
    data_ = nullptr;
}

bool FileWindow::map(FILE* stream, uint64_t offset, size_t length)
{
    unmap();
    if (!stream || length == 0)
        return false;
    static const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t start = offset - offset % page;
    size_t lead = static_cast<size_t>(offset - start);
    if (length > SIZE_MAX - lead)
        return false;
    void* base = mmap(nullptr, length + lead, PROT_READ, MAP_SHARED | MAP_POPULATE, fileno(stream),
                      static_cast<off_t>(start));
    if (base == MAP_FAILED)
        return false;
    base_ = base;
    mapped_ = length + lead;
    data_ = static_cast<const uint8_t*>(base) + lead;
    return true;
}

}  // namespace platform
