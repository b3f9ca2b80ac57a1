// The settings file and the language files reach the toolkit's preferences
// reader only after a look at them. That reader takes lines into fixed
// buffers (a long group name overruns one), follows a group outside the
// file into a null node, blocks on a FIFO, reads a link to a device without
// end and needs time growing with the square of the lines. So only a
// regular file of at most 1 MiB and 10000 lines whose group and key lines
// are short and well formed is handed to it. A refused settings file is set
// aside under a name of its own (it is ours, and the next save writes a
// fresh one); a refused language file stays where it is. Each refusal is one
// log line naming the file, kept until the log exists at start.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/messages.h"

enum class PreferencesCheck {
    fine,         // may go to the toolkit (a file it cannot open included)
    missing,      // nothing there: the toolkit starts an empty store
    folder,       // a folder of that name, never a file of ours
    not_regular,  // a FIFO, device or socket
    too_large,    // over 1 MiB or 10000 lines
    bad_line,     // a group or key line the reader cannot take
};

constexpr size_t PREFERENCES_FILE_LIMIT = size_t(1) << 20;
constexpr size_t PREFERENCES_LINE_LIMIT = 10000;
// A group or key line of this many bytes or more is refused.
constexpr size_t PREFERENCES_NAME_LIMIT = 100;

// The lines of a file's text as the toolkit's reader will see them.
PreferencesCheck check_preferences_text(std::string_view text);
// The file at path, read only when it is a regular file within the limit.
PreferencesCheck check_preferences_file(const std::string& path);

// Where the toolkit keeps a per-user store: $HOME/.fltk/VENDOR/APP.prefs,
// or under /etc/fltk/ without a HOME.
std::string user_preferences_path(const char* vendor, const char* application);

// A settings file about to be read: true when the toolkit may read it.
// Otherwise it is set aside (too large, a bad line) or left as it is (not
// a regular file), the refusal is logged and the settings start from their
// defaults.
bool admit_settings_file(const std::string& path);
// A settings file about to be written (the toolkit reads it first): true
// when nothing there would hurt the reader.
bool settings_file_writable(const std::string& path);
// A language file about to be read: true when the toolkit may read it; a
// refused one is logged, a folder skipped without a word.
bool admit_language_file(const std::string& path);

// Refusals noted before the log existed are logged here, in the language
// then in force (after the start's first line); forget drops them.
void report_refused_files();
void forget_refused_files();

// The log lines (group GUI_Main).
extern MessageText RefSet;  // settings refused and set aside
extern MessageText RefSeN;  // settings refused and left in place
extern MessageText RefLan;  // language file refused
extern MessageText RsnBig;  // the reasons
extern MessageText RsnLin;
extern MessageText RsnKnd;
