// The start and the end of the window program, its main window, the table
// of the window's parts, and the texts of group GUI_Main (tab titles, the
// task frame's end lines, the input fields' menu and the labels of the
// toolkit's own dialogs).
#include "gui/main_window.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Tabs.H>
#include <FL/fl_ask.H>

#include "core/codepage.h"
#include "core/host.h"
#include "gui/change_tab.h"
#include "gui/debug_window.h"
#include "gui/file_guard.h"
#include "gui/files_tab.h"
#include "gui/help.h"
#include "gui/join_tab.h"
#include "gui/languages.h"
#include "gui/log_window.h"
#include "gui/options_tab.h"
#include "gui/settings.h"
#include "gui/split_tab.h"
#include "gui/write_tab.h"
#include "operations/task_bridge.h"
#include "platform/platform.h"

char program_dir[1000] = "";
int program_dir_length = 0;
int start_language_row = 1;
int experimental_allowed = 0;
int debug_button_enabled = 0;

Fl_Double_Window* main_window = nullptr;
Fl_Tabs* main_tabs = nullptr;
Fl_Group* files_group = nullptr;
Fl_Group* options_group = nullptr;
Fl_Group* join_group = nullptr;
Fl_Group* split_group = nullptr;
Fl_Group* write_group = nullptr;
Fl_Group* change_group = nullptr;
Fl_Group* log_group = nullptr;

// The toolkit's own labels, kept before any language load replaces them, so
// that going back to English restores the toolkit's wording.
namespace {
struct ToolkitLabel {
    const char** slot;
    const char* kept;
};
ToolkitLabel toolkit_labels[] = {
    {&Fl_File_Chooser::add_favorites_label, nullptr},
    {&Fl_File_Chooser::all_files_label, nullptr},
    {&Fl_File_Chooser::custom_filter_label, nullptr},
    {&Fl_File_Chooser::existing_file_label, nullptr},
    {&Fl_File_Chooser::favorites_label, nullptr},
    {&Fl_File_Chooser::filename_label, nullptr},
    {&Fl_File_Chooser::filesystems_label, nullptr},
    {&Fl_File_Chooser::hidden_label, nullptr},
    {&Fl_File_Chooser::manage_favorites_label, nullptr},
    {&Fl_File_Chooser::new_directory_label, nullptr},
    {&Fl_File_Chooser::new_directory_tooltip, nullptr},
    {&Fl_File_Chooser::preview_label, nullptr},
    {&Fl_File_Chooser::save_label, nullptr},
    {&Fl_File_Chooser::show_label, nullptr},
    {&fl_no, nullptr},
    {&fl_yes, nullptr},
    {&fl_ok, nullptr},
    {&fl_cancel, nullptr},
    {&fl_close, nullptr},
};
constexpr int TOOLKIT_LABEL_COUNT = sizeof toolkit_labels / sizeof toolkit_labels[0];

const char* keep_toolkit_label(int i)
{
    if (!toolkit_labels[i].kept)
        toolkit_labels[i].kept = *toolkit_labels[i].slot;
    return toolkit_labels[i].kept;
}
}  // namespace

