// The start and the end of the window program: the arguments, the main
// window with its seven tabs and the table of its parts, its place on the
// screen, its close action, the texts of group GUI_Main and the blank-text
// test of the collectors.
//
// gui_start builds everything up to the shown window and the first log
// line; main() then runs the event loop and gui_finish. Tests call
// gui_start and gui_finish around their work without running the loop.
#pragma once

#include <cstdint>
#include <string>

#include "core/messages.h"

class Fl_Double_Window;
class Fl_Group;
class Fl_Tabs;
class Fl_Widget;

// Directory of the program, UTF-8, with its final '/'; empty when unknown.
extern char program_dir[1000];
extern int program_dir_length;
// Sets program_dir from a directory (its final '/' added); one of 1000
// bytes or more, or "", leaves it empty.
void set_program_dir(const std::string& directory);
// The tests' program directory: gui_start takes it instead of the real one
// (null: the real one again).
void override_program_dir(const char* directory);
// Row of the language table in force: 0 the user's own language, 1
// English, 2 Polish, then the language files (gui/languages.h).
extern int start_language_row;
extern int experimental_allowed;   // "-X"
extern int debug_button_enabled;   // "-G"

extern Fl_Double_Window* main_window;
extern Fl_Tabs* main_tabs;
extern Fl_Group* files_group;
extern Fl_Group* options_group;
extern Fl_Group* join_group;
extern Fl_Group* split_group;
extern Fl_Group* write_group;
extern Fl_Group* change_group;
extern Fl_Group* log_group;

// A part of the window with texts of its own: the main window, its seven
// tabs in their order on screen, and help. What walks every part (the
// window's builder, the language loading and its template, the colour
// schemes, the advanced switches) walks this table, so a tab that has a
// hook is never left out of one walk and in another.
struct WindowPart {
    const char* message_group;  // its group in a language file, "GUI_Join"
    // Its place among the loaders when a language is read: the task tabs
    // from the last one back, Files, Log, help, the tab titles, and
    // Options last. Writing a template follows the table's order.
    int read_turn;
    Fl_Group** tab;       // its group in main_tabs; null for the main window and help
    MessageText* title;   // the tab's title (group GUI_Main)
    Fl_Group* (*build)();
    int (*load_messages)(LanguageGroup* group, int code_page, int write);
    void (*recolour)();   // null: it keeps no colours of its own
    void (*advanced)();   // null: no rows that Advanced or Experimental show
};
// Not const: a test can put a recorder in front of a hook.
extern WindowPart window_parts[9];

// Texts of GUI_Main that other modules print or show.
extern MessageText UseBre;      // "\nUser break!\n"
extern MessageText EndTxt;      // "\nEnd.\n"
extern MessageText ProSta;      // "Program start.\n"
extern MessageText MainCopyTx;  // "Copy" of the input fields' menu
extern MessageText PasteT;      // "Paste" of the input fields' menu

struct WindowBox {
    int x = 0, y = 0, w = 0, h = 0;
};

// The main window's box from the saved geometry and the work area of the
// screen that holds the saved box's centre: the saved box when it fits
// (raised to 620 x 510 at least), else 620 x 510 centred; then moved and
// shrunk so that it lies inside the work area.
WindowBox fit_main_window(WindowBox saved, WindowBox work_area);
// Places main_window by fit_main_window and writes the result back into
// the saved geometry (PositionX ... PositionH).
void place_main_window();

// The close box: sets the Stop request, hides help, the debug window and
// the main window (a running task ends at its next poll).
void main_window_callback(Fl_Widget* widget, void* data);

// 1 when text is null, empty, or holds only bytes 1..32.
int is_blank_text(const char* text);

int load_messages_gui_main(LanguageGroup* group, int code_page, int write);

// What the two passes over the arguments found (exposed for the tests).
struct StartArguments {
    int language_row = 0;       // 0 unchanged, 1 "-E", 2 "-P" (the last wins)
    int experimental = 0;       // "-X"
    int debug_button = 0;       // "-G"
    const char* dialog_dir = nullptr;  // behind "-i"
};
StartArguments read_start_arguments(int argc, char** argv);
// The file names of the second pass, in order ("-i DIR" skipped).
int for_each_file_argument(int argc, char** argv, void (*add)(const char* path));

// Start, steps 1 to 15: everything but the event loop. Returns 1.
int gui_start(int argc, char** argv);
// Exit: writes the settings and deletes the main window.
void gui_finish();
