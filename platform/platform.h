// The Linux stand-ins for the Windows services the programs call.
//
// Everything operating-system specific lives behind these functions:
// language from the environment, the ANSI code page of a language, the
// character classes and case mapping of Windows code pages (glibc has no
// code-page locales), the program directory, and the banner box that a
// Linux console never shows.
#pragma once

#include <string>

namespace platform {

// Windows-style primary language id of the user: from LC_ALL, then
// LC_MESSAGES, then LANG. A value starting with "pl" gives 0x15 (Polish).
int user_language_id();
// The language part of the user's locale ("pl_PL", "en_US"), or "" when none.
std::string user_locale_name();
// The ANSI code page of the user's language (1250 for Polish, 1252 by default).
int ansi_code_page();
// Directory of the running program, from /proc/self/exe, without trailing '/'.
std::string program_directory();
// The console banner box: Linux has no start-up window state; never shows.
int show_banner_box(int no_arguments);

// Character classes and case mapping of one Windows code page, or of the
// "C" locale when code_page is 0.
struct CodePageCtype {
    int code_page = 0;
    unsigned char upper[256];
    unsigned char lower[256];
    unsigned char is_alpha[256];
    unsigned char is_digit[256];
};
// The tables of a code page; null when the code page is not known.
const CodePageCtype* code_page_ctype(int code_page);

// The code page that LC_CTYPE is switched to (0: "C").
int current_ctype_code_page();
// Switches the process's character code page; false when it is not known.
bool set_current_ctype_code_page(int code_page);

}  // namespace platform
