// The Change tab: its rows, the check of every field before a run, the
// run buttons, and the texts of group GUI_Change.
//
// As on the Write tab, a box that is off leaves its fields inactive and
// empty and its choice without an item, so only what the user switched on
// and can see reaches a task.
#include "gui/change_tab.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>

#include "core/codepage.h"
#include "core/host.h"
#include "gui/help.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/tab_kit.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"

ChangeTab change_tab;

namespace {

MessageText RepTyp{"RepTyp", "Replace TYP file in img file", "Zastąp plik TYP w pliku img"};
MessageText OnFoFi{"OnFoFi", "Only for FID", "Tylko dla FID"};
MessageText FidTxt{"FidTxt", "FID", "FID"};
MessageText PidTxt{"PidTxt", "PID", "PID"};
MessageText MapNam{"MapNam", "Map name", "Nazwa mapy"};
MessageText ChMaId{"ChMaId", "Change map ID", "Zmień ID mapy"};
MessageText Absolu{"Absolu", " absolute  ", " ustaw       "};
MessageText AddVal{"AddVal", " add value ", " dodaj       "};
MessageText Substr{"Substr", " substract ", " odejmij     "};
MessageText IdText{"IdText", "ID", "ID"};
MessageText ModLab{"ModLab", "Modify labels", "Zmień etykiety"};
MessageText UppCas{"UppCas", " upper case  ", " duże litery  "};
MessageText LowCas{"LowCas", " lower case  ", " małe litery  "};
MessageText FirUpp{"FirUpp", " first upper ", " pierwsza duża"};
MessageText NoAccT{"NoAccT", " no accents  ", " bez ogonków  "};
MessageText ChaAll{"ChaAll", "Change all", "Zmień wszystkie"};
MessageText ChaSel{"ChaSel", "Change selected", "Zmień zaznaczone"};
MessageText InfoTx{"InfoTx", "Info", "Info"};
MessageText ClearT{"ClearT", "Clear", "Wyczyść"};
MessageText HelpTx{"HelpTx", "?", "?"};
MessageText WFVIFS{"WFVIFS", "Wrong FID value %i, FID should be in range %i - 65535.\n",
                   "Błędna wartość FID %i, FID powinien być w zakresie %i - 65535.\n"};
MessageText WPVIPS{"WPVIPS", "Wrong PID value %i, PID should be in range %i - 65535.\n",
                   "Błędna wartość PID %i, PID powinien być w zakresie %i - 65535.\n"};
MessageText WMIVIS{"WMIVIS", "Wrong map ID value %i, should be in range 1 - 99999999.\n",
                   "Błędna wartość ID mapy %i, powinna być w zakresie 1 - 99999999.\n"};
MessageText WrInAM{"WrInAM", "\nWrite into all maps.\n", "\nZapis do wszystkich map.\n"};
MessageText WrInSM{"WrInSM", "\nWrite into selected maps.\n", "\nZapis do zaznaczonych map.\n"};
MessageText MNCDMC{"MNCDMC", "Map name characters don't match code page set in Options.\n",
                   "Znaki nazwy mapy nie pasują do strony kodowej ustawionej w Opcjach.\n"};

MessageText* const change_table[] = {
    &RepTyp, &OnFoFi, &FidTxt, &PidTxt, &MapNam, &ChMaId, &Absolu, &AddVal, &Substr,
    &IdText, &ModLab, &UppCas, &LowCas, &FirUpp, &NoAccT, &ChaAll, &ChaSel, &InfoTx,
    &ClearT, &HelpTx, &WFVIFS, &WPVIPS, &WMIVIS, &WrInAM, &WrInSM, &MNCDMC,
};

// The map-ID mode of each item of the ID choice, in item order.
constexpr uint8_t id_modes[3] = {1, 2, 255};

void reset_advanced_rows()
{
    ChangeTab& t = change_tab;
    uncheck(t.map_name);
    enable_field(t.map_name_text, false);
    uncheck(t.change_map_id);
    enable_field(t.id_mode, false);
    enable_field(t.id, false);
    uncheck(t.modify_labels);
    enable_field(t.label_mode, false);
}

struct Collector : TabCollector {
    void filter_row() { take_family_ids(change_tab.only_for_fid, change_tab.fid, change_tab.pid, 0, WFVIFS, WPVIPS); }

    void map_name_row()
    {
        const char* name = change_tab.map_name_text->value();
        if (!change_tab.map_name->value() || !*name)
            return;
        const char* converted = nullptr;
        uint32_t code_page = 0;
        if (!convert_to_mapset_code_page(&converted, &code_page, name, -1)) {
            refuse(MNCDMC);
            return;
        }
        record.map_name = converted;
        record.map_name_result = code_page;
    }

    void map_id_row()
    {
        int mode = change_tab.id_mode->value();
        if (!change_tab.change_map_id->value() || mode < 0 || mode > 2)
            return;
        record.map_id_mode = id_modes[mode];
        // An empty field reads as 0, which is refused like any other.
        keep(take_number(read_field_number_or_zero(change_tab.id->value()), 1, 99999999, WMIVIS, record.map_id));
    }

