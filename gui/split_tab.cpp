// The Split tab: its widgets, the rows that the kind of split and Advanced
// allow, the collector that turns the widgets into a split's TaskOptions
// (logging every refused value), the two run buttons with the preview
// map's compile after a MapSource split, and the texts of GUI_Split.
#include "gui/split_tab.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>

#include "core/codepage.h"
#include "core/file_names.h"
#include "core/host.h"
#include "gui/compilers.h"
#include "gui/files_tab.h"
#include "gui/gui_dialogs.h"
#include "gui/help.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/tab_kit.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "operations/task_bridge.h"

SplitTab split_tab;

MessageText sp_RCFPMC{"RCFPMC", "Running compiler for preview map compilation.\n",
                      "Uruchamianie kompilatora mapy przeglądowej.\n"};
MessageText sp_ExeErr{"ExeErr", "\nExecution error.\n", "\nBłąd wykonania.\n"};
MessageText sp_ResuOk{"ResuOk", "Result OK.\n", "Wynik poprawny.\n"};
MessageText sp_ComErr{"ComErr", "Command error %i.\n", "Błąd polecenia %i.\n"};
MessageText sp_NoWine{"NoWine", "Wine is not installed: the Windows program %s cannot run.\n",
                      "Wine nie jest zainstalowany: program dla Windows %s nie może działać.\n"};
MessageText sp_CaNoSt{"CaNoSt", "Cannot start %s: %s.\n", "Nie można uruchomić %s: %s.\n"};
MessageText sp_NoMapW{"NoMapW", "The compiler wrote no map %s.\n", "Kompilator nie zapisał mapy %s.\n"};

