// The program's help: one HTML manual per language beside the program,
// shown at the section of a tab in one help dialog that is made on first
// use and then reused. The manual's file name is a translatable text, so a
// language file can point to a manual of its own.
#pragma once

#include <string>

#include "core/messages.h"

class Fl_Help_Dialog;

// Name of the manual in force (group GUI_Help, key "GmaHtm").
extern MessageText help_file_name;
extern Fl_Help_Dialog* help_dialog;
// The path (with "#topic") the dialog was last given, for the tests.
extern std::string help_loaded_path;

// Opens the manual at a topic: "files", "options", "join", "split",
// "write", "change" or "log". The English manual stands in for a missing
// translated one.
void open_help_topic(const char* topic);
// Shows file from program_dir at topic (may be null). 0 when must_exist is
// set and the file is not there; otherwise 1.
int open_help_file(const char* file, const char* topic, int must_exist);
// Hides the help dialog, so that closing the main window ends the program.
void hide_help();

int load_messages_gui_help(LanguageGroup* group, int code_page, int write);
