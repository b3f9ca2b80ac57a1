// Host services: the only way the core talks to the program that links it.
//
// The core never prints, opens a window or asks for a Stop itself; it calls
// these seven services, which each program supplies at link time: `twk` and
// the tests link host_plain (printing to standard output, never stopping),
// the tests may link a capturing variant, and `Tarnwick` its own window-based
// one. The counters and flags below are shared by all of them.
#pragma once

#include <cstdint>
#include <cstdio>

// Debug categories, one bit each.
enum : uint32_t {
    DBG_GUI = 0x1,
    DBG_TWK = 0x2,
    DBG_READ = 0x4,
    DBG_SPLIT = 0x8,
    DBG_MAPS = 0x10,
    DBG_JOIN = 0x20,
    DBG_WRITE = 0x40,
    DBG_NT = 0x80,
    DBG_INFO = 0x100,
    DBG_MEMORY = 0x200,
    DBG_MDR = 0x400,
    DBG_DEM = 0x800,
    DBG_DECODE = 0x1000,
    DBG_ALWAYS = 0x80000000u,
};

// Shared counters and flags. An error bumps error_count, a warning bumps
// warning_count; operations return 1 for success and 0 for failure.
extern int error_count;
extern int warning_count;
extern int stop_requested;
extern int english_texts;          // 1: English built-in texts, 0: Polish
extern uint32_t debug_categories;  // bit 0x80000000 always set

// printf-style text appended to the log; the format carries its own line ends.
void log_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
// printf-style trace text, dropped unless the category is on.
void debug_message(uint32_t category, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Non-zero when a trace line of that category would be kept.
int debug_category_enabled(uint32_t category);
// Non-zero when the user asked to stop; every caller then ends and reports failure.
int poll_stop_request();
// Opens a file by name; null on failure, with errno saying why (the caller
// logs the message).
FILE* open_file(const char* path, const char* mode);
// 0 when the path is accessible, as access().
int check_file_access(const char* path, int mode);
// Asks the front-end to rebuild the file's row after its texts changed code page.
void refresh_file_list_row(const char* path, int code_page);