namespace {

MessageText Direct{"Direct", "Directory", "Katalog"};
MessageText Create{"Create", "Create   ", "Utwórz   "};
MessageText FiFoMa{"FiFoMa", " files for Mapsource", " pliki dla Mapsource"};
MessageText SinMap{"SinMap", " single maps", " pojedyncze mapy"};
MessageText MaByFi{"MaByFi", " mapsets by FID", " zestawy według FID"};
MessageText Subfil{"Subfil", " subfiles", " podpliki"};
MessageText EmpMap{"EmpMap", " empty maps", " puste mapy"};
MessageText TypFil{"TypFil", " TYP files", " pliki TYP"};
MessageText ShoHea{"ShoHea", "Short headers", "Krótkie nagłówki"};
MessageText MapNam{"MapNam", "Mapset name", "Nazwa zestawu"};
MessageText SeMaFi{"SeMaFi", "Set mapset FID", "Ustaw FID zestawu"};
MessageText FidTxt{"FidTxt", "FID", "FID"};
MessageText PidTxt{"PidTxt", "PID", "PID"};
MessageText CoPrMa{"CoPrMa", "Compile preview map", "Kompiluj mapę przeglądową"};
MessageText LiPrMa{"LiPrMa", "Limit preview map", "Ogranicz mapę przeglądową"};
MessageText LiMaAr{"LiMaAr", "Limit mapset area", "Ogranicz obszar zestawu"};
MessageText S_Text{"S_Text", "S ", "Pd "};
MessageText N_Text{"N_Text", "N ", "Pn "};
MessageText W_Text{"W_Text", "W ", "Zach "};
MessageText E_Text{"E_Text", "E ", "Wsch "};
MessageText SeCoPa{"SeCoPa", "Set code page", "Ustaw stronę kodową"};
MessageText CpText{"CpText", "CP", "SK"};
MessageText NaFoMF{"NaFoMF", "Files name   ", "Nazwa plików   "};
MessageText AdEmDe{"AdEmDe", "Add empty DEM", "Dodaj pusty DEM"};
MessageText CrTVWP{"CrTVWP", "Create TDB v3 when possible", "Twórz TDB v3, gdy się da"};
MessageText CrTFMM{"CrTFMM", "Create TDB for marine map", "Twórz TDB mapy morskiej"};
MessageText CrFLSL{"CrFLSL", "Create file list split.lst", "Utwórz listę plików split.lst"};
MessageText SplAll{"SplAll", "Split all", "Podziel wszystkie"};
MessageText SplSel{"SplSel", "Split selected", "Podziel zaznaczone"};
MessageText InfoTx{"InfoTx", "Info", "Info"};
MessageText ClearT{"ClearT", "Clear", "Wyczyść"};
MessageText HelpTx{"HelpTx", "?", "?"};
MessageText OutDir{"OutDir", "Output directory", "Katalog wyjściowy"};
MessageText AllFil{"AllFil", "All Files (*)", "Wszystkie pliki (*)"};
MessageText OuDiNM{"OuDiNM", "Output directory name missing.\n", "Brak nazwy katalogu wyjściowego.\n"};
MessageText WCIFNF{"WCIFNF", "Wrong charactes in file name for Mapsource.\n",
                   "Niedozwolone znaki w nazwie plików dla Mapsource.\n"};
MessageText WFVIFS{"WFVIFS", "Wrong FID value %i, FID should be in range 1 - 65535.\n",
                   "Błędna wartość FID %i, FID powinien być w zakresie 1 - 65535.\n"};
MessageText WPVIPS{"WPVIPS", "Wrong PID value %i, PID should be in range 1 - 65535.\n",
                   "Błędna wartość PID %i, PID powinien być w zakresie 1 - 65535.\n"};
MessageText WrSLVS{"WrSLVS", "Wrong South limit value %s.\n", "Błędna wartość granicy południowej %s.\n"};
MessageText WrNLVS{"WrNLVS", "Wrong North limit value %s.\n", "Błędna wartość granicy północnej %s.\n"};
MessageText WrWLVS{"WrWLVS", "Wrong West limit value %s.\n", "Błędna wartość granicy zachodniej %s.\n"};
MessageText WrELVS{"WrELVS", "Wrong East limit value %s.\n", "Błędna wartość granicy wschodniej %s.\n"};
MessageText WrSNLD{"WrSNLD", "Wrong South - North limit definition.\n",
                   "Błędne określenie granic południe - północ.\n"};
MessageText WrWELD{"WrWELD", "Wrong West - East limit definition.\n",
                   "Błędne określenie granic zachód - wschód.\n"};
MessageText WVFCPI{"WVFCPI", "Wrong value for Code Page %i.\n", "Błędna wartość strony kodowej %i.\n"};
MessageText SpAlMa{"SpAlMa", "\nSplit all maps.\n", "\nPodział wszystkich map.\n"};
MessageText SpSeMa{"SpSeMa", "\nSplit selected maps.\n", "\nPodział zaznaczonych map.\n"};
MessageText WMNFUC{"WMNFUC", "Mapset name characters don't match code page set in Options.\n",
                   "Znaki nazwy zestawu map nie pasują do strony kodowej ustawionej w Opcjach.\n"};

MessageText* const split_table[] = {
    &Direct, &Create, &FiFoMa, &SinMap, &MaByFi, &Subfil, &EmpMap, &TypFil, &ShoHea, &MapNam,
    &SeMaFi, &FidTxt, &PidTxt, &CoPrMa, &LiPrMa, &LiMaAr, &S_Text, &N_Text, &W_Text, &E_Text,
    &SeCoPa, &CpText, &NaFoMF, &AdEmDe, &CrTVWP, &CrTFMM, &CrFLSL, &SplAll, &SplSel, &InfoTx,
    &ClearT, &HelpTx, &sp_RCFPMC, &sp_ExeErr, &sp_ResuOk, &sp_ComErr, &OutDir, &AllFil, &OuDiNM,
    &WCIFNF, &WFVIFS, &WPVIPS, &WrSLVS, &WrNLVS, &WrWLVS, &WrELVS, &WrSNLD, &WrWELD, &WVFCPI,
    &SpAlMa, &SpSeMa, &WMNFUC, &sp_NoWine, &sp_CaNoSt, &sp_NoMapW,
};

MessageText* const kind_items[] = {&FiFoMa, &SinMap, &MaByFi, &Subfil, &EmpMap, &TypFil};

// The limits a check fills in when the user gave none: just inside the
// whole world, so the fields show that a limit is in force.
const char* const preview_defaults[] = {"-89.5", "89.5", "-178.5", "178.5"};

const char* after_blanks(const char* p)
{
    while (*p && static_cast<unsigned char>(*p) <= 32)
        ++p;
    return p;
}

// Degrees of a limit field: the whole text one finite number inside the range.
bool read_degrees(const char* text, double range, double& degrees)
{
    errno = 0;
    char* end = nullptr;
    double v = strtod(text, &end);
    if (end == text || *after_blanks(end) != '\0' || errno == ERANGE || !std::isfinite(v))
        return false;
    if (!(v >= -range && v <= range))
        return false;
    degrees = v;
    return true;
}

// Map units are 360 / 2^24 degrees; truncated toward zero.
int32_t degrees_to_units(double degrees) { return static_cast<int32_t>(degrees / 360.0 * 16777216.0); }

const std::string& chosen_compiler_path()
{
    switch (Compiler) {
    case 2:
        return MkgmapPath;
    case 1:
        return MapTkPath;
    default:
        return CgpsmapperPath;
    }
}

bool compiler_has_path() { return !is_blank_text(chosen_compiler_path().c_str()); }

int chosen_kind() { return split_tab.kind ? split_tab.kind->value() : SPLIT_NONE; }

void set_default_cursor()
{
    if (main_window)
        main_window->cursor(FL_CURSOR_DEFAULT);
}

// A check: active as it is, or inactive and off.
void enable_check(Fl_Check_Button* check, bool on)
{
    if (on) {
        check->activate();
    } else {
        check->value(0);
        check->deactivate();
    }
    check->redraw();
}

bool limits_wanted() { return split_tab.limit_preview->value() || split_tab.limit_area->value(); }

void limit_fields(bool on)
{
    for (Fl_Input_* field : {static_cast<Fl_Input_*>(split_tab.south), static_cast<Fl_Input_*>(split_tab.north),
                             static_cast<Fl_Input_*>(split_tab.west), static_cast<Fl_Input_*>(split_tab.east)})
        enable_field(field, on);
}

void fid_fields(bool on)
{
    enable_field(split_tab.fid, on);
    enable_field(split_tab.pid, on);
}

// A check of the MapSource rows means nothing for another kind of split.
bool check_allowed(Fl_Check_Button* check)
{
    if (chosen_kind() == SPLIT_FOR_MAPSOURCE)
        return true;
    uncheck(check);
    return false;
}

void set_code_page_cb(Fl_Widget*, void*)
{
    check_allowed(split_tab.set_code_page);
    enable_field(split_tab.code_page, split_tab.set_code_page->value());
}

void set_mapset_fid_cb(Fl_Widget*, void*)
{
    check_allowed(split_tab.set_fid);
    fid_fields(split_tab.set_fid->value());
}

void limit_checks_allowed()
{
    if (chosen_kind() != SPLIT_FOR_MAPSOURCE) {
        uncheck(split_tab.limit_preview);
        uncheck(split_tab.limit_area);
    }
}

void limit_mapset_area_cb(Fl_Widget*, void*)
{
    limit_checks_allowed();
    limit_fields(limits_wanted());
}

void limit_preview_map_cb(Fl_Widget*, void*)
{
    limit_checks_allowed();
    limit_fields(limits_wanted());
    Fl_Input_* const fields[] = {split_tab.south, split_tab.north, split_tab.west, split_tab.east};
    for (int i = 0; i < 4; ++i)
        if (fields[i]->active() && !*fields[i]->value()) {
            fields[i]->value(preview_defaults[i]);
            fields[i]->redraw();
        }
}

void update_split_widgets_cb(void*) { update_split_widgets(); }

void split_kind_cb(Fl_Widget*, void*)
{
    // The choice's menu is still up while its callback runs; the rows
    // change once it has closed.
    Fl::add_timeout(0.0, update_split_widgets_cb);
}

void choose_output_directory_cb(Fl_Widget*, void*)
{
    // Copied: the input's own buffer changes when the answer goes in.
    std::string current = split_tab.output_directory->value();
    ChooserRequest request;
    request.title = OutDir.text();
    request.filter = AllFil.text();
    request.type = Fl_File_Chooser::DIRECTORY | Fl_File_Chooser::CREATE;
    request.directory = current.empty() ? dialog_start_dir : current.c_str();
    ChooserResult result = gui_dialogs().choose(request);
    if (result.paths.empty() || result.paths.front().empty())
        return;
    split_tab.output_directory->value(result.paths.front().c_str());
    split_tab.output_directory->redraw();
}

void clear_cb(Fl_Widget*, void*) { clear_split_tab(); }
void split_help_cb(Fl_Widget*, void*) { open_help_topic("split"); }
void split_all_button_cb(Fl_Widget*, void*) { split_all_cb(); }
void split_selected_button_cb(Fl_Widget*, void*) { split_selected_cb(); }

void fill_kind_choice()
{
    std::vector<std::string> items;
    for (const MessageText* item : kind_items)
        items.push_back(item->text());
    refill_choice(split_tab.kind, items);
    split_tab.kind->redraw();
}

void set_labels()
{
    SplitTab& t = split_tab;
    t.directory_button->label(Direct.text());
    t.kind->label(Create.text());
    t.short_headers->label(ShoHea.text());
    t.mapset_name->label(MapNam.text());
    t.set_fid->label(SeMaFi.text());
    t.fid->label(FidTxt.text());
    t.pid->label(PidTxt.text());
    t.compile_preview->label(CoPrMa.text());
    t.limit_preview->label(LiPrMa.text());
    t.limit_area->label(LiMaAr.text());
    t.south->label(S_Text.text());
    t.north->label(N_Text.text());
    t.west->label(W_Text.text());
    t.east->label(E_Text.text());
    t.set_code_page->label(SeCoPa.text());
    t.code_page->label(CpText.text());
    t.files_name->label(NaFoMF.text());
    t.empty_dem->label(AdEmDe.text());
    t.tdb_v3->label(CrTVWP.text());
    t.marine_tdb->label(CrTFMM.text());
    t.split_list->label(CrFLSL.text());
    label_task_buttons(t.buttons, SplAll, SplSel, InfoTx, ClearT, HelpTx);
}

// A pending row update dies with the tab's widgets.
void forget_split_tab()
{
    Fl::remove_timeout(update_split_widgets_cb);
    split_tab = SplitTab{};
}

// Widgets -> record, one row at a time.
struct Collector : TabCollector {
    // The code page the mapset name is written in: the one this tab sets,
    // or -1 for the one of Options.
    int name_code_page = -1;

