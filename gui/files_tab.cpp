// The Files tab: the list of input files with its size and kind columns,
// the ways of adding to it (choosers, directory scan, drops, arguments),
// moving and removing lines, the selection handed to the tasks, the Info
// and Details reports, the About box and the texts of group GUI_Files.
//
// The list's lines are the only record of the inputs: every task re-reads
// its paths from them, so nothing here keeps a second copy to go stale.
#include "gui/files_tab.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Tile.H>
#include <FL/filename.H>

#include "core/codepage.h"
#include "core/files.h"
#include "core/host.h"
#include "core/task_options.h"
#include "core/text_format.h"
#include "gui/gui_dialogs.h"
#include "gui/help.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "gui/tab_kit.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "operations/task_bridge.h"

Fl_Multi_Browser_W* file_list = nullptr;
char dialog_start_dir[1024] = "";
FilesTabWidgets files_tab;

// Other tabs have keys of the same names in their own groups ("HelpTx"):
// these stay private to the file.
namespace {

MessageText AddFil{"AddFil", "Add Files", "Dodaj pliki", 78};
MessageText AddDir{"AddDir", "Add Directories", "Dodaj katalogi", 90};
MessageText InfoTx{"InfoTx", "Info", "Info", 68};
MessageText Detail{"Detail", "Details", "Szczegóły", 74};
MessageText HelpTx{"HelpTx", "?", "?", 62};
MessageText FilNam{"FilNam", "File name", "Nazwa pliku", 78};
MessageText SizeTx{"SizeTx", "Size", "Rozmiar", 68};
MessageText Mapset{"Mapset", "Mapset", "Mapset", 72};
MessageText OpeErr{"OpeErr", "open error", "błąd otwarcia", 80};
MessageText ReaErr{"ReaErr", "read error", "błąd odczytu", 80};
MessageText Subfil{"Subfil", "subfile", "podplik", 74};
MessageText OthDat{"OthDat", "other data", "inne dane", 80};
MessageText OuOfMe{"OuOfMe", "\nOut of memory!\n", "\nBrak pamięci!\n", 92};
MessageText SeFFID{"SeFFID", "Select files for info display.", "Zaznacz pliki, o których pokazać informacje.", 120};
MessageText SFFDID{"SFFDID", "Select files for detailed info display.",
                   "Zaznacz pliki, o których pokazać szczegółowe informacje.", 138};
MessageText InpFil{"InpFil", "Input files", "Pliki wejściowe", 82};
MessageText InpDir{"InpDir", "Input directories", "Katalogi wejściowe", 94};
MessageText AFMITF{"AFMITF", "All Files (*)\tMaps (*.img)\tTyp file (*.typ)",
                   "Wszystkie pliki (*)\tMapy (*.img)\tPliki typ (*.typ)", 186};
MessageText SFTRFL{"SFTRFL", "Select files to remove from list.", "Zaznacz pliki do usunięcia z listy.", 126};
MessageText IBWCGT{"IBWCGT", "Interface build with C++ GUI toolkit", "Interfejs zbudowany przy użyciu biblioteki GUI dla C++",
                   132};
MessageText CtlChr{"CtlChr", "A file name with a control character (tab, line end) cannot be listed:\n",
                   "Nazwy pliku ze znakiem sterującym (tabulator, koniec wiersza) nie można dodać do listy:\n"};

MessageText* const files_table[] = {
    &AddFil, &AddDir, &InfoTx, &Detail, &HelpTx, &FilNam, &SizeTx, &Mapset, &OpeErr, &ReaErr, &Subfil,
    &OthDat, &OuOfMe, &SeFFID, &SFFDID, &InpFil, &InpDir, &AFMITF, &SFTRFL, &IBWCGT, &CtlChr,
};

constexpr size_t MAX_PATH_BYTES = 1200;
// Longer paths are listed without columns: the line would outgrow its room.
constexpr size_t MAX_DESCRIBED_PATH = 1199;
constexpr size_t MAX_START_DIR = 1021;
constexpr size_t HEAD_BYTES = 512;

uint16_t u16_at(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool has_prefix(const unsigned char* bytes, size_t offset, const char* text)
{
    return memcmp(bytes + offset, text, strlen(text)) == 0;
}

// The kind column from the first bytes of a file (n of them, n > 0).
std::string kind_column(const unsigned char* head, size_t n, std::string_view path, int code_page)
{
    std::string column;
    if (n >= 51 && has_prefix(head, 2, "GARMIN TYP")) {
        append_format(column, "\tTYP  FID=%u PID=%u CP=%u", u16_at(head + 47), u16_at(head + 49), u16_at(head + 21));
        return column;
    }
    if (n >= 12) {
        for (const char* kind : {"TRF", "MMR", "JCV"})
            if (has_prefix(head, 2, "GARMIN ") && memcmp(head + 9, kind, 3) == 0)
                return std::string("\t") + kind;
    }
    if (n == HEAD_BYTES) {
        unsigned char plain[HEAD_BYTES];
        const unsigned char key = head[0x41] ^ 0x47;
        for (size_t i = 0; i < HEAD_BYTES; ++i)
            plain[i] = head[i] ^ key;
        if (has_prefix(plain, 0x41, "GARMIN") && (has_prefix(plain, 0x10, "DSKIMG") || has_prefix(plain, 0x10, "DSDIMG"))) {
            char description[51];
            memcpy(description, plain + 0x49, 20);
            memcpy(description + 20, plain + 0x65, 30);
            description[50] = '\0';
            size_t length = strlen(description);
            while (length > 0 && static_cast<unsigned char>(description[length - 1]) <= 0x20)
                description[--length] = '\0';
            const char* utf8 = convert_cp_to_utf8(code_page ? code_page : language_default_code_page, description);
            return std::string("\t@.") + (utf8 ? utf8 : description);
        }
    }
    if (n >= 32) {
        static const char* const subfiles[] = {"TRE", "RGN", "LBL", "NET", "NOD", "DEM", "GMP", "MDR", "SRT"};
        if (has_prefix(head, 2, "GARMIN "))
            for (const char* kind : subfiles)
                if (memcmp(head + 9, kind, 3) == 0)
                    return std::string("\t") + Subfil.text() + " " + kind;
    }
    if (path.size() >= 4) {
        std::string ending(path.substr(path.size() - 4));
        if (!strcasecmp(ending.c_str(), ".md2"))
            return "\tMD2";
        if (!strcasecmp(ending.c_str(), ".tdb")) {
            column = "\tTDB";
            if (n >= 10 && head[0] == 'P')
                append_format(column, "  FID=%u PID=%u", u16_at(head + 5), u16_at(head + 3));
            return column;
        }
    }
    return std::string("\t") + OthDat.text();
}

bool has_control_byte(std::string_view path)
{
    for (unsigned char c : path)
        if (c < 32)
            return true;
    return false;
}

// The control bytes shown as '?', so the message stays one readable name.
std::string shown_path(std::string_view path)
{
    std::string shown(path);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 32)
            c = '?';
    return shown;
}

// The number of the line that lists path, or 0.
int find_line(std::string_view path)
{
    // Called once per added file against every line: compare in place,
    // so a folder of thousands of maps adds without building strings.
    const int n = file_list->size();
    for (int i = 1; i <= n; ++i) {
        const char* text = file_list->text(i);
        if (text && text[0] == '@' && text[1] == '.' && strncmp(text + 2, path.data(), path.size()) == 0 &&
            (text[2 + path.size()] == '\t' || text[2 + path.size()] == '\0'))
            return i;
    }
    return 0;
}

bool any_selected()
{
    for (int i = 1, n = file_list->size(); i <= n; ++i)
        if (file_list->selected(i))
            return true;
    return false;
}

void set_busy(bool busy)
{
    if (main_window)
        main_window->cursor(busy ? FL_CURSOR_WAIT : FL_CURSOR_DEFAULT);
}

void show_last_line()
{
    if (file_list->size() > 0)
        file_list->bottomline(file_list->size());
    file_list->redraw();
}

void add_files_cb(Fl_Widget*, void*)
{
    ChooserRequest request;
    request.title = InpFil.text();
    request.filter = AFMITF.text();
    request.type = Fl_File_Chooser::MULTI;
    request.directory = dialog_start_dir;
    ChooserResult chosen = gui_dialogs().choose(request);
    if (!chosen.paths.empty()) {
        set_busy(true);
        set_dialog_start_dir(chosen.directory.c_str());
        file_list->deselect();
        for (const std::string& path : chosen.paths)
            if (add_file(path.c_str(), static_cast<int>(path.size())))
                Fl::check();
        show_last_line();
        set_busy(false);
    }
    update_task_buttons();
}

void add_directories_cb(Fl_Widget*, void*)
{
    ChooserRequest request;
    request.title = InpDir.text();
    request.filter = "*";
    request.type = Fl_File_Chooser::MULTI | Fl_File_Chooser::DIRECTORY;
    request.directory = dialog_start_dir;
    ChooserResult chosen = gui_dialogs().choose(request);
    if (!chosen.paths.empty()) {
        set_busy(true);
        set_dialog_start_dir(chosen.directory.c_str());
        file_list->deselect();
        for (const std::string& directory : chosen.paths)
            if (add_directory(directory.c_str()))
                Fl::check();
        show_last_line();
        set_busy(false);
    }
    update_task_buttons();
}

void info_cb(Fl_Widget*, void* detailed)
{
    const int d = detailed ? 1 : 0;
    if (!file_list || file_list->size() == 0)
        return;
    if (file_list->size() >= 2 && !any_selected()) {
        gui_dialogs().message(d ? SFFDID.text() : SeFFID.text());
        return;
    }
    wyswietl_info(d);
}

void about_cb(Fl_Widget*, void*) { gui_dialogs().message(about_text()); }

void help_cb(Fl_Widget*, void*) { open_help_topic("files"); }

void redraw_list_cb(Fl_Widget*, void*)
{
    if (file_list)
        file_list->redraw();
}

template <void (*Action)()>
void call_action(Fl_Widget*, void*)
{
    Action();
}

Fl_Button* symbol_button(int x, const char* symbol, int shortcut, Fl_Callback* action)
{
    Fl_Button* b = new_button(x, 40, 25, symbol, action);
    if (shortcut)
        b->shortcut(shortcut);
    return b;
}

Fl_Button* header_box(int x, int w)
{
    Fl_Button* b = new Fl_Button(x, 75, w, 20);
    b->box(FL_THIN_DOWN_BOX);
    b->color(FL_BACKGROUND2_COLOR);
    return b;
}

// An invisible group whose box bounds where a tile's borders can be dragged.
void tile_limits(Fl_Tile* tile, int x, int w)
{
    Fl_Group* limits = new Fl_Group(x, 75, w, 20);
    limits->box(FL_NO_BOX);
    limits->end();
    limits->hide();
    tile->resizable(limits);
}

void set_labels()
{
    if (!files_tab.add_files)
        return;
    files_tab.add_files->label(AddFil.text());
    files_tab.add_directories->label(AddDir.text());
    files_tab.info->label(InfoTx.text());
    files_tab.details->label(Detail.text());
    files_tab.help->label(HelpTx.text());
    files_tab.headers[0]->label(FilNam.text());
    files_tab.headers[1]->label(SizeTx.text());
    files_tab.headers[2]->label(Mapset.text());
    if (Fl_Group* tab = files_tab.add_files->parent())
        tab->redraw();
}

}  // namespace

