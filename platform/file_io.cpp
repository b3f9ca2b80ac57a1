// Positioned transfers on open files: reads and writes at a given offset,
// the file's length and reserved space; the opener of untrusted names, the
// whole reading of small files people edit, and setting a file aside under a
// name of its own.
//
// These go past the stdio buffers of the streams they are given: a caller
// mixes them with stdio on the same stream only where no buffered bytes are
// pending.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

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

bool read_at(FILE* stream, uint64_t offset, void* bytes, size_t n)
{
    if (!stream)
        return false;
    int fd = fileno(stream);
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

bool reserve_file_space(FILE* stream, uint64_t size)
{
    return stream && size > 0 && size <= static_cast<uint64_t>(INT64_MAX) &&
           fallocate(fileno(stream), 0, 0, static_cast<off_t>(size)) == 0;
}

FILE* open_regular_file(const char* path, const char* mode)
{
    if (!path || !mode || (mode[0] != 'r')) {
        errno = EINVAL;
        return nullptr;
    }
    bool update = std::strchr(mode, '+') != nullptr;
    // Non-blocking, so that a FIFO with no writer does not hold the open.
    // The flag stays: reads and writes of a regular file ignore it.
    int fd = open(path, (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        int error = S_ISDIR(status.st_mode) ? EISDIR : ENODEV;
        close(fd);
        errno = error;
        return nullptr;
    }
    FILE* stream = fdopen(fd, mode);
    if (!stream) {
        int error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}


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

// The folder part of path with its '/' ("" for a bare name) and the rest.
static void split_path(const std::string& path, std::string& folder, std::string& base)
{
    size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Cut so that a made-up name still fits in one directory entry.
    if (base.size() > 200)
        base.resize(200);
}

// Whether an open file can be named through /proc/self/fd (unnamed files
// are only used where it can).
static bool can_name_open_files()
{
    static const bool can = access("/proc/self/fd", X_OK) == 0;
    return can;
}

FILE* create_temporary_beside(const std::string& path, std::string& temporary)
{
    std::string folder, base;
    split_path(path, folder, base);
    temporary.clear();
    // An unnamed file: one call makes it with the mode a new file gets, and
    // a killed run leaves nothing behind.
    int fd = -1;
    if (can_name_open_files())
        fd = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // A file system without unnamed files: a fresh hidden name.
        std::string name = folder + "." + base + ".XXXXXX";
        fd = mkstemp(name.data());
        if (fd < 0)
            return nullptr;
        if (fchmod(fd, new_file_mode()) != 0) {
            int error = errno;
            close(fd);
            unlink(name.c_str());
            errno = error;
            return nullptr;
        }
        temporary = name;
    }
    FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        int error = errno;
        close(fd);
        if (!temporary.empty())
            unlink(temporary.c_str());
        temporary.clear();
        errno = error;
    }
    return stream;
}

// Gives the unnamed file open on fd the name to; false with errno set.
static bool link_open_file(int fd, const std::string& to)
{
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

static MoveResult rename_into_place(const std::string& from, const std::string& to, bool replace)
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

// The new file takes the permission bits of the regular file it replaces:
// an output written over a file of mode 640 does not become readable by all.
static bool keep_replaced_mode(FILE* stream, const std::string& to)
{
    struct stat old {};
    if (stat(to.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return true;
    return fchmod(fileno(stream), old.st_mode & 0777) == 0;
}

MoveResult move_file_into_place(FILE* stream, const std::string& temporary, const std::string& to, bool replace)
{
    if (replace && stream && !keep_replaced_mode(stream, to))
        return MoveResult::failed;
    if (!temporary.empty())
        return rename_into_place(temporary, to, replace);
    if (!stream)
        return MoveResult::failed;
    int fd = fileno(stream);
    if (!replace) {
        // The link refuses a name that exists: the one exclusive step.
        if (link_open_file(fd, to))
            return MoveResult::moved;
        return errno == EEXIST ? MoveResult::target_exists : MoveResult::failed;
    }
    // Replacing: a hidden name first, then one rename over the old file.
    std::string folder, base;
    split_path(to, folder, base);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string hidden = folder + "." + base + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (link_open_file(fd, hidden)) {
            if (rename(hidden.c_str(), to.c_str()) == 0)
                return MoveResult::moved;
            unlink(hidden.c_str());
            return MoveResult::failed;
        }
        if (errno != EEXIST)
            return MoveResult::failed;
    }
    return MoveResult::failed;
}

bool output_target(const std::string& path, std::string& target)
{
    target = path;
    // As many links as the system itself follows in one name.
    for (int links = 0; links <= 40; ++links) {
        struct stat status {};
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return true;
        std::string next(PATH_MAX, '\0');
        ssize_t n = readlink(target.c_str(), next.data(), next.size());
        if (n < 0)
            return false;
        if (n == 0 || static_cast<size_t>(n) >= next.size()) {
            errno = n == 0 ? ENOENT : ENAMETOOLONG;
            return false;
        }
        next.resize(static_cast<size_t>(n));
        // A relative target is relative to the link's own folder.
        size_t slash = target.rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next.insert(0, target, 0, slash + 1);
        target = next;
    }
    errno = ELOOP;
    return false;
}

PathKind path_kind(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::none : PathKind::other;
    return S_ISDIR(status.st_mode) ? PathKind::directory : PathKind::other;
}

int folder_write_error(const std::string& folder)
{
    std::string path = folder.empty() ? "." : folder;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return errno;
    if (!S_ISDIR(status.st_mode))
        return ENOTDIR;
    std::string temporary;
    FILE* probe = create_temporary_beside(path + "/probe", temporary);
    if (!probe)
        return errno ? errno : EACCES;
    fclose(probe);
    if (!temporary.empty())
        unlink(temporary.c_str());
    return 0;
}

bool remove_file(const std::string& path) { return unlink(path.c_str()) == 0; }


SmallFileRead read_small_file(const char* path, size_t limit, std::string& bytes)
{
    bytes.clear();
    FILE* file = open_regular_file(path, "rb");
    if (!file) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return SmallFileRead::missing;
        case EISDIR:
            return SmallFileRead::folder;
        case ENODEV:
            return SmallFileRead::not_regular;
        default:
            return SmallFileRead::failed;
        }
    }
    struct stat status {};
    if (fstat(fileno(file), &status) != 0) {
        fclose(file);
        return SmallFileRead::failed;
    }
    if (static_cast<uint64_t>(status.st_size) > limit) {
        fclose(file);
        return SmallFileRead::too_large;
    }
    // Read to its end, not to the size seen: the file may grow meanwhile,
    // and one byte past the limit is enough to know.
    char chunk[65536];
    size_t n = 0;
    while (bytes.size() <= limit && (n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    bool error = ferror(file) != 0;
    fclose(file);
    if (error || bytes.size() > limit) {
        bytes.clear();
        return error ? SmallFileRead::failed : SmallFileRead::too_large;
    }
    return SmallFileRead::read;
}

std::string set_file_aside(const std::string& path, const std::string& suffix)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string aside = path + suffix;
        if (attempt) {
            aside += '.';
            aside += std::to_string(attempt);
        }
        switch (rename_into_place(path, aside, false)) {
        case MoveResult::moved:
            return aside;
        case MoveResult::target_exists:
            continue;
        case MoveResult::failed:
            return "";
        }
    }
    return "";
}

}  // namespace platform