    void directory_row() { take_path(split_tab.output_directory->value(), record.output_path, OuDiNM); }

    void kind_row()
    {
        const SplitTab& t = split_tab;
        switch (chosen_kind()) {
        case SPLIT_FOR_MAPSOURCE:
            mapsource_rows();
            break;
        case SPLIT_SINGLE_MAPS:
            record.create_split_list = t.split_list->value() ? 1 : 0;
            record.add_empty_dem = t.empty_dem->value() ? 1 : 0;
            break;
        case SPLIT_BY_FID:
            record.split_by_fid = 1;
            break;
        case SPLIT_SUBFILES:
            record.split_subfiles = 1;
            record.create_split_list = t.split_list->value() ? 1 : 0;
            break;
        case SPLIT_EMPTY_MAPS:
            record.split_empty = 1;
            break;
        case SPLIT_TYP_FILES:
            record.typ_only = 1;
            break;
        default:
            break;
        }
    }

    // The rows only a MapSource split reads. The code page comes before the
    // mapset name, which is written in it.
    void mapsource_rows()
    {
        record.mapsource_split_a = record.mapsource_split_b = 1;
        code_page_row();
        mapset_name_row();
        files_name_row();
        fid_row();
        limit_rows();
        switch_rows();
        compiler();
    }

