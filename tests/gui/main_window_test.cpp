// The main window: its place on the screen, the two passes over the
// arguments, the tabs, the texts of GUI_Main and Escape.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/main_window.h"

#include <climits>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Multi_Browser.H>
#include <FL/Fl_Tabs.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include "core/host.h"
#include "gui/files_tab.h"
#include "gui/widgets.h"
#include "gui/settings.h"

namespace {

TEST(PlaceMainWindow, FitsTheSavedBoxOrCentresTheDefault)
{
    struct Case {
        const char* what;
        WindowBox saved, area, expected;
    };
    const Case cases[] = {
        {"too big: default size, centred", {100, 150, 2000, 2000}, {0, 0, 1280, 1024}, {330, 257, 620, 510}},
        {"narrow saved width is raised", {100, 150, 500, 600}, {0, 0, 1280, 1024}, {100, 150, 620, 600}},
        {"kept as saved", {10, 20, 800, 700}, {0, 0, 1280, 1024}, {10, 20, 800, 700}},
        {"off the right and bottom: moved in", {1000, 900, 620, 510}, {0, 0, 1280, 1024}, {660, 514, 620, 510}},
        {"off the left and top: moved in", {-300, -50, 700, 600}, {0, 0, 1280, 1024}, {0, 0, 700, 600}},
        {"work area not at 0: the centre ignores its origin", {0, 0, 3000, 3000}, {100, 50, 1000, 800},
         {190, 145, 620, 510}},
        {"work area smaller than the window", {0, 0, 620, 510}, {0, 0, 600, 400}, {0, 0, 600, 400}},
        {"width fits only with 29 to spare", {0, 0, 1251, 600}, {0, 0, 1280, 1024}, {330, 257, 620, 510}},
        // A settings file is edited by people: any int may stand there.
        {"largest position", {INT_MAX, INT_MAX, 620, 510}, {0, 0, 1280, 1024}, {660, 514, 620, 510}},
        {"largest size", {100, 150, INT_MAX, INT_MAX}, {0, 0, 1280, 1024}, {330, 257, 620, 510}},
        {"largest of all", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, {0, 0, 1280, 1024}, {330, 257, 620, 510}},
        {"smallest position", {INT_MIN, INT_MIN, 620, 510}, {0, 0, 1280, 1024}, {0, 0, 620, 510}},
        {"smallest size", {100, 150, INT_MIN, INT_MIN}, {0, 0, 1280, 1024}, {100, 150, 620, 510}},
        {"smallest of all", {INT_MIN, INT_MIN, INT_MIN, INT_MIN}, {0, 0, 1280, 1024}, {0, 0, 620, 510}},
        {"work area far out", {INT_MAX, 0, 620, 510}, {INT_MAX - 1000, 0, 1000, 1024}, {INT_MAX - 620, 0, 620, 510}},
    };
    for (const Case& c : cases) {
        WindowBox got = fit_main_window(c.saved, c.area);
        EXPECT_EQ(got.x, c.expected.x) << c.what;
        EXPECT_EQ(got.y, c.expected.y) << c.what;
        EXPECT_EQ(got.w, c.expected.w) << c.what;
        EXPECT_EQ(got.h, c.expected.h) << c.what;
    }
}

TEST(StartArguments, FirstPassAndFileNames)
{
    auto run = [](std::vector<std::string> args, std::vector<std::string>* files = nullptr) {
        std::vector<char*> argv;
        static std::vector<std::string> keep;
        keep = args;
        keep.insert(keep.begin(), "Tarnwick");
        for (std::string& a : keep)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        StartArguments found = read_start_arguments(static_cast<int>(keep.size()), argv.data());
        if (files) {
            static std::vector<std::string>* sink;
            sink = files;
            for_each_file_argument(static_cast<int>(keep.size()), argv.data(),
                                   [](const char* p) { sink->push_back(p); });
        }
        return found;
    };
    EXPECT_EQ(run({"-P", "-E"}).language_row, 1);
    EXPECT_EQ(run({"-E", "-P"}).language_row, 2);
    EXPECT_EQ(run({"a.img"}).language_row, 0);
    EXPECT_EQ(run({"-X", "-G"}).experimental, 1);
    EXPECT_EQ(run({"-X", "-G"}).debug_button, 1);
    EXPECT_EQ(run({"-x", "-g"}).experimental, 0);  // compared whole, case and all

    // "-i" last is ignored; "-i DIR FILE" sets the directory and adds only FILE.
    EXPECT_EQ(run({"a.img", "-i"}).dialog_dir, nullptr);
    std::vector<std::string> files;
    StartArguments found = run({"-i", "/maps", "b.img", "-Q", "c.typ"}, &files);
    ASSERT_NE(found.dialog_dir, nullptr);
    EXPECT_STREQ(found.dialog_dir, "/maps");
    EXPECT_EQ(files, (std::vector<std::string>{"b.img", "c.typ"}));
}

TEST(BlankText, OnlyBytesUpToBlankAreBlank)
{
    EXPECT_EQ(is_blank_text(nullptr), 1);
    EXPECT_EQ(is_blank_text(""), 1);
    EXPECT_EQ(is_blank_text(" \t\r\n\x01"), 1);
    EXPECT_EQ(is_blank_text("  a "), 0);
    EXPECT_EQ(is_blank_text("\xC5\x81"), 0);  // bytes above 127 count as text
    EXPECT_EQ(is_blank_text("!"), 0);
}

using MainWindow = GuiTest;

TEST_F(MainWindow, SevenTabsInOrderWithTheTaskTabsOffWhileTheListIsEmpty)
{
    start();
    ASSERT_NE(main_window, nullptr);
    EXPECT_EQ(main_window->w(), 620);
    EXPECT_EQ(main_window->h(), 510);
    EXPECT_STREQ(main_window->label(), "Tarnwick");
    ASSERT_EQ(main_tabs->children(), 7);
    const char* titles[] = {"   Files   ", "  Options  ", "   Join    ", "   Split   ",
                            "   Write   ", "  Change   ", "    Log    "};
    for (int i = 0; i < 7; ++i)
        EXPECT_STREQ(main_tabs->child(i)->label(), titles[i]) << i;
    EXPECT_EQ(main_tabs->value(), files_group);
    EXPECT_FALSE(join_group->active());
    EXPECT_FALSE(change_group->active());
    EXPECT_TRUE(options_group->active());
    EXPECT_NE(log_text().find("Program start.\n"), std::string::npos);
}

TEST_F(MainWindow, PolishTextsAndTheToolkitLabelsComeBackInEnglish)
{
    start({"-E", "-P"});
    EXPECT_EQ(english_texts, 0);
    EXPECT_STREQ(files_group->label(), "   Pliki   ");
    EXPECT_STREQ(log_group->label(), "    Log    ");
    EXPECT_STREQ(fl_cancel, "Anuluj");
    EXPECT_STREQ(Fl_File_Chooser::add_favorites_label, "Dodaj do ulubionych");
    EXPECT_NE(log_text().find("Start programu.\n"), std::string::npos);
    english_texts = 1;
    load_messages_gui_main(nullptr, 0, 0);
    EXPECT_STREQ(fl_cancel, "Cancel");
    EXPECT_STREQ(Fl_File_Chooser::add_favorites_label, "Add to Favorites");
    EXPECT_STREQ(files_group->label(), "   Files   ");
}

TEST_F(MainWindow, FileArgumentsFillTheListAndOpenTheTaskTabs)
{
    start({"-E", "-i", "/tmp", "/nonexistent/a.img", "-X"});
    ASSERT_NE(file_list, nullptr);
    EXPECT_EQ(file_list->size(), 1);
    EXPECT_EQ(experimental_allowed, 1);
    EXPECT_TRUE(join_group->active());
    EXPECT_TRUE(write_group->active());
}

TEST_F(MainWindow, EscapeLeavesTheWindowOpenAndTheCloseBoxStops)
{
    start();
    Fl::e_number = FL_SHORTCUT;
    Fl::e_keysym = FL_Escape;
    main_window->do_callback();
    EXPECT_TRUE(main_window->shown());
    EXPECT_EQ(stop_requested, 0);
    Fl::e_number = 0;
    Fl::e_keysym = 0;
    main_window->do_callback();
    EXPECT_FALSE(main_window->shown());
    EXPECT_EQ(stop_requested, 1);
}

// Desktops name and group windows by their X class: the main window's and
// every later window's (dialogs) is the program's name.
TEST_F(MainWindow, EveryWindowIsOfTheXClassTarnwick)
{
    start();
    EXPECT_STREQ(main_window->xclass(), "Tarnwick");
    Fl_Double_Window dialog(100, 60);
    dialog.end();
    dialog.show();
    settle();
    for (Fl_Window* window : {static_cast<Fl_Window*>(main_window), static_cast<Fl_Window*>(&dialog)}) {
        XClassHint hint{};
        ASSERT_NE(XGetClassHint(fl_display, fl_xid(window), &hint), 0);
        EXPECT_STREQ(hint.res_name, "Tarnwick");
        EXPECT_STREQ(hint.res_class, "Tarnwick");
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    dialog.hide();
}

}  // namespace