std::string size_column(int64_t size)
{
    std::string column;
    if (size < 0)
        size = 0;
    if (size < 10000)
        append_format(column, "\t@f%5d", static_cast<int>(size));
    else if (size < 9999500)
        append_format(column, "\t@f%5dk", static_cast<int>((size + 500) / 1000));
    // Rounded without adding first: the sum would overflow near the top of
    // the range.
    else
        append_format(column, "\t@f%5ldM", static_cast<long>(size / 1000000 + (size % 1000000 >= 500000 ? 1 : 0)));
    return column;
}

std::string_view line_path(const char* line)
{
    std::string_view text(line ? line : "");
    if (text.substr(0, 2) == "@.")
        text.remove_prefix(2);
    return text.substr(0, text.find('\t'));
}

void describe_file_columns(std::string& line, size_t length, int code_page)
{
    line.resize(std::min(length, line.size()));
    const std::string path = line.size() > 2 ? line.substr(2) : std::string();
    FILE* file = open_file(path.c_str(), "rb");
    if (!file) {
        line += size_column(0);
        line += '\t';
        line += OpeErr.text();
        return;
    }
    int64_t size = 0;
    if (fseeko(file, 0, SEEK_END) == 0) {
        off_t end = ftello(file);
        size = end < 0 ? 0 : static_cast<int64_t>(end);
    }
    line += size_column(size);
    unsigned char head[HEAD_BYTES];
    size_t n = 0;
    if (fseeko(file, 0, SEEK_SET) == 0)
        n = fread(head, 1, sizeof head, file);
    fclose(file);
    if (n == 0) {
        line += '\t';
        line += ReaErr.text();
        return;
    }
    line += kind_column(head, n, path, code_page);
}

