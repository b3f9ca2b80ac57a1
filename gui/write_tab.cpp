// The Write tab: its rows of box and fields, the check of every field
// before a run, the run buttons, and the texts of group GUI_Write.
//
// Each box owns the fields of its row: checking it turns them on, clearing
// it turns them off and empties them, so a field that is off never holds a
// value a task could pick up.
#include "gui/write_tab.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

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

WriteTab write_tab;

namespace {

MessageText Mapset{"Mapset", "Mapset", "Mapset"};
MessageText SetTra{"SetTra", "Set transparency", "Ustaw przezroczystość"};
MessageText Transp{"Transp", " transparent ", " przezroczysta "};
MessageText Opaque{"Opaque", " opaque      ", " nieprzejrzysta"};
MessageText SeDrPr{"SeDrPr", "Set draw priority", "Priorytet rysowania"};
MessageText OnFoFi{"OnFoFi", "Only for FID", "Tylko dla FID"};
MessageText FidTxt{"FidTxt", "FID", "FID"};
MessageText PidTxt{"PidTxt", "PID", "PID"};
MessageText CpTxtT{"CpTxtT", "CP", "CP"};
MessageText ChFiIM{"ChFiIM", "Change FID in MPS", "Zmień FID w MPS"};
MessageText CorTyp{"CorTyp", "Correct TYP", "Popraw TYP"};
MessageText SeVeIH{"SeVeIH", "Set version in header", "Wersja w nagłówku"};
MessageText ReHeDa{"ReHeDa", "Refresh header date", "Odśwież datę nagłówka"};
MessageText RouPar{"RouPar", "TRE parameters", "Parametry TRE"};
MessageText WriAll{"WriAll", "Write all", "Zapisz wszystkie"};
MessageText WriSel{"WriSel", "Write selected", "Zapisz zaznaczone"};
MessageText InfoTx{"InfoTx", "Info", "Info"};
MessageText ClearT{"ClearT", "Clear", "Wyczyść"};
MessageText HelpTx{"HelpTx", "?", "?"};
MessageText WFVIFS{"WFVIFS", "Wrong FID value %i, FID should be in range %i - 65535.\n",
                   "Błędna wartość FID %i, FID powinien być w zakresie %i - 65535.\n"};
MessageText WPVIPS{"WPVIPS", "Wrong PID value %i, PID should be in range %i - 65535.\n",
                   "Błędna wartość PID %i, PID powinien być w zakresie %i - 65535.\n"};
MessageText WPVISB{"WPVISB", "Wrong priority value %i, should be in range 0 - 255.\n",
                   "Błędna wartość priorytetu %i, powinna być w zakresie 0 - 255.\n"};
MessageText WRPVIS{"WRPVIS", "Wrong routing parameter value %i, should be in range 0 - 255.\n",
                   "Błędna wartość parametru trasowania %i, powinna być w zakresie 0 - 255.\n"};
MessageText WVFCPI{"WVFCPI", "Wrong value for Code Page %i.\n", "Błędna wartość strony kodowej %i.\n"};
MessageText WrInAM{"WrInAM", "\nWrite into all maps.\n", "\nZapis do wszystkich map.\n"};
MessageText WrInSM{"WrInSM", "\nWrite into selected maps.\n", "\nZapis do zaznaczonych map.\n"};
MessageText WVVISB{"WVVISB", "Wrong version value %i, should be in range 0 - 255\n",
                   "Błędna wartość wersji %i, powinna być w zakresie 0 - 255\n"};
MessageText WPCSOU{"WPCSOU", "Wrong product code %s, only upper case ASCII allowed\n",
                   "Błędny kod produktu %s, dozwolone tylko wielkie litery ASCII\n"};
MessageText WrDaVa{"WrDaVa", "Wrong date", "Błędna data"};
MessageText WrTiVa{"WrTiVa", "Wrong time", "Błędny czas"};
MessageText WMNFUC{"WMNFUC", "Mapset name characters don't match code page set in Options.\n",
                   "Znaki nazwy zestawu map nie pasują do strony kodowej ustawionej w Opcjach.\n"};

MessageText* const write_table[] = {
    &Mapset, &SetTra, &Transp, &Opaque, &SeDrPr, &OnFoFi, &FidTxt, &PidTxt, &CpTxtT, &ChFiIM, &CorTyp,
    &SeVeIH, &ReHeDa, &RouPar, &WriAll, &WriSel, &InfoTx, &ClearT, &HelpTx, &WFVIFS, &WPVIPS, &WPVISB,
    &WRPVIS, &WVFCPI, &WrInAM, &WrInSM, &WVVISB, &WPCSOU, &WrDaVa, &WrTiVa, &WMNFUC,
};

enum Row { MAPSET, TRANSPARENCY, PRIORITY, FILTER, MPS, TYP, VERSION, DATE, TRE, ROW_COUNT };

struct RowWidgets {
    Fl_Check_Button* box = nullptr;
    std::vector<Fl_Widget*> fields;
};
RowWidgets rows[ROW_COUNT];

constexpr Row advanced_rows[] = {MPS, TYP, VERSION, DATE};

void set_row_fields(Row row, bool on)
{
    for (Fl_Widget* field : rows[row].fields)
        enable_field(field, on);
}

void reset_row(Row row)
{
    uncheck(rows[row].box);
    set_row_fields(row, false);
}

void show_row(Row row, bool shown)
{
    show_widget(rows[row].box, shown);
    for (Fl_Widget* field : rows[row].fields)
        show_widget(field, shown);
}

void row_box_cb(Fl_Widget* widget, void* row)
{
    auto* box = static_cast<Fl_Check_Button*>(widget);
    set_row_fields(static_cast<Row>(reinterpret_cast<intptr_t>(row)), box->value() != 0);
}

void clear_cb(Fl_Widget*, void*) { clear_write_tab(); }

void help_cb(Fl_Widget*, void*) { open_help_topic("write"); }

Fl_Check_Button* new_box(int y, int w, Row row)
{
    Fl_Check_Button* box = new_check(10, y, w, nullptr, row_box_cb);
    box->user_data(reinterpret_cast<void*>(static_cast<intptr_t>(row)));
    rows[row].box = box;
    return box;
}

template <class Field>
Field* new_field(Row row, int x, int y, int w, const char* label = nullptr)
{
    auto* field = new Field(x, y, w, 25, label);
    rows[row].fields.push_back(field);
    return field;
}

// Month lengths of the header date; a month outside 1..12 counts 31 days.
int64_t days_in_month(int64_t month, int64_t year)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 31;
    if (month == 2 && year % 4 == 0)
        return 29;
    return lengths[month - 1];
}

