// The languages of the window program: the table of available languages
// (English and Polish built in, more from ".lang" files beside the
// program), the choice of the language at start, the loading of every
// message table for one of them, and the writer of a language template
// that a translator fills in.
#pragma once

#include <string>
#include <vector>

#include "core/messages.h"

struct LanguageEntry {
    std::string name;         // shown in the Options choice, at most 49 bytes
    std::string translation;  // the translator's credit, never empty
    std::string file_name;    // the .lang file beside the program; "" when built in
    int program_code = 0;     // the language's LANGID (1033, 1045, ...)
    int code_page = 0;        // code page of the file's texts; 65001 UTF-8, 0 none
    int default_code_page = 0;  // the mapset code page this language suggests
};

// Row 0 "System" mirrors the row of the user's own language; row 1 is the
// built-in English, row 2 the built-in Polish; language files follow.
extern std::vector<LanguageEntry> language_table;

// The built-in rows, then every acceptable .lang file of program_dir in
// name order.
void build_language_table();
// Row 0 takes over the data of the row whose LANGID is the user's (English
// when none is), keeping its own name.
void pick_system_language();
// Builds the table and sets start_language_row from the saved settings.
void choose_start_language();
// Makes a row the language in force (an invalid row means row 0): every
// loader reads its group of the row's file, or takes the built-in texts.
int load_language(int row);
// The same for the zero-second timeout of the Options language choice.
void load_language_later(void* row);
// Runs every loader of the window groups with one file (or none), in the
// order of reading or of writing.
void load_gui_messages(LanguageGroup* file, int code_page, int write);

// The Options "Save translation" button: asks for a file and writes the
// template there.
void write_language_template();
// Writes a template with every key and the texts in force to path. 1 when
// the file was written.
int write_language_template_to(const char* path);
// Turns the toolkit's file form into the one a translator edits: values on
// one line, bytes 0x80..0xFF raw. A template read back gives exactly the
// texts that were written. 0 when the file was left as it was.
int tidy_language_template(const char* path);

// A text as an item of a choice: '/', '\', '&' and a leading '_' lose their
// meaning as menu syntax.
std::string menu_item_text(const char* text);
