// The toolkit's dialogs behind the seam, and the seam's switch.
#include "gui/gui_dialogs.h"

#include <algorithm>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/filename.H>

void GuiDialogs::message(const std::string& text) { fl_message("%s", text.c_str()); }

bool GuiDialogs::input(const std::string& title, const std::string& prompt, const std::string& initial,
                       std::string& answer)
{
    fl_message_title(title.c_str());
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
    if (!request.preview_switch)
        chooser.previewButton->hide();
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

namespace {

// A text drawn as it is: a label would take an '@' in a path for a symbol.
class PlainText : public Fl_Box {
public:
    PlainText(int x, int y, int w, int h, const std::string& text) : Fl_Box(x, y, w, h), text_(text) {}
    void draw() override
    {
        fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(text_.c_str(), x(), y(), w(), h(), FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE, nullptr, 0);
    }

private:
    std::string text_;
};

struct Answer {
    Fl_Window* window = nullptr;
    bool yes = false;
};

void answer_no(Fl_Widget*, void* answer) { static_cast<Answer*>(answer)->window->hide(); }

void answer_yes(Fl_Widget*, void* answer)
{
    static_cast<Answer*>(answer)->yes = true;
    static_cast<Answer*>(answer)->window->hide();
}

}  // namespace

// fl_choice cannot ask this: its Enter button and its Escape button are
// always two different ones, so one of them would replace the file. Here
// Enter presses No, and Escape and the close box answer No as well.
bool GuiDialogs::ask_overwrite(const std::string& question)
{
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    int text_w = 0, text_h = 0;
    fl_measure(question.c_str(), text_w, text_h, 0);
    const int button_w = 90, button_h = 25;
    text_h = std::max(text_h, 50);
    const int w = std::max(70 + text_w + 10, 2 * button_w + 30), h = 10 + text_h + 10 + button_h + 10;

    Fl_Double_Window window(w, h);
    Answer answer;
    answer.window = &window;
    window.callback(answer_no, &answer);
    Fl_Box icon(10, 10, 50, 50, "?");
    icon.box(FL_THIN_UP_BOX);
    icon.color(FL_BACKGROUND2_COLOR);
    icon.labelfont(FL_TIMES_BOLD);
    icon.labelsize(34);
    icon.labelcolor(FL_BLUE);
    PlainText text(70, 10, text_w, text_h, question);
    Fl_Button yes_button(w - 2 * button_w - 20, h - button_h - 10, button_w, button_h, fl_yes);
    yes_button.callback(answer_yes, &answer);
    Fl_Return_Button no_button(w - button_w - 10, h - button_h - 10, button_w, button_h, fl_no);
    no_button.callback(answer_no, &answer);
    window.end();
    window.set_modal();
    window.hotspot(&no_button);
    window.show();
    no_button.take_focus();
    while (window.shown())
        Fl::wait();
    return answer.yes;
}

static GuiDialogs toolkit_dialogs;
static GuiDialogs* dialogs_in_force = &toolkit_dialogs;

GuiDialogs& gui_dialogs() { return *dialogs_in_force; }

void set_gui_dialogs(GuiDialogs* dialogs) { dialogs_in_force = dialogs ? dialogs : &toolkit_dialogs; }
