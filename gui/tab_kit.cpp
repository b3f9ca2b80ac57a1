// The helpers the tabs share: number fields, choices, widget makers, row
// switches, the tab group's end, the Info button and the run frame.
#include "gui/tab_kit.h"

#include <algorithm>
#include <climits>

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>

#include "core/codepage.h"
#include "gui/files_tab.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "gui/product_code_input.h"
#include "gui/widgets.h"

namespace {

// Far above every field's limit: a number typed longer stays refused.
constexpr int64_t too_large = 1000000000000LL;

bool blank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= 32; }

}  // namespace

int FieldNumber::shown() const { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

FieldNumber read_field_number(const char* text)
{
    FieldNumber n;
    if (is_blank_text(text))
        return n;
    n.given = true;
    const char* p = text;
    while (blank(*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (*p < '0' || *p > '9')
        return n;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = std::min<int64_t>(value * 10 + (*p - '0'), too_large);
    while (blank(*p))
        ++p;
    n.value = negative ? -value : value;
    n.whole = *p == '\0';
    return n;
}

FieldNumber read_field_number_or_zero(const char* text)
{
    FieldNumber n = read_field_number(text);
    if (!n.given)
        n.whole = true;
    return n;
}

bool take_id_fields(Fl_Input* fid, Fl_Input* pid, int64_t low, const MessageText& wrong_fid,
                    const MessageText& wrong_pid, uint32_t& family_id, uint32_t& product_id, uint8_t& flags)
{
    bool ok = take_field_number(fid->value(), low, 65535, wrong_fid, family_id, flags, 1);
    return take_field_number(pid->value(), low, 65535, wrong_pid, product_id, flags, 2) && ok;
}

bool take_version_fields(Fl_Input* const bytes[3], Fl_Input* product_code, const MessageText& wrong_byte,
                         const MessageText& wrong_code, TaskOptions& record)
{
    bool ok = true;
    for (int i = 0; i < 3; ++i)
        if (!take_field_number(bytes[i]->value(), 0, 255, wrong_byte, record.version_bytes[i], record.version_flags,
                               static_cast<uint8_t>(1 << i)))
            ok = false;
    const char* code = product_code->value();
    if (!*code)
        return ok;
    record.version_flags |= 8;
    if (!copy_product_code(code, record.product_code)) {
        log_message(wrong_code.text(), code);
        ok = false;
    }
    return ok;
}

void TabCollector::refuse(const MessageText& message)
{
    log_message("%s", message.text());
    result = 0;
}

void TabCollector::take_path(const char* path, std::string& into, const MessageText& missing)
{
    if (is_blank_text(path))
        refuse(missing);
    else
        into = path;
}

void TabCollector::take_mapset_name(const char* name, int code_page, const MessageText& wrong)
{
    if (!is_blank_text(name) && !set_mapset_name_option(&record, name, code_page))
        refuse(wrong);
}

void TabCollector::take_family_ids(Fl_Check_Button* box, Fl_Input* fid, Fl_Input* pid, int64_t low,
                                   const MessageText& wrong_fid, const MessageText& wrong_pid)
{
    if (box->value())
        keep(take_id_fields(fid, pid, low, wrong_fid, wrong_pid, record.family_id, record.product_id,
                            record.id_flags));
}

void clear_tab_record(TaskOptions& record)
{
    clear_task_options(record);
    record.code_page = static_cast<uint32_t>(std::max(0, get_mapset_code_page()));
}

void refill_choice(Fl_Choice* choice, const std::vector<std::string>& items)
{
    int chosen = choice->value();
    choice->clear();
    // add() reads '/', '\' and '_' in a label and merges items of the same
    // label; numbered placeholders replaced afterwards take each text as it is.
    int count = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        std::string placeholder(1, '\x01');
        placeholder += std::to_string(i);
        count = choice->add(placeholder.c_str(), 0, nullptr) + 1;
    }
    int index = 0;
    for (const std::string& item : items) {
        std::string shown;
        for (char c : item) {
            // Labels draw "&x" as an underlined x and "@x" as a symbol.
            if (c == '&' || c == '@')
                shown += c;
            shown += c;
        }
        choice->replace(index++, shown.c_str());
    }
    if (chosen >= 0 && chosen < count)
        choice->value(chosen);
    else
        choice->value(static_cast<const Fl_Menu_Item*>(nullptr));
}

Fl_Check_Button* new_check(int x, int y, int w, const char* label, Fl_Callback* cb)
{
    auto* check = new Fl_Check_Button(x, y, w, 25, label);
    if (cb)
        check->callback(cb);
    return check;
}

Fl_Button* new_button(int x, int y, int w, const char* label, Fl_Callback* cb)
{
    auto* button = new Fl_Button(x, y, w, 25, label);
    button->callback(cb);
    return button;
}

TaskButtons new_task_buttons(Fl_Callback* all, Fl_Callback* selected, Fl_Callback* clear, Fl_Callback* help)
{
    TaskButtons buttons;
    buttons.all = new_button(10, 480, 160, nullptr, all);
    buttons.selected = new_button(190, 480, 160, nullptr, selected);
    buttons.info = new_button(370, 480, 80, nullptr, files_info_cb);
    buttons.clear = new_button(485, 480, 80, nullptr, clear);
    buttons.help = new_button(585, 480, 25, nullptr, help);
    return buttons;
}

void label_task_buttons(const TaskButtons& buttons, const MessageText& all, const MessageText& selected,
                        const MessageText& info, const MessageText& clear, const MessageText& help)
{
    buttons.all->label(all.text());
    buttons.selected->label(selected.text());
    buttons.info->label(info.text());
    buttons.clear->label(clear.text());
    buttons.help->label(help.text());
}

void enable_field(Fl_Widget* field, bool on)
{
    if (auto* choice = dynamic_cast<Fl_Choice*>(field))
        choice->value(on ? &choice->menu()[0] : nullptr);
    else if (auto* input = dynamic_cast<Fl_Input_*>(field); input && !on)
        input->value("");
    if (on)
        field->activate();
    else
        field->deactivate();
    field->redraw();
}

void uncheck(Fl_Check_Button* check)
{
    check->value(0);
    check->redraw();
}

void show_widget(Fl_Widget* widget, bool shown)
{
    if (shown)
        widget->show();
    else
        widget->hide();
}

void end_tab_group(Fl_Group* group)
{
    auto* band = new Fl_Group(0, 475, 620, 5);
    band->end();
    group->resizable(band);
    group->end();
}

void files_info_cb(Fl_Widget*, void*)
{
    if (files_tab.info)
        files_tab.info->do_callback();
}

void run_tab_task(int selected_only, const MessageText& all, const MessageText& selected,
                  int (*collect)(TaskOptions& record),
                  void (*call)(TaskOptions& record, int count, const char* const* names),
                  void (*after)(TaskOptions& record))
{
    run_in_task_frame([&] {
        log_message("%s", (selected_only ? selected : all).text());
        TaskOptions record;
        if (!collect(record))
            return;
        SelectedFiles files(selected_only);
        if (!files.names)
            return;
        call(record, files.count, files.names);
        if (after)
            after(record);
    });
}
