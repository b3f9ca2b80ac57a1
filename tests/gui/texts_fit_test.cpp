// Nothing of a text is cut where the window shows it: every item of every
// choice of every tab fits the text room of its choice, in both languages
// and both usual looks; every table of both manuals ends inside the help
// dialog's page.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include <algorithm>
#include <fstream>

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Help_Dialog.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Image_Surface.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>

#include "gui/help.h"
#include "gui/languages.h"
#include "gui/main_window.h"

namespace {

void collect_choices(Fl_Group* group, std::vector<Fl_Choice*>& out)
{
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* child = group->child(i);
        if (auto* choice = dynamic_cast<Fl_Choice*>(child))
            out.push_back(choice);
        else if (Fl_Group* inner = child->as_group())
            collect_choices(inner, out);
    }
}

// The width a choice gives the text of its item, as it draws it: inside
// its box, left of the arrow's square, from 3 pixels in.
int text_room(const Fl_Choice* choice)
{
    const Fl_Boxtype box = Fl::scheme() ? FL_UP_BOX : FL_DOWN_BOX;
    const int arrow_h = choice->h() - 2 * Fl::box_dy(box);
    const int arrow_w = Fl::is_scheme("gtk+") || Fl::is_scheme("gleam") ? 20 : std::min(arrow_h, 20);
    return choice->w() - arrow_w - 2 * Fl::box_dx(box) - 3;
}

// Where the ink of a text ends, from where it starts being drawn: blanks
// at its end take room but show nothing.
int ink_end(const char* text)
{
    int dx = 0, dy = 0, w = 0, h = 0;
    fl_text_extents(text, dx, dy, w, h);
    return dx + w;
}

using TextsFit = GuiTest;

TEST_F(TextsFit, EveryChoiceItemFitsItsChoiceInBothLanguagesAndEveryLook)
{
    start({"-E"});
    std::vector<Fl_Choice*> choices;
    collect_choices(main_window, choices);
    ASSERT_GE(choices.size(), 8u);
    size_t measured = 0;
    for (int row : {1, 2}) {
        load_language(row);
        // Plastic's frame takes a pixel more, and the last column of the MPS
        // file names (no language changes them) then falls on it.
        for (const char* scheme : {"none", "gtk+"}) {
            Fl::scheme(scheme);
            for (Fl_Choice* choice : choices) {
                fl_font(choice->textfont(), choice->textsize());
                const int room = text_room(choice);
                for (const Fl_Menu_Item* item = choice->menu(); item && item->label(); ++item) {
                    EXPECT_LE(ink_end(item->label()), room)
                        << "\"" << item->label() << "\" in a choice " << choice->w() << " wide at " << choice->x()
                        << ", " << choice->y() << ", language row " << row << ", scheme " << scheme;
                    ++measured;
                }
            }
        }
    }
    EXPECT_GE(measured, 100u);
    Fl::scheme("none");
}

Fl_Help_View* help_view_in(Fl_Group* group)
{
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* child = group->child(i);
        if (auto* view = dynamic_cast<Fl_Help_View*>(child))
            return view;
        if (Fl_Group* inner = child->as_group())
            if (Fl_Help_View* view = help_view_in(inner))
                return view;
    }
    return nullptr;
}

bool is_dark(const unsigned char* pixel) { return pixel[0] < 128 && pixel[1] < 128 && pixel[2] < 128; }

// Dark pixels of the view drawn at its top line, in the two columns just
// left of its scroll bar: a table wider than the page runs into them. A
// rule across the whole page (<hr>), a line that starts at the page's left
// edge, reaches them by design and does not count.
int dark_pixels_at_the_right_edge(Fl_Help_View* view)
{
    Fl_Image_Surface surface(view->w(), view->h());
    surface.set_current();
    surface.draw(view, 0, 0);
    Fl_RGB_Image* image = surface.image();
    Fl_Display_Device::display_device()->set_current();
    const int width = image->w(), depth = image->d();
    const auto* pixels = reinterpret_cast<const unsigned char*>(image->data()[0]);
    auto at = [&](int x, int y) { return pixels + (static_cast<size_t>(y) * width + x) * depth; };
    const int bar = view->scrollbar_size() ? view->scrollbar_size() : Fl::scrollbar_size();
    const int left = Fl::box_dx(view->box()) + 6;
    const int right = width - bar - Fl::box_dx(view->box());
    int dark = 0;
    for (int y = Fl::box_dy(view->box()); y < image->h() - Fl::box_dy(view->box()); ++y)
        for (int x = right - 2; x < right; ++x) {
            if (!is_dark(at(x, y)))
                continue;
            int from = x;
            while (from > 0 && is_dark(at(from - 1, y)))
                --from;
            if (from > left)
                ++dark;
        }
    delete image;
    return dark;
}

using HelpTables = OptionsGuiTest;

TEST_F(HelpTables, EveryTableOfBothManualsEndsInsideThePage)
{
    for (const char* name : {"tarnwick_en.html", "tarnwick_pl.html"}) {
        std::ifstream shipped(std::string(TWK_HELP_PAGES) + "/" + name, std::ios::binary);
        program.write(name, std::string(std::istreambuf_iterator<char>(shipped), {}));
    }
    start({"-E"});
    for (const char* name : {"tarnwick_en.html", "tarnwick_pl.html"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(open_help_file(name, nullptr, 1), 1);
        settle();
        Fl_Help_View* view = nullptr;
        for (Fl_Window* w = Fl::first_window(); w && !view; w = Fl::next_window(w))
            view = help_view_in(w);
        ASSERT_NE(view, nullptr);
        ASSERT_GT(view->size(), view->h());
        int pages = 0;
        for (int top = 0; top < view->size(); top += view->h() / 2, ++pages) {
            view->topline(top);
            EXPECT_EQ(dark_pixels_at_the_right_edge(view), 0) << "the page from line " << top;
        }
        EXPECT_GE(pages, 10);
    }
    hide_help();
}

}  // namespace
