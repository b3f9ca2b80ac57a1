// Read-only memory windows onto open files (mmap).
#include "platform/platform.h"

#include <fcntl.h>
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

bool copy_file_part(FILE* input, uint64_t offset, FILE* output, size_t length)
{
    if (!input || !output || fflush(output) != 0)
        return false;
    int in = fileno(input);
    int out = fileno(output);
    off_t start = lseek(out, 0, SEEK_CUR);
    if (start < 0)
        return false;
    loff_t from = static_cast<loff_t>(offset);
    size_t done = 0;
    while (done < length) {
        ssize_t n = copy_file_range(in, &from, out, nullptr, length - done, 0);
        if (n <= 0) {
            // Leave the output as it was, so the caller can write the bytes.
            if (lseek(out, start, SEEK_SET) < 0 || ftruncate(out, start) != 0)
                return false;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace platform