std::string percent_decode(std::string_view text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> cut_drop_text(const char* text, size_t length)
{
    std::vector<std::string> lines;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (p && i < length && p[i] != 0) {
        if (p[i] <= 32) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < length && p[i] > 31)
            ++i;
        size_t end = i;
        while (end > start && p[end - 1] < 33)
            --end;
        lines.emplace_back(text + start, end - start);
    }
    return lines;
}

int add_file(const char* text, int length)
{
    if (!text || !file_list)
        return 0;
    std::string_view given(text, length < 0 ? strlen(text) : static_cast<size_t>(length));
    std::string path;
    if (given.size() > 6 && given.substr(0, 7) == "file://")
        path = percent_decode(given.substr(7));
    else
        path = given;
    if (path.empty() || path.size() > MAX_PATH_BYTES)
        return 0;
    if (has_control_byte(path)) {
        gui_dialogs().message(std::string(CtlChr.text()) + shown_path(path));
        return 0;
    }
    if (int existing = find_line(path)) {
        file_list->select(existing);
        return 0;
    }
    std::string line = "@." + path;
    if (path.size() < MAX_DESCRIBED_PATH)
        describe_file_columns(line, line.size(), 0);
    file_list->add(line.c_str());
    file_list->select(file_list->size());
    return 1;
}