    void code_page_row()
    {
        if (!split_tab.set_code_page->value())
            return;
        uint8_t given = 0;
        // A negative code page is no code page: refused like one too big.
        keep(take_field_number(split_tab.code_page->value(), 0, 65535, WVFCPI, record.mapset_code_page, given, 1));
        if (given)
            name_code_page = static_cast<int>(record.mapset_code_page);
    }

    void mapset_name_row() { take_mapset_name(split_tab.mapset_name->value(), name_code_page, WMNFUC); }

    void files_name_row()
    {
        const char* files = split_tab.files_name->value();
        if (is_blank_text(files))
            return;
        // Linux names are UTF-8 bytes: the refused characters are ASCII.
        if (contains_invalid_name_chars(files))
            refuse(WCIFNF);
        record.mapset_file_name = files;
    }

    void fid_row() { take_family_ids(split_tab.set_fid, split_tab.fid, split_tab.pid, 1, WFVIFS, WPVIPS); }

    // Both limit checks share the four fields.
    void limit_rows()
    {
        const SplitTab& t = split_tab;
        if (!t.limit_preview->value() && !t.limit_area->value())
            return;
        struct Limit {
            Fl_Float_Input_W* field;
            const MessageText& wrong;
            double range;
            double fallback;
            int32_t& units;
        };
        const Limit limits[] = {
            {t.south, WrSLVS, 90.0, -90.0, record.limit_south},
            {t.north, WrNLVS, 90.0, 90.0, record.limit_north},
            {t.west, WrWLVS, 180.0, -180.0, record.limit_west},
            {t.east, WrELVS, 180.0, 180.0, record.limit_east},
        };
        for (const Limit& l : limits) {
            const char* text = l.field->value();
            double degrees = l.fallback;
            if (*text && !read_degrees(text, l.range, degrees)) {
                log_message(l.wrong.text(), text);
                degrees = l.fallback;
                result = 0;
            }
            l.units = degrees_to_units(degrees);
        }
        if (record.limit_south >= record.limit_north)
            refuse(WrSNLD);
        if (record.limit_west >= record.limit_east)
            refuse(WrWELD);
        record.preview_limits = t.limit_preview->value() ? 1 : 0;
        record.limit_longitude = t.limit_area->value() ? 1 : 0;
        debug_message(DBG_MAPS, "Limit SN %X - %X, WE %X - %X\n", static_cast<unsigned>(record.limit_south),
                      static_cast<unsigned>(record.limit_north), static_cast<unsigned>(record.limit_west),
                      static_cast<unsigned>(record.limit_east));
    }

