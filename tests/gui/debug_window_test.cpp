// The debug window: what the trace keeps (window open, categories), the cap
// at 1 MiB cut at a line start, search without wrap, Clear, and the close
// box against the main window's close.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include "gui/debug_window.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Text_Buffer.H>

#include "core/host.h"
#include "gui/main_window.h"
#include "gui/widgets.h"

namespace {

class DebugWindow : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        debug_categories = DBG_ALWAYS;
        debug_search_text.clear();
    }
    void TearDown() override
    {
        close_debug_window();
        debug_categories = DBG_ALWAYS;
        GuiTest::TearDown();
    }
    static std::string trace()
    {
        if (!debug_buffer)
            return {};
        char* t = debug_buffer->text();
        std::string s = t;
        free(t);
        return s;
    }
};

TEST_F(DebugWindow, NothingIsKeptUntilTheWindowOpens)
{
    EXPECT_EQ(debug_category_enabled(DBG_ALWAYS), 0);
    debug_message(DBG_ALWAYS, "lost %d\n", 1);
    open_debug_window();
    ASSERT_NE(debug_window, nullptr);
    EXPECT_STREQ(debug_window->label(), "Tarnwick Debug");
    // No category ticked: only the lines every category passes.
    EXPECT_EQ(trace(), "Debug start.\n");
    EXPECT_EQ(debug_category_enabled(DBG_READ), 0);
    EXPECT_NE(debug_category_enabled(DBG_ALWAYS), 0);
    debug_message(DBG_READ, "read %s\n", "x");
    EXPECT_EQ(trace(), "Debug start.\n");

    // It opens on the filter page.
    EXPECT_EQ(debug_controls.toggle->value(), 1);
    EXPECT_STREQ(debug_controls.toggle->label(), "Output");
    EXPECT_TRUE(debug_controls.filter->visible());
    EXPECT_FALSE(debug_display->visible());
    debug_controls.toggle->value(0);
    debug_controls.toggle->do_callback();
    EXPECT_STREQ(debug_controls.toggle->label(), "Filter");
    EXPECT_FALSE(debug_controls.filter->visible());
    EXPECT_TRUE(debug_display->visible());
    EXPECT_TRUE(debug_controls.search->visible());
}

TEST_F(DebugWindow, TicksChooseTheCategoriesOfTheNextLines)
{
    open_debug_window();
    EXPECT_STREQ(debug_controls.categories[2]->label(), "(02) read");
    EXPECT_STREQ(debug_controls.categories[12]->label(), "(12) decode");
    debug_controls.categories[2]->value(1);
    debug_controls.categories[2]->do_callback();
    debug_controls.categories[12]->value(1);
    debug_controls.categories[12]->do_callback();
    EXPECT_EQ(debug_categories, DBG_ALWAYS | DBG_READ | DBG_DECODE);
    EXPECT_EQ(debug_category_enabled(DBG_READ | DBG_JOIN), static_cast<int>(DBG_READ));
    debug_message(DBG_READ, "read %s\n", "a.img");
    debug_message(DBG_JOIN, "join\n");
    debug_controls.categories[2]->value(0);
    debug_controls.categories[2]->do_callback();
    debug_message(DBG_READ, "read again\n");
    EXPECT_EQ(trace(), "Debug start.\nread a.img\n");
    EXPECT_EQ(debug_categories, DBG_ALWAYS | DBG_DECODE);

    // A trace line longer than any stack buffer arrives whole.
    std::string big(10000, 'z');
    debug_message(DBG_DECODE, "%s|\n", big.c_str());
    EXPECT_NE(trace().find(big + "|\n"), std::string::npos);
}

TEST_F(DebugWindow, ATraceOver1MiBStartsAtTheLineEndBeforeTheCutLine)
{
    open_debug_window();
    debug_controls.categories[0]->value(1);
    debug_controls.categories[0]->do_callback();
    clear_debug_trace();  // one byte left: "\n"
    // Lines of 100 bytes: 99 letters and a line end.
    std::string line(99, 'a');
    line += '\n';
    std::string text;
    while (text.size() < static_cast<size_t>(DEBUG_TRACE_LIMIT) - 1)
        text += line;
    text.resize(static_cast<size_t>(DEBUG_TRACE_LIMIT) - 1);  // with the kept "\n": exactly 1 MiB
    debug_buffer->append(text.c_str());
    ASSERT_EQ(debug_buffer->length(), DEBUG_TRACE_LIMIT);
    debug_message(DBG_GUI, "%s", "X");  // 1 MiB + 1 byte
    // Position length - 1 MiB is 1; its line starts at 1 (after the kept
    // "\n"), which is below 2: nothing is cut yet.
    ASSERT_EQ(debug_buffer->length(), DEBUG_TRACE_LIMIT + 1);

    debug_message(DBG_GUI, "%s", "YYY");  // 1 MiB + 4: position 4 lies in line 1
    std::string kept = trace();
    EXPECT_EQ(kept.size(), static_cast<size_t>(DEBUG_TRACE_LIMIT) + 4);

    debug_message(DBG_GUI, "%s", std::string(200, 'Z').c_str());
    kept = trace();
    // length - 1 MiB = 204 lies in the third line (which starts at 201):
    // the kept text starts with the line end at 200.
    int cut = 200;
    EXPECT_EQ(kept.size(), static_cast<size_t>(DEBUG_TRACE_LIMIT) + 204 - cut);
    EXPECT_EQ(kept[0], '\n');
    EXPECT_EQ(kept.substr(1, 99), std::string(99, 'a'));
    EXPECT_EQ(kept.substr(kept.size() - 204), "XYYY" + std::string(200, 'Z'));
}