int add_directory(const char* directory)
{
    if (!directory || !file_list)
        return 0;
    const size_t length = strlen(directory);
    if (length == 0 || length > MAX_PATH_BYTES)
        return 0;
    std::string base = directory;
    // A backslash at the end is part of the name here, not a separator.
    if (base.back() != '/')
        base += '/';
    dirent** entries = nullptr;
    const int n = fl_filename_list(directory, &entries, fl_casenumericsort);
    if (n < 0 || !entries)
        return 0;
    static const char* const extensions[] = {".img", ".typ", ".trf", ".mdr", ".gmp", ".dem", ".tre",
                                             ".rgn", ".lbl", ".net", ".nod", ".srt", ".mps"};
    int added = 0;
    for (int i = 0; i < n; ++i) {
        const char* name = entries[i]->d_name;
        const char* ext = fl_filename_ext(name);
        for (const char* wanted : extensions) {
            if (!strcasecmp(ext, wanted)) {
                std::string path = base + name;
                added += add_file(path.c_str(), static_cast<int>(path.size()));
                break;
            }
        }
    }
    fl_filename_free_list(&entries, n);
    return added;
}

void add_dropped_files(Fl_Multi_Browser_W* list)
{
    if (!list)
        return;
    // Taken before the walk: a drop that arrives while Fl::check() runs
    // below queues behind this one with a deferred call of its own.
    const std::string text = list->take_drop();
    if (text.empty())
        return;
    set_busy(true);
    std::vector<std::string> lines = cut_drop_text(text.c_str(), text.size());
    if (!lines.empty() && file_list)
        file_list->deselect();
    for (const std::string& line : lines)
        if (add_file(line.c_str(), static_cast<int>(line.size())))
            Fl::check();
    set_busy(false);
    update_task_buttons();
}

