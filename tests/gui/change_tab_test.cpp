// The Change tab: the collector's ranges and messages, the row toggles,
// the rows that Advanced hides and resets, the run buttons' hand-over to
// the task bridge, the texts of GUI_Change, and one real run compared with
// `twk -w`.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/change_tab.h"

#include <functional>
#include <initializer_list>
#include <sstream>

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>

#include "core/codepage.h"
#include "core/host.h"
#include "gui/files_tab.h"
#include "gui/help.h"
#include "gui/languages.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "tests/gui/tab_test_support.h"

namespace {

class ChangeTabTest : public TabTest {
protected:
    void SetUp() override
    {
        TabTest::SetUp();
        if (IsSkipped())
            return;
        task_calls.chang = record_bridge_call;
        start({"-E"});
        advanced(1);
    }
    static void advanced(int on)
    {
        Advanced = on;
        change_advanced_hook();
    }
    int collect(TaskOptions& record, std::string& messages)
    {
        return collect_logged(collect_change_options, record, messages);
    }
};

TEST_F(ChangeTabTest, RangesOfEveryRow)
{
    struct Case {
        const char* what;
        std::function<void(const ChangeTab&)> fill;
        const char* logged;  // empty: accepted
        std::function<void(const TaskOptions&)> check;
    };
    const Case cases[] = {
        {"nothing on still runs", [](auto&) {}, "",
         [](auto& o) { EXPECT_EQ(o.map_id_mode + o.label_case + o.id_flags + o.replace_typ, 0); }},
        {"filter with both empty", [](auto& t) { check(t.only_for_fid); }, "",
         [](auto& o) { EXPECT_EQ(o.id_flags, 0); }},
        {"FID 0", [](auto& t) { check(t.only_for_fid), t.fid->value("0"); }, "",
         [](auto& o) { EXPECT_EQ(o.id_flags, 1); }},
        {"FID 70000, PID 5: the PID is kept",
         [](auto& t) { check(t.only_for_fid), t.fid->value("70000"), t.pid->value("5"); },
         "Wrong FID value 70000, FID should be in range 0 - 65535.\n",
         [](auto& o) { EXPECT_EQ(o.id_flags, 2);
             EXPECT_EQ(o.product_id, 5u); }},
        {"empty map ID reads as 0", [](auto& t) { check(t.change_map_id); },
         "Wrong map ID value 0, should be in range 1 - 99999999.\n", nullptr},
        {"map ID 0", [](auto& t) { check(t.change_map_id), t.id->value("0"); },
         "Wrong map ID value 0, should be in range 1 - 99999999.\n", nullptr},
        {"map ID 1", [](auto& t) { check(t.change_map_id), t.id->value("1"); }, "",
         [](auto& o) { EXPECT_EQ(o.map_id, 1u); }},
        {"map ID 100000000", [](auto& t) { check(t.change_map_id), t.id->value("100000000"); },
         "Wrong map ID value 100000000, should be in range 1 - 99999999.\n", nullptr},
        {"a map ID past 2^32", [](auto& t) { check(t.change_map_id), t.id->value("4294967297"); },
         "Wrong map ID value 2147483647, should be in range 1 - 99999999.\n", nullptr},
        {"substract 99999999", [](auto& t) { check(t.change_map_id), t.id_mode->value(2), t.id->value("99999999"); },
         "", [](auto& o) { EXPECT_EQ(o.map_id_mode, 255);
             EXPECT_EQ(o.map_id, 99999999u); }},
        {"map name out of the code page",
         [](auto& t) { check(t.map_name), t.map_name_text->value("\xE5\x9C\xB0\xE5\x9B\xBE"); },
         "Map name characters don't match code page set in Options.\n", nullptr},
        {"no accents", [](auto& t) { check(t.modify_labels), t.label_mode->value(3); }, "",
         [](auto& o) { EXPECT_EQ(o.label_case, 4); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_change_tab();
        c.fill(change_tab);
        TaskOptions record;
        std::string messages;
        EXPECT_EQ(collect(record, messages), *c.logged ? 0 : 1);
        EXPECT_EQ(messages, c.logged);
        if (c.check)
            c.check(record);
    }
}

TEST_F(ChangeTabTest, TogglesAndAdvancedOffResetTheRows)
{
    const ChangeTab& t = change_tab;
    EXPECT_EQ(t.id_mode->value(), -1);
    check(t.change_map_id);  // an empty ID would be refused
    EXPECT_TRUE(t.id->active());
    EXPECT_STREQ(t.id_mode->text(), " absolute  ");
    check(t.modify_labels);
    EXPECT_STREQ(t.label_mode->text(), " upper case  ");
    check(t.map_name);
    t.map_name_text->value("Name");
    check(t.only_for_fid);
    t.fid->value("12");

    advanced(0);
    for (Fl_Widget* w : std::initializer_list<Fl_Widget*>{t.map_name, t.map_name_text, t.change_map_id,
                                                          t.id_mode, t.id, t.modify_labels, t.label_mode})
        EXPECT_FALSE(w->visible());
    EXPECT_TRUE(t.replace_typ->visible());
    TaskOptions record;
    std::string messages;
    EXPECT_EQ(collect(record, messages), 1);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(record.map_id_mode + record.label_case, 0);
    EXPECT_EQ(record.map_name, "");
    EXPECT_EQ(record.family_id, 12u);  // a basic row keeps its value

    advanced(1);
    EXPECT_EQ(t.change_map_id->value(), 0);
    EXPECT_FALSE(t.id->active());
    EXPECT_EQ(t.label_mode->value(), -1);
    t.buttons.clear->do_callback();
    EXPECT_EQ(t.only_for_fid->value(), 0);
    EXPECT_STREQ(t.fid->value(), "");
    EXPECT_FALSE(t.fid->active());
}

std::string change_fields(const TaskOptions& o)
{
    std::ostringstream out;
    out << "cp " << o.code_page << " prio " << +o.priority << "\nfilter " << +o.id_flags << " " << o.family_id
        << " " << o.product_id << "\ntyp " << +o.replace_typ << "\nname " << o.map_name << "/" << o.map_name_result
        << "\nid " << +o.map_id_mode << " " << o.map_id << "\nlabels " << +o.label_case << "\nrun "
        << +o.write_changes << " " << +o.verbose << " " << +o.announce_files << " " << o.mapset_name
        << +o.transparency << +o.header_date_flags << +o.version_flags << +o.typ_fix_flags << "\n";
    return out.str();
}

TEST_F(ChangeTabTest, RunButtonsHandTheRecordAndTheNamesToTheBridge)
{
    const ChangeTab& t = change_tab;
    const std::vector<std::string> paths = {"/nonexistent/a.typ", "/nonexistent/b.img", "/nonexistent/c.img"};
    for (const std::string& p : paths)
        add_file(p.c_str(), -1);
    check(t.replace_typ);
    check(t.only_for_fid);
    t.pid->value("2");
    check(t.map_name);
    t.map_name_text->value("North");
    check(t.change_map_id);
    t.id_mode->value(1);
    t.id->value("1000");
    check(t.modify_labels);
    t.label_mode->value(2);
    Verbose = 1;

    TaskOptions expected = tab_record();
    expected.id_flags = 2;
    expected.product_id = 2;
    expected.replace_typ = 1;
    expected.map_name = "North";
    expected.map_name_result = converted_name_code_page();
    expected.map_id_mode = 2;
    expected.map_id = 1000;
    expected.label_case = 3;
    expected.write_changes = 1;
    expected.verbose = 1;
    expected.announce_files = 1;

    expect_both_runs(t.buttons.all, t.buttons.selected, 3, paths, change_fields, expected);
    t.buttons.help->do_callback();
    EXPECT_EQ(help_loaded_path, std::string(program_dir) + "tarnwick_en.html#change");
    hide_help();

    // Every refused value is logged after the run's first line; nothing runs.
    t.fid->value("70000");
    t.id->value("");
    EXPECT_EQ(bridge_calls.size(), 2u);
    expect_refused_run(t.buttons.all, "\nWrite into all maps.\n",
                       {"Wrong FID value 70000, FID should be in range 0 - 65535.",
                        "Wrong map ID value 0, should be in range 1 - 99999999."});
}

TEST_F(ChangeTabTest, PolishTextsKeepTheConversionsAndTheChosenItems)
{
    const ChangeTab& t = change_tab;
    check(t.change_map_id);
    t.id_mode->value(2);
    polish_texts_of(load_messages_gui_change, 26);
    EXPECT_STREQ(t.buttons.all->label(), "Zmień wszystkie");
    EXPECT_EQ(t.id_mode->size(), 4);  // three items and the end
    EXPECT_STREQ(t.id_mode->text(), " odejmij     ");
    EXPECT_EQ(t.label_mode->size(), 5);
    EXPECT_EQ(t.label_mode->value(), -1);
    t.id->value("0");
    TaskOptions record;
    std::string messages;
    EXPECT_EQ(collect(record, messages), 0);
    EXPECT_EQ(messages, "Błędna wartość ID mapy 0, powinna być w zakresie 1 - 99999999.\n");
    load_language(1);
    EXPECT_STREQ(t.id_mode->text(), " substract ");
}

TEST_F(ChangeTabTest, ChangeAllThroughTheBridgeWritesWhatTwkWrites)
{
    reset_task_calls();
    ScratchDir dir;
    const std::vector<std::string> sources = {"gmapsupp/west-1101-p1.img", "single/route1250/12000001.img",
                                              "typ/west1101-cp0.typ"};
    const TwinFiles files = twin_copies(dir, sources);
    const std::vector<std::string>& window_files = files.window;
    const std::vector<std::string>& console_files = files.console;

    for (const std::string& p : window_files)
        add_file(p.c_str(), -1);
    const ChangeTab& t = change_tab;
    check(t.replace_typ);
    check(t.map_name);
    t.map_name_text->value("Renamed Map");
    check(t.change_map_id);
    t.id->value("50000000");
    check(t.modify_labels);  // upper case
    t.buttons.all->do_callback();
    EXPECT_EQ(error_count, 0) << log_text();

    std::vector<std::string> args = {"-w", "-x", "-r", "Renamed Map", "-e", "50000000", "-L"};
    args.insert(args.end(), console_files.begin(), console_files.end());
    RunResult console = run_twk(args);
    ASSERT_EQ(console.exit_code, 0) << console.output;

    for (size_t f = 0; f < 2; ++f) {
        SCOPED_TRACE(window_files[f]);
        const std::string original = read_file(data_path(sources[f]));
        const std::string written = read_file(window_files[f]);
        EXPECT_NE(written, original);
        // A replaced TYP subfile stamps the header with the time of writing,
        // which no option sets.
        EXPECT_EQ(first_difference(written, read_file(console_files[f]), true), "");
        EXPECT_EQ(byte_sum(written), byte_sum(original));
    }
}

}  // namespace
