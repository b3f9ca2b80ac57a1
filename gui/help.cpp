// The help dialog and the texts of group GUI_Help.
#include "gui/help.h"

// The core's headers first: the X11 headers behind the help dialog define
// names such as None and Success as macros.
#include "core/files.h"
#include "gui/main_window.h"

#include <FL/Fl_Help_Dialog.H>

MessageText help_file_name{"GmaHtm", "tarnwick_en.html", "tarnwick_pl.html", 92};
Fl_Help_Dialog* help_dialog = nullptr;
std::string help_loaded_path;

static const char* const ENGLISH_HELP = "tarnwick_en.html";

static MessageText* const help_table[] = {&help_file_name};

void open_help_topic(const char* topic)
{
    if (!open_help_file(help_file_name.text(), topic, 1))
        open_help_file(ENGLISH_HELP, topic, 0);
}

int open_help_file(const char* file, const char* topic, int must_exist)
{
    std::string path = std::string(program_dir) + file;
    if (must_exist && !check_file_exists(path.c_str()))
        return 0;
    if (topic && *topic)
        path += std::string("#") + topic;
    if (!help_dialog) {
        help_dialog = new Fl_Help_Dialog();
        help_dialog->resize(0, 0, 600, 450);
        help_dialog->hide();
    }
    help_loaded_path = path;
    help_dialog->load(path.c_str());
    help_dialog->show();
    return 1;
}

void hide_help()
{
    if (help_dialog)
        help_dialog->hide();
}

int load_messages_gui_help(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(help_table, group, code_page, write);
}
