// The Files tab: the one list of input files of every task, its columns
// (size and kind from the first 512 bytes), adding by chooser, directory,
// drop and command line, moving and removing lines, the selection handed
// to the tasks, Info, Details and About.
//
// A list line is "@." + path, then (for paths under 1199 bytes) a tab and
// the size column and a tab and the kind column. The path is the text
// after "@." up to the first tab, so a path holding a control byte is
// never listed. Paths are compared byte for byte: Linux names are
// case-sensitive and '\' is an ordinary character in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.h"

class Fl_Button;
class Fl_Group;
class Fl_Multi_Browser_W;
class Fl_Tile;

extern Fl_Multi_Browser_W* file_list;
// Start directory of every file chooser of the program (UTF-8).
extern char dialog_start_dir[1024];

// The tab's widgets, for the recolouring, the language loader and the tests.
struct FilesTabWidgets {
    Fl_Button* add_files = nullptr;
    Fl_Button* add_directories = nullptr;
    Fl_Button* select_all = nullptr;
    Fl_Button* move_up = nullptr;
    Fl_Button* move_down = nullptr;
    Fl_Button* remove = nullptr;
    Fl_Button* info = nullptr;
    Fl_Button* details = nullptr;
    Fl_Button* about = nullptr;
    Fl_Button* help = nullptr;
    Fl_Button* headers[3] = {nullptr, nullptr, nullptr};  // file name, size, mapset
    Fl_Tile* outer_tile = nullptr;
    Fl_Tile* inner_tile = nullptr;
};
extern FilesTabWidgets files_tab;

Fl_Group* build_files_tab();

// Appends the size and kind columns to a line "@." + path of length bytes
// (the line is cut to length first). code_page 0: the language's default.
void describe_file_columns(std::string& line, size_t length, int code_page);
// The size column alone ("\t@f%5d", "\t@f%5dk", "\t@f%5ldM").
std::string size_column(int64_t size);
// The path of a list line: the text after "@." up to the first tab.
std::string_view line_path(const char* line);

// "%XX" escapes of a "file://" name turned into bytes; a malformed escape
// stays as it is.
std::string percent_decode(std::string_view text);
// The lines of a drop text: each starts at a byte above 32, runs while the
// bytes are above 31 and loses its trailing bytes up to 32; a 0 ends all.
std::vector<std::string> cut_drop_text(const char* text, size_t length);

// length < 0: strlen. 1 when a line was added, 0 when refused or listed.
int add_file(const char* path, int length);
int add_directory(const char* directory);
// Walks the oldest drop the list holds (the list's deferred drop call).
void add_dropped_files(Fl_Multi_Browser_W* list);

// Selected paths (or all) in list order; empty when none qualify. With
// selected_only, a list of one line gets that line selected first.
std::vector<std::string> selected_file_paths(int selected_only);
// The same as one gui_malloc block: the pointer array, then the paths.
// The caller frees it with gui_free. Null with count 0 when none qualify.
char** get_selected_files(int* count_out, int selected_only);
// That block for the length of a task: freed however the task ends.
struct SelectedFiles {
    int count = 0;
    char** names = nullptr;
    explicit SelectedFiles(int selected_only) : names(get_selected_files(&count, selected_only)) {}
    ~SelectedFiles();
    SelectedFiles(const SelectedFiles&) = delete;
    SelectedFiles& operator=(const SelectedFiles&) = delete;
};

void select_all_files();
void move_selected_up();
void move_selected_down();
void remove_selected_files();

// The host service refresh_file_list_row: rebuilds the columns of the line
// whose path equals path (letter case counts), with texts from code_page.
void refresh_file_row(const char* path, int code_page);

void update_task_buttons();
void set_dialog_start_dir(const char* path);
void wyswietl_info(int detailed);
// The About box's text.
std::string about_text();

int load_messages_gui_files(LanguageGroup* group, int code_page, int write);
void files_recolour_hook();
