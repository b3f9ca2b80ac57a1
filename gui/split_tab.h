// The Split tab: the output folder and kind of a split, the MapSource rows
// (mapset name, IDs, preview and area limits, code page, file names, TDB
// options), the check of every value before a split runs, the split itself
// with the preview map's compile after it, and the texts of GUI_Split.
#pragma once

#include "core/messages.h"
#include "core/task_options.h"
#include "gui/tab_kit.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Group;
class Fl_File_Input_W;
class Fl_Float_Input_W;
class Fl_Input_W;
class Fl_Int_Input_W;

// The tab's widgets, null until build_split_tab has run.
struct SplitTab {
    Fl_Group* group = nullptr;
    Fl_Button* directory_button = nullptr;
    Fl_File_Input_W* output_directory = nullptr;
    Fl_Choice* kind = nullptr;
    Fl_Check_Button* compile_preview = nullptr;
    Fl_Check_Button* short_headers = nullptr;  // advanced
    Fl_Input_W* mapset_name = nullptr;
    Fl_Check_Button* set_fid = nullptr;
    Fl_Int_Input_W* fid = nullptr;
    Fl_Int_Input_W* pid = nullptr;
    // Advanced rows.
    Fl_Check_Button* limit_preview = nullptr;
    Fl_Check_Button* limit_area = nullptr;
    Fl_Float_Input_W* south = nullptr;
    Fl_Float_Input_W* north = nullptr;
    Fl_Float_Input_W* west = nullptr;
    Fl_Float_Input_W* east = nullptr;
    Fl_Check_Button* set_code_page = nullptr;
    Fl_Int_Input_W* code_page = nullptr;
    Fl_Input_W* files_name = nullptr;
    Fl_Check_Button* empty_dem = nullptr;
    Fl_Check_Button* tdb_v3 = nullptr;
    Fl_Check_Button* marine_tdb = nullptr;
    Fl_Check_Button* split_list = nullptr;
    // Button row.
    TaskButtons buttons;
};

extern SplitTab split_tab;

// The kinds of split, in the order of the kind choice's items (-1: none).
enum SplitKind {
    SPLIT_NONE = -1,
    SPLIT_FOR_MAPSOURCE = 0,
    SPLIT_SINGLE_MAPS = 1,
    SPLIT_BY_FID = 2,
    SPLIT_SUBFILES = 3,
    SPLIT_EMPTY_MAPS = 4,
    SPLIT_TYP_FILES = 5,
};

Fl_Group* build_split_tab();
// The tab as it starts: MapSource files, every field empty, every check
// off but Compile preview map, which is on when the chosen compiler has a
// path.
void clear_split_tab();
// Makes the rows fit the chosen kind. The kind choice only schedules it
// (a zero-second timeout), so it runs once the choice's menu has closed.
void update_split_widgets();
// Shows the advanced rows when Advanced is on; hides and resets them when
// it is off, so a hidden value never reaches a split.
void show_split_advanced_options();
// The Options tab's entry after Advanced changed.
void split_advanced_hook();

// Widgets -> record. Every value is checked and each refused one logs its
// message; true when the split may run.
bool collect_split_options(TaskOptions& record);

// The run buttons: every listed file, or the selected ones.
void split_all_cb();
void split_selected_cb();

int load_messages_gui_split(LanguageGroup* group, int code_page, int write);

// Texts of the group that the compile step prints.
extern MessageText sp_RCFPMC;  // "Running compiler for preview map compilation.\n"
extern MessageText sp_ExeErr;  // "\nExecution error.\n"
extern MessageText sp_ResuOk;  // "Result OK.\n"
extern MessageText sp_ComErr;  // "Command error %i.\n"
extern MessageText sp_NoWine;  // a Windows compiler and no wine to run it
extern MessageText sp_CaNoSt;  // a compiler that could not be started
extern MessageText sp_NoMapW;  // a compiler that ended well but wrote no map
