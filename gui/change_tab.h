// The Change tab: in-place changes of the listed files that the Write tab
// does not make (a TYP subfile replaced by the TYP file at the head of the
// list; with Advanced a new map name, new map IDs and the case of labels),
// its one-family filter, the check of every value before a run, and the
// texts of group GUI_Change.
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

// The tab's widgets, null until build_change_tab has run.
struct ChangeTab {
    Fl_Group* group = nullptr;
    Fl_Check_Button* replace_typ = nullptr;
    Fl_Check_Button* only_for_fid = nullptr;
    Fl_Int_Input_W* fid = nullptr;
    Fl_Int_Input_W* pid = nullptr;
    // Advanced rows.
    Fl_Check_Button* map_name = nullptr;
    Fl_Input_W* map_name_text = nullptr;
    Fl_Check_Button* change_map_id = nullptr;
    Fl_Choice* id_mode = nullptr;
    Fl_Int_Input_W* id = nullptr;
    Fl_Check_Button* modify_labels = nullptr;
    Fl_Choice* label_mode = nullptr;
    // Button row.
    TaskButtons buttons;
};

extern ChangeTab change_tab;

Fl_Group* build_change_tab();
// Shows the advanced rows while Advanced is set; hides and resets them
// otherwise, so a hidden row never reaches a task.
void show_change_advanced_options();
// The Options tab's entry after Advanced or Experimental changed.
void change_advanced_hook();

// Widgets -> record. Every value is checked and each refused one logs its
// message; 1 when the run may go on, 0 when anything was refused.
int collect_change_options(TaskOptions& options);

// The row boxes: on turns the row's fields on, off turns them off and
// empties them.
void only_for_fid_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
void map_name_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
void change_map_id_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
void modify_labels_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
// The run buttons: every listed file, or the selected ones.
void change_all_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
void change_selected_cb(Fl_Widget* widget = nullptr, void* data = nullptr);
// Every box off, every field off and empty, no choice item chosen.
void clear_change_tab(Fl_Widget* widget = nullptr, void* data = nullptr);
void change_help_cb(Fl_Widget* widget = nullptr, void* data = nullptr);

int load_messages_gui_change(LanguageGroup* group, int code_page, int write);
