// Host services for the tests: the log goes into a string the test reads.
#include "tests/support/host_capture.h"

#include <cstdarg>
#include <unistd.h>

#include <string>

#include "core/text_format.h"
#include "core/task_options.h"
#include "platform/platform.h"

static std::string captured_log;
static std::string captured_debug;
int test_stop_after_polls = -1;
uint32_t test_debug_mask = 0;

std::string take_log()
{
    std::string text;
    text.swap(captured_log);
    return text;
}

std::string take_debug_log()
{
    std::string text;
    text.swap(captured_debug);
    return text;
}


void log_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_vformat(captured_log, format, args);
    va_end(args);
}

void debug_message(uint32_t category, const char* format, ...)
{
    if (!(category & test_debug_mask))
        return;
    va_list args;
    va_start(args, format);
    append_vformat(captured_debug, format, args);
    va_end(args);
}

int debug_category_enabled(uint32_t category) { return (category & test_debug_mask) != 0; }

int poll_stop_request()
{
    if (test_stop_after_polls < 0)
        return 0;
    if (test_stop_after_polls == 0)
        return 1;
    --test_stop_after_polls;
    return 0;
}

// As twk's: only regular files open.
FILE* open_file(const char* path, const char* mode) { return platform::open_regular_file(path, mode); }

int check_file_access(const char* path, int mode) { return access(path, mode); }

static std::string refreshed_rows;

std::string take_refreshed_rows()
{
    std::string text;
    text.swap(refreshed_rows);
    return text;
}

void refresh_file_list_row(const char* path, int code_page)
{
    refreshed_rows += std::string(path) + " " + std::to_string(code_page) + "\n";
}

void reset_test_state()
{
    clear_task_options(task_options);
    error_count = 0;
    warning_count = 0;
    stop_requested = 0;
    test_stop_after_polls = -1;
    test_debug_mask = 0;
    take_log();
    take_debug_log();
    take_refreshed_rows();
}
