// The Write tab: in-place changes of the listed IMG files (mapset name,
// transparency, draw priority; with Advanced the FID/PID of the MPS
// subfile, the TYP correction, the header's version, product code and date;
// with Experimental too the four TRE parameters), the one-family filter,
// the check of every value before a run, and the texts of group GUI_Write.
#pragma once

#include "core/messages.h"
#include "core/task_options.h"
#include "gui/tab_kit.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Group;
class Fl_Input_W;
class Fl_Int_Input_W;
class Fl_Widget;

// The tab's widgets, null until build_write_tab has run.
struct WriteTab {
    Fl_Group* group = nullptr;
    Fl_Check_Button* mapset = nullptr;
    Fl_Input_W* mapset_name = nullptr;
    Fl_Check_Button* transparency = nullptr;
    Fl_Choice* transparency_choice = nullptr;
    Fl_Check_Button* priority = nullptr;
    Fl_Int_Input_W* priority_value = nullptr;
    Fl_Check_Button* only_for_fid = nullptr;
    Fl_Int_Input_W* fid = nullptr;
    Fl_Int_Input_W* pid = nullptr;
    // Advanced rows.
    Fl_Check_Button* mps_ids = nullptr;
    Fl_Int_Input_W* mps_fid = nullptr;
    Fl_Int_Input_W* mps_pid = nullptr;
    Fl_Check_Button* typ_fix = nullptr;
    Fl_Int_Input_W* typ_fid = nullptr;
    Fl_Int_Input_W* typ_pid = nullptr;
    Fl_Int_Input_W* typ_cp = nullptr;
    Fl_Check_Button* version = nullptr;
    Fl_Int_Input_W* major = nullptr;
    Fl_Int_Input_W* minor = nullptr;
    Fl_Int_Input_W* mapsource_byte = nullptr;
    Fl_Input_W* product_code = nullptr;
    Fl_Check_Button* header_date = nullptr;
    Fl_Int_Input_W* day = nullptr;
    Fl_Int_Input_W* month = nullptr;
    Fl_Int_Input_W* year = nullptr;
    Fl_Int_Input_W* hour = nullptr;
    Fl_Int_Input_W* minute = nullptr;
    Fl_Int_Input_W* second = nullptr;
    // Advanced and experimental row.
    Fl_Check_Button* tre = nullptr;
    Fl_Int_Input_W* tre_params[4] = {nullptr, nullptr, nullptr, nullptr};
    // Button row.
    TaskButtons buttons;
};

extern WriteTab write_tab;

Fl_Group* build_write_tab();
// Every box unchecked, every field off and empty, no transparency item.
void clear_write_tab();
// Shows the advanced rows while Advanced is set (the TRE row only with
// Experimental too); a row it hides is reset, so it never reaches a task.
void update_write_rows();
// The Options tab's entry after Advanced or Experimental changed.
void write_advanced_hook();

// Widgets -> record. Every value is checked and each refused one logs its
// message; 1 when the run may go on, 0 when anything was refused.
int collect_write_options(TaskOptions& options);

// The run buttons: every listed file, or the selected ones.
void write_all_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
void write_selected_cb(Fl_Widget* widget = nullptr, void* data = nullptr);

int load_messages_gui_write(LanguageGroup* group, int code_page, int write);
