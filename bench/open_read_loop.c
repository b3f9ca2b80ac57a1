/* The bare cost of looking at many map files: open, read of the first bytes,
 * close, one file after another, and nothing else. The tile benchmark times a
 * report over a folder of tiles against this, the floor a reporter that reads
 * every file's header cannot go below.
 *
 *   open_read_loop [-n BYTES] PATH...
 *
 * A PATH that is a folder stands for the regular files in it (not below it).
 * BYTES is 16384 unless given. Prints the number of files and bytes read;
 * exits with 1 if a file cannot be opened or read.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char *buffer;
static size_t want = 16384;
static unsigned long files;
static unsigned long long total;

/* Opens NAME (relative to the folder AT, or the working folder), reads up to
 * `want` bytes from its start and closes it. A folder is not read but handed
 * back through *folder (open), so that a plain file costs open, read and
 * close and no more: read() tells a folder apart by failing with EISDIR. */
static int read_head(int at, const char *name, const char *shown, int *folder)
{
    int fd = openat(at, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "open_read_loop: %s: %s\n", shown, strerror(errno));
        return -1;
    }
    size_t got = 0;
    while (got < want) {
        ssize_t n = read(fd, buffer + got, want - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EISDIR && got == 0 && folder != NULL) {
                *folder = fd;
                return 0;
            }
            fprintf(stderr, "open_read_loop: %s: %s\n", shown, strerror(errno));
            close(fd);
            return -1;
        }
        if (n == 0)
            break;
        got += (size_t)n;
    }
    close(fd);
    files++;
    total += got;
    return 0;
}

/* Reads the regular files in the open folder FD (and closes it). */
static int read_folder(int fd, const char *path)
{
    DIR *dir = fdopendir(fd);
    if (dir == NULL) {
        fprintf(stderr, "open_read_loop: %s: %s\n", path, strerror(errno));
        close(fd);
        return -1;
    }
    int failed = 0;
    struct dirent *entry;
    while ((entry = readdir(dir)) != NULL) {
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
                type = DT_REG;
        }
        if (type != DT_REG)
            continue;
        if (read_head(dirfd(dir), entry->d_name, entry->d_name, NULL) != 0)
            failed = -1;
    }
    closedir(dir);
    return failed;
}

int main(int argc, char **argv)
{
    int opt;
    while ((opt = getopt(argc, argv, "n:")) != -1) {
        if (opt == 'n') {
            char *end;
            unsigned long long n = strtoull(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0' || n == 0 || n > (1ULL << 30)) {
                fprintf(stderr, "open_read_loop: -n wants a byte count from 1 to 1073741824\n");
                return 2;
            }
            want = (size_t)n;
        } else {
            fprintf(stderr, "usage: open_read_loop [-n BYTES] PATH...\n");
            return 2;
        }
    }
    if (optind == argc) {
        fprintf(stderr, "usage: open_read_loop [-n BYTES] PATH...\n");
        return 2;
    }
    buffer = malloc(want);
    if (buffer == NULL) {
        fprintf(stderr, "open_read_loop: out of memory\n");
        return 1;
    }
    int failed = 0;
    for (int i = optind; i < argc; i++) {
        int folder = -1;
        if (read_head(AT_FDCWD, argv[i], argv[i], &folder) != 0)
            failed = 1;
        else if (folder >= 0 && read_folder(folder, argv[i]) != 0)
            failed = 1;
    }
    printf("%lu files, %llu bytes read\n", files, total);
    free(buffer);
    return failed;
}