// A date or time field for "%02u": what was typed, held to unsigned.
unsigned shown_unsigned(const FieldNumber& n)
{
    return static_cast<unsigned>(std::clamp<int64_t>(n.value, 0, UINT_MAX));
}

struct Collector : TabCollector {
    void mapset_row()
    {
        if (write_tab.mapset->value())
            take_mapset_name(write_tab.mapset_name->value(), -1, WMNFUC);
    }

    void filter_row() { take_family_ids(write_tab.only_for_fid, write_tab.fid, write_tab.pid, 0, WFVIFS, WPVIPS); }

    void transparency_row()
    {
        if (!write_tab.transparency->value())
            return;
        int item = write_tab.transparency_choice->value();
        if (item == 0)
            record.transparency = 1;
        else if (item == 1)
            record.transparency = 255;
    }

    void priority_row()
    {
        // An empty field reads as priority 0.
        if (write_tab.priority->value())
            keep(take_number(read_field_number_or_zero(write_tab.priority_value->value()), 0, 255, WPVISB,
                             record.priority));
    }

    void mps_row()
    {
        if (!write_tab.mps_ids->value())
            return;
        keep(take_id_fields(write_tab.mps_fid, write_tab.mps_pid, 1, WFVIFS, WPVIPS, record.mps_family_id,
                            record.mps_product_id, record.mps_id_flags));
    }

    void typ_row()
    {
        if (!write_tab.typ_fix->value())
            return;
        keep(take_id_fields(write_tab.typ_fid, write_tab.typ_pid, 1, WFVIFS, WPVIPS, record.typ_family_id,
                            record.typ_product_id, record.typ_fix_flags));
        keep(take_field_number(write_tab.typ_cp->value(), 1, 65535, WVFCPI, record.typ_code_page,
                               record.typ_fix_flags, 4));
    }

    void version_row()
    {
        if (!write_tab.version->value())
            return;
        Fl_Input* const bytes[3] = {write_tab.major, write_tab.minor, write_tab.mapsource_byte};
        keep(take_version_fields(bytes, write_tab.product_code, WVVISB, WPCSOU, record));
    }

