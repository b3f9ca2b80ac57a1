// The Join tab: its widgets, the rows that Advanced and Experimental show,
// the collector that turns the widgets into a join's TaskOptions (logging
// every refused value), the two run buttons and the texts of GUI_Join.
#include "gui/join_tab.h"

#include <iterator>
#include <string>
#include <vector>

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>

#include "core/codepage.h"
#include "core/host.h"
#include "gui/files_tab.h"
#include "gui/gui_dialogs.h"
#include "gui/help.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/tab_kit.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"

JoinTab join_tab;

namespace {

MessageText OutFil{"OutFil", "Output file", "Plik wyjściowy", 82};
MessageText MapNam{"MapNam", "Mapset name", "Nazwa zestawu", 82};
MessageText SeMaFi{"SeMaFi", "Set mapset FID", "Ustaw FID zestawu map", 88};
MessageText FidTxt{"FidTxt", "FID", "FID", 66};
MessageText PidTxt{"PidTxt", "PID", "PID", 66};
MessageText ReAuDN{"ReAuDN", "Remove autorouting data NOD", "Usuń dane autoroutingu NOD", 114};
MessageText ReAlDD{"ReAlDD", "Remove altitude data DEM", "Usuń dane wysokościowe DEM", 108};
MessageText ShoHea{"ShoHea", "Short header", "Krótki nagłówek", 84};
MessageText DoCrMS{"DoCrMS", "Don't create MPS subfile", "Nie twórz podpliku MPS", 108};
MessageText CoToNt{"CoToNt", "Convert to quasi-NT format", "Zamień na format quasi-NT", 112};
MessageText InOtDa{"InOtDa", "Include other data", "Dołącz inne dane", 96};
MessageText VeInHe{"VeInHe", "Version in header", "Wersja w nagłówku", 94};
MessageText MpsNam{"MpsNam", "MPS name", "Nazwa MPS", 76};
MessageText SeBlSi{"SeBlSi", "Set block size", "Ustaw rozmiar bloku", 88};
MessageText KibTxt{"KibTxt", "KiB", "KiB", 66};
MessageText JoiAll{"JoiAll", "Join all", "Połącz wszystkie", 76};
MessageText JoiSel{"JoiSel", "Join selected", "Połącz zaznaczone", 86};
MessageText InfoTx{"InfoTx", "Info", "Info", 68};
MessageText ClearT{"ClearT", "Clear", "Wyczyść", 70};
MessageText HelpTx{"HelpTx", "?", "?", 62};
MessageText OutFi2{"OutFi2", "Output file", "Plik wyjściowy", 82};
MessageText AllFil{"AllFil", "All Files (*)", "Wszystkie pliki (*)", 86};
MessageText OuFiNM{"OuFiNM", "Output file name missing.\n", "Brak nazwy pliku wyjściowego.\n", 112};
MessageText WFVIFS{"WFVIFS", "Wrong FID value %i, FID should be in range 1 - 65535.\n",
                   "Błędna wartość FID %i, FID powinien być w zakresie 1 - 65535.\n", 168};
MessageText WPVIPS{"WPVIPS", "Wrong PID value %i, PID should be in range 1 - 65535.\n",
                   "Błędna wartość PID %i, PID powinien być w zakresie 1 - 65535.\n", 168};
MessageText WVVISB{"WVVISB", "Wrong version value %i, should be in range 0 - 255\n",
                   "Błędna wartość wersji %i, powinna być w zakresie 0 - 255\n", 162};
MessageText WPCSOU{"WPCSOU", "Wrong product code %s, only upper case ASCII allowed\n",
                   "Błędny kod produktu %s, dozwolone są tylko wielkie litery ASCII\n", 166};
MessageText WBSISB{"WBSISB", "Wrong block size %i, should be 1, 2, 4, 8, 16...\n",
                   "Błędny rozmiar bloku %i, powinien wynosić 1, 2, 4, 8, 16...\n", 158};
MessageText JoAlMa{"JoAlMa", "\nJoin all maps.\n", "\nŁączenie wszystkich map.\n", 92};
MessageText JoSeMa{"JoSeMa", "\nJoin selected maps.\n", "\nŁączenie zaznaczonych map.\n", 102};
MessageText WMNFUC{"WMNFUC", "Mapset name characters don't match code page set in Options.\n",
                   "Znaki nazwy zestawu map nie pasują do strony kodowej ustawionej w Opcjach.\n", 182};

MessageText* const join_table[] = {
    &OutFil, &MapNam, &SeMaFi, &FidTxt, &PidTxt, &ReAuDN, &ReAlDD, &ShoHea, &DoCrMS, &CoToNt, &InOtDa,
    &VeInHe, &MpsNam, &SeBlSi, &KibTxt, &JoiAll, &JoiSel, &InfoTx, &ClearT, &HelpTx, &OutFi2, &AllFil,
    &OuFiNM, &WFVIFS, &WPVIPS, &WVVISB, &WPCSOU, &WBSISB, &JoAlMa, &JoSeMa, &WMNFUC,
};

// The MPS subfile names, in the order of TaskOptions::mps_name - 1. They are
// file names, so no language changes them.
const char* const mps_names[] = {"MAPSOURC.MPS", "BLUCHART.MPS"};

// Each check enables the fields behind it; these put a row in the state its
// check says.
void fid_fields(bool on)
{
    enable_field(join_tab.fid, on);
    enable_field(join_tab.pid, on);
}

void version_fields(bool on)
{
    enable_field(join_tab.major, on);
    enable_field(join_tab.minor, on);
    enable_field(join_tab.mapsource_byte, on);
    enable_field(join_tab.product_code, on);
}

void mps_field(bool on) { enable_field(join_tab.mps_name, on); }

void block_size_field(bool on) { enable_field(join_tab.block_size, on); }

void set_fid_cb(Fl_Widget*, void*) { fid_fields(join_tab.set_fid->value()); }
void version_cb(Fl_Widget*, void*) { version_fields(join_tab.version->value()); }
void mps_name_cb(Fl_Widget*, void*) { mps_field(join_tab.set_mps_name->value()); }
void block_size_cb(Fl_Widget*, void*) { block_size_field(join_tab.set_block_size->value()); }

void output_button_cb(Fl_Widget*, void*)
{
    // Copied: the input's own buffer changes when the answer goes in.
    std::string current = join_tab.output_file->value();
    ChooserRequest request;
    request.title = OutFi2.text();
    request.filter = AllFil.text();
    request.type = Fl_File_Chooser::CREATE;
    if (current.empty())
        request.directory = dialog_start_dir;
    else
        request.value = current.c_str();
    ChooserResult result = gui_dialogs().choose(request);
    if (result.paths.empty() || result.paths.front().empty())
        return;
    join_tab.output_file->value(result.paths.front().c_str());
    join_tab.output_file->redraw();
}

void clear_cb(Fl_Widget*, void*) { clear_join_tab(); }
void help_cb(Fl_Widget*, void*) { open_help_topic("join"); }
void join_all_button_cb(Fl_Widget*, void*) { join_all_cb(); }
void join_selected_button_cb(Fl_Widget*, void*) { join_selected_cb(); }

void fill_mps_choice(Fl_Choice* choice)
{
    refill_choice(choice, std::vector<std::string>(std::begin(mps_names), std::end(mps_names)));
}

void set_labels()
{
    JoinTab& t = join_tab;
    t.output_button->label(OutFil.text());
    t.mapset_name->label(MapNam.text());
    t.set_fid->label(SeMaFi.text());
    t.fid->label(FidTxt.text());
    t.pid->label(PidTxt.text());
    t.remove_nod->label(ReAuDN.text());
    t.remove_dem->label(ReAlDD.text());
    t.short_header->label(ShoHea.text());
    t.no_mps->label(DoCrMS.text());
    t.other_data->label(InOtDa.text());
    t.nt_format->label(CoToNt.text());
    t.version->label(VeInHe.text());
    t.set_mps_name->label(MpsNam.text());
    t.set_block_size->label(SeBlSi.text());
    t.block_size->label(KibTxt.text());
    label_task_buttons(t.buttons, JoiAll, JoiSel, InfoTx, ClearT, HelpTx);
}

// Widgets -> record, one row at a time in the tab's order.
struct Collector : TabCollector {
    void output_row() { take_path(join_tab.output_file->value(), record.output_file, OuFiNM); }

