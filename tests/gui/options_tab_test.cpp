// The Options tab: each control changes its setting at once, the rows that
// depend on Advanced and Experimental, the kept compiler paths, the code
// page field, the hidden debug button and the settings saved at exit.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include "gui/options_tab.h"

#include <cstring>
#include <iterator>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Preferences.H>
#include <FL/Fl_Tabs.H>

#include "core/codepage.h"
#include "core/host.h"
#include "gui/change_tab.h"
#include "gui/debug_window.h"
#include "gui/help.h"
#include "gui/join_tab.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/split_tab.h"
#include "gui/widgets.h"
#include "gui/write_tab.h"

namespace {

class Options : public OptionsGuiTest {
protected:
    // Picks an item as the user would.
    static void choose(Fl_Choice* choice, int index)
    {
        choice->value(index);
        choice->do_callback();
    }
    static void tick(Fl_Check_Button* box, int on)
    {
        box->value(on);
        box->do_callback();
    }
    static void type(Fl_Input* field, const char* text)
    {
        field->value(text);
        field->do_callback();
    }
    // One key pressed in a field that has the focus.
    static void press(Fl_Input* field, int key, const char* text)
    {
        char* kept_text = Fl::e_text;
        Fl::e_number = FL_KEYBOARD;
        Fl::e_keysym = key;
        Fl::e_state = 0;
        Fl::e_text = const_cast<char*>(text);
        Fl::e_length = static_cast<int>(strlen(text));
        field->handle(FL_KEYBOARD);
        Fl::e_number = 0;
        Fl::e_keysym = 0;
        Fl::e_text = kept_text;
        Fl::e_length = 0;
    }
    void TearDown() override
    {
        close_debug_window();
        hide_help();
        OptionsGuiTest::TearDown();
    }
};

TEST_F(Options, TheTabShowsTheSettingsInItsOwnTexts)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    ASSERT_NE(t.group, nullptr);
    EXPECT_EQ(t.group, options_group);
    EXPECT_STREQ(t.scheme->label(), "Appearance ");
    EXPECT_STREQ(t.code_page->label(), "Mapset code page ");
    EXPECT_EQ(t.scheme->size(), 4);
    EXPECT_STREQ(t.scheme->menu()[1].label(), "GTK+");
    EXPECT_EQ(t.colour->size(), 6);
    EXPECT_STREQ(t.colour->menu()[4].label(), "User");
    EXPECT_STREQ(t.compiler->menu()[2].label(), "mkgmap");
    EXPECT_STREQ(t.code_page->menu()[0].label(), "GUI language default");
    EXPECT_EQ(t.language->value(), 1);
    EXPECT_STREQ(t.language->menu()[0].label(), "System ");
    EXPECT_EQ(t.verbose->value(), 1);
    EXPECT_EQ(t.debug, nullptr);
    EXPECT_FALSE(t.template_button->visible());
    EXPECT_FALSE(t.colour_button->visible());
    EXPECT_FALSE(t.experimental->active());

    english_texts = 0;
    load_messages_gui_options(nullptr, 0, 0);
    EXPECT_STREQ(t.advanced->label(), "Opcje zaawansowane");
    EXPECT_STREQ(t.colour->menu()[1].label(), "Szary");
    EXPECT_STREQ(t.scheme->menu()[2].label(), "Plastic");
    EXPECT_EQ(t.language->value(), 1);  // the index stays
}

TEST_F(Options, SchemeColourAndVerboseTakeEffectAtOnce)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    choose(t.scheme, 2);
    EXPECT_EQ(Scheme, 2);
    EXPECT_STREQ(Fl::scheme(), "plastic");
    choose(t.scheme, 0);
    EXPECT_EQ(Fl::scheme(), nullptr);  // "none"

    choose(t.colour, 4);
    EXPECT_EQ(Color, 4);
    EXPECT_TRUE(t.colour_button->visible());
    EXPECT_TRUE(t.colour_button->active());
    choose(t.colour, 1);
    EXPECT_FALSE(t.colour_button->visible());
    EXPECT_EQ(Fl::get_color(FL_BACKGROUND2_COLOR), 0xF8F8F800u);

    choose(t.colour, 4);
    option_dialogs.colours.push_back(0x102030);
    t.colour_button->do_callback();
    EXPECT_EQ(UserColor, 0x102030);
    ASSERT_EQ(option_dialogs.colour_titles.size(), 1u);
    EXPECT_EQ(option_dialogs.colour_titles[0], "Select color");
    EXPECT_EQ(Fl::get_color(FL_FOREGROUND_COLOR), 0xFFFFFF00u);  // dark colour: white text
    option_dialogs.colours.push_back(std::nullopt);
    t.colour_button->do_callback();
    EXPECT_EQ(UserColor, 0x102030);
    choose(t.colour, 0);

    tick(t.verbose, 0);
    EXPECT_EQ(Verbose, 0);
    tick(t.verbose, 1);
    EXPECT_EQ(Verbose, 1);
}