    // The checks that only switch a part of the split on: nothing to refuse.
    void switch_rows()
    {
        const SplitTab& t = split_tab;
        record.add_empty_dem = t.empty_dem->value() ? 1 : 0;
        record.create_tdb_v3 = t.tdb_v3->value() ? 1 : 0;
        record.marine_tdb = t.marine_tdb->value() ? 1 : 0;
        record.create_split_list = t.split_list->value() ? 1 : 0;
    }

    // The preview map's compiler, as Options sets it.
    void compiler()
    {
        record.compiler_is_maptk = Compiler == 1 ? 1 : 0;
        record.compiler_is_mkgmap = Compiler == 2 ? 1 : 0;
        const std::string& path = chosen_compiler_path();
        if (!is_blank_text(path.c_str()))
            record.compiler_path = path;
    }

    void short_headers_row() { record.short_header = split_tab.short_headers->value() ? 1 : 0; }
};

int collect_split_record(TaskOptions& record) { return collect_split_options(record) ? 1 : 0; }

// Read as the split starts: the compile follows the split that ran with
// this state, whatever the window shows by the time it ends.
bool compile_after_split = false;

void split_files(TaskOptions& record, int count, const char* const* names)
{
    compile_after_split = split_tab.compile_preview && split_tab.compile_preview->value() && record.mapsource_split_a;
    task_calls.split(record, count, names);
}

void compile_preview_map(TaskOptions& record)
{
    if (compile_after_split && error_count == 0) {
        run_map_compiler(record);
        report_task_result();
    }
}

void run_split(int selected_only)
{
    run_tab_task(selected_only, SpAlMa, SpSeMa, collect_split_record, split_files, compile_preview_map);
}

}  // namespace

