// The host services of the window program: the core's log goes to the Log
// tab, its Stop polls run the toolkit, its file-list notices rebuild rows.
// The debug trace goes to the debug window while it is open, for the
// categories ticked there; otherwise it costs only the flag test.
#include "core/host.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "core/text_format.h"
#include "gui/debug_window.h"
#include "gui/files_tab.h"
#include "gui/log_window.h"
#include "platform/platform.h"

// Messages are formatted into a string that grows, so none is ever cut.
void log_message(const char* format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    append_vformat(text, format, args);
    va_end(args);
    append_log_text(text.c_str());
}

// Trace lines arrive by the thousand inside the core's loops: one string is
// kept, so its room grows to the longest line seen and is used again.
void debug_message(uint32_t category, const char* format, ...)
{
    if (!debug_trace_wanted(category))
        return;
    static std::string text;
    text.clear();
    va_list args;
    va_start(args, format);
    append_vformat(text, format, args);
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