TEST_F(Options, AdvancedShowsAndHidesWhatDependsOnIt)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    tick(t.advanced, 1);
    EXPECT_EQ(Advanced, 1);
    EXPECT_TRUE(t.experimental->active());
    EXPECT_TRUE(t.template_button->visible());
    tick(t.experimental, 1);
    EXPECT_EQ(Experimental, 1);

    tick(t.advanced, 0);
    EXPECT_EQ(Advanced, 0);
    EXPECT_EQ(Experimental, 0);
    EXPECT_EQ(t.experimental->value(), 0);
    EXPECT_FALSE(t.experimental->active());
    EXPECT_FALSE(t.template_button->visible());
    EXPECT_FALSE(t.template_button->active());
}

TEST_F(Options, ExperimentalWarnsEachTimeWithoutX)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    tick(t.advanced, 1);
    tick(t.experimental, 1);
    tick(t.experimental, 0);
    tick(t.experimental, 1);
    ASSERT_EQ(option_dialogs.messages.size(), 2u);
    EXPECT_EQ(option_dialogs.messages[0].rfind("Maps created with experimental options can lock your GPS!\n", 0), 0u);
    EXPECT_EQ(t.experimental->value(), 1);  // the box stays checked
}

TEST_F(Options, ExperimentalNeverWarnsWithX)
{
    start({"-E", "-X"});
    tick(options_tab.advanced, 1);
    tick(options_tab.experimental, 1);
    EXPECT_TRUE(option_dialogs.messages.empty());
    EXPECT_EQ(Experimental, 1);
}

std::vector<std::string> hooks_run;

// Puts recorders in front of the tabs' hooks for as long as it lives.
class WatchedHooks {
public:
    WatchedHooks()
    {
        for (size_t i = 0; i < std::size(window_parts); ++i)
            kept_[i] = window_parts[i].advanced;
        watch(join_advanced_hook, [] { hooks_run.push_back("join"), join_advanced_hook(); });
        watch(split_advanced_hook, [] { hooks_run.push_back("split"), split_advanced_hook(); });
        watch(write_advanced_hook, [] { hooks_run.push_back("write"), write_advanced_hook(); });
        watch(change_advanced_hook, [] { hooks_run.push_back("change"), change_advanced_hook(); });
        hooks_run.clear();
    }
    ~WatchedHooks()
    {
        for (size_t i = 0; i < std::size(window_parts); ++i)
            window_parts[i].advanced = kept_[i];
    }

private:
    static void watch(void (*hook)(), void (*recorder)())
    {
        for (WindowPart& part : window_parts)
            if (part.advanced == hook)
                part.advanced = recorder;
    }
    void (*kept_[std::size(window_parts)])();
};

TEST_F(Options, BothSwitchesRunTheTabHooksInTheirOrder)
{
    std::vector<void (*)()> hooks;
    for (const WindowPart& part : window_parts)
        if (part.advanced)
            hooks.push_back(part.advanced);
    const std::vector<void (*)()> tab_hooks = {&join_advanced_hook, &split_advanced_hook, &write_advanced_hook,
                                               &change_advanced_hook};
    EXPECT_EQ(hooks, tab_hooks);
    start({"-E", "-X"});
    OptionsTab& t = options_tab;
    const std::vector<std::string> order = {"join", "split", "write", "change"};
    WatchedHooks watched;

    tick(t.advanced, 1);
    EXPECT_EQ(hooks_run, order);
    // The hooks did their work: each tab shows its advanced rows.
    EXPECT_TRUE(join_tab.short_header->visible());
    EXPECT_TRUE(split_tab.short_headers->visible());
    EXPECT_TRUE(write_tab.version->visible());
    EXPECT_TRUE(change_tab.map_name->visible());
    EXPECT_FALSE(join_tab.nt_format->visible());
    EXPECT_FALSE(write_tab.tre->visible());

    hooks_run.clear();
    tick(t.experimental, 1);
    EXPECT_EQ(hooks_run, order);
    EXPECT_TRUE(join_tab.nt_format->visible());
    EXPECT_TRUE(write_tab.tre->visible());

    hooks_run.clear();
    tick(t.advanced, 0);
    EXPECT_EQ(hooks_run, order);
    EXPECT_FALSE(join_tab.short_header->visible());
    EXPECT_FALSE(join_tab.nt_format->visible());
    EXPECT_FALSE(split_tab.short_headers->visible());
    EXPECT_FALSE(write_tab.version->visible());
    EXPECT_FALSE(change_tab.map_name->visible());
}

