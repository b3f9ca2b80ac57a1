// The help: the manual of the language in force at a tab's topic, the
// English manual standing in for a missing one, one dialog reused, and
// the manuals that ship with the program.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include "gui/help.h"

#include <iterator>

#include <FL/Fl_Help_Dialog.H>

#include <FL/Fl_Button.H>

#include "core/host.h"
#include "gui/change_tab.h"
#include "gui/files_tab.h"
#include "gui/join_tab.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "gui/options_tab.h"
#include "gui/preferences_group.h"
#include "gui/split_tab.h"
#include "gui/write_tab.h"

namespace {

std::string page(const char* marker)
{
    std::string html = "<html><body><h1>";
    html += marker;
    html += "</h1>";
    for (const char* topic : {"files", "options", "join", "split", "write", "change", "log"})
        html += std::string("<h2><a name=\"") + topic + "\">" + topic + "</a></h2><p>text</p>";
    return html + "</body></html>";
}

class Help : public OptionsGuiTest {
protected:
    void TearDown() override
    {
        hide_help();
        OptionsGuiTest::TearDown();
    }
};

TEST_F(Help, WithoutTheTranslatedManualTheEnglishOneOpensAtTheTopic)
{
    program.write("tarnwick_en.html", page("English manual"));
    start({"-P"});
    EXPECT_STREQ(help_file_name.text(), "tarnwick_pl.html");
    open_help_topic("split");
    EXPECT_EQ(help_loaded_path, program.file("tarnwick_en.html#split"));
    ASSERT_NE(help_dialog, nullptr);
    EXPECT_TRUE(help_dialog->visible());
    EXPECT_NE(std::string(help_dialog->value()).find("English manual"), std::string::npos);

    program.write("tarnwick_pl.html", page("Polski podręcznik"));
    open_help_topic("split");
    EXPECT_EQ(help_loaded_path, program.file("tarnwick_pl.html#split"));
}

TEST_F(Help, TwoTopicsInTurnReuseTheOneDialog)
{
    program.write("tarnwick_en.html", page("English manual"));
    start({"-E"});
    open_help_topic("files");
    Fl_Help_Dialog* first = help_dialog;
    open_help_topic("log");
    EXPECT_EQ(help_dialog, first);
    EXPECT_EQ(help_loaded_path, program.file("tarnwick_en.html#log"));
    hide_help();
    EXPECT_FALSE(help_dialog->visible());
}

// Every tab's "?" at the anchor of that tab, as the shipped manual has it,
// all in the one dialog.
TEST_F(Help, EveryTabsButtonOpensItsOwnAnchorInTheOneDialog)
{
    std::ifstream shipped(std::string(TWK_HELP_PAGES) + "/tarnwick_en.html", std::ios::binary);
    ASSERT_TRUE(shipped);
    const std::string html((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
    program.write("tarnwick_en.html", html);
    start({"-E"});
    const struct {
        Fl_Button* button;
        const char* topic;
    } buttons[] = {
        {files_tab.help, "files"},   {options_tab.help, "options"}, {join_tab.buttons.help, "join"},
        {split_tab.buttons.help, "split"},   {write_tab.buttons.help, "write"},     {change_tab.buttons.help, "change"},
        {log_help_button, "log"},
    };
    Fl_Help_Dialog* first = nullptr;
    for (const auto& b : buttons) {
        ASSERT_NE(b.button, nullptr) << b.topic;
        EXPECT_STREQ(b.button->label(), "?") << b.topic;
        ASSERT_NE(html.find(std::string("<a name=\"") + b.topic + "\">"), std::string::npos) << b.topic;
        help_loaded_path.clear();
        b.button->do_callback();
        EXPECT_EQ(help_loaded_path, program.file(std::string("tarnwick_en.html#") + b.topic)) << b.topic;
        ASSERT_NE(help_dialog, nullptr) << b.topic;
        EXPECT_TRUE(help_dialog->visible()) << b.topic;
        if (!first)
            first = help_dialog;
        EXPECT_EQ(help_dialog, first) << b.topic;
    }
}

TEST_F(Help, ALanguageFileMayNameAManualOfItsOwn)
{
    program.write("tarnwick_en.html", page("English manual"));
    program.write("handbuch.html", page("Handbuch"));
    start({"-E"});
    TempFolder folder;
    std::string path = folder.file("de.lang");
    {
        Fl_Preferences file(path.c_str(), "test", nullptr);
        PreferencesGroup root(file, false);
        root.subgroup("GUI_Help")->set("GmaHtm", "handbuch.html");
    }
    {
        Fl_Preferences file(path.c_str(), "test", nullptr);
        PreferencesGroup root(file, true);
        load_messages_gui_help(root.subgroup("GUI_Help").get(), 0, 0);
    }
    open_help_topic("join");
    EXPECT_EQ(help_loaded_path, program.file("handbuch.html#join"));
    EXPECT_NE(std::string(help_dialog->value()).find("Handbuch"), std::string::npos);

    // Written back into a template as it is in force.
    TempFolder out;
    std::string written = out.file("t.lang");
    {
        Fl_Preferences file(written.c_str(), "test", nullptr);
        PreferencesGroup root(file, false);
        load_messages_gui_help(root.subgroup("GUI_Help").get(), 0, 1);
    }
    EXPECT_NE(out.read("t.lang").find("GmaHtm:handbuch.html"), std::string::npos);
}

TEST_F(Help, AMissingManualAndNoProgramDirectory)
{
    start({"-E"});
    // Nothing there at all: the English path is opened without a test.
    EXPECT_EQ(open_help_file("tarnwick_pl.html", "log", 1), 0);
    open_help_topic("log");
    EXPECT_EQ(help_loaded_path, program.file("tarnwick_en.html#log"));
    // No program directory: the bare name, relative to the working directory.
    set_program_dir("");
    open_help_topic("write");
    EXPECT_EQ(help_loaded_path, "tarnwick_en.html#write");
    open_help_file("tarnwick_en.html", nullptr, 0);
    EXPECT_EQ(help_loaded_path, "tarnwick_en.html");
}

// The shipped manuals: one anchor per tab in both, each tab's section with
// an example task, the Polish one in UTF-8 with its diacritics.
TEST(HelpPages, BothManualsHaveEveryTopicWithAnExample)
{
    struct Manual {
        const char* name;
        const char* example;
    };
    for (Manual m : {Manual{"tarnwick_en.html", "<b>Example:</b>"}, Manual{"tarnwick_pl.html", "<b>Przykład:</b>"}}) {
        std::string path = std::string(TWK_HELP_PAGES) + "/" + m.name;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const char* topics[] = {"files", "options", "join", "split", "write", "change", "log"};
        for (size_t i = 0; i < std::size(topics); ++i) {
            std::string anchor = std::string("<a name=\"") + topics[i] + "\">";
            size_t at = html.find(anchor);
            ASSERT_NE(at, std::string::npos) << m.name << " " << topics[i];
            EXPECT_EQ(html.find(anchor, at + 1), std::string::npos) << m.name << " " << topics[i];
            size_t end = i + 1 < std::size(topics)
                             ? html.find(std::string("<a name=\"") + topics[i + 1] + "\">")
                             : html.size();
            EXPECT_NE(html.substr(at, end - at).find(m.example), std::string::npos) << m.name << " " << topics[i];
        }
    }
}

// A split for MapSource of maps that name no family is refused: the
// manual's example of the split says how to give one.
TEST(HelpPages, TheSplitExampleNamesTheFamilyId)
{
    for (const char* name : {"tarnwick_en.html", "tarnwick_pl.html"}) {
        std::ifstream in(std::string(TWK_HELP_PAGES) + "/" + name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t split = html.find("<a name=\"split\">");
        size_t example = html.find("<b>", html.find("</table>", split));
        size_t end = html.find("</p>", example);
        ASSERT_LT(end, html.find("<a name=\"write\">")) << name;
        EXPECT_NE(html.substr(example, end - example).find("<i>FID</i>"), std::string::npos) << name;
    }
}

}  // namespace
