// The language table, the start language, loading every message table of
// the program for one language, and the language template with its
// post-processor.
#include "gui/languages.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Preferences.H>
#include <FL/filename.H>
#include <FL/fl_utf8.h>

#include "core/codepage.h"
#include "core/host.h"
#include "core/text_format.h"
#include "gui/file_guard.h"
#include "gui/gui_dialogs.h"
#include "gui/main_window.h"
#include "gui/options_tab.h"
#include "gui/preferences_group.h"
#include "gui/settings.h"
#include "operations/task_bridge.h"
#include "platform/platform.h"

namespace {

// The built-in rows. Row 0 gets its data from the user's row before it is
// used; its name is replaced by the translated "System" text.
std::vector<LanguageEntry> built_in_languages()
{
    return {
        {"System", "Tarnwick", "", 0, 0, 0},
        {"English", "Tarnwick", "", 1033, 1252, 1252},
        {"polski", "Tarnwick (tłumaczenie własne)", "", 1045, 1250, 1250},
    };
}

constexpr size_t LANGUAGE_NAME_LIMIT = 49;
constexpr size_t LANGUAGE_FILE_NAME_LIMIT = 19;

std::string cut_on_character(const std::string& text, size_t limit)
{
    return text.substr(0, platform::utf8_prefix_length(text.data(), text.size(), limit));
}

std::string read_cut(Fl_Preferences& file, const char* key, const char* fallback, size_t limit)
{
    std::string text;
    if (!read_preference_text(file, key, text))
        text = fallback;
    return cut_on_character(text, limit);
}

// Names from a language file arrive in its code page.
std::string to_utf8(int code_page, const std::string& text)
{
    if (code_page == 0 || code_page == 65001)
        return text;
    std::string buffer = text;
    buffer.resize(50, '\0');
    if (!convert_cp_to_utf8_in_place(code_page, static_cast<int>(buffer.size()), buffer.data()))
        return text;
    return buffer.c_str();
}

// A language file's row, or false when the file is not one of ours or its
// data cannot stand.
bool read_language_file(const std::string& name, LanguageEntry& row)
{
    std::string path = std::string(program_dir) + name;
    Fl_Preferences file(path.c_str(), settings_vendor, nullptr);
    std::string program = read_cut(file, "Program", "", 97);
    if (strcasecmp(program.c_str(), "Tarnwick") != 0)
        return false;
    row.name = read_cut(file, "LanguageName", "", 47);
    row.program_code = read_preference_int(file, "ProgramCode", -1);
    row.translation = read_cut(file, "Translation", "?", 47);
    row.code_page = read_preference_int(file, "CodePage", 0);
    row.default_code_page = read_preference_int(file, "DefCodePage", row.code_page);
    // A negative code page is no code page at all: such a file would turn
    // every text and every mapset name into nonsense.
    if (row.code_page < 0 || row.default_code_page < 0)
        return false;
    row.name = to_utf8(row.code_page, row.name);
    row.translation = to_utf8(row.code_page, row.translation);
    row.name = cut_on_character(row.name, LANGUAGE_NAME_LIMIT);
    while (!row.name.empty() && row.name.back() == ' ')
        row.name.pop_back();
    row.file_name = name;
    return true;
}

bool acceptable_row(const std::vector<LanguageEntry>& table, const LanguageEntry& row)
{
    if (row.name.empty() || row.program_code < 0 || row.translation.empty() ||
        row.file_name.size() > LANGUAGE_FILE_NAME_LIMIT)
        return false;
    // Row 0 is not compared: a file may call its language "System".
    for (size_t i = 1; i < table.size(); ++i)
        if (table[i].name == row.name)
            return false;
    return true;
}

bool valid_row(int row) { return row >= 0 && row < static_cast<int>(language_table.size()); }

// The row found from row 1 on, or 0 when none matches.
template <class Match>
int find_row(Match match)
{
    if (language_table.size() < 2)
        return 0;
    for (size_t i = 1; i < language_table.size(); ++i)
        if (match(language_table[i]))
            return static_cast<int>(i);
    return 0;
}

}  // namespace

std::vector<LanguageEntry> language_table = built_in_languages();

