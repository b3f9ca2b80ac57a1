// The toolkit's side of the dialog seam, as a user meets it: the question
// before a file is replaced says No to Enter, Escape and the close box; a
// chooser hides its Preview switch when asked to; a text question has its
// window title.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include <cstring>
#include <functional>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

namespace {

// Acts on the dialog that a call shows, once it is up: the call runs its
// own event loop until the dialog is closed. A dialog the action leaves
// open is closed, and the test is told.
class OnDialog {
public:
    explicit OnDialog(std::function<void(Fl_Window*)> action) : action_(std::move(action))
    {
        Fl::add_timeout(0.1, act, this);
    }
    ~OnDialog() { Fl::remove_timeout(act, this); }
    bool acted() const { return acted_; }
    bool closed_by_action() const { return closed_; }

private:
    static void act(void* self)
    {
        OnDialog& me = *static_cast<OnDialog*>(self);
        Fl_Window* dialog = Fl::modal() ? Fl::modal() : Fl::first_window();
        if (!dialog)
            return;
        me.acted_ = true;
        me.action_(dialog);
        me.closed_ = !dialog->shown();
        if (!me.closed_)
            dialog->hide();
    }
    std::function<void(Fl_Window*)> action_;
    bool acted_ = false;
    bool closed_ = false;
};

// The first widget of the dialog of that class and label.
template <class Widget>
Widget* find_in(Fl_Group* group, const char* label)
{
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* child = group->child(i);
        if (auto* found = dynamic_cast<Widget*>(child))
            if (child->label() && !strcmp(child->label(), label))
                return found;
        if (Fl_Group* inner = child->as_group())
            if (Widget* found = find_in<Widget>(inner, label))
                return found;
    }
    return nullptr;
}

void press_key(Fl_Window* dialog, int key, const char* text)
{
    Fl::e_keysym = key;
    Fl::e_state = 0;
    Fl::e_text = const_cast<char*>(text);
    Fl::e_length = static_cast<int>(strlen(text));
    Fl::handle(FL_KEYBOARD, dialog);
    Fl::e_keysym = 0;
    Fl::e_text = const_cast<char*>("");
    Fl::e_length = 0;
}

class ToolkitDialogs : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        start();
        set_gui_dialogs(nullptr);
    }
};

TEST_F(ToolkitDialogs, TheOverwriteQuestionSaysNoUnlessYesIsPressed)
{
    const std::string question = "This file exists already:\n/maps/a@b.lang\nOverwrite it?";
    struct Case {
        const char* what;
        std::function<void(Fl_Window*)> answer;
        bool yes;
    };
    const Case cases[] = {
        {"Enter", [](Fl_Window* d) { press_key(d, FL_Enter, "\r"); }, false},
        {"Escape", [](Fl_Window* d) { press_key(d, FL_Escape, "\033"); }, false},
        {"close box", [](Fl_Window* d) { d->do_callback(); }, false},
        {"No", [](Fl_Window* d) { find_in<Fl_Button>(d, fl_no)->do_callback(); }, false},
        {"Yes", [](Fl_Window* d) { find_in<Fl_Button>(d, fl_yes)->do_callback(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnDialog on(c.answer);
        bool yes = gui_dialogs().ask_overwrite(question);
        ASSERT_TRUE(on.acted());
        EXPECT_TRUE(on.closed_by_action());
        EXPECT_EQ(yes, c.yes);
    }
}

TEST_F(ToolkitDialogs, AChooserShowsItsPreviewSwitchOnlyWhenAsked)
{
    for (bool wanted : {true, false}) {
        SCOPED_TRACE(wanted ? "shown" : "hidden");
        ChooserRequest request;
        request.title = "Pick";
        request.directory = "/";
        request.preview_switch = wanted;
        bool visible = !wanted;
        OnDialog on([&visible](Fl_Window* d) {
            Fl_Check_Button* preview = find_in<Fl_Check_Button>(d, Fl_File_Chooser::preview_label);
            ASSERT_NE(preview, nullptr);
            visible = preview->visible() != 0;
            EXPECT_EQ(preview->value(), 0);
            d->do_callback();  // the close box: cancelled
        });
        ChooserResult result = gui_dialogs().choose(request);
        ASSERT_TRUE(on.acted());
        EXPECT_TRUE(on.closed_by_action());
        EXPECT_TRUE(result.paths.empty());
        EXPECT_EQ(visible, wanted);
    }
}

TEST_F(ToolkitDialogs, ATextQuestionHasItsWindowTitle)
{
    std::string title;
    OnDialog on([&title](Fl_Window* d) {
        title = d->label() ? d->label() : "";
        d->do_callback();
    });
    std::string answer = "kept";
    EXPECT_FALSE(gui_dialogs().input("Search", "Enter search text:", "x", answer));
    ASSERT_TRUE(on.acted());
    EXPECT_EQ(title, "Search");
    EXPECT_EQ(answer, "kept");
}

}  // namespace
