// The plain host services: print to standard output, never stop, trace nothing.
// Linked into `twk` and into the tests that run the core without a window.
#include "core/host.h"

#include <cstdarg>
#include <unistd.h>

#include "platform/platform.h"

void log_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
}

void debug_message(uint32_t, const char*, ...) {}

int debug_category_enabled(uint32_t) { return 0; }

int poll_stop_request() { return 0; }

// Inputs are names people give: a FIFO must not hold the run, and a folder
// or device is no map file.
FILE* open_file(const char* path, const char* mode) { return platform::open_regular_file(path, mode); }

int check_file_access(const char* path, int mode) { return access(path, mode); }

void refresh_file_list_row(const char*, int) {}