    // Three fields that are all given or all blank; the date and the time
    // are checked on the numbers typed, before any is narrowed.
    struct Triple {
        FieldNumber n[3];
        bool any = false, all = true;
        explicit Triple(Fl_Input* a, Fl_Input* b, Fl_Input* c)
        {
            Fl_Input* const fields[3] = {a, b, c};
            for (int i = 0; i < 3; ++i) {
                n[i] = read_field_number(fields[i]->value());
                any = any || n[i].given;
                all = all && n[i].given;
            }
        }
    };

    void date_row()
    {
        if (!write_tab.header_date->value())
            return;
        record.header_date_flags = 1;

        Triple date(write_tab.day, write_tab.month, write_tab.year);
        const FieldNumber &day = date.n[0], &month = date.n[1], &year = date.n[2];
        if (date.any) {
            bool right = date.all && year.within(1989, 2099) && month.within(1, 12) &&
                         day.within(1, days_in_month(month.value, year.value));
            if (right) {
                record.header_date.day = static_cast<uint8_t>(day.value);
                record.header_date.month = static_cast<uint8_t>(month.value);
                record.header_date.year = static_cast<uint16_t>(year.value);
                record.header_date_flags |= 2;
            } else {
                log_message("%s: %02u.%02u.%04u\n", WrDaVa.text(), shown_unsigned(day), shown_unsigned(month),
                            shown_unsigned(year));
                result = 0;
            }
        }

        Triple time(write_tab.hour, write_tab.minute, write_tab.second);
        const FieldNumber &hour = time.n[0], &minute = time.n[1], &second = time.n[2];
        if (time.any) {
            bool right = time.all && hour.within(0, 23) && minute.within(0, 59) && second.within(0, 59);
            if (right) {
                record.header_date.hour = static_cast<uint8_t>(hour.value);
                record.header_date.minute = static_cast<uint8_t>(minute.value);
                record.header_date.second = static_cast<uint8_t>(second.value);
                record.header_date_flags |= 4;
            } else {
                log_message("%s: %02u:%02u:%02u\n", WrTiVa.text(), shown_unsigned(hour), shown_unsigned(minute),
                            shown_unsigned(second));
                result = 0;
            }
        }
    }

    void tre_row()
    {
        if (!write_tab.tre->value())
            return;
        for (int i = 0; i < 4; ++i)
            keep(take_field_number(write_tab.tre_params[i]->value(), 0, 255, WRPVIS, record.tre_params[i],
                                   record.tre_param_flags, static_cast<uint8_t>(1 << i)));
    }
};

void forget_write_tab()
{
    write_tab = WriteTab{};
    for (RowWidgets& row : rows)
        row = RowWidgets{};
}

void write_files(TaskOptions& record, int count, const char* const* names) { task_calls.write(record, count, names); }

void apply_labels()
{
    WriteTab& t = write_tab;
    t.mapset->label(Mapset.text());
    t.transparency->label(SetTra.text());
    refill_choice(t.transparency_choice, {Transp.text(), Opaque.text()});
    t.priority->label(SeDrPr.text());
    t.only_for_fid->label(OnFoFi.text());
    t.mps_ids->label(ChFiIM.text());
    t.typ_fix->label(CorTyp.text());
    t.version->label(SeVeIH.text());
    t.header_date->label(ReHeDa.text());
    t.tre->label(RouPar.text());
    for (Fl_Widget* fid : {t.fid, t.mps_fid, t.typ_fid})
        fid->label(FidTxt.text());
    for (Fl_Widget* pid : {t.pid, t.mps_pid, t.typ_pid})
        pid->label(PidTxt.text());
    t.typ_cp->label(CpTxtT.text());
    label_task_buttons(t.buttons, WriAll, WriSel, InfoTx, ClearT, HelpTx);
    t.group->redraw();
}

}  // namespace

