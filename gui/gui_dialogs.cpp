// The toolkit's dialogs behind the seam, and the seam's switch.
#include "gui/gui_dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_ask.H>
#include <FL/filename.H>

void GuiDialogs::message(const std::string& text) { fl_message("%s", text.c_str()); }

bool GuiDialogs::input(const std::string& prompt, const std::string& initial, std::string& answer)
{
    const char* got = fl_input("%s", initial.c_str(), prompt.c_str());
    if (!got)
        return false;
    answer = got;
    return true;
}

ChooserResult GuiDialogs::choose(const ChooserRequest& request)
{
    ChooserResult result;
    Fl_File_Chooser chooser(".", request.filter, request.type, request.title);
    chooser.preview(0);
    chooser.sort = fl_casealphasort;
    if (request.value && *request.value)
        chooser.value(request.value);
    else if (request.directory && *request.directory)
        chooser.directory(request.directory);
    chooser.show();
    while (chooser.shown())
        Fl::wait();
    for (int i = 1; i <= chooser.count(); ++i)
        if (const char* v = chooser.value(i))
            result.paths.push_back(v);
    if (const char* d = chooser.directory())
        result.directory = d;
    return result;
}

const Fl_Menu_Item* GuiDialogs::popup(const Fl_Menu_Item* items, int x, int y) { return items->popup(x, y); }

bool GuiDialogs::choose_colour(const std::string& title, unsigned char& r, unsigned char& g, unsigned char& b)
{
    return fl_color_chooser(title.c_str(), r, g, b, -1) != 0;
}

bool GuiDialogs::ask_overwrite(const std::string& question)
{
    return fl_choice("%s", fl_no, fl_yes, nullptr, question.c_str()) == 1;
}

static GuiDialogs toolkit_dialogs;
static GuiDialogs* dialogs_in_force = &toolkit_dialogs;

GuiDialogs& gui_dialogs() { return *dialogs_in_force; }

void set_gui_dialogs(GuiDialogs* dialogs) { dialogs_in_force = dialogs ? dialogs : &toolkit_dialogs; }
