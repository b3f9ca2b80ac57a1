// What the task tabs and the Options tab have in common: the reader of
// their number fields and the checks built on it, the filler of their
// choices, their widget makers and row switches, the group that forgets a
// tab's widgets, the Info button, and the frame of a run button.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <FL/Fl_Group.H>

#include "core/host.h"
#include "core/messages.h"
#include "core/task_options.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Input;
class Fl_Widget;

// A number field as typed: blanks around, an optional sign and decimal
// digits. A longer number stops growing far above every field's limit, so
// it is refused by the range check instead of wrapping.
struct FieldNumber {
    int64_t value = 0;   // what was read, 0 when nothing was
    bool given = false;  // the text holds more than blanks
    bool whole = false;  // and it is that number and nothing else
    // Whole and within low..high: only then may it be narrowed.
    bool within(int64_t low, int64_t high) const { return whole && value >= low && value <= high; }
    // The value for a "%i" of a message, held to the range of int rather
    // than wrapped into a plausible-looking one.
    int shown() const;
};
FieldNumber read_field_number(const char* text);
// The same for a field in which a blank text stands for 0.
FieldNumber read_field_number_or_zero(const char* text);

// A number for a task's record: within low..high it is stored, else wrong
// is logged with the number as its "%i" (and low as a second one, for the
// texts that name it). False when it was refused.
template <class Value>
bool take_number(const FieldNumber& n, int64_t low, int64_t high, const MessageText& wrong, Value& value)
{
    if (!n.within(low, high)) {
        log_message(wrong.text(), n.shown(), static_cast<int>(low));
        return false;
    }
    value = static_cast<Value>(n.value);
    return true;
}

// A field that may stay blank (it then sets nothing); a number taken also
// sets bit in flags. False only when the field was refused.
template <class Value>
bool take_field_number(const char* text, int64_t low, int64_t high, const MessageText& wrong, Value& value,
                       uint8_t& flags, uint8_t bit)
{
    FieldNumber n = read_field_number(text);
    if (!n.given)
        return true;
    if (!take_number(n, low, high, wrong, value))
        return false;
    flags |= bit;
    return true;
}

// A row's FID and PID fields, each low..65535, as bits 1 and 2 of flags.
// Both are checked, so one pass names every wrong value.
bool take_id_fields(Fl_Input* fid, Fl_Input* pid, int64_t low, const MessageText& wrong_fid,
                    const MessageText& wrong_pid, uint32_t& family_id, uint32_t& product_id, uint8_t& flags);
// The "version in header" row: three bytes (bits 1, 2 and 4 of
// version_flags) and the product code (bit 8).
bool take_version_fields(Fl_Input* const bytes[3], Fl_Input* product_code, const MessageText& wrong_byte,
                         const MessageText& wrong_code, TaskOptions& record);

// What every tab's collector is built on: the record it fills and its
// result. Each row's method logs what it refuses and the rows after it
// still run, so one run names every wrong value.
struct TabCollector {
    TaskOptions& record;
    int result = 1;

    // A row's check whose refusal has logged its message already.
    void keep(bool taken)
    {
        if (!taken)
            result = 0;
    }
    // Logs message and refuses the run.
    void refuse(const MessageText& message);
    // A path the task cannot run without: a blank one is refused with missing.
    void take_path(const char* path, std::string& into, const MessageText& missing);
    // A mapset name unless it is blank, written in code_page (-1: the one
    // of Options); one that cannot be is refused with wrong.
    void take_mapset_name(const char* name, int code_page, const MessageText& wrong);
    // With box checked, the FID and PID fields of the maps a task is for
    // (family_id and product_id, each low..65535).
    void take_family_ids(Fl_Check_Button* box, Fl_Input* fid, Fl_Input* pid, int64_t low,
                         const MessageText& wrong_fid, const MessageText& wrong_pid);
};

// A cleared record with the mapset code page of Options (a negative
// setting stands for none, as in the core).
void clear_tab_record(TaskOptions& record);

// Empties a choice and adds the items in order, each shown exactly as its
// text reads (no submenu, shortcut, divider or symbol is made of it), then
// chooses the item at the position chosen before, or none.
void refill_choice(Fl_Choice* choice, const std::vector<std::string>& items);

// Widgets 25 pixels high; a null callback leaves the widget's default.
Fl_Check_Button* new_check(int x, int y, int w, const char* label = nullptr, Fl_Callback* cb = nullptr);
Fl_Button* new_button(int x, int y, int w, const char* label, Fl_Callback* cb);

// The buttons at the foot of a task tab: run on all files, run on the
// selected ones, Info (files_info_cb), Clear and the tab's help.
struct TaskButtons {
    Fl_Button* all = nullptr;
    Fl_Button* selected = nullptr;
    Fl_Button* info = nullptr;
    Fl_Button* clear = nullptr;
    Fl_Button* help = nullptr;
};
TaskButtons new_task_buttons(Fl_Callback* all, Fl_Callback* selected, Fl_Callback* clear, Fl_Callback* help);
// Labels them from the tab's own texts (each group has its own).
void label_task_buttons(const TaskButtons& buttons, const MessageText& all, const MessageText& selected,
                        const MessageText& info, const MessageText& clear, const MessageText& help);

// On: active (a choice on its first item). Off: inactive, an input
// emptied, a choice without an item, so it never holds a value a task
// could pick up.
void enable_field(Fl_Widget* field, bool on);
void uncheck(Fl_Check_Button* check);
void show_widget(Fl_Widget* widget, bool shown);

// A tab's page in the window's tabs. The window deletes it; forget runs
// first, so a later language load or hook finds no tab instead of freed
// widgets.
class TabGroup : public Fl_Group {
public:
    explicit TabGroup(void (*forget)()) : Fl_Group(0, 25, 620, 485), forget_(forget) {}
    ~TabGroup() override { forget_(); }

private:
    void (*forget_)();
};
// Ends a tab's group: only the band above its button row grows with the
// window.
void end_tab_group(Fl_Group* group);

// The Info button of a task tab: the Files tab's Info, with its checks and
// messages.
void files_info_cb(Fl_Widget* widget = nullptr, void* data = nullptr);

// A run button's task: the opening line (all or selected), the record
// collected (each refusal logged), the files of the list handed to call,
// and after (may be null) once their names are freed.
void run_tab_task(int selected_only, const MessageText& all, const MessageText& selected,
                  int (*collect)(TaskOptions& record),
                  void (*call)(TaskOptions& record, int count, const char* const* names),
                  void (*after)(TaskOptions& record) = nullptr);