std::vector<std::string> selected_file_paths(int selected_only)
{
    std::vector<std::string> paths;
    if (!file_list)
        return paths;
    const int n = file_list->size();
    if (selected_only && n == 1)
        file_list->select(1);
    for (int i = 1; i <= n; ++i)
        if (!selected_only || file_list->selected(i))
            paths.emplace_back(line_path(file_list->text(i)));
    return paths;
}

char** get_selected_files(int* count_out, int selected_only)
{
    if (count_out)
        *count_out = 0;
    std::vector<std::string> paths = selected_file_paths(selected_only);
    if (paths.empty())
        return nullptr;
    size_t bytes = paths.size() * sizeof(char*);
    for (const std::string& p : paths)
        bytes += p.size() + 1;
    char** block = static_cast<char**>(gui_malloc(bytes));
    if (!block) {
        log_message("%s", OuOfMe.text());
        return nullptr;
    }
    char* text = reinterpret_cast<char*>(block + paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        block[i] = text;
        memcpy(text, paths[i].c_str(), paths[i].size() + 1);
        text += paths[i].size() + 1;
    }
    if (count_out)
        *count_out = static_cast<int>(paths.size());
    return block;
}

SelectedFiles::~SelectedFiles()
{
    if (names)
        gui_free(names);
}

void select_all_files()
{
    if (!file_list)
        return;
    for (int i = 1, n = file_list->size(); i <= n; ++i)
        file_list->select(i);
}

void move_selected_up()
{
    if (!file_list)
        return;
    for (int i = 2, n = file_list->size(); i <= n; ++i)
        if (file_list->selected(i) && !file_list->selected(i - 1))
            file_list->swap(i, i - 1);
    file_list->redraw();
}

void move_selected_down()
{
    if (!file_list)
        return;
    for (int i = file_list->size() - 1; i >= 1; --i)
        if (file_list->selected(i) && !file_list->selected(i + 1))
            file_list->swap(i, i + 1);
    file_list->redraw();
}

void remove_selected_files()
{
    if (!file_list || file_list->size() == 0)
        return;
    if (!any_selected()) {
        gui_dialogs().message(SFTRFL.text());
        return;
    }
    for (int i = file_list->size(); i >= 1; --i)
        if (file_list->selected(i))
            file_list->remove(i);
    show_last_line();
    update_task_buttons();
}

void refresh_file_row(const char* path, int code_page)
{
    if (!path || !file_list)
        return;
    const size_t length = strlen(path);
    if (length == 0 || length > MAX_PATH_BYTES)
        return;
    const int i = find_line(path);
    if (!i)
        return;
    std::string line = std::string("@.") + path;
    if (length < MAX_DESCRIBED_PATH)
        describe_file_columns(line, line.size(), code_page);
    file_list->text(i, line.c_str());
}

void update_task_buttons()
{
    const bool on = file_list && file_list->size() > 0 && !log_batching;
    bool changed = false;
    for (Fl_Group* g : {join_group, split_group, write_group, change_group}) {
        if (!g || (g->active() != 0) == on)
            continue;
        if (on)
            g->activate();
        else
            g->deactivate();
        changed = true;
    }
    if (changed && main_tabs)
        main_tabs->redraw();
}

void set_dialog_start_dir(const char* path)
{
    if (!path)
        return;
    const size_t length = strlen(path);
    if (length == 0 || length > MAX_START_DIR)
        return;
    memcpy(dialog_start_dir, path, length + 1);
}