    void mapset_name_row() { take_mapset_name(join_tab.mapset_name->value(), -1, WMNFUC); }

    void fid_row() { take_family_ids(join_tab.set_fid, join_tab.fid, join_tab.pid, 1, WFVIFS, WPVIPS); }

    // The checks that only switch a part of the join on: nothing to refuse.
    void switch_rows()
    {
        const JoinTab& t = join_tab;
        record.remove_nod = t.remove_nod->value() ? 1 : 0;
        record.remove_dem = t.remove_dem->value() ? 1 : 0;
        record.short_header = t.short_header->value() ? 1 : 0;
        record.no_mps = t.no_mps->value() ? 1 : 0;
        record.other_data = t.other_data->value() ? 1 : 0;
        record.nt_format = t.nt_format->value() ? 1 : 0;
    }

    void version_row()
    {
        if (!join_tab.version->value())
            return;
        Fl_Input* const bytes[3] = {join_tab.major, join_tab.minor, join_tab.mapsource_byte};
        keep(take_version_fields(bytes, join_tab.product_code, WVVISB, WPCSOU, record));
    }

    void mps_row()
    {
        if (!join_tab.set_mps_name->value())
            return;
        int chosen = join_tab.mps_name->value();
        record.mps_name = chosen >= 0 ? static_cast<uint8_t>(chosen + 1) : 0;
    }

