// The language table, the start language, loading a language file (texts
// whose conversions differ from the English ones stay English), and the
// language template read back exactly.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include "gui/languages.h"

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <set>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Preferences.H>

#include "core/codepage.h"
#include "core/files.h"
#include "core/host.h"
#include "gui/help.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "gui/options_tab.h"
#include "gui/preferences_group.h"
#include "gui/settings.h"
#include "operations/task_bridge.h"
#include "tests/gui/tab_test_support.h"

namespace {

// A language file in the toolkit's text form.
std::string lang_file(const std::string& body)
{
    return "; FLTK preferences file format 1.0\n; vendor: test\n; application: unknown\n\n[.]\n\n" + body;
}

std::string root_entries(const std::string& name, int code, int code_page, const char* program = "Tarnwick")
{
    return std::string("Program:") + program + "\nLanguageName:" + name + "\nProgramCode:" + std::to_string(code) +
           "\nTranslation:Test\nCodePage:" + std::to_string(code_page) + "\n";
}

const LanguageEntry* row_named(const std::string& name)
{
    for (const LanguageEntry& row : language_table)
        if (row.name == name)
            return &row;
    return nullptr;
}

class LanguageTable : public ::testing::Test {
protected:
    TempFolder program;
    int kept_language_id = windows_language_id;

