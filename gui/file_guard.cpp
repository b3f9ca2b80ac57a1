// The look at a settings or language file before the toolkit's preferences
// reader gets it, setting a refused settings file aside, and the log lines
// that name refused files.
#include "gui/file_guard.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/host.h"
#include "gui/log_window.h"
#include "platform/platform.h"

MessageText RefSet{"RefSet",
                   "Settings file %s refused (%s), set aside as %s: the settings start from their defaults.\n",
                   "Odrzucono plik ustawień %s (%s), odłożono go jako %s: ustawienia mają wartości domyślne.\n"};
MessageText RefSeN{"RefSeN",
                   "Settings file %s refused (%s): the settings start from their defaults and are not saved.\n",
                   "Odrzucono plik ustawień %s (%s): ustawienia mają wartości domyślne i nie zostaną zapisane.\n"};
MessageText RefLan{"RefLan", "Language file %s refused (%s): its texts are not used.\n",
                   "Odrzucono plik języka %s (%s): jego teksty nie są używane.\n"};
MessageText RsnBig{"RsnBig", "over 1 MiB or 10000 lines", "ponad 1 MiB lub 10000 wierszy"};
MessageText RsnLin{"RsnLin", "a group or key line of 100 bytes or more, or a malformed group",
                   "wiersz grupy lub klucza ma 100 bajtów lub więcej albo błędna grupa"};
MessageText RsnKnd{"RsnKnd", "not a regular file", "to nie jest zwykły plik"};

namespace {

// The reader takes a line at a time with fgets into 1024 bytes: a longer
// line comes as several, each read as a line of its own. It skips the
// first three (its header).
constexpr size_t READER_LINE_BYTES = 1023;
constexpr size_t READER_HEADER_LINES = 3;

struct RefusedFile {
    std::string path;
    PreferencesCheck why = PreferencesCheck::fine;
    std::string aside;  // where a settings file went; "" when it stayed
    bool language = false;
};

std::vector<RefusedFile> waiting_refusals;

bool refused(PreferencesCheck check)
{
    return check == PreferencesCheck::not_regular || check == PreferencesCheck::too_large ||
           check == PreferencesCheck::bad_line;
}

const char* reason_text(PreferencesCheck why)
{
    switch (why) {
    case PreferencesCheck::too_large:
        return RsnBig.text();
    case PreferencesCheck::bad_line:
        return RsnLin.text();
    default:
        return RsnKnd.text();
    }
}

void log_refusal(const RefusedFile& r)
{
    if (r.language)
        log_message(RefLan.text(), r.path.c_str(), reason_text(r.why));
    else if (!r.aside.empty())
        log_message(RefSet.text(), r.path.c_str(), reason_text(r.why), r.aside.c_str());
    else
        log_message(RefSeN.text(), r.path.c_str(), reason_text(r.why));
}

void note_refusal(const RefusedFile& r)
{
    if (log_buffer)
        log_refusal(r);
    else
        waiting_refusals.push_back(r);
}

}  // namespace

PreferencesCheck check_preferences_text(std::string_view text)
{
    size_t lines = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        end = std::min(end, pos + READER_LINE_BYTES);
        std::string_view piece = text.substr(pos, end - pos);
        pos = end;
        if (++lines > PREFERENCES_LINE_LIMIT)
            return PreferencesCheck::too_large;
        if (lines <= READER_HEADER_LINES)
            continue;
        // The reader's string functions end a line at its line end or NUL.
        std::string_view line = piece.substr(0, piece.find_first_of(std::string_view("\r\n\0", 3)));
        if (line.empty() || line[0] == '+' || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            // A group is a path below the file's root "."; any other name
            // leaves the reader without a group to put the keys in.
            size_t close = line.find(']');
            std::string_view group = line.substr(1, close == std::string_view::npos ? close : close - 1);
            if (line.size() >= PREFERENCES_NAME_LIMIT || (group != "." && group.substr(0, 2) != "./"))
                return PreferencesCheck::bad_line;
        } else if (std::min(line.find(':'), line.size()) >= PREFERENCES_NAME_LIMIT) {
            return PreferencesCheck::bad_line;
        }
    }
    return PreferencesCheck::fine;
}

PreferencesCheck check_preferences_file(const std::string& path)
{
    std::string bytes;
    switch (platform::read_small_file(path.c_str(), PREFERENCES_FILE_LIMIT, bytes)) {
    case platform::SmallFileRead::read:
        return check_preferences_text(bytes);
    case platform::SmallFileRead::missing:
        return PreferencesCheck::missing;
    case platform::SmallFileRead::folder:
        return PreferencesCheck::folder;
    case platform::SmallFileRead::not_regular:
        return PreferencesCheck::not_regular;
    case platform::SmallFileRead::too_large:
        return PreferencesCheck::too_large;
    case platform::SmallFileRead::failed:
        break;
    }
    // The toolkit cannot open it either: it reads as an empty store.
    return PreferencesCheck::fine;
}

std::string user_preferences_path(const char* vendor, const char* application)
{
    std::string path;
    if (const char* home = getenv("HOME")) {
        path = home;
        path += !path.empty() && path.back() == '/' ? ".fltk/" : "/.fltk/";
    } else {
        path = "/etc/fltk/";
    }
    return path + vendor + "/" + application + ".prefs";
}

bool admit_settings_file(const std::string& path)
{
    PreferencesCheck check = check_preferences_file(path);
    if (!refused(check))
        return true;
    RefusedFile r{path, check, "", false};
    // Our own file: kept under another name, so the next save starts afresh.
    if (check != PreferencesCheck::not_regular)
        r.aside = platform::set_file_aside(path, check == PreferencesCheck::too_large ? ".too-large" : ".refused");
    note_refusal(r);
    return false;
}

bool settings_file_writable(const std::string& path) { return !refused(check_preferences_file(path)); }

bool admit_language_file(const std::string& path)
{
    PreferencesCheck check = check_preferences_file(path);
    if (check == PreferencesCheck::folder)
        return false;
    if (!refused(check))
        return true;
    note_refusal({path, check, "", true});
    return false;
}

void report_refused_files()
{
    std::vector<RefusedFile> refusals;
    refusals.swap(waiting_refusals);
    for (const RefusedFile& r : refusals)
        log_refusal(r);
}

void forget_refused_files() { waiting_refusals.clear(); }