    void block_size_row()
    {
        if (!join_tab.set_block_size->value())
            return;
        FieldNumber n = read_field_number(join_tab.block_size->value());
        if (!n.given)
            return;
        // The join's planner takes powers of two up to 64 KiB.
        if (n.within(1, 64) && (n.value & (n.value - 1)) == 0) {
            record.block_size = static_cast<uint32_t>(n.value);
        } else {
            log_message(WBSISB.text(), n.shown());
            result = 0;
        }
    }
};

void forget_join_tab() { join_tab = JoinTab{}; }

void join_files(TaskOptions& record, int count, const char* const* names) { task_calls.join(record, count, names); }

}  // namespace

Fl_Group* build_join_tab()
{
    JoinTab& t = join_tab;
    t.group = new TabGroup(forget_join_tab);

    t.output_button = new_button(10, 48, 120, OutFil.text(), output_button_cb);
    t.output_file = new Fl_File_Input_W(140, 40, 470, 35);
    t.mapset_name = new Fl_Input_W(140, 80, 470, 25, MapNam.text());

    t.set_fid = new_check(10, 150, 180, SeMaFi.text(), set_fid_cb);
    t.fid = new Fl_Int_Input_W(250, 150, 80, 25, FidTxt.text());
    t.pid = new Fl_Int_Input_W(390, 150, 80, 25, PidTxt.text());

    t.remove_nod = new_check(300, 185, 230, ReAuDN.text());
    t.remove_dem = new_check(300, 220, 230, ReAlDD.text());
    t.short_header = new_check(10, 255, 230, ShoHea.text());
    t.no_mps = new_check(300, 255, 230, DoCrMS.text());
    t.other_data = new_check(10, 290, 230, InOtDa.text());
    t.nt_format = new_check(300, 290, 230, CoToNt.text());

    t.version = new_check(10, 325, 180, VeInHe.text(), version_cb);
    t.major = new Fl_Int_Input_W(250, 325, 40, 25);
    t.minor = new Fl_Int_Input_W(300, 325, 40, 25, ".");
    t.mapsource_byte = new Fl_Int_Input_W(390, 325, 40, 25, "Ms");
    t.product_code = new Fl_Input_W(480, 325, 130, 25, "Pr");

    t.set_mps_name = new_check(10, 360, 180, MpsNam.text(), mps_name_cb);
    t.mps_name = new Fl_Choice(250, 360, 140, 25);
    fill_mps_choice(t.mps_name);

    t.set_block_size = new_check(10, 395, 180, SeBlSi.text(), block_size_cb);
    t.block_size = new Fl_Int_Input_W(250, 395, 80, 25, KibTxt.text());

    t.buttons = new_task_buttons(join_all_button_cb, join_selected_button_cb, clear_cb, help_cb);
    label_task_buttons(t.buttons, JoiAll, JoiSel, InfoTx, ClearT, HelpTx);

    end_tab_group(t.group);

    clear_join_tab();
    show_join_advanced_options();
    return t.group;
}

