// Code pages, locale, label case and CRC-32.
// (Placeholder: conversions pass texts through unchanged.)
#include "core/codepage.h"

int windows_language_id = 0;
int system_code_page = 0;
int language_default_code_page = 1252;
int mapset_cp_type = 0;
int user_code_page = 0;
const char* user_locale_name = nullptr;

const char* convert_utf8_to_cp(int, const char* text) { return text; }
const char* convert_cp_to_utf8(int, const char* text) { return text; }
int convert_cp_to_utf8_in_place(int, int, char*) { return 0; }
int init_locale() { return 9; }
int set_ctype_code_page(int) { return 1; }