TEST_F(DebugWindow, SearchGoesForwardWithoutWrapAndSearchStartsAtTheTop)
{
    open_debug_window();
    debug_controls.categories[1]->value(1);
    debug_controls.categories[1]->do_callback();
    debug_message(DBG_TWK, "alpha\nBeta\nalpha again\n");

    dialogs.answers.push_back(std::string("ALPHA"));
    debug_search();
    ASSERT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(dialogs.prompts[0], "Enter search text:");
    int start = 0, end = 0;
    ASSERT_TRUE(debug_buffer->highlight_position(&start, &end));
    EXPECT_EQ(trace().substr(start, end - start), "alpha");
    EXPECT_EQ(start, 13);  // after "Debug start.\n"
    debug_search_next();
    debug_buffer->highlight_position(&start, &end);
    EXPECT_EQ(start, 24);
    // At the end: not found, although it occurs earlier.
    debug_search_next();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "[ALPHA] not found.");
    // Search (not Next) starts again from the top, offering the last text.
    dialogs.answers.push_back(std::string("alpha"));
    debug_search();
    EXPECT_EQ(dialogs.initials.back(), "ALPHA");
    debug_buffer->highlight_position(&start, &end);
    EXPECT_EQ(start, 13);
    // A cancelled or empty answer changes nothing.
    dialogs.answers.push_back(std::nullopt);
    debug_search();
    dialogs.answers.push_back(std::string(""));
    debug_search();
    EXPECT_EQ(debug_search_text, "alpha");

    debug_search_text = std::string(40, 'q');
    debug_search_position = 0;
    debug_find();
    // Appended, not put in front of a string: g++ 12 warns about an overlap
    // that cannot happen in the inlined insert of `"[" + std::string(...)`.
    EXPECT_EQ(dialogs.messages.back(), std::string("[").append(30, 'q').append("...] not found."));
}

TEST_F(DebugWindow, NextWithoutATextAsksLikeSearch)
{
    open_debug_window();
    dialogs.answers.push_back(std::string("start"));
    debug_controls.next->do_callback();
    EXPECT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(dialogs.input_titles, (std::vector<std::string>{"Search"}));
    int start = 0, end = 0;
    ASSERT_TRUE(debug_buffer->highlight_position(&start, &end));
    EXPECT_EQ(start, 6);
}

TEST_F(DebugWindow, ClearKeepsTheLastByte)
{
    open_debug_window();
    debug_message(DBG_ALWAYS, "more\n");
    debug_controls.clear->do_callback();
    EXPECT_EQ(trace(), "\n");
}

TEST_F(DebugWindow, TheCloseBoxHidesButTheTraceGoesOn)
{
    open_debug_window();
    debug_controls.categories[3]->value(1);
    debug_controls.categories[3]->do_callback();
    debug_window->do_callback();  // its own close box
    EXPECT_FALSE(debug_window->shown());
    EXPECT_EQ(debug_window_open, 1);
    EXPECT_EQ(debug_category_enabled(DBG_SPLIT | DBG_JOIN), static_cast<int>(DBG_SPLIT));
    debug_message(DBG_SPLIT, "while hidden\n");
    Fl_Double_Window* same = debug_window;
    open_debug_window();
    EXPECT_EQ(debug_window, same);
    EXPECT_TRUE(debug_window->shown());
    EXPECT_NE(trace().find("while hidden\n"), std::string::npos);

    close_debug_window();
    EXPECT_EQ(debug_window, nullptr);
    EXPECT_EQ(debug_category_enabled(DBG_SPLIT), 0);
    debug_message(DBG_SPLIT, "gone\n");  // costs only the flag test
    EXPECT_EQ(debug_categories, DBG_ALWAYS | DBG_SPLIT);  // the ticks survive
    open_debug_window();
    EXPECT_EQ(debug_controls.categories[3]->value(), 1);
    EXPECT_EQ(trace(), "Debug start.\n");
}

TEST_F(DebugWindow, ClosingTheMainWindowClosesIt)
{
    start({"-E", "-G"});
    open_debug_window();
    main_window->do_callback();
    EXPECT_EQ(debug_window, nullptr);
    EXPECT_EQ(debug_window_open, 0);
    EXPECT_FALSE(main_window->shown());
}

}  // namespace
