// The own widget classes: the input fields' Copy/Paste menu, the text
// display's menu and Ctrl+Insert, the file list's Ctrl+A, drops and column
// lines, and the counted allocations.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"
// Before the toolkit's headers: the X11 headers behind them define CurrentTime.
#include "core/files.h"

#include "gui/widgets.h"

#include <functional>
#include <memory>
#include <set>

#include <FL/Fl.H>
#include <FL/Fl_Image_Surface.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Device.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_draw.H>

#include "gui/files_tab.h"
#include "gui/log_window.h"
#include "gui/main_window.h"

namespace {

void set_event(int event, int key, int state = 0)
{
    Fl::e_number = event;
    Fl::e_keysym = key;
    Fl::e_state = state;
    Fl::e_x = Fl::e_y = Fl::e_x_root = Fl::e_y_root = 20;
    Fl::e_text = const_cast<char*>("");
    Fl::e_length = 0;
}

int right_click(Fl_Widget* w)
{
    set_event(FL_PUSH, FL_Button + FL_RIGHT_MOUSE);
    int used = w->handle(FL_PUSH);
    set_event(0, 0);
    return used;
}

// A shown window of the test's own, holding what build makes.
std::unique_ptr<Fl_Double_Window> test_window(const std::function<void()>& build)
{
    auto window = std::make_unique<Fl_Double_Window>(0, 0, 620, 510, "widgets");
    build();
    window->end();
    window->show();
    window->wait_for_expose();
    Fl::check();
    return window;
}

using WidgetInputs = GuiTest;

TEST_F(WidgetInputs, RightClickFocusesThenCopiesAndPastes)
{
    start();
    // The toolkit pastes into a number field by replacing its whole text.
    struct Case {
        const char* what;
        std::function<Fl_Input*(int y)> make;
        const char* pasted;
    };
    const Case cases[] = {
        {"Fl_Input_W", [](int y) { return new Fl_Input_W(100, y, 200, 25); }, "9234"},
        {"Fl_Int_Input_W", [](int y) { return new Fl_Int_Input_W(100, y, 200, 25); }, "234"},
        {"Fl_Float_Input_W", [](int y) { return new Fl_Float_Input_W(100, y, 200, 25); }, "234"},
        {"Fl_File_Input_W", [](int y) { return new Fl_File_Input_W(100, y, 200, 35); }, "9234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fl_Input *source = nullptr, *target = nullptr;
        auto w = test_window([&] {
            source = c.make(10);
            target = c.make(60);
        });
        source->value("12345");
        source->position(1, 4);
        target->value("9");
        target->position(1);
        Fl::focus(target);

        dialogs.popups.clear();
        dialogs.popup_choices = {0, 1, -1};  // Copy, Paste, closed
        EXPECT_EQ(right_click(source), 1);
        EXPECT_EQ(Fl::focus(), source);
        EXPECT_EQ(dialogs.popups.at(0), (std::vector<std::string>{"Copy", "Paste"}));
        EXPECT_EQ(right_click(target), 1);
        EXPECT_EQ(Fl::focus(), target);
        EXPECT_STREQ(target->value(), c.pasted);
        EXPECT_EQ(right_click(target), 1);
        EXPECT_STREQ(target->value(), c.pasted);
        set_event(FL_RELEASE, FL_Button + FL_RIGHT_MOUSE);
        EXPECT_EQ(target->handle(FL_RELEASE), 1);
    }
}

using WidgetTextDisplay = GuiTest;

TEST_F(WidgetTextDisplay, MenuOnlyWithASelectionAndCtrlInsertAlwaysConsumed)
{
    start();
    Fl_Text_Buffer buffer;
    buffer.text("first line\nsecond line\n");
    Fl_Text_Display_W* display = nullptr;
    Fl_Input_W* field = nullptr;
    auto w = test_window([&] {
        display = new Fl_Text_Display_W(5, 5, 400, 200);
        field = new Fl_Input_W(5, 220, 200, 25);
    });
    display->buffer(&buffer);
    auto clipboard = [&] {
        field->value("");
        Fl::paste(*field, 1);
        return std::string(field->value());
    };
    Fl::copy("before", 6, 1);

    EXPECT_EQ(right_click(display), 1);
    EXPECT_EQ(Fl::focus(), display);
    EXPECT_TRUE(dialogs.popups.empty());
    set_event(FL_KEYBOARD, FL_Insert, FL_CTRL);
    EXPECT_EQ(display->handle(FL_KEYBOARD), 1);
    EXPECT_EQ(clipboard(), "before");

    buffer.select(0, 5);
    set_event(FL_KEYBOARD, FL_Insert, FL_CTRL);
    EXPECT_EQ(display->handle(FL_KEYBOARD), 1);
    EXPECT_EQ(clipboard(), "first");

    buffer.select(11, 17);
    dialogs.popup_choices = {0};
    EXPECT_EQ(right_click(display), 1);
    EXPECT_EQ(dialogs.popups, (std::vector<std::vector<std::string>>{{"Copy", "Search"}}));
    EXPECT_EQ(clipboard(), "second");
    display->buffer(nullptr);

    // Search looks for the log's selection after it.
    log_buffer->text("one two one three\n");
    log_buffer->select(0, 3);
    dialogs.popup_choices = {1};
    right_click(log_display);
    int s = 0, e = 0;
    log_buffer->selection_position(&s, &e);
    EXPECT_EQ(std::make_pair(s, e), std::make_pair(8, 11));
    EXPECT_EQ(search_text, "one");
}

using WidgetFileList = GuiTest;

TEST_F(WidgetFileList, CtrlASelectsEveryLineAndDragsAreAccepted)
{
    Fl_Multi_Browser_W* list = nullptr;
    auto w = test_window([&] { list = new Fl_Multi_Browser_W(5, 5, 600, 400); });
    for (int i = 0; i < 3000; ++i)
        list->add(("/maps/tile" + std::to_string(i) + ".img").c_str());
    set_event(FL_KEYBOARD, 'a');
    list->handle(FL_KEYBOARD);
    EXPECT_FALSE(list->selected(1));
    set_event(FL_KEYBOARD, 'a', FL_CTRL);
    EXPECT_EQ(list->handle(FL_KEYBOARD), 1);
    int selected = 0;
    for (int i = 1; i <= list->size(); ++i)
        selected += list->selected(i);
    EXPECT_EQ(selected, 3000);
    for (int event : {FL_DND_ENTER, FL_DND_DRAG, FL_DND_LEAVE, FL_DND_RELEASE})
        EXPECT_EQ(list->handle(event), 1) << event;
    set_event(0, 0);
}

// A pixel of the window as its widgets draw it, drawn off the screen: what
// a busy X server shows at a given moment is no basis for a test.
uint32_t pixel_at(Fl_Window* window, int x, int y)
{
    Fl_Image_Surface surface(window->w(), window->h());
    surface.set_current();
    surface.draw(window);
    std::unique_ptr<Fl_RGB_Image> image(surface.image());
    Fl_Display_Device::display_device()->set_current();
    const unsigned char* rgb = reinterpret_cast<const unsigned char*>(image->data()[0]) +
                               (static_cast<size_t>(y) * image->w() + x) * image->d();
    return static_cast<uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
}

TEST_F(WidgetFileList, ColumnLinesFollowTheHeadersAndTheScrolling)
{
    const std::vector<int> kept(file_list_columns, file_list_columns + 4);
    Fl_Multi_Browser_W* list = nullptr;
    Fl_Box *name = nullptr, *size = nullptr;
    auto w = test_window([&] {
        name = new Fl_Box(5, 5, 250, 20);
        size = new Fl_Box(255, 5, 60, 20);
        list = new Fl_Multi_Browser_W(5, 25, 600, 300);
    });
    list->column_widths(file_list_columns);
    list->column_headers[0] = name;
    list->column_headers[1] = size;
    list->color(FL_WHITE);
    for (int i = 0; i < 5; ++i)
        list->add("@.name\t@f12\t@.a description wider than the list, with more text to scroll through it");
    list->redraw();
    Fl::flush();
    EXPECT_EQ(file_list_columns[0], 250);
    EXPECT_EQ(file_list_columns[1], 60);

    // The third width (2000) always ends past the right edge; a line on the
    // inner box's own edge is not drawn.
    const int inner_x = list->x() + Fl::box_dx(list->box());
    const std::pair<int, std::vector<int>> cases[] = {
        {0, {255, 315}}, {100, {155, 215}}, {260, {55}}, {list->x() + 250 - inner_x, {inner_x + 60}}};
    for (const auto& [hposition, lines] : cases) {
        list->hposition(hposition);
        list->redraw();
        Fl::flush();
        ASSERT_EQ(list->hposition(), hposition);
        int got[4];
        EXPECT_EQ(std::vector<int>(got, got + list->column_line_positions(got)), lines) << hposition;
        const int y = list->y() + list->h() - 30;
        for (int x : lines)
            EXPECT_NE(pixel_at(w.get(), x, y), pixel_at(w.get(), x + 2, y)) << x;
    }
    list->column_headers[0] = list->column_headers[1] = nullptr;
    std::copy(kept.begin(), kept.end(), file_list_columns);
}

void drop(Fl_Multi_Browser_W* list, const std::string& text)
{
    set_event(FL_PASTE, 0);
    Fl::e_text = const_cast<char*>(text.c_str());
    Fl::e_length = static_cast<int>(text.size());
    EXPECT_EQ(list->handle(FL_PASTE), 1);
    set_event(0, 0);
}

using DropFiles = GuiTest;

TEST_F(DropFiles, TwoDropsBeforeTheTimeoutAreBothAdded)
{
    start();
    // The first walk runs the toolkit between files, so the second drop's
    // call runs inside it: each must walk a text of its own.
    drop(file_list, "file:///nonexistent/first%20one.img\r\nfile:///nonexistent/first-two.img\r\n");
    drop(file_list, "/nonexistent/second.img\n/nonexistent/second-2.img");
    EXPECT_EQ(file_list->pending_drop_count(), 2u);
    EXPECT_EQ(file_list->size(), 0);
    settle();
    EXPECT_EQ(file_list->pending_drop_count(), 0u);
    const std::vector<std::string> listed = selected_file_paths(0);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
              (std::set<std::string>{"/nonexistent/first one.img", "/nonexistent/first-two.img",
                                     "/nonexistent/second.img", "/nonexistent/second-2.img"}));
    EXPECT_TRUE(join_group->active());
}

TEST_F(DropFiles, AListDeletedBeforeItsDropRunsLeavesNoCall)
{
    {
        Fl_Multi_Browser_W* list = nullptr;
        auto w = test_window([&] { list = new Fl_Multi_Browser_W(5, 5, 600, 400); });
        drop(list, "/nonexistent/gone.img");
    }
    // A call left behind would name the deleted list (the sanitizer says so).
    for (int i = 0; i < 5; ++i)
        Fl::check();
}

TEST(WidgetMemory, GuiBlocksAreCounted)
{
    const uint32_t allocated = allocation_count;
    const uint32_t freed = free_count;
    void* block = gui_malloc(64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(allocation_count, allocated + 1);
    EXPECT_EQ(free_count, freed);
    gui_free(block);
    gui_free(nullptr);
    EXPECT_EQ(allocation_count, allocated + 1);
    EXPECT_EQ(free_count, freed + 2);
}

}  // namespace
