// The Join tab: the settings of a join (every listed file, or the selected
// ones, into one IMG), the rows that Advanced and Experimental show, the
// check of every value before a join runs, and the texts of group GUI_Join.
#pragma once

#include "core/messages.h"
#include "core/task_options.h"
#include "gui/tab_kit.h"
#include "gui/product_code_input.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Group;
class Fl_File_Input_W;
class Fl_Input_W;
class Fl_Int_Input_W;

// The tab's widgets, null until build_join_tab has run.
struct JoinTab {
    Fl_Group* group = nullptr;
    Fl_Button* output_button = nullptr;
    Fl_File_Input_W* output_file = nullptr;
    Fl_Input_W* mapset_name = nullptr;
    Fl_Check_Button* set_fid = nullptr;
    Fl_Int_Input_W* fid = nullptr;
    Fl_Int_Input_W* pid = nullptr;
    // Advanced rows.
    Fl_Check_Button* remove_nod = nullptr;
    Fl_Check_Button* remove_dem = nullptr;
    Fl_Check_Button* short_header = nullptr;
    Fl_Check_Button* no_mps = nullptr;
    Fl_Check_Button* other_data = nullptr;
    Fl_Check_Button* version = nullptr;
    Fl_Int_Input_W* major = nullptr;
    Fl_Int_Input_W* minor = nullptr;
    Fl_Int_Input_W* mapsource_byte = nullptr;
    Fl_Input_W* product_code = nullptr;
    Fl_Check_Button* set_mps_name = nullptr;
    Fl_Choice* mps_name = nullptr;
    // Advanced and experimental rows.
    Fl_Check_Button* nt_format = nullptr;
    Fl_Check_Button* set_block_size = nullptr;
    Fl_Int_Input_W* block_size = nullptr;
    // Button row.
    TaskButtons buttons;
};

extern JoinTab join_tab;

Fl_Group* build_join_tab();
// Every field emptied, every check unchecked, every dependent field off.
void clear_join_tab();
// Shows the rows that Advanced (and Experimental) allow; hides and resets
// the others, so a hidden value never reaches a task.
void show_join_advanced_options();
// The Options tab's entry after Advanced or Experimental changed.
void join_advanced_hook();

// Widgets -> record. Every value is checked and each refused one logs its
// message; 1 when the join may run, 0 when anything was refused.
int collect_join_options(TaskOptions& record);

// The run buttons: every listed file, or the selected ones.
void join_all_cb();
void join_selected_cb();

int load_messages_gui_join(LanguageGroup* group, int code_page, int write);
