// The Options tab: the settings that change while the program runs
// (toolkit scheme, colour scheme and user colour, language and the
// language template, verbose log, the advanced and experimental switches,
// the external compiler and its path, the mapset code page), the hidden
// debug button of "-G", and the texts of group GUI_Options. Every change
// takes effect at once; the settings are stored only at exit.
#pragma once

#include "core/messages.h"

class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Group;
class Fl_Input_W;
class Fl_Int_Input_W;

// The tab's widgets, null until build_options_tab has run.
struct OptionsTab {
    Fl_Group* group = nullptr;
    Fl_Choice* scheme = nullptr;
    Fl_Choice* colour = nullptr;
    Fl_Button* colour_button = nullptr;
    Fl_Choice* language = nullptr;
    Fl_Button* template_button = nullptr;
    Fl_Check_Button* verbose = nullptr;
    Fl_Check_Button* advanced = nullptr;
    Fl_Check_Button* experimental = nullptr;
    Fl_Choice* compiler = nullptr;
    Fl_Input_W* compiler_path = nullptr;
    Fl_Button* browse = nullptr;
    Fl_Choice* code_page = nullptr;
    Fl_Int_Input_W* user_code_page = nullptr;
    Fl_Button* debug = nullptr;  // only with "-G"
    Fl_Button* help = nullptr;
};

extern OptionsTab options_tab;

// Texts of the group that the language template writer shows.
extern MessageText OptionsLanFil;  // "Language file"
extern MessageText OptionsAllFil;  // "All Files (*)"
extern MessageText OptionsOvrFil;  // the question before a file is replaced

Fl_Group* build_options_tab();
// The widgets from the settings, after the first language load.
void show_settings_in_options();
// Shows the code page of a MapsetCPType in the user code page field (which
// only "User" lets one edit) and makes it the setting; 0 for an unknown type.
void set_code_page_type(int type);
// What depends on "Advanced options": the experimental box, the template
// button, and the colour button (shown only for the "User" colours).
void apply_advanced_state();
// The compiler path field's text, or null before the tab exists.
const char* compiler_path_field_text();

int load_messages_gui_options(LanguageGroup* group, int code_page, int write);