Fl_Group* build_split_tab()
{
    SplitTab& t = split_tab;
    t.group = new TabGroup(forget_split_tab);

    t.directory_button = new_button(10, 48, 120, Direct.text(), choose_output_directory_cb);
    t.output_directory = new Fl_File_Input_W(140, 40, 470, 35);
    t.kind = new Fl_Choice(140, 80, 200, 25, Create.text());
    t.kind->callback(split_kind_cb);
    fill_kind_choice();

    t.compile_preview = new_check(10, 115, 230, CoPrMa.text());
    t.short_headers = new_check(300, 115, 230, ShoHea.text());
    t.mapset_name = new Fl_Input_W(140, 150, 470, 25, MapNam.text());
    t.set_fid = new_check(10, 185, 180, SeMaFi.text(), set_mapset_fid_cb);
    t.fid = new Fl_Int_Input_W(320, 185, 80, 25, FidTxt.text());
    t.pid = new Fl_Int_Input_W(460, 185, 80, 25, PidTxt.text());

    t.limit_preview = new_check(10, 220, 230, LiPrMa.text(), limit_preview_map_cb);
    t.limit_area = new_check(10, 255, 180, LiMaAr.text(), limit_mapset_area_cb);
    t.south = new Fl_Float_Input_W(320, 220, 80, 25, S_Text.text());
    t.north = new Fl_Float_Input_W(460, 220, 80, 25, N_Text.text());
    t.west = new Fl_Float_Input_W(320, 255, 80, 25, W_Text.text());
    t.east = new Fl_Float_Input_W(460, 255, 80, 25, E_Text.text());
    t.set_code_page = new_check(10, 290, 180, SeCoPa.text(), set_code_page_cb);
    t.code_page = new Fl_Int_Input_W(320, 290, 80, 25, CpText.text());
    t.files_name = new Fl_Input_W(140, 325, 470, 25, NaFoMF.text());
    t.empty_dem = new_check(10, 360, 230, AdEmDe.text());
    t.tdb_v3 = new_check(300, 360, 230, CrTVWP.text());
    t.marine_tdb = new_check(10, 395, 230, CrTFMM.text());
    t.split_list = new_check(300, 395, 230, CrFLSL.text());

    t.buttons = new_task_buttons(split_all_button_cb, split_selected_button_cb, clear_cb, split_help_cb);
    label_task_buttons(t.buttons, SplAll, SplSel, InfoTx, ClearT, HelpTx);

    clear_split_tab();
    show_split_advanced_options();
    end_tab_group(t.group);
    return t.group;
}

void clear_split_tab()
{
    SplitTab& t = split_tab;
    if (!t.group)
        return;
    t.output_directory->value("");
    t.output_directory->redraw();
    t.kind->value(SPLIT_FOR_MAPSOURCE);
    t.kind->redraw();
    for (Fl_Check_Button* check : {t.short_headers, t.set_fid, t.limit_preview, t.empty_dem, t.tdb_v3,
                                   t.marine_tdb, t.split_list, t.limit_area, t.set_code_page}) {
        check->activate();
        uncheck(check);
    }
    enable_field(t.mapset_name, true);
    t.mapset_name->value("");
    enable_field(t.files_name, true);
    t.files_name->value("");
    fid_fields(false);
    limit_fields(false);
    enable_field(t.code_page, false);
    t.compile_preview->activate();
    t.compile_preview->value(compiler_has_path() ? 1 : 0);
    t.compile_preview->redraw();
}