TEST_F(Options, EachCompilerKeepsItsPath)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    type(t.compiler_path, "/opt/cgpsmapper");
    EXPECT_EQ(CgpsmapperPath, "/opt/cgpsmapper");  // a split sees what is shown
    choose(t.compiler, 1);
    EXPECT_EQ(Compiler, 1);
    EXPECT_STREQ(t.compiler_path->value(), "");
    type(t.compiler_path, "   ");
    choose(t.compiler, 0);
    EXPECT_STREQ(t.compiler_path->value(), "/opt/cgpsmapper");
    choose(t.compiler, 1);
    EXPECT_STREQ(t.compiler_path->value(), "");  // only blanks: forgotten
    EXPECT_EQ(MapTkPath, "");

    std::string too_long(1200, 'p');
    type(t.compiler_path, too_long.c_str());
    choose(t.compiler, 2);
    EXPECT_EQ(MapTkPath, "");
    std::string longest(1199, 'q');
    type(t.compiler_path, longest.c_str());
    EXPECT_EQ(MkgmapPath, longest);

    option_dialogs.choices.push_back({{"/usr/share/mkgmap/mkgmap.jar"}, "/usr/share/mkgmap"});
    t.browse->do_callback();
    ASSERT_EQ(option_dialogs.request_titles.size(), 1u);
    EXPECT_EQ(option_dialogs.request_titles[0], "mkgmap");
    EXPECT_FALSE(option_dialogs.requests[0].preview_switch);
    EXPECT_STREQ(t.compiler_path->value(), "/usr/share/mkgmap/mkgmap.jar");
    EXPECT_EQ(MkgmapPath, "/usr/share/mkgmap/mkgmap.jar");
    t.browse->do_callback();  // cancelled: the field stays
    EXPECT_STREQ(t.compiler_path->value(), "/usr/share/mkgmap/mkgmap.jar");
}

TEST_F(Options, TheCodePageFieldFollowsTheChoice)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    system_code_page = 1251;
    user_code_page = 852;
    choose(t.code_page, 1);
    EXPECT_EQ(mapset_cp_type, 1);
    EXPECT_STREQ(t.user_code_page->value(), "1251");
    EXPECT_FALSE(t.user_code_page->active());
    choose(t.code_page, 2);
    EXPECT_STREQ(t.user_code_page->value(), "852");
    EXPECT_TRUE(t.user_code_page->active());
    choose(t.code_page, 0);
    EXPECT_STREQ(t.user_code_page->value(), "1252");  // English's default code page
    EXPECT_FALSE(t.user_code_page->active());
    EXPECT_EQ(get_mapset_code_page(), 1252);

    choose(t.code_page, 2);
    type(t.user_code_page, "1250");
    EXPECT_EQ(user_code_page, 1250);
    EXPECT_EQ(get_mapset_code_page(), 1250);
    type(t.user_code_page, "");
    EXPECT_EQ(user_code_page, 0);
    set_code_page_type(7);
    EXPECT_EQ(mapset_cp_type, 0);
    EXPECT_EQ(t.code_page->value(), 0);
}

// The field is judged as a whole: the setting follows the text key by key,
// a text that is no code page counts 0, and it shows "0" once the field is
// left or confirmed with Enter.
TEST_F(Options, TheUserCodePageIsJudgedByItsWholeText)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    choose(t.code_page, 2);
    struct Case {
        const char* keys;
        bool enter;            // confirmed with Enter, else left
        int while_typed;       // the setting before the field is left
        const char* settled;   // the field's text after
    };
    const Case cases[] = {
        {"-5", false, 0, "0"},
        {"-5", true, 0, "0"},
        {"99999999999", true, 0, "0"},
        {"2147483648", false, 0, "0"},
        {"2147483647", false, 2147483647, "2147483647"},
        {"1250", false, 1250, "1250"},
        {"852", true, 852, "852"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        user_code_page = 7;
        t.user_code_page->value("");
        Fl::focus(t.user_code_page);
        char key[2] = {0, 0};
        for (const char* k = c.keys; *k; ++k) {
            key[0] = *k;
            press(t.user_code_page, *k, key);
        }
        EXPECT_STREQ(t.user_code_page->value(), c.keys);
        EXPECT_EQ(user_code_page, c.while_typed);
        if (c.enter)
            press(t.user_code_page, FL_Enter, "\r");
        else
            Fl::focus(t.code_page);
        EXPECT_STREQ(t.user_code_page->value(), c.settled);
        EXPECT_EQ(user_code_page, c.while_typed);
        EXPECT_EQ(get_mapset_code_page(), c.while_typed);
    }
}

