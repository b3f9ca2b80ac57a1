// Positioned transfers on open files: reads and writes at a given offset,
// copies between files inside the kernel, and read-only descriptors that
// other threads can use.
//
// These go past the stdio buffers of the streams they are given: a caller
// mixes them with stdio on the same stream only where no buffered bytes are
// pending.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool write_at(FILE* stream, uint64_t offset, const void* bytes, size_t n)
{
    if (!stream)
        return false;
    int fd = fileno(stream);
    const char* from = static_cast<const char*>(bytes);
    while (n > 0) {
        ssize_t w = pwrite(fd, from, n, static_cast<off_t>(offset));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        from += w;
        offset += static_cast<uint64_t>(w);
        n -= static_cast<size_t>(w);
    }
    return true;
}

static bool read_fd_at(int fd, uint64_t offset, void* bytes, size_t n)
{
    char* to = static_cast<char*>(bytes);
    while (n > 0) {
        ssize_t r = pread(fd, to, n, static_cast<off_t>(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        to += r;
        offset += static_cast<uint64_t>(r);
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool read_at(FILE* stream, uint64_t offset, void* bytes, size_t n)
{
    return stream && read_fd_at(fileno(stream), offset, bytes, n);
}

bool file_length(FILE* stream, uint64_t& length)
{
    if (!stream)
        return false;
    int fd = fileno(stream);
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return false;
    if (S_ISREG(status.st_mode)) {
        length = static_cast<uint64_t>(status.st_size);
        return true;
    }
    // A device's length is where its end lies; pread does not use the
    // position, so it is left there.
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0)
        return false;
    length = static_cast<uint64_t>(end);
    return true;
}

bool set_file_length(FILE* stream, uint64_t size)
{
    return stream && size <= static_cast<uint64_t>(INT64_MAX) && ftruncate(fileno(stream), static_cast<off_t>(size)) == 0;
}

void preallocate_file(FILE* stream, uint64_t size)
{
    // fallocate itself, not posix_fallocate: where the file system cannot
    // reserve room, the C library would write the whole length in zeros.
    if (stream && size > 0 && size <= static_cast<uint64_t>(INT64_MAX))
        (void)fallocate(fileno(stream), 0, 0, static_cast<off_t>(size));
}

bool copy_file_part(FILE* input, uint64_t offset, FILE* output, uint64_t output_offset, size_t length)
{
    if (!input || !output)
        return false;
    int in = fileno(input);
    int out = fileno(output);
    loff_t from = static_cast<loff_t>(offset);
    loff_t to = static_cast<loff_t>(output_offset);
    size_t done = 0;
    while (done < length) {
        ssize_t n = copy_file_range(in, &from, out, &to, length - done, 0);
        if (n < 0 && errno == EINTR)
            continue;
        // Whatever was copied lies where the caller's own write goes next.
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

FileReader::FileReader(FILE* stream)
{
    if (stream)
        fd_ = fcntl(fileno(stream), F_DUPFD_CLOEXEC, 0);
}

FileReader::~FileReader()
{
    if (fd_ >= 0)
        close(fd_);
}

bool FileReader::read_at(uint64_t offset, void* bytes, size_t n) const
{
    return fd_ >= 0 && read_fd_at(fd_, offset, bytes, n);
}

}  // namespace platform

namespace platform {

// The mode fopen(path, "wb") would give a new file: mkstemp makes it 0600.
static mode_t new_file_mode()
{
    static const mode_t mode = [] {
        mode_t mask = umask(0);
        umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

FILE* create_temporary_beside(const std::string& path, std::string& temporary)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Cut so that the made-up name still fits in one directory entry.
    if (base.size() > 200)
        base.resize(200);
    std::string name = folder + "." + base + ".XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0)
        return nullptr;
    FILE* stream = nullptr;
    if (fchmod(fd, new_file_mode()) == 0)
        stream = fdopen(fd, "wb");
    if (!stream) {
        close(fd);
        unlink(name.c_str());
        return nullptr;
    }
    temporary = name;
    return stream;
}

MoveResult move_file_into_place(const std::string& from, const std::string& to, bool replace)
{
    if (replace)
        return rename(from.c_str(), to.c_str()) == 0 ? MoveResult::moved : MoveResult::failed;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return MoveResult::moved;
    if (errno == EEXIST)
        return MoveResult::target_exists;
    if (errno != EINVAL && errno != ENOSYS)
        return MoveResult::failed;
    // A file system without the no-replace rename: a hard link refuses an
    // existing name just the same.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno == EEXIST ? MoveResult::target_exists : MoveResult::failed;
    unlink(from.c_str());
    return MoveResult::moved;
}

bool is_directory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool remove_file(const std::string& path) { return unlink(path.c_str()) == 0; }

}  // namespace platform