    void SetUp() override { set_program_dir(program.dir()); }
    void TearDown() override
    {
        set_program_dir("");
        windows_language_id = kept_language_id;
        Language = 0;
        LanguageName.clear();
        LanguageFile.clear();
        LanguageCode = -1;
        language_table.clear();
        build_language_table();
    }
};

TEST_F(LanguageTable, WithoutLanguageFilesOnlyTheBuiltInRows)
{
    build_language_table();
    ASSERT_EQ(language_table.size(), 3u);
    EXPECT_EQ(language_table[0].name, "System");
    EXPECT_EQ(language_table[1].name, "English");
    EXPECT_EQ(language_table[1].program_code, 1033);
    EXPECT_EQ(language_table[2].name, "polski");
    EXPECT_EQ(language_table[2].code_page, 1250);
    for (const LanguageEntry& row : language_table) {
        EXPECT_FALSE(row.translation.empty());
        EXPECT_TRUE(row.file_name.empty());
    }
}

TEST_F(LanguageTable, FilesAreListedOnlyWhenTheyCanStand)
{
    program.write("deutsch.lang", lang_file(root_entries("Deutsch", 1031, 1252)));
    program.write("francais.lang", lang_file(root_entries("Fran\xE7" "ais   ", 1036, 1252)));
    program.write("english.lang", lang_file(root_entries("English", 2057, 1252)));  // name taken
    program.write("system.lang", lang_file(root_entries("System", 1040, 1252)));   // row 0 not compared
    program.write("other.lang", lang_file(root_entries("Other", 1041, 1252, "SomethingElse")));
    program.write("upper.lang", lang_file(root_entries("Upper", 1042, 1252, "TARNWICK")));
    program.write("abcdefghijklmno.lang", lang_file(root_entries("Twenty", 1043, 1252)));
    program.write("abcdefghijklmn.lang", lang_file(root_entries("Nineteen", 1044, 1252)));
    program.write("negative.lang", lang_file(root_entries("Negative", -5, 1252)));
    program.write("huge.lang", lang_file("Program:Tarnwick\nLanguageName:Huge\nProgramCode:99999999999\n"
                                         "Translation:x\n"));
    program.write("nocode.lang", lang_file("Program:Tarnwick\nLanguageName:NoCode\nTranslation:x\n"));
    program.write("utf8.lang", lang_file(root_entries("\xC4\x8C" "e\xC5\xA1tina", 1029, 65001)));
    program.write("badcp.lang", lang_file(root_entries("BadCodePage", 1050, -1250)));
    program.write("notrans.lang", lang_file("Program:Tarnwick\nLanguageName:NoTrans\nProgramCode:1\n"
                                            "Translation:\n"));
    program.write("deutsch.txt", lang_file(root_entries("Text", 1, 1252)));
    mkdir(program.file("folder.lang").c_str(), 0700);
    std::string before = program.read("francais.lang");

    build_language_table();
    ASSERT_NE(row_named("Deutsch"), nullptr);
    EXPECT_EQ(row_named("Deutsch")->file_name, "deutsch.lang");
    EXPECT_EQ(row_named("Deutsch")->default_code_page, 1252);  // DefCodePage missing: CodePage
    ASSERT_NE(row_named("Fran\xC3\xA7" "ais"), nullptr);  // converted, trailing blanks gone
    EXPECT_EQ(row_named("English")->file_name, "");       // only the built-in one
    ASSERT_NE(row_named("System"), nullptr);
    EXPECT_NE(row_named("Upper"), nullptr);
    EXPECT_NE(row_named("Nineteen"), nullptr);
    EXPECT_NE(row_named("\xC4\x8C" "e\xC5\xA1tina"), nullptr);  // UTF-8 names stay as they are
    EXPECT_EQ(row_named("NoTrans"), nullptr);
    for (const char* refused : {"Other", "Twenty", "Negative", "Huge", "NoCode", "BadCodePage", "Text"})
        EXPECT_EQ(row_named(refused), nullptr) << refused;
    EXPECT_EQ(language_table.size(), 3u + 6u);
    // Reading a language file never writes it.
    EXPECT_EQ(program.read("francais.lang"), before);
}

TEST_F(LanguageTable, RowZeroMirrorsTheUsersLanguage)
{
    program.write("deutsch.lang", lang_file(root_entries("Deutsch", 1031, 1252)));
    build_language_table();
    windows_language_id = 1045;
    pick_system_language();
    EXPECT_EQ(language_table[0].name, "System");
    EXPECT_EQ(language_table[0].program_code, 1045);
    EXPECT_EQ(language_table[0].code_page, 1250);
    EXPECT_EQ(language_table[0].default_code_page, 1250);
    windows_language_id = 2057;  // English (United Kingdom): no row of its own
    pick_system_language();
    EXPECT_EQ(language_table[0].program_code, 1033);
    windows_language_id = 1031;
    pick_system_language();
    EXPECT_EQ(language_table[0].file_name, "deutsch.lang");
}

TEST_F(LanguageTable, TheStartLanguageComesFromTheSavedRow)
{
    program.write("deutsch.lang", lang_file(root_entries("Deutsch", 1031, 1252)));
    windows_language_id = 1033;
    struct Case {
        int language;
        const char *file, *name;
        int code;
        int expected_row;  // -1: the Deutsch row
    };
    const Case cases[] = {
        {0, "deutsch.lang", "Deutsch", 1031, 0},
        {3, "DEUTSCH.LANG", "deutsch", 1045, -1},
        {3, "deutsch.lang", "", 1045, 2},       // a file without a name: the code only
        {3, "deutsch.lang", "", 0, 0},
        {2, "", "POLSKI", 0, 2},
        {3, "gone.lang", "Deutsch", 0, -1},     // the file is gone, the name still fits
        {1, "", "Klingon", 1033, 1},
        {1, "", "Klingon", 0, 0},
    };
    for (const Case& c : cases) {
        Language = c.language;
        LanguageFile = c.file;
        LanguageName = c.name;
        LanguageCode = c.code;
        choose_start_language();
        int expected = c.expected_row;
        if (expected < 0)
            expected = static_cast<int>(row_named("Deutsch") - language_table.data());
        EXPECT_EQ(start_language_row, expected) << c.file << " " << c.name << " " << c.code;
    }
    start_language_row = 1;
}

TEST(MenuItemText, MenuSyntaxLosesItsMeaning)
{
    EXPECT_EQ(menu_item_text("plain"), "plain");
    EXPECT_EQ(menu_item_text("A/B"), "A\\/B");
    EXPECT_EQ(menu_item_text("a\\b"), "a\\\\b");
    EXPECT_EQ(menu_item_text("Tom & Jerry"), "Tom && Jerry");
    EXPECT_EQ(menu_item_text("_lead_"), "\\_lead_");
}

// The toolkit's file form, tidied, must give back every text exactly.
TEST(LanguageTemplate, TidiedFileReadsBackTheSameTexts)
{
    TempFolder folder;
    std::string path = folder.file("template.lang");
    std::string long_text(130, 'x');
    std::string very_long;
    for (int i = 0; i < 400; ++i)
        very_long += "ab\\cd\xE9";
    std::vector<std::pair<std::string, std::string>> texts = {
        {"Long", long_text},
        {"Raw", "caf\xE9 \xB3\xF3\xB9"},
        {"Backslash", "C:\\351\\x\\\\"},  // a backslash and digits stays text
        {"LineEnds", "\nline\r\n\ttab\x01\x7F"},
        {"EndsInBackslash", "end\\"},
        {"VeryLong", very_long},
    };
    // Escapes that the toolkit cuts at its line breaks (after 60, then 80
    // bytes): each offset puts a '\' pair or an octal escape across one.
    for (int offset = 50; offset < 70; ++offset) {
        std::string t(static_cast<size_t>(offset), 'y');
        t += "\\351\xE9\\\\\xE9";
        texts.push_back({"Cut" + std::to_string(offset), t});
    }
    {
        Fl_Preferences file(path.c_str(), "test", nullptr);
        Fl_Preferences group(file, "GUI_Test");
        for (auto& [key, text] : texts)
            group.set(key.c_str(), text.c_str());
    }
    ASSERT_EQ(tidy_language_template(path.c_str()), 1);
    std::string written = folder.read("template.lang");
    EXPECT_NE(written.find("Long:" + long_text + "\n"), std::string::npos);  // one line
    EXPECT_NE(written.find("Raw:caf\xE9 \xB3\xF3\xB9\n"), std::string::npos);  // raw bytes
    EXPECT_EQ(written.find("\\351\xE9"), written.find("\\\\351\xE9") + 1);
    for (size_t start = 0, end; (end = written.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LT(end - start, 1020u);

    Fl_Preferences file(path.c_str(), "test", nullptr);
    Fl_Preferences group(file, "GUI_Test");
    for (auto& [key, text] : texts) {
        char* back = nullptr;
        group.get(key.c_str(), back, "<missing>");
        EXPECT_EQ(std::string(back), text) << key;
        free(back);
    }
}

TEST(LanguageTemplate, AFileThatCannotBeReadStaysAsItIs)
{
    EXPECT_EQ(tidy_language_template("/nonexistent/x.lang"), 0);
    TempFolder folder;
    folder.write("empty.lang", "");
    EXPECT_EQ(tidy_language_template(folder.file("empty.lang").c_str()), 0);
}

using Languages = OptionsGuiTest;

TEST_F(Languages, ALanguageFileRelabelsTheWindowButKeepsEnglishWhereConversionsDiffer)
{
    program.write("test.lang",
                  lang_file(root_entries("Testisch", 1031, 65001) +
                            "\n[./GUI_Options]\n\nSavTra:\xC3\x9C" "bersetzung speichern\n"
                            "OvrFil:Datei %i?\n"
                            "\n[./GUI_Help]\n\nGmaHtm:testisch.html\n"
                            "\n[./GUI_Log]\n\nSSNoFo:[%.30s%s] nicht gefunden %n\n"
                            "\n[./GUI_Main]\n\nEndTxt:\\nEnde %s\\n\nProSta:Start.\\n\n"
                            "\n[./twk_all]\n\nfn_OpErFS:Datei %i kaputt\\n\nfn_OuOfMe:Kein Speicher.\\n\n"));
    std::string before = program.read("test.lang");
    start({"-E"});
    ASSERT_EQ(language_table.size(), 4u);
    ASSERT_EQ(options_tab.language->size(), 5);  // four items and the end
    options_tab.language->value(3);
    options_tab.language->do_callback();
    EXPECT_EQ(start_language_row, 3);
    // The load runs after the callback has returned.
    EXPECT_STREQ(options_tab.template_button->label(), "Save translation");
    settle();
    EXPECT_STREQ(options_tab.template_button->label(), "\xC3\x9C" "bersetzung speichern");
    EXPECT_STREQ(OptionsOvrFil.text(), "This file exists already:\n%s\nOverwrite it?");
    EXPECT_STREQ(help_file_name.text(), "testisch.html");
    EXPECT_EQ(not_found_text("abc"), "[abc] not found.");
    EXPECT_STREQ(fn_OpErFS.text(), "Open error, file %s.\n");
    EXPECT_STREQ(fn_OuOfMe.text(), "Kein Speicher.\n");
    EXPECT_STREQ(EndTxt.text(), "\nEnd.\n");
    EXPECT_STREQ(ProSta.text(), "Start.\n");
    EXPECT_EQ(options_tab.language->value(), 3);
    EXPECT_EQ(english_texts, 1);
    EXPECT_EQ(language_default_code_page, 65001);
    EXPECT_EQ(program.read("test.lang"), before);

    // Back to the built-in Polish texts.
    options_tab.language->value(2);
    options_tab.language->do_callback();
    settle();
    EXPECT_EQ(english_texts, 0);
    EXPECT_STREQ(options_tab.template_button->label(), "Zapisz tłumaczenie");
    EXPECT_STREQ(files_group->label(), "   Pliki   ");
    EXPECT_STREQ(help_file_name.text(), "tarnwick_pl.html");
    EXPECT_EQ(language_default_code_page, 1250);
}

TEST_F(Languages, LanguageNamesAreItemsNotMenuSyntax)
{
    program.write("odd.lang", lang_file(root_entries("Left/Right & Co", 1, 65001)));
    program.write("under.lang", lang_file(root_entries("_Under", 2, 65001)));
    start({"-E"});
    ASSERT_EQ(language_table.size(), 5u);
    ASSERT_EQ(options_tab.language->size(), 6);
    std::vector<std::string> labels;
    for (int i = 0; i < 5; ++i)
        labels.push_back(options_tab.language->menu()[i].label());
    EXPECT_EQ(labels[0], "System ");
    EXPECT_EQ(labels[3], "Left/Right && Co");
    EXPECT_EQ(labels[4], "_Under");
    EXPECT_FALSE(options_tab.language->menu()[4].flags & FL_SUBMENU);
    EXPECT_FALSE(options_tab.language->menu()[3].flags & FL_MENU_DIVIDER);
}

TEST_F(Languages, ATemplateReadBackGivesExactlyTheTextsWritten)
{
    // A UTF-8 language whose texts hold what the toolkit escapes.
    program.write("tricky.lang",
                  lang_file(root_entries("Tricky", 7, 65001) +
                            "\n[./GUI_Options]\n\nSavTra:C:\\\\351 \xC3\xA9 \\\\\\\\ end\\\\\n"
                            "MCWEOC:" + std::string(200, 'w') + "\n"));
    start({"-E"});
    start_language_row = 3;
    load_language(3);
    std::string tricky = options_tab.template_button->label();
    EXPECT_EQ(tricky, "C:\\351 \xC3\xA9 \\\\ end\\");

    std::string first = program.file("first.txt"), second = program.file("second.txt");
    ASSERT_EQ(write_language_template_to(first.c_str()), 1);
    std::string written = program.read("first.txt");
    EXPECT_NE(written.find("SavTra:C:\\\\351 \xC3\xA9 \\\\\\\\ end\\\\\n"), std::string::npos);
    EXPECT_NE(written.find("MCWEOC:" + std::string(200, 'w') + "\n"), std::string::npos);
    EXPECT_NE(written.find("LanguageName:Tricky\n"), std::string::npos);
    EXPECT_NE(written.find("CodePage:65001\n"), std::string::npos);

    // Every text of the template, read back as a language, writes the same
    // template again.
    {
        Fl_Preferences file(first.c_str(), settings_vendor, nullptr);
        PreferencesGroup root(file, true);
        load_gui_messages(&root, 0, 0);
        load_core_messages(&root, 0, 0);
    }
    EXPECT_EQ(std::string(options_tab.template_button->label()), tricky);
    ASSERT_EQ(write_language_template_to(second.c_str()), 1);
    EXPECT_EQ(program.read("second.txt"), written);
}

TEST_F(Languages, APolishTemplateHoldsItsTextsInCodePage1250)
{
    start({"-P"});
    std::string path = program.file("polski.txt");
    ASSERT_EQ(write_language_template_to(path.c_str()), 1);
    std::string written = program.read("polski.txt");
    EXPECT_NE(written.find("CodePage:1250\n"), std::string::npos);
    EXPECT_NE(written.find("SavTra:Zapisz t\xB3umaczenie\n"), std::string::npos);  // 'ł' raw
    EXPECT_EQ(written.find("\\263"), std::string::npos);
    EXPECT_NE(written.find("[./twk_all]"), std::string::npos);
    EXPECT_NE(written.find("[./GUI_Help]"), std::string::npos);
    EXPECT_NE(written.find("GmaHtm:tarnwick_pl.html\n"), std::string::npos);

    Fl_Preferences file(path.c_str(), settings_vendor, nullptr);
    PreferencesGroup root(file, true);
    english_texts = 1;
    load_gui_messages(nullptr, 0, 0);
    EXPECT_STREQ(files_group->label(), "   Files   ");
    load_gui_messages(&root, 1250, 0);
    EXPECT_STREQ(files_group->label(), "   Pliki   ");
    EXPECT_STREQ(UseBre.text(), "\nPrzerwane przez użytkownika!\n");
    EXPECT_STREQ(options_tab.template_button->label(), "Zapisz tłumaczenie");
}

TEST_F(Languages, SavingATemplateOverAFileAsksFirst)
{
    start({"-E"});
    program.write("old.lang", "old content");
    std::string path = program.file("old.lang");
    option_dialogs.choices.push_back({{path}, program.dir()});
    option_dialogs.overwrite_answers.push_back(false);
    options_tab.template_button->do_callback();
    ASSERT_EQ(option_dialogs.questions.size(), 1u);
    EXPECT_EQ(option_dialogs.questions[0], "This file exists already:\n" + path + "\nOverwrite it?");
    EXPECT_EQ(program.read("old.lang"), "old content");
    ASSERT_EQ(option_dialogs.requests.size(), 1u);
    EXPECT_EQ(option_dialogs.request_titles[0], "Language file");
    EXPECT_FALSE(option_dialogs.requests[0].preview_switch);

    option_dialogs.choices.push_back({{path}, program.dir()});
    option_dialogs.overwrite_answers.push_back(true);
    options_tab.template_button->do_callback();
    std::string written = program.read("old.lang");
    EXPECT_EQ(written.find("old content"), std::string::npos);
    EXPECT_NE(written.find("Program:Tarnwick\n"), std::string::npos);

    // A new file is written without a question; a cancelled chooser writes nothing.
    option_dialogs.choices.push_back({{program.file("new.lang")}, program.dir()});
    options_tab.template_button->do_callback();
    EXPECT_EQ(option_dialogs.questions.size(), 2u);
    EXPECT_TRUE(check_file_exists(program.file("new.lang").c_str()));
    options_tab.template_button->do_callback();
    EXPECT_EQ(option_dialogs.questions.size(), 2u);
}

TEST_F(Languages, ThePolishQuestionNamesTheFileInItsOwnWords)
{
    start({"-P"});
    program.write("stary.lang", "stary");
    std::string path = program.file("stary.lang");
    option_dialogs.choices.push_back({{path}, program.dir()});
    options_tab.template_button->do_callback();
    EXPECT_EQ(option_dialogs.request_titles, (std::vector<std::string>{"Plik języka"}));
    EXPECT_EQ(option_dialogs.questions,
              (std::vector<std::string>{"Ten plik już istnieje:\n" + path + "\nZastąpić go?"}));
    EXPECT_EQ(program.read("stary.lang"), "stary");  // no answer is No
}

// The locale variables for as long as it lives: only LANG set.
class LangOverride {
public:
    explicit LangOverride(const char* lang)
    {
        for (const char* name : names_) {
            const char* value = getenv(name);
            kept_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
        setenv("LANG", lang, 1);
    }
    ~LangOverride()
    {
        for (size_t i = 0; i < std::size(names_); ++i)
            if (kept_[i])
                setenv(names_[i], kept_[i]->c_str(), 1);
            else
                unsetenv(names_[i]);
    }

private:
    static constexpr const char* names_[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> kept_;
};

TEST_F(Languages, WithoutSettingsTheUsersLocaleChoosesTheLanguage)
{
    {
        LangOverride lang("pl_PL.UTF-8");
        start({});
        EXPECT_EQ(start_language_row, 0);
        EXPECT_EQ(english_texts, 0);
        EXPECT_STREQ(files_group->label(), "   Pliki   ");
        EXPECT_STREQ(options_tab.template_button->label(), "Zapisz tłumaczenie");
        EXPECT_EQ(language_table[0].program_code, 1045);
        gui_finish();
    }
    // What the first start wrote names the System row: the locale decides again.
    {
        LangOverride lang("en_GB");
        start({});
        EXPECT_EQ(start_language_row, 0);
        EXPECT_EQ(english_texts, 1);
        EXPECT_STREQ(files_group->label(), "   Files   ");
        EXPECT_STREQ(options_tab.template_button->label(), "Save translation");
        EXPECT_EQ(language_table[0].program_code, 1033);
    }
}

TEST_F(Languages, AVanishedLanguageFileGivesTheEnglishTexts)
{
    LangOverride lang("en_GB");
    program.write("test.lang", lang_file(root_entries("Testisch", 1031, 65001) +
                                         "\n[./GUI_Options]\n\nSavTra:Speichern\n"
                                         "\n[./GUI_Main]\n\nFilesT:   Dateien   \n"));
    start({"-P"});
    ASSERT_EQ(language_table.size(), 4u);
    load_language(3);
    ASSERT_STREQ(options_tab.template_button->label(), "Speichern");

    // Gone while the program runs: the row is still listed, its texts are not there.
    load_language(2);
    ASSERT_STREQ(files_group->label(), "   Pliki   ");
    ASSERT_EQ(remove(program.file("test.lang").c_str()), 0);
    options_tab.language->value(3);
    options_tab.language->do_callback();
    settle();
    EXPECT_STREQ(options_tab.template_button->label(), "Save translation");
    EXPECT_STREQ(files_group->label(), "   Files   ");
    EXPECT_STREQ(UseBre.text(), "\nUser break!\n");

    // Gone between two runs: the saved row is not found at all.
    program.write("test.lang", lang_file(root_entries("Testisch", 1031, 65001)));
    language_table.clear();
    build_language_table();
    options_tab.language->value(3);
    options_tab.language->do_callback();
    settle();
    gui_finish();
    ASSERT_EQ(remove(program.file("test.lang").c_str()), 0);
    start({});
    EXPECT_EQ(language_table.size(), 3u);
    EXPECT_EQ(start_language_row, 0);
    EXPECT_EQ(english_texts, 1);
    EXPECT_STREQ(files_group->label(), "   Files   ");
}

// Every group of a language file kept in one map, "group/key" -> text.
class TreeGroup : public LanguageGroup {
public:
    TreeGroup(std::map<std::string, std::string>& all, std::string prefix) : all_(all), prefix_(std::move(prefix)) {}
    bool get(const char* key, std::string& value) override
    {
        auto found = all_.find(prefix_ + key);
        if (found == all_.end())
            return false;
        value = found->second;
        return true;
    }
    bool set(const char* key, const std::string& value) override
    {
        all_[prefix_ + key] = value;
        return true;
    }
    std::unique_ptr<LanguageGroup> subgroup(const char* name) override
    {
        return std::make_unique<TreeGroup>(all_, prefix_ + name + "/");
    }

private:
    std::map<std::string, std::string>& all_;
    std::string prefix_;
};

// Every text of the window's tables in the language in force.
std::map<std::string, std::string> window_texts()
{
    std::map<std::string, std::string> texts;
    TreeGroup root(texts, "");
    load_gui_messages(&root, 0, 1);
    return texts;
}

// Every label under a widget, menu items too, with where it was found.
void collect_labels(Fl_Widget* w, const std::string& where, std::vector<std::pair<std::string, std::string>>& out)
{
    std::string here = where + "/" + (w->label() ? w->label() : "");
    if (w->label())
        out.push_back({w->label(), here});
    if (auto* menu = dynamic_cast<Fl_Menu_*>(w))
        for (int i = 0; menu->menu() && i < menu->size() - 1; ++i)
            if (menu->menu()[i].label())
                out.push_back({menu->menu()[i].label(), here + " item " + std::to_string(i)});
    if (auto* group = w->as_group())
        for (int i = 0; i < group->children(); ++i)
            collect_labels(group->child(i), here, out);
}

TEST_F(Languages, StartedInPolishNoLabelKeepsAnEnglishTextThatHasAPolishOne)
{
    start({"-P", "-X", "-G"});
    options_tab.advanced->value(1);
    options_tab.advanced->do_callback();
    options_tab.experimental->value(1);
    options_tab.experimental->do_callback();
    ASSERT_TRUE(options_tab.template_button->visible());

    // The debug window is left out: its texts are fixed English ones.
    std::vector<std::pair<std::string, std::string>> labels;
    collect_labels(main_window, "", labels);
    ASSERT_GT(labels.size(), 150u);
    const std::map<std::string, std::string> polish = window_texts();
    english_texts = 1;
    load_gui_messages(nullptr, 0, 0);
    const std::map<std::string, std::string> english = window_texts();
    english_texts = 0;
    load_gui_messages(nullptr, 0, 0);
    ASSERT_EQ(english.size(), polish.size());

    // An English text whose Polish twin differs, unless another key has the
    // same text in both languages ("?", "FID").
    std::set<std::string> untranslated, same;
    for (const auto& [key, text] : english)
        (polish.at(key) == text ? same : untranslated).insert(text);
    size_t checked = 0;
    for (const auto& [label, where] : labels) {
        if (label.empty() || same.count(label))
            continue;
        ++checked;
        EXPECT_EQ(untranslated.count(label), 0u) << "English label at " << where;
    }
    EXPECT_GT(checked, 100u);
}

// A template written in Polish and read back as a language file gives
// every text as it was, a long one and one holding "\201" among them.
TEST_F(Languages, APolishTemplateReadBackGivesEveryTextUnchanged)
{
    start({"-P", "-X"});
    const std::string long_text = "Mapy " + std::string(120, 'x') + " żółw";  // 130 characters
    ASSERT_EQ(fl_utf_nb_char(reinterpret_cast<const unsigned char*>(long_text.c_str()),
                             static_cast<int>(long_text.size())),
              130);
    const std::string escaped = "Zapisz \\201 tłumaczenie\\";
    {
        MemoryGroup options;
        load_messages_gui_options(&options, 0, 1);
        options.values["MCWEOC"] = long_text;
        options.values["SavTra"] = escaped;
        load_messages_gui_options(&options, 0, 0);
    }
    ASSERT_EQ(options_tab.template_button->label(), escaped);
    const std::map<std::string, std::string> before = window_texts();

    const std::string path = program.file("polski-szablon.lang");
    ASSERT_EQ(write_language_template_to(path.c_str()), 1);
    const std::string written = program.read("polski-szablon.lang");
    EXPECT_NE(written.find("CodePage:1250\n"), std::string::npos);

    // English first, so a text the file does not give back shows.
    english_texts = 1;
    load_gui_messages(nullptr, 0, 0);
    load_core_messages(nullptr, 0, 0);
    ASSERT_STREQ(files_group->label(), "   Files   ");
    {
        Fl_Preferences file(path.c_str(), settings_vendor, nullptr);
        PreferencesGroup root(file, true);
        load_gui_messages(&root, 1250, 0);
        load_core_messages(&root, 1250, 0);
    }
    const std::map<std::string, std::string> after = window_texts();
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [key, text] : before)
        EXPECT_EQ(after.count(key) ? after.at(key) : "<missing>", text) << key;
    EXPECT_STREQ(files_group->label(), "   Pliki   ");
    EXPECT_EQ(options_tab.template_button->label(), escaped);
    EXPECT_STREQ(UseBre.text(), "\nPrzerwane przez użytkownika!\n");

    // The long text is the one the experimental warning shows.
    options_tab.advanced->value(1);
    options_tab.advanced->do_callback();
    experimental_allowed = 0;
    options_tab.experimental->value(1);
    options_tab.experimental->do_callback();
    ASSERT_EQ(option_dialogs.messages.size(), 1u);
    EXPECT_EQ(option_dialogs.messages[0], long_text);

    // And the template the read-back texts write is the same file.
    const std::string again = program.file("again.lang");
    ASSERT_EQ(write_language_template_to(again.c_str()), 1);
    EXPECT_EQ(program.read("again.lang"), written);
}

}  // namespace