TEST_F(Options, TheSettingsOfTheTabAreSavedAtExit)
{
    start({"-E"});
    OptionsTab& t = options_tab;
    choose(t.scheme, 1);
    choose(t.colour, 3);
    choose(t.code_page, 2);
    type(t.user_code_page, "1257");
    tick(t.verbose, 0);
    choose(t.compiler, 2);
    t.compiler_path->value("/typed/but/never/confirmed.jar");
    tick(t.advanced, 1);
    main_window->resize(40, 70, 700, 600);
    settle();
    gui_finish();

    Fl_Preferences stored(home.prefs_file(settings_vendor).c_str(), "x", nullptr);
    int v = 0;
    stored.get("Scheme", v, -1);
    EXPECT_EQ(v, 1);
    stored.get("Color", v, -1);
    EXPECT_EQ(v, 3);
    stored.get("MapsetCPType", v, -1);
    EXPECT_EQ(v, 2);
    stored.get("UserCodePage", v, -1);
    EXPECT_EQ(v, 1257);
    stored.get("Verbose", v, -1);
    EXPECT_EQ(v, 0);
    stored.get("Compiler", v, -1);
    EXPECT_EQ(v, 2);
    char path[200];
    stored.get("Mkgmap", path, "", sizeof path);
    EXPECT_STREQ(path, "/typed/but/never/confirmed.jar");
    stored.get("Language", v, -1);
    EXPECT_EQ(v, 1);
    stored.get("Advanced options", v, -1);
    EXPECT_EQ(v, 1);
    const char* const box[] = {"PositionX", "PositionY", "PositionW", "PositionH"};
    const int geometry[] = {40, 70, 700, 600};
    for (int i = 0; i < 4; ++i) {
        stored.get(box[i], v, -1);
        EXPECT_EQ(v, geometry[i]) << box[i];
    }

    // The next start shows them.
    start({"-E"});
    EXPECT_EQ(options_tab.scheme->value(), 1);
    EXPECT_EQ(options_tab.colour->value(), 3);
    EXPECT_EQ(options_tab.compiler->value(), 2);
    EXPECT_STREQ(options_tab.compiler_path->value(), "/typed/but/never/confirmed.jar");
    EXPECT_EQ(options_tab.code_page->value(), 2);
    EXPECT_STREQ(options_tab.user_code_page->value(), "1257");
    EXPECT_EQ(options_tab.verbose->value(), 0);
    EXPECT_EQ(options_tab.advanced->value(), 1);
    EXPECT_TRUE(join_tab.short_header->visible());
    EXPECT_EQ(main_window->x(), 40);
    EXPECT_EQ(main_window->y(), 70);
    EXPECT_EQ(main_window->w(), 700);
    EXPECT_EQ(main_window->h(), 600);
    choose(options_tab.colour, 0);
    choose(options_tab.scheme, 0);
}

// Alt+G pressed on the Options tab.
int press_alt_g()
{
    main_tabs->value(options_group);
    char text[] = "g";
    char* kept_text = Fl::e_text;
    Fl::e_keysym = 'g';
    Fl::e_state = FL_ALT;
    Fl::e_text = text;
    Fl::e_length = 1;
    int handled = main_window->handle(FL_SHORTCUT);
    Fl::e_keysym = 0;
    Fl::e_state = 0;
    Fl::e_text = kept_text;
    Fl::e_length = 0;
    return handled;
}

TEST_F(Options, AltGOpensTheDebugWindowOnlyWithG)
{
    start({"-E"});
    press_alt_g();
    EXPECT_EQ(debug_window, nullptr);
    gui_finish();

    start({"-E", "-G"});
    ASSERT_NE(options_tab.debug, nullptr);
    EXPECT_EQ(options_tab.debug->w(), 0);
    EXPECT_EQ(press_alt_g(), 1);
    ASSERT_NE(debug_window, nullptr);
    EXPECT_TRUE(debug_window_open);
}

TEST_F(Options, TheHelpButtonOpensTheOptionsTopic)
{
    program.write("tarnwick_en.html", "<html><body><a name=\"options\">Options</a></body></html>");
    start({"-E"});
    options_tab.help->do_callback();
    EXPECT_EQ(help_loaded_path, program.file("tarnwick_en.html#options"));
}

}  // namespace