// The toolkit label texts. Their English defaults are the kept labels; the
// key table's own English wording is only the fallback when the toolkit
// gave none.
MessageText lb_AdFaLa{"lb_AdFaLa", "Add to Favorites", "Dodaj do ulubionych", 238};
MessageText lb_AlFiLa{"lb_AlFiLa", "All Files (*)", "Wszystkie pliki (*)", 230};
MessageText lb_CuFiLa{"lb_CuFiLa", "Custom Filter", "Własny filtr", 224};
MessageText lb_ExFiLa{"lb_ExFiLa", "Please choose an existing file!", "Wybierz istniejący plik!", 248};
MessageText lb_FavLab{"lb_FavLab", "Favorites", "Ulubione", 216};
MessageText lb_FilLab{"lb_FilLab", "Filename:", "Nazwa pliku:", 222};
MessageText lb_FiSyLa{"lb_FiSyLa", "My Computer", "Mój komputer", 224};
MessageText lb_HidLab{"lb_HidLab", "Show hidden files", "Pokaż ukryte pliki", 236};
MessageText lb_MaFaLa{"lb_MaFaLa", "Manage Favorites", "Zarządzaj ulubionymi", 240};
MessageText lb_NeDiLa{"lb_NeDiLa", "New Directory?", "Nowy katalog?", 224};
MessageText lb_NeDiTo{"lb_NeDiTo", "Create a new directory.", "Utwórz nowy katalog.", 236};
MessageText lb_PreLab{"lb_PreLab", "Preview", "Podgląd", 214};
MessageText lb_SavLab{"lb_SavLab", "Save", "Zapisz", 212};
MessageText lb_ShoLab{"lb_ShoLab", "Show:", "Pokaż:", 212};
MessageText lb_noText{"lb_noText", "No", "Nie", 206};
MessageText lb_yesTxt{"lb_yesTxt", "Yes", "Tak", 206};
MessageText lb_okText{"lb_okText", "OK", "OK", 204};
MessageText lb_cancel{"lb_cancel", "Cancel", "Anuluj", 212};
MessageText lb_closeT{"lb_closeT", "Close", "Zamknij", 214};
// Tab titles are 11 characters wide.
MessageText FilesT{"FilesT", "   Files   ", "   Pliki   ", 82};
MessageText Option{"Option", "  Options  ", "   Opcje   ", 82};
MessageText JoinTx{"JoinTx", "   Join    ", "  Połącz   ", 82};
MessageText SplitT{"SplitT", "   Split   ", "  Podziel  ", 82};
MessageText WriteT{"WriteT", "   Write   ", "  Zapisz   ", 82};
MessageText ChangT{"ChangT", "  Change   ", "   Zmień   ", 82};
MessageText LogTxt{"LogTxt", "    Log    ", "    Log    ", 82};
MessageText UseBre{"UseBre", "\nUser break!\n", "\nPrzerwane przez użytkownika!\n", 86};
MessageText EndTxt{"EndTxt", "\nEnd.\n", "\nKoniec.\n", 72};
MessageText ProSta{"ProSta", "Program start.\n", "Start programu.\n", 90};
MessageText MainCopyTx{"CopyTx", "Copy", "Kopiuj", 68};
MessageText PasteT{"PasteT", "Paste", "Wklej", 70};

static MessageText* const toolkit_table[] = {
    &lb_AdFaLa, &lb_AlFiLa, &lb_CuFiLa, &lb_ExFiLa, &lb_FavLab, &lb_FilLab, &lb_FiSyLa,
    &lb_HidLab, &lb_MaFaLa, &lb_NeDiLa, &lb_NeDiTo, &lb_PreLab, &lb_SavLab, &lb_ShoLab,
    &lb_noText, &lb_yesTxt, &lb_okText, &lb_cancel, &lb_closeT,
};
static_assert(sizeof toolkit_table / sizeof toolkit_table[0] == TOOLKIT_LABEL_COUNT);

static MessageText* const main_table[] = {
    &lb_AdFaLa, &lb_AlFiLa, &lb_CuFiLa, &lb_ExFiLa, &lb_FavLab, &lb_FilLab, &lb_FiSyLa,
    &lb_HidLab, &lb_MaFaLa, &lb_NeDiLa, &lb_NeDiTo, &lb_PreLab, &lb_SavLab, &lb_ShoLab,
    &lb_noText, &lb_yesTxt, &lb_okText, &lb_cancel, &lb_closeT, &FilesT,    &Option,
    &JoinTx,    &SplitT,    &WriteT,    &ChangT,    &LogTxt,    &UseBre,    &EndTxt,
    &ProSta,    &MainCopyTx, &PasteT,   &RefSet,    &RefSeN,    &RefLan,    &RsnBig,
    &RsnLin,    &RsnKnd,
};

WindowPart window_parts[9] = {
    {"GUI_Main", 8, nullptr, nullptr, nullptr, load_messages_gui_main, nullptr, nullptr},
    {"GUI_Files", 5, &files_group, &FilesT, build_files_tab, load_messages_gui_files, files_recolour_hook, nullptr},
    {"GUI_Options", 9, &options_group, &Option, build_options_tab, load_messages_gui_options, nullptr, nullptr},
    {"GUI_Join", 4, &join_group, &JoinTx, build_join_tab, load_messages_gui_join, nullptr, join_advanced_hook},
    {"GUI_Split", 3, &split_group, &SplitT, build_split_tab, load_messages_gui_split, nullptr, split_advanced_hook},
    {"GUI_Write", 2, &write_group, &WriteT, build_write_tab, load_messages_gui_write, nullptr, write_advanced_hook},
    {"GUI_Change", 1, &change_group, &ChangT, build_change_tab, load_messages_gui_change, nullptr,
     change_advanced_hook},
    {"GUI_Log", 6, &log_group, &LogTxt, build_log_tab, load_messages_gui_log, nullptr, nullptr},
    {"GUI_Help", 7, nullptr, nullptr, nullptr, load_messages_gui_help, nullptr, nullptr},
};