    void labels_row()
    {
        if (change_tab.modify_labels->value())
            record.label_case = static_cast<uint8_t>(change_tab.label_mode->value() + 1);
    }
};

void forget_change_tab() { change_tab = ChangeTab{}; }

void change_files(TaskOptions& record, int count, const char* const* names) { task_calls.chang(record, count, names); }

void apply_labels()
{
    ChangeTab& t = change_tab;
    t.only_for_fid->label(OnFoFi.text());
    t.fid->label(FidTxt.text());
    t.pid->label(PidTxt.text());
    t.map_name->label(MapNam.text());
    t.replace_typ->label(RepTyp.text());
    t.change_map_id->label(ChMaId.text());
    refill_choice(t.id_mode, {Absolu.text(), AddVal.text(), Substr.text()});
    refill_choice(t.label_mode, {UppCas.text(), LowCas.text(), FirUpp.text(), NoAccT.text()});
    t.id->label(IdText.text());
    t.modify_labels->label(ModLab.text());
    label_task_buttons(t.buttons, ChaAll, ChaSel, InfoTx, ClearT, HelpTx);
    t.group->redraw();
}

}  // namespace

Fl_Group* build_change_tab()
{
    ChangeTab& t = change_tab;
    t.group = new TabGroup(forget_change_tab);

    t.replace_typ = new_check(10, 45, 240);
    t.only_for_fid = new_check(10, 80, 180, nullptr, only_for_fid_cb);
    t.fid = new Fl_Int_Input_W(250, 80, 80, 25);
    t.pid = new Fl_Int_Input_W(390, 80, 80, 25);
    t.map_name = new_check(10, 115, 120, nullptr, map_name_cb);
    t.map_name_text = new Fl_Input_W(140, 115, 470, 25);
    t.change_map_id = new_check(10, 150, 180, nullptr, change_map_id_cb);
    t.id_mode = new Fl_Choice(250, 150, 140, 25);
    t.id = new Fl_Int_Input_W(490, 150, 120, 25);
    t.modify_labels = new_check(10, 185, 180, nullptr, modify_labels_cb);
    t.label_mode = new Fl_Choice(250, 185, 140, 25);

    t.buttons = new_task_buttons(change_all_cb, change_selected_cb, clear_change_tab, change_help_cb);
    end_tab_group(t.group);

    apply_labels();
    clear_change_tab();
    show_change_advanced_options();
    return t.group;
}

void show_change_advanced_options()
{
    ChangeTab& t = change_tab;
    if (!t.group)
        return;
    Fl_Widget* const advanced[] = {t.map_name, t.map_name_text, t.change_map_id, t.id_mode,
                                   t.id,       t.modify_labels, t.label_mode};
    for (Fl_Widget* w : advanced)
        show_widget(w, Advanced != 0);
    if (!Advanced)
        reset_advanced_rows();
    t.group->redraw();
}

void change_advanced_hook() { show_change_advanced_options(); }

int collect_change_options(TaskOptions& options)
{
    clear_tab_record(options);
    Collector c{{options}};
    c.filter_row();
    if (change_tab.replace_typ->value())
        options.replace_typ = 1;
    c.map_name_row();
    c.map_id_row();
    c.labels_row();
    options.write_changes = 1;
    options.verbose = static_cast<uint8_t>(Verbose != 0);
    options.announce_files = 1;
    return c.result;
}

void only_for_fid_cb(Fl_Widget*, void*)
{
    bool on = change_tab.only_for_fid->value() != 0;
    enable_field(change_tab.fid, on);
    enable_field(change_tab.pid, on);
}

void map_name_cb(Fl_Widget*, void*) { enable_field(change_tab.map_name_text, change_tab.map_name->value() != 0); }

void change_map_id_cb(Fl_Widget*, void*)
{
    bool on = change_tab.change_map_id->value() != 0;
    enable_field(change_tab.id_mode, on);
    enable_field(change_tab.id, on);
}

void modify_labels_cb(Fl_Widget*, void*)
{
    enable_field(change_tab.label_mode, change_tab.modify_labels->value() != 0);
}

void change_all_cb(Fl_Widget*, void*) { run_tab_task(0, WrInAM, WrInSM, collect_change_options, change_files); }

void change_selected_cb(Fl_Widget*, void*) { run_tab_task(1, WrInAM, WrInSM, collect_change_options, change_files); }

void clear_change_tab(Fl_Widget*, void*)
{
    ChangeTab& t = change_tab;
    if (!t.group)
        return;
    uncheck(t.replace_typ);
    uncheck(t.only_for_fid);
    enable_field(t.fid, false);
    enable_field(t.pid, false);
    reset_advanced_rows();
}

void change_help_cb(Fl_Widget*, void*) { open_help_topic("change"); }

int load_messages_gui_change(LanguageGroup* group, int code_page, int write)
{
    load_message_table(change_table, group, code_page, write);
    if (!write && change_tab.group)
        apply_labels();
    return 1;
}
