// Code pages, locale, label case and CRC-32.
//
// Map texts are stored in a Windows code page; the programs work in UTF-8.
// The conversions go through iconv with two cached converters (one per
// direction) and return their results in static buffers, one per routine:
// a result is used or copied before the next call of the same routine.
// The character locale is the platform layer's current code page; the
// process locale stays "C" (numbers always print with '.').
#pragma once

#include <cstddef>
#include <cstdint>

struct TaskOptions;

extern int windows_language_id;         // user language id (Polish: 0x0415)
extern int system_code_page;            // set at start from get_ansi_code_page
extern int language_default_code_page;  // the loaded language's default code page
extern int mapset_cp_type;              // setting MapsetCPType
extern int user_code_page;              // setting UserCodePage
extern const char* user_locale_name;    // user locale without its ".codeset", or null

// UTF-8 -> code page; code page <= 0, 65001 or an empty text give the text itself.
const char* convert_utf8_to_cp(int code_page, const char* text);
// Code page -> UTF-8; code page <= 0 gives the text itself.
const char* convert_cp_to_utf8(int code_page, const char* text);
// Converts the NUL-terminated text in a buffer of size bytes to UTF-8 in
// place, cut to size - 1 bytes on a character boundary; 0 (buffer untouched)
// when the code page is 0 or below or has no converter.
int convert_cp_to_utf8_in_place(int code_page, int size, char* buffer);
// How many times a converter was opened (or tried): for the tests of the cache.
int converter_open_count();

int get_mapset_code_page();
// Converts a name to the mapset code page (code_page < 0: get_mapset_code_page)
// into the shared 60-byte name buffer, at most 50 bytes of it. 0 when a
// character has no form in that code page or no converter opens; then the
// slots hold the given text and code page 0.
int convert_to_mapset_code_page(const char** out_text, uint32_t* out_code_page, const char* text, int code_page);
// The same into options->mapset_name and options->mapset_name_result.
int set_mapset_name_option(TaskOptions* options, const char* text, int code_page);

// CRC-32 (IEEE 802.3, as zlib); 0 for n = 0.
uint32_t compute_crc32(const void* buffer, size_t n);

// Sets user_locale_name, windows_language_id and english_texts from the
// user's environment; returns the primary language id (0x15 for Polish).
int init_locale();
// A copy of the current LC_CTYPE name ("C" or ".1250"); restore switches
// back to it and frees it. A null restores nothing.
char* save_ctype_locale();
void restore_ctype_locale(char* saved);
// Makes code_page the character locale for convert_label_case; 0 when the
// code page has no character tables.
int set_ctype_code_page(int code_page);
// The user's ANSI code page (1250, 1252, ...).
int get_ansi_code_page();

// Changes the case of length bytes in place: 1 upper, 2 lower, 3 words
// capitalised (all three under the code page of set_ctype_code_page), 4
// accents removed (code pages 1250 and 1252 only). 0 for another mode, or
// mode 4 with another code page; the text is then unchanged.
int convert_label_case(int mode, char* text, int length, int code_page);
