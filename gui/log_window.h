// The Log tab, the task frame every task of the window runs in, and Stop.
//
// log_message appends to log_buffer; during a task (log_batching set) the
// text waits and the display catches up only when poll_stop_request flushes: after more than
// 30 messages (at most every log_flush_interval_ms), on Stop, or when the
// toolkit has events. The log holds at
// most 16 MiB and is cut back to 15 MiB at a line start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "core/messages.h"

class Fl_Group;
class Fl_Text_Buffer;
class Fl_Text_Display;
class Fl_Button;
class Fl_Text_Display_W;

// The display and its buffer; both belong to the Log tab group and are
// null while no window is built.
extern Fl_Text_Display_W* log_display;
extern Fl_Text_Buffer* log_buffer;
extern int log_batching;
extern int32_t pending_log_lines;
// Waiting lines reach the display at most this often (tests set 0).
extern int log_flush_interval_ms;
extern std::string search_text;
extern int32_t search_position;

// The six buttons of the Log tab.
extern Fl_Button* log_search_button;
extern Fl_Button* log_next_button;
extern Fl_Button* log_save_button;
extern Fl_Button* log_stop_button;
extern Fl_Button* log_clear_button;
extern Fl_Button* log_help_button;

extern MessageText LogSearch;  // "Search": also the text displays' menu item
extern MessageText LogCopyTx;  // "Copy": the text displays' menu item

constexpr int LOG_TRIM_ABOVE = 0x1000000;  // 16 MiB
constexpr int LOG_TRIM_KEEP = 0xF00000;    // 15 MiB
constexpr int LOG_BUFFER_GAP = 0x100000;   // 1 MiB of room at the end of the buffer
constexpr size_t LOG_WAITING_LIMIT = 0x40000;  // text waiting for a flush enters the buffer by 256 KiB

Fl_Group* build_log_tab();

// Appends a formatted text (the host service log_message ends here).
void append_log_text(const char* text);
// Moves the waiting text into the buffer, trims, scrolls to the end,
// resets pending_log_lines.
void flush_log();
// The whole log, the text still waiting for a flush included.
std::string log_contents();
// Cuts a text of over limit bytes to start at the line end before the line
// that holds position length - keep; nothing when that line starts below 2.
// Returns the number of bytes removed.
int trim_text_buffer(Fl_Text_Buffer* buffer, int limit, int keep);
// The host service's work: flush and let the toolkit run when due.
int poll_log_and_stop();

void begin_task();
void end_task();
// A task that ran out of memory: the core's "Out of memory." and one error.
void report_task_out_of_memory();
// Runs a task's work between begin_task and end_task. Work that runs out of
// memory ends there, with the message and the error above; the task frame
// ends as usual and the window goes on.
template <class Work>
void run_in_task_frame(Work&& work)
{
    begin_task();
    try {
        work();
    } catch (const std::bad_alloc&) {
        report_task_out_of_memory();
    }
    end_task();
}

// Asks for a search text; 0 when the user gave none. start is the end of
// the log's selection (where the search starts), or -1 without one.
int ask_search_text(int32_t& start, int& same_as_selection);
void search_log(int same_as_selection);
// The "Search" item of a text display's menu: searches the log for the
// display's selected text (from the selection's end when the display shows
// the log, else from the log's start).
void search_selection(Fl_Text_Display* display);
// Scrolls display so that the line at pos is the top line when it is among
// the first 6 lines, else has 5 lines above it (shared with the debug window).
void scroll_to_found(Fl_Text_Display* display, int pos);
// The not-found message text for a search text ("[%.30s%s] not found.").
std::string not_found_text(const std::string& text);

// Save and Clear, also called by the tests.
void save_log_to(const char* path);
void clear_log();

int load_messages_gui_log(LanguageGroup* group, int code_page, int write);