void build_language_table()
{
    std::vector<LanguageEntry> table = built_in_languages();
    const char* directory = program_dir_length ? program_dir : ".";
    dirent** names = nullptr;
    int count = fl_filename_list(directory, &names, fl_numericsort);
    for (int i = 0; i < count; ++i) {
        const char* name = names[i]->d_name;
        if (!fl_filename_match(name, "*.lang"))
            continue;
        if (!admit_language_file(std::string(program_dir) + name))
            continue;
        LanguageEntry row;
        if (read_language_file(name, row) && acceptable_row(table, row))
            table.push_back(row);
    }
    if (names)
        fl_filename_free_list(&names, count);
    language_table = std::move(table);
}

void pick_system_language()
{
    int chosen = find_row([](const LanguageEntry& row) { return row.program_code == windows_language_id; });
    if (!chosen)
        chosen = 1;
    if (!valid_row(chosen))
        return;
    const LanguageEntry& from = language_table[chosen];
    LanguageEntry& system = language_table[0];
    system.file_name = from.file_name.substr(0, 20);
    system.translation = from.translation;
    system.program_code = from.program_code;
    system.code_page = from.code_page;
    system.default_code_page = from.default_code_page;
}

void choose_start_language()
{
    start_language_row = 0;
    build_language_table();
    if (Language <= 0) {
        pick_system_language();
        return;
    }
    int found = 0;
    // A file row is known by its file and its name together; a saved file
    // without a name leaves only the language code to go by.
    if (LanguageFile.empty() || !LanguageName.empty()) {
        if (!LanguageFile.empty())
            found = find_row([](const LanguageEntry& row) {
                return !strcasecmp(row.file_name.c_str(), LanguageFile.c_str()) &&
                       !fl_utf_strcasecmp(row.name.c_str(), LanguageName.c_str());
            });
        if (!found && !LanguageName.empty())
            found = find_row([](const LanguageEntry& row) {
                return !fl_utf_strcasecmp(row.name.c_str(), LanguageName.c_str());
            });
    }
    if (!found && LanguageCode > 0)
        found = find_row([](const LanguageEntry& row) { return row.program_code == LanguageCode; });
    if (found) {
        start_language_row = found;
        return;
    }
    pick_system_language();
}

int load_language(int row)
{
    if (language_table.empty())
        build_language_table();
    if (row <= 0 || !valid_row(row)) {
        pick_system_language();
        row = 0;
        start_language_row = 0;
    }
    const LanguageEntry& entry = language_table[row];
    std::unique_ptr<Fl_Preferences> file;
    std::unique_ptr<PreferencesGroup> root;
    if (!entry.file_name.empty()) {
        // Looked at again: the file may have changed since the table was
        // built. A refused one leaves the built-in texts.
        std::string path = std::string(program_dir) + entry.file_name;
        if (admit_language_file(path)) {
            file = std::make_unique<Fl_Preferences>(path.c_str(), settings_vendor, nullptr);
            root = std::make_unique<PreferencesGroup>(*file, true);
        }
    } else {
        english_texts = entry.program_code == 1045 ? 0 : 1;
    }
    int code_page = entry.code_page == 65001 ? 0 : entry.code_page;
    language_default_code_page = entry.default_code_page;
    load_gui_messages(root.get(), code_page, 0);
    load_core_messages(root.get(), code_page, 0);
    root.reset();
    file.reset();
    if (main_window && main_window->shown())
        main_window->redraw();
    return 1;
}

void load_language_later(void* row) { load_language(static_cast<int>(reinterpret_cast<intptr_t>(row))); }

void load_gui_messages(LanguageGroup* file, int code_page, int write)
{
    // A template lays the groups out in the window's order, the order in
    // which a translator reads the window; reading goes by read_turn.
    std::vector<const WindowPart*> parts;
    for (const WindowPart& part : window_parts)
        parts.push_back(&part);
    if (!write)
        std::sort(parts.begin(), parts.end(),
                  [](const WindowPart* a, const WindowPart* b) { return a->read_turn < b->read_turn; });
    for (const WindowPart* part : parts) {
        std::unique_ptr<LanguageGroup> group;
        if (file)
            group = file->subgroup(part->message_group);
        part->load_messages(group.get(), code_page, write);
    }
}

std::string menu_item_text(const char* text)
{
    std::string item;
    for (const char* p = text; *p; ++p) {
        if (*p == '/' || *p == '\\' || (*p == '_' && p == text))
            item += '\\';
        else if (*p == '&')
            item += '&';  // "&&" shows one '&' instead of underlining the next letter
        item += *p;
    }
    return item;
}

