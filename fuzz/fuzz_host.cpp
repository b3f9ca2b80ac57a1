// Host services of the fuzz target: every message is formatted, so a
// mismatched argument still trips the sanitizers, and then dropped. Every
// debug category is on, so the trace paths of the reader run too.
#include "core/host.h"

#include <cstdarg>
#include <unistd.h>

static void format_and_drop(const char* format, va_list args)
{
    char text[4096];
    vsnprintf(text, sizeof text, format, args);
}

void log_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    format_and_drop(format, args);
    va_end(args);
}

void debug_message(uint32_t, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    format_and_drop(format, args);
    va_end(args);
}

int debug_category_enabled(uint32_t) { return 1; }

int poll_stop_request() { return 0; }

FILE* open_file(const char* path, const char* mode) { return fopen(path, mode); }

int check_file_access(const char* path, int mode) { return access(path, mode); }

void refresh_file_list_row(const char*, int) {}