// Taken before main runs, while the toolkit's labels are its own.
static const bool toolkit_labels_kept = [] {
    for (int i = 0; i < TOOLKIT_LABEL_COUNT; ++i)
        if (const char* label = keep_toolkit_label(i))
            toolkit_table[i]->english = label;
    return true;
}();

int load_messages_gui_main(LanguageGroup* group, int code_page, int write)
{
    (void)toolkit_labels_kept;
    load_message_table(main_table, group, code_page, write);
    if (write)
        return 1;
    for (const WindowPart& part : window_parts)
        if (part.tab && *part.tab)
            (*part.tab)->label(part.title->text());
    for (int i = 0; i < TOOLKIT_LABEL_COUNT; ++i)
        *toolkit_labels[i].slot = toolkit_table[i]->text();
    if (main_tabs)
        main_tabs->redraw();
    return 1;
}

int is_blank_text(const char* text)
{
    if (!text)
        return 1;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p > 32)
            return 0;
    return 1;
}

namespace {

// A saved box is any four ints (a settings file is edited by people): every
// sum and half of them is taken in 64 bits, where none can overflow.
struct WideBox {
    int64_t x, y, w, h;
};

int clamp_to_int(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

WindowBox fit_main_window(WindowBox saved, WindowBox work_area)
{
    const WideBox area{work_area.x, work_area.y, work_area.w, work_area.h};
    WideBox box{saved.x, saved.y, saved.w, saved.h};
    if (box.w + 29 < area.w && box.h + 29 < area.h) {
        box.w = std::max<int64_t>(box.w, 620);
        box.h = std::max<int64_t>(box.h, 510);
    } else {
        box.w = 620;
        box.h = 510;
        box.x = (area.w - 620) / 2;
        box.y = (area.h - 510) / 2;
    }
    box.w = std::min(box.w, area.w);
    box.h = std::min(box.h, area.h);
    box.x = std::max(box.x, area.x);
    box.y = std::max(box.y, area.y);
    if (box.x + box.w > area.x + area.w)
        box.x = area.x + area.w - box.w;
    if (box.y + box.h > area.y + area.h)
        box.y = area.y + area.h - box.h;
    return {clamp_to_int(box.x), clamp_to_int(box.y), clamp_to_int(box.w), clamp_to_int(box.h)};
}

void place_main_window()
{
    // The work area is taken where the saved window's centre lies: the
    // window itself has not been placed yet.
    WindowBox area;
    Fl::screen_work_area(area.x, area.y, area.w, area.h, clamp_to_int(int64_t(PositionX) + PositionW / 2),
                         clamp_to_int(int64_t(PositionY) + PositionH / 2));
    WindowBox box = fit_main_window({PositionX, PositionY, PositionW, PositionH}, area);
    PositionX = box.x;
    PositionY = box.y;
    PositionW = box.w;
    PositionH = box.h;
    if (main_window)
        main_window->resize(box.x, box.y, box.w, box.h);
}

void main_window_callback(Fl_Widget*, void*)
{
    // Escape reaches a window's callback too; it must not end the program.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
        return;
    stop_requested = 1;
    hide_help();
    close_debug_window();
    if (main_window)
        main_window->hide();
}

StartArguments read_start_arguments(int argc, char** argv)
{
    StartArguments found;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!strcmp(a, "-X"))
            found.experimental = 1;
        else if (!strcmp(a, "-P"))
            found.language_row = 2;
        else if (!strcmp(a, "-E"))
            found.language_row = 1;
        else if (!strcmp(a, "-i")) {
            if (i + 1 < argc)
                found.dialog_dir = argv[++i];
        } else if (!strcmp(a, "-G"))
            found.debug_button = 1;
    }
    return found;
}

