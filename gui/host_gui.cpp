// The host services of the window program: the core's log goes to the Log
// tab, its Stop polls run the toolkit, its file-list notices rebuild rows.
// The debug trace goes to the debug window while it is open, for the
// categories ticked there; otherwise it costs only the flag test.
#include "core/host.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "gui/debug_window.h"
#include "gui/files_tab.h"
#include "gui/log_window.h"
#include "platform/platform.h"

// Formats into a buffer that grows, so no message is ever cut.
static void format_into(std::string& out, const char* format, va_list args)
{
    char small[4096];
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        out.clear();
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n) + 1);
        vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(n));
    }
    va_end(again);
}

void log_message(const char* format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    format_into(text, format, args);
    va_end(args);
    append_log_text(text.c_str());
}

// Trace lines arrive by the thousand inside the core's loops: one buffer
// is kept and grows to the longest line seen, so no line is ever cut and
// no line needs a fixed stack buffer.
static void format_trace(std::string& out, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    if (out.capacity() < 256)
        out.reserve(256);
    out.resize(out.capacity());
    int n = vsnprintf(out.data(), out.size() + 1, format, args);
    if (n > 0 && static_cast<size_t>(n) > out.size()) {
        out.resize(static_cast<size_t>(n));
        vsnprintf(out.data(), out.size() + 1, format, again);
    }
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    va_end(again);
}

void debug_message(uint32_t category, const char* format, ...)
{
    if (!debug_trace_wanted(category))
        return;
    static std::string text;
    va_list args;
    va_start(args, format);
    format_trace(text, format, args);
    va_end(args);
    append_debug_text(text.c_str());
}

int debug_category_enabled(uint32_t category) { return debug_trace_wanted(category); }

int poll_stop_request() { return poll_log_and_stop(); }

// Linux file names are bytes: the UTF-8 names open as they are. A name to
// read is untrusted (a list line, a language template): only a regular
// file opens, and a FIFO or a link to a device never holds the window.
FILE* open_file(const char* path, const char* mode)
{
    if (mode && mode[0] == 'r')
        return platform::open_regular_file(path, mode);
    return fopen(path, mode);
}

int check_file_access(const char* path, int mode) { return access(path, mode); }

void refresh_file_list_row(const char* path, int code_page) { refresh_file_row(path, code_page); }