void wyswietl_info(int detailed)
{
    run_in_task_frame([detailed] {
        debug_message(DBG_MEMORY, "wyswietl_info start %i\n", static_cast<int>(allocation_count - free_count));
        TaskOptions options;
        clear_task_options(options);
        options.priority = 255;
        options.verbose = static_cast<uint8_t>(detailed ? 1 : 0);
        options.show_info = 1;
        options.announce_files = 1;
        options.code_page = static_cast<uint32_t>(get_mapset_code_page());
        SelectedFiles files(1);
        if (files.names)
            task_calls.info(options, files.count, files.names);
        debug_message(DBG_MEMORY, "wyswietl_info stop  %i\n", static_cast<int>(allocation_count - free_count));
    });
}

std::string about_text()
{
    return std::string("Tarnwick ") + version_text + "\n\n" + IBWCGT.text() + " FLTK v1.3.";
}

Fl_Group* build_files_tab()
{
    Fl_Group* tab = new Fl_Group(0, 25, 620, 485);

    files_tab.add_files = new_button(10, 40, 120, nullptr, add_files_cb);
    files_tab.add_files->shortcut(FL_Insert);
    files_tab.add_directories = new_button(130, 40, 120, nullptr, add_directories_cb);
    files_tab.select_all = symbol_button(270, "@square", FL_CTRL + 'a', call_action<select_all_files>);
    files_tab.move_up = symbol_button(295, "@8->", 0, call_action<move_selected_up>);
    files_tab.move_down = symbol_button(320, "@2->", 0, call_action<move_selected_down>);
    files_tab.remove = symbol_button(345, "@9+", FL_Delete, call_action<remove_selected_files>);
    files_tab.info = new_button(390, 40, 80, nullptr, info_cb);
    files_tab.details = new_button(470, 40, 80, nullptr, info_cb);
    files_tab.details->user_data(reinterpret_cast<void*>(1));
    files_tab.about = new Fl_Button(560, 44, 14, 16, "\xC2\xA9");
    files_tab.about->callback(about_cb);
    files_tab.help = new_button(585, 40, 25, nullptr, help_cb);

    files_tab.outer_tile = new Fl_Tile(5, 75, 610, 20);
    files_tab.outer_tile->callback(redraw_list_cb);
    files_tab.headers[0] = header_box(5, 310);
    files_tab.inner_tile = new Fl_Tile(315, 75, 300, 20);
    files_tab.inner_tile->callback(redraw_list_cb);
    files_tab.headers[1] = header_box(315, 70);
    files_tab.headers[2] = header_box(385, 230);
    tile_limits(files_tab.inner_tile, 370, 195);
    files_tab.inner_tile->end();
    tile_limits(files_tab.outer_tile, 105, 410);
    files_tab.outer_tile->end();

    file_list = new Fl_Multi_Browser_W(5, 95, 610, 410);
    file_list->column_char('\t');
    file_list->format_char('@');
    file_list->textfont(FL_COURIER);
    file_list->has_scrollbar(Fl_Browser_::VERTICAL);
    file_list->column_widths(file_list_columns);
    file_list->column_headers[0] = files_tab.headers[0];
    file_list->column_headers[1] = files_tab.headers[1];

    tab->resizable(file_list);
    tab->end();
    set_labels();
    files_recolour_hook();
    return tab;
}

void files_recolour_hook()
{
    if (!files_tab.select_all)
        return;
    const bool white_text = Fl::get_color(FL_FOREGROUND_COLOR) == Fl::get_color(FL_WHITE);
    const Fl_Color symbol = fl_color_average(FL_WHITE, FL_BLACK, white_text ? 0.8f : 0.5f);
    for (Fl_Button* b : {files_tab.select_all, files_tab.move_up, files_tab.move_down, files_tab.remove}) {
        b->labelcolor(symbol);
        b->redraw_label();
    }
    for (Fl_Button* h : files_tab.headers) {
        h->color(FL_BACKGROUND2_COLOR);
        h->redraw();
    }
}

int load_messages_gui_files(LanguageGroup* group, int code_page, int write)
{
    load_message_table(files_table, group, code_page, write);
    if (!write)
        set_labels();
    return 1;
}