Fl_Group* build_write_tab()
{
    for (RowWidgets& row : rows)
        row = RowWidgets{};
    WriteTab& t = write_tab;
    t.group = new TabGroup(forget_write_tab);

    t.mapset = new_box(45, 120, MAPSET);
    t.mapset_name = new_field<Fl_Input_W>(MAPSET, 140, 45, 470);

    t.transparency = new_box(80, 180, TRANSPARENCY);
    t.transparency_choice = new_field<Fl_Choice>(TRANSPARENCY, 250, 80, 140);
    refill_choice(t.transparency_choice, {Transp.text(), Opaque.text()});

    t.priority = new_box(115, 180, PRIORITY);
    t.priority_value = new_field<Fl_Int_Input_W>(PRIORITY, 250, 115, 80);

    t.only_for_fid = new_box(185, 180, FILTER);
    t.fid = new_field<Fl_Int_Input_W>(FILTER, 250, 185, 80);
    t.pid = new_field<Fl_Int_Input_W>(FILTER, 390, 185, 80);

    t.mps_ids = new_box(255, 180, MPS);
    t.mps_fid = new_field<Fl_Int_Input_W>(MPS, 250, 255, 80);
    t.mps_pid = new_field<Fl_Int_Input_W>(MPS, 390, 255, 80);

    t.typ_fix = new_box(290, 180, TYP);
    t.typ_fid = new_field<Fl_Int_Input_W>(TYP, 250, 290, 80);
    t.typ_pid = new_field<Fl_Int_Input_W>(TYP, 390, 290, 80);
    t.typ_cp = new_field<Fl_Int_Input_W>(TYP, 530, 290, 80);

    t.version = new_box(325, 180, VERSION);
    t.major = new_field<Fl_Int_Input_W>(VERSION, 250, 325, 40);
    t.minor = new_field<Fl_Int_Input_W>(VERSION, 300, 325, 40, ".");
    t.mapsource_byte = new_field<Fl_Int_Input_W>(VERSION, 390, 325, 40, "Ms");
    t.product_code = new_field<Fl_Input_W>(VERSION, 480, 325, 130, "Pr");

    t.header_date = new_box(360, 180, DATE);
    t.day = new_field<Fl_Int_Input_W>(DATE, 250, 360, 30);
    t.month = new_field<Fl_Int_Input_W>(DATE, 290, 360, 30, ".");
    t.year = new_field<Fl_Int_Input_W>(DATE, 330, 360, 60, ".");
    t.hour = new_field<Fl_Int_Input_W>(DATE, 420, 360, 30);
    t.minute = new_field<Fl_Int_Input_W>(DATE, 460, 360, 30, ":");
    t.second = new_field<Fl_Int_Input_W>(DATE, 500, 360, 30, ":");

    t.tre = new_box(395, 180, TRE);
    static const char* const tre_labels[4] = {"(1)", "(2)", "(3)", "(4)"};
    for (int i = 0; i < 4; ++i)
        t.tre_params[i] = new_field<Fl_Int_Input_W>(TRE, 250 + 70 * i, 395, 40, tre_labels[i]);

    t.buttons = new_task_buttons(write_all_cb, write_selected_cb, clear_cb, help_cb);
    end_tab_group(t.group);

    apply_labels();
    clear_write_tab();
    update_write_rows();
    return t.group;
}

void clear_write_tab()
{
    if (!write_tab.group)
        return;
    for (int row = 0; row < ROW_COUNT; ++row)
        reset_row(static_cast<Row>(row));
}

void update_write_rows()
{
    if (!write_tab.group)
        return;
    for (Row row : advanced_rows) {
        show_row(row, Advanced != 0);
        if (!Advanced)
            reset_row(row);
    }
    bool tre_shown = Advanced && Experimental;
    show_row(TRE, tre_shown);
    if (!tre_shown)
        reset_row(TRE);
    write_tab.group->redraw();
}

void write_advanced_hook() { update_write_rows(); }

int collect_write_options(TaskOptions& options)
{
    clear_tab_record(options);
    Collector c{{options}};
    c.mapset_row();
    c.filter_row();
    c.transparency_row();
    c.priority_row();
    c.mps_row();
    c.typ_row();
    c.version_row();
    c.date_row();
    c.tre_row();
    options.write_changes = 1;
    options.verbose = static_cast<uint8_t>(Verbose != 0);
    options.announce_files = 1;
    return c.result;
}

void write_all_cb(Fl_Widget*, void*) { run_tab_task(0, WrInAM, WrInSM, collect_write_options, write_files); }

void write_selected_cb(Fl_Widget*, void*) { run_tab_task(1, WrInAM, WrInSM, collect_write_options, write_files); }

int load_messages_gui_write(LanguageGroup* group, int code_page, int write)
{
    load_message_table(write_table, group, code_page, write);
    if (!write && write_tab.group)
        apply_labels();
    return 1;
}