int for_each_file_argument(int argc, char** argv, void (*add)(const char* path))
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            if (!strcmp(argv[i], "-i"))
                ++i;
            continue;
        }
        add(argv[i]);
        ++count;
    }
    return count;
}

// The program's icon: a folded map with a route, compiled in.
static const char* const icon_xpm[] = {
    "16 16 5 1",
    "  c None",
    ". c #1F3A5F",
    "+ c #E8E2C8",
    "@ c #4F8F4F",
    "# c #C03020",
    "................",
    ".++++@@@@@++++..",
    ".+++@@@@@@@+++..",
    ".++@@@##@@@@++..",
    ".+@@@#++#@@@@+..",
    ".+@@#++++#@@@+..",
    ".++@#++++#@@++..",
    ".+++@#++#@@+++..",
    ".++++@##@@++++..",
    ".+++++@#@+++++..",
    ".++++++#++++++..",
    ".++++++#++++++..",
    ".+++++###+++++..",
    ".++++++++++++++.",
    "................",
    "                ",
};

static void set_window_icon()
{
    static Fl_Pixmap pixmap(icon_xpm);
    static Fl_RGB_Image icon(&pixmap, FL_GRAY);
    main_window->icon(&icon);
}

static void add_file_argument(const char* path)
{
    // The system code page of Linux is UTF-8: names arrive as they are.
    add_file(path, -1);
}

static bool program_dir_overridden = false;
static std::string program_dir_override;

void override_program_dir(const char* dir)
{
    program_dir_overridden = dir != nullptr;
    program_dir_override = dir ? dir : "";
}

void set_program_dir(const std::string& directory)
{
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    program_dir[0] = '\0';
    program_dir_length = 0;
    if (!dir.empty() && dir.size() <= 999) {
        memcpy(program_dir, dir.c_str(), dir.size() + 1);
        program_dir_length = static_cast<int>(dir.size());
    }
}

int gui_start(int argc, char** argv)
{
    make_version_text();
    system_code_page = get_ansi_code_page();

    set_program_dir(program_dir_overridden ? program_dir_override : platform::program_directory());

    init_locale();
    forget_refused_files();
    read_settings();
    choose_start_language();

    StartArguments args = read_start_arguments(argc, argv);
    experimental_allowed = args.experimental;
    debug_button_enabled = args.debug_button;
    if (args.language_row)
        start_language_row = args.language_row;
    if (args.dialog_dir)
        set_dialog_start_dir(args.dialog_dir);
    if (!experimental_allowed)
        Experimental = 0;
    if (start_language_row == 1)
        english_texts = 1;
    else if (start_language_row == 2)
        english_texts = 0;

    init_colour_schemes();
    Fl::scheme(scheme_name());
    Fl::visual(FL_DOUBLE | FL_INDEX);

    // Desktops name and group windows by their X class: every window of
    // the program, its dialogs too, is a Tarnwick window.
    Fl_Window::default_xclass("Tarnwick");
    main_window = new Fl_Double_Window(620, 510, "Tarnwick");
    main_window->xclass("Tarnwick");
    main_window->callback(main_window_callback);
    main_tabs = new Fl_Tabs(0, 0, 620, 510);
    for (const WindowPart& part : window_parts)
        if (part.build)
            *part.tab = part.build();
    main_tabs->resizable(files_group);
    main_tabs->end();
    join_group->deactivate();
    split_group->deactivate();
    write_group->deactivate();
    change_group->deactivate();
    main_window->size_range(620, 510);
    main_window->resizable(files_group);
    main_window->end();
    place_main_window();
    set_window_icon();

    load_language(start_language_row);
    show_settings_in_options();

    for_each_file_argument(argc, argv, add_file_argument);
    update_task_buttons();

    char* program_name[] = {argv[0], nullptr};
    main_window->show(1, program_name);
    log_message("%s", ProSta.text());
    report_refused_files();
    return 1;
}

void gui_finish()
{
    if (main_window) {
        PositionX = main_window->x();
        PositionY = main_window->y();
        PositionW = main_window->w();
        PositionH = main_window->h();
    }
    write_settings();
    delete main_window;
    main_window = nullptr;
    main_tabs = nullptr;
    for (const WindowPart& part : window_parts)
        if (part.tab)
            *part.tab = nullptr;
}