int write_language_template_to(const char* path)
{
    int row = valid_row(start_language_row) ? start_language_row : 0;
    const LanguageEntry& entry = language_table[row];
    int code_page = entry.code_page;
    // A template is exactly what is in force now: nothing of an older file
    // of that name may survive in it.
    unlink(path);
    {
        Fl_Preferences file(path, settings_vendor, nullptr);
        file.set("Program", "Tarnwick");
        file.set("Version", version_text);
        file.set("LanguageName", convert_utf8_to_cp(code_page, entry.name.c_str()));
        file.set("ProgramCode", entry.program_code);
        file.set("WindowsCode", windows_language_id);
        file.set("Translation", convert_utf8_to_cp(code_page, entry.translation.c_str()));
        file.set("CodePage", code_page);
        file.set("DefCodePage", language_default_code_page);
        PreferencesGroup root(file, false);
        load_gui_messages(&root, code_page, 1);
        load_core_messages(&root, code_page, 1);
    }
    struct stat st;
    if (stat(path, &st) != 0)
        return 0;
    tidy_language_template(path);
    return 1;
}

void write_language_template()
{
    ChooserRequest request;
    request.title = OptionsLanFil.text();
    request.filter = OptionsAllFil.text();
    request.type = Fl_File_Chooser::CREATE;
    request.directory = ".";
    request.preview_switch = false;
    ChooserResult chosen = gui_dialogs().choose(request);
    if (chosen.paths.empty() || chosen.paths.front().empty())
        return;
    const std::string& path = chosen.paths.front();
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        std::string question;
        append_format(question, OptionsOvrFil.text(), path.c_str());
        if (!gui_dialogs().ask_overwrite(question))
            return;
    }
    if (main_window)
        main_window->cursor(FL_CURSOR_WAIT);
    write_language_template_to(path.c_str());
    if (main_window)
        main_window->cursor(FL_CURSOR_DEFAULT);
}

namespace {

// The toolkit reads a file line by line into a 1024-byte buffer; a longer
// line would come back as two entries. Values longer than this stay split
// into the toolkit's own continuation lines.
constexpr size_t TEMPLATE_LINE_LIMIT = 1000;

bool is_octal(char c) { return c >= '0' && c <= '7'; }

// One value with its escapes read in pairs: "\\" stays the escape of one
// backslash, and only an escape that really starts at this '\' and names a
// byte 0x80..0xFF becomes that byte.
std::string raw_bytes(const std::string& line)
{
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c != '\\' || i + 1 >= line.size()) {
            out += c;
            continue;
        }
        char next = line[i + 1];
        if (next == '\\') {
            out += "\\\\";
            ++i;
        } else if ((next == '2' || next == '3') && i + 3 < line.size() && is_octal(line[i + 2]) &&
                   is_octal(line[i + 3])) {
            out += static_cast<char>(((next - '0') << 6) | ((line[i + 2] - '0') << 3) | (line[i + 3] - '0'));
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int tidy_language_template(const char* path)
{
    FILE* in = open_file(path, "rb");
    if (!in)
        return 0;
    std::string text;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
        text.append(chunk, n);
    bool read_error = ferror(in);
    fclose(in);
    if (read_error || text.empty())
        return 0;

    // Logical lines: a line and the "+" lines that continue it.
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line[0] == '+' && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
        pos = end + 1;
    }

    std::string out;
    out.reserve(text.size());
    for (const std::string& logical : lines) {
        std::string line = raw_bytes(logical);
        out.append(line, 0, std::min(line.size(), TEMPLATE_LINE_LIMIT));
        out += '\n';
        for (size_t at = TEMPLATE_LINE_LIMIT; at < line.size(); at += TEMPLATE_LINE_LIMIT) {
            out += '+';
            out.append(line, at, TEMPLATE_LINE_LIMIT);
            out += '\n';
        }
    }
    if (!text.empty() && text.back() != '\n' && !out.empty())
        out.pop_back();

    FILE* file = open_file(path, "wb");
    if (!file)
        return 0;
    bool written = fwrite(out.data(), 1, out.size(), file) == out.size();
    written = fclose(file) == 0 && written;
    return written ? 1 : 0;
}