void update_split_widgets()
{
    SplitTab& t = split_tab;
    set_default_cursor();
    if (!t.group)
        return;
    const int kind = chosen_kind();
    if (kind == SPLIT_FOR_MAPSOURCE) {
        for (Fl_Check_Button* check : {t.short_headers, t.set_fid, t.compile_preview, t.limit_preview, t.empty_dem,
                                       t.tdb_v3, t.marine_tdb, t.split_list, t.set_code_page, t.limit_area}) {
            check->activate();
            check->redraw();
        }
        if (compiler_has_path())
            t.compile_preview->value(1);
        enable_field(t.mapset_name, true);
        enable_field(t.files_name, true);
        fid_fields(t.set_fid->value());
        limit_fields(limits_wanted());
        enable_field(t.code_page, t.set_code_page->value());
    } else {
        enable_check(t.short_headers, kind == SPLIT_NONE || kind == SPLIT_SINGLE_MAPS || kind == SPLIT_BY_FID);
        for (Fl_Input_* field : {static_cast<Fl_Input_*>(t.mapset_name), static_cast<Fl_Input_*>(t.files_name),
                                 static_cast<Fl_Input_*>(t.code_page)})
            enable_field(field, false);
        fid_fields(false);
        limit_fields(false);
        for (Fl_Check_Button* check : {t.set_fid, t.compile_preview, t.limit_preview, t.limit_area, t.tdb_v3,
                                       t.marine_tdb, t.set_code_page})
            enable_check(check, false);
        enable_check(t.empty_dem, kind == SPLIT_SINGLE_MAPS);
        enable_check(t.split_list, kind == SPLIT_SINGLE_MAPS || kind == SPLIT_SUBFILES);
    }
    set_default_cursor();
}

void show_split_advanced_options()
{
    SplitTab& t = split_tab;
    if (!t.group)
        return;
    const bool advanced = Advanced != 0;
    Fl_Widget* const advanced_rows[] = {t.short_headers, t.limit_preview, t.limit_area, t.south,
                                        t.north,         t.west,          t.east,       t.set_code_page,
                                        t.code_page,     t.files_name,    t.empty_dem,  t.tdb_v3,
                                        t.marine_tdb,    t.split_list};
    for (Fl_Widget* w : advanced_rows)
        show_widget(w, advanced);
    // A hidden row keeps nothing a user could no longer see or change: the
    // area limit too, or a hidden limit would still drop maps.
    if (!advanced) {
        for (Fl_Check_Button* check : {t.short_headers, t.set_code_page, t.limit_preview, t.limit_area,
                                       t.empty_dem, t.tdb_v3, t.marine_tdb, t.split_list})
            uncheck(check);
        t.files_name->value("");
        t.files_name->redraw();
        enable_field(t.code_page, false);
        limit_fields(false);
    }
    t.group->redraw();
}

void split_advanced_hook() { show_split_advanced_options(); }

bool collect_split_options(TaskOptions& record)
{
    clear_tab_record(record);
    record.priority = 255;
    record.mapset_file_name = "mapset";
    if (!split_tab.group)
        return false;
    Collector c{{record}};
    c.directory_row();
    c.kind_row();
    c.short_headers_row();
    record.split_mode = 1;
    record.verbose = Verbose ? 1 : 0;
    record.announce_files = 1;
    return c.result != 0;
}

void split_all_cb() { run_split(0); }

void split_selected_cb() { run_split(1); }

int load_messages_gui_split(LanguageGroup* group, int code_page, int write)
{
    load_message_table(split_table, group, code_page, write);
    if (write || !split_tab.group)
        return 1;
    set_labels();
    fill_kind_choice();
    split_tab.group->redraw();
    return 1;
}