void clear_join_tab()
{
    JoinTab& t = join_tab;
    if (!t.group)
        return;
    t.output_file->value("");
    t.output_file->redraw();
    t.mapset_name->value("");
    t.mapset_name->redraw();
    for (Fl_Check_Button* check : {t.set_fid, t.remove_nod, t.remove_dem, t.short_header, t.no_mps, t.other_data,
                                   t.nt_format, t.version, t.set_mps_name, t.set_block_size})
        uncheck(check);
    fid_fields(false);
    version_fields(false);
    mps_field(false);
    block_size_field(false);
}

void show_join_advanced_options()
{
    JoinTab& t = join_tab;
    if (!t.group)
        return;
    const bool advanced = Advanced != 0;
    const bool experimental = advanced && Experimental != 0;
    Fl_Widget* const advanced_rows[] = {t.remove_nod, t.remove_dem, t.short_header, t.no_mps,
                                        t.other_data, t.version,    t.major,        t.minor,
                                        t.mapsource_byte, t.product_code, t.set_mps_name, t.mps_name};
    Fl_Widget* const experimental_rows[] = {t.nt_format, t.set_block_size, t.block_size};
    for (Fl_Widget* w : advanced_rows)
        show_widget(w, advanced);
    for (Fl_Widget* w : experimental_rows)
        show_widget(w, experimental);
    // A hidden row keeps nothing a user could no longer see or change.
    if (!advanced) {
        for (Fl_Check_Button* check :
             {t.remove_nod, t.remove_dem, t.short_header, t.no_mps, t.other_data, t.version, t.set_mps_name})
            uncheck(check);
        version_fields(false);
        mps_field(false);
    }
    if (!experimental) {
        uncheck(t.nt_format);
        uncheck(t.set_block_size);
        block_size_field(false);
    }
    t.group->redraw();
}

void join_advanced_hook() { show_join_advanced_options(); }

int collect_join_options(TaskOptions& record)
{
    clear_tab_record(record);
    if (!join_tab.group)
        return 0;
    Collector c{{record}};
    c.output_row();
    c.mapset_name_row();
    c.fid_row();
    c.switch_rows();
    c.version_row();
    c.mps_row();
    c.block_size_row();
    record.join_maps = 1;
    record.verbose = Verbose ? 1 : 0;
    record.announce_files = 1;
    return c.result;
}

void join_all_cb() { run_tab_task(0, JoAlMa, JoSeMa, collect_join_options, join_files); }

void join_selected_cb() { run_tab_task(1, JoAlMa, JoSeMa, collect_join_options, join_files); }

int load_messages_gui_join(LanguageGroup* group, int code_page, int write)
{
    load_message_table(join_table, group, code_page, write);
    if (write || !join_tab.group)
        return 1;
    set_labels();
    fill_mps_choice(join_tab.mps_name);
    join_tab.group->redraw();
    return 1;
}
