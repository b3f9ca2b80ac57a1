// Code pages, locale, label case and CRC-32.
//
// Map texts are stored in a Windows code page; the programs work in UTF-8.
// The conversions go through iconv with two cached converters (one per
// direction) and return their results in static buffers, one per routine:
// a result is used or copied before the next call of the same routine.
#pragma once

#include <cstddef>
#include <cstdint>

struct TaskOptions;

extern int windows_language_id;         // user language id (Polish: 0x15)
extern int system_code_page;            // set at start from get_ansi_code_page
extern int language_default_code_page;  // the loaded language's default code page
extern int mapset_cp_type;              // setting MapsetCPType
extern int user_code_page;              // setting UserCodePage
extern const char* user_locale_name;    // user locale without its ".codeset", or null

// UTF-8 -> code page; code page <= 0, 65001 or an empty text give the text itself.
const char* convert_utf8_to_cp(int code_page, const char* text);
// Code page -> UTF-8; code page <= 0 gives the text itself.
const char* convert_cp_to_utf8(int code_page, const char* text);
// Converts the NUL-terminated text in a buffer of size bytes to UTF-8 in place.
int convert_cp_to_utf8_in_place(int code_page, int size, char* buffer);

int get_mapset_code_page();
// Converts a name to the mapset code page into the shared 60-byte name buffer.
int convert_to_mapset_code_page(const char** out_text, uint32_t* out_code_page, const char* text, int code_page);
int set_mapset_name_option(TaskOptions* options, const char* text, int code_page);

uint32_t compute_crc32(const void* buffer, size_t n);

int init_locale();
// A copy of the current LC_CTYPE name (null when none); restore frees it.
char* save_ctype_locale();
void restore_ctype_locale(char* saved);
int set_ctype_code_page(int code_page);
int get_ansi_code_page();

// Changes the case of length bytes in place: 1 upper, 2 lower, 3 words
// capitalised, 4 accents removed (code pages 1250 and 1252 only).
int convert_label_case(int mode, char* text, int length, int code_page);
