// The debug window: the trace that the core writes through the host
// services debug_message and debug_category_enabled, kept only while the
// window exists and only for the categories ticked in it. Opened by the
// hidden button of the Options tab ("-G", Alt+G); closing the main window
// closes it. Its texts are fixed English, part of no message group.
#pragma once

#include <cstdint>
#include <string>

class Fl_Button;
class Fl_Check_Button;
class Fl_Double_Window;
class Fl_Group;
class Fl_Text_Buffer;
class Fl_Text_Display_W;

extern Fl_Double_Window* debug_window;
// Set from the first opening until close_debug_window: hiding the window
// by its own close box keeps the trace collecting.
extern int debug_window_open;
extern Fl_Text_Display_W* debug_display;
extern Fl_Text_Buffer* debug_buffer;
extern std::string debug_search_text;
extern int32_t debug_search_position;

// The window's controls, for the tests.
struct DebugControls {
    Fl_Button* toggle = nullptr;  // "Filter" / "Output"
    Fl_Button* search = nullptr;
    Fl_Button* next = nullptr;
    Fl_Button* clear = nullptr;
    Fl_Group* filter = nullptr;
    Fl_Check_Button* categories[13] = {};
};
extern DebugControls debug_controls;

// The trace is cut back at a line start once it is longer than this.
constexpr int DEBUG_TRACE_LIMIT = 0x100000;

void open_debug_window();
void close_debug_window();

// The host services' work: whether a category is kept now, and appending
// one formatted trace text (trimmed, scrolled to the end).
int debug_trace_wanted(uint32_t mask);
void append_debug_text(const char* text);

// The Search and Next buttons and the search itself (no wrap to the top).
void debug_search();
void debug_search_next();
void debug_find();
// Empties the trace but for its last byte.
void clear_debug_trace();
