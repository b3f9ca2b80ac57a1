// The Write tab: the collector's ranges and messages
// (the header date above all), the rows that Advanced and Experimental
// hide and reset, the run buttons' hand-over to the task bridge, the texts
// of GUI_Write, and one real run compared with `twk -w`.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/write_tab.h"

#include <functional>
#include <initializer_list>
#include <sstream>

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>

#include "core/codepage.h"
#include "core/host.h"
#include "core/img_format.h"
#include "gui/files_tab.h"
#include "gui/help.h"
#include "gui/languages.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "tests/gui/tab_test_support.h"

namespace {

class WriteTabTest : public TabTest {
protected:
    void SetUp() override
    {
        TabTest::SetUp();
        if (IsSkipped())
            return;
        task_calls.write = record_bridge_call;
        start({"-E", "-X"});
        rows(1, 1);
    }
    static void rows(int advanced, int experimental)
    {
        Advanced = advanced;
        Experimental = experimental;
        write_advanced_hook();
    }
    int collect(TaskOptions& record, std::string& messages)
    {
        return collect_logged(collect_write_options, record, messages);
    }
};

TEST_F(WriteTabTest, HeaderDateIsCheckedOnTheNumbersTyped)
{
    struct Case {
        const char* fields[6];  // day, month, year, hour, minute, second
        uint8_t flags;          // 0: refused
        const char* logged;
    };
    const Case cases[] = {
        {{"", "", "", "", "", ""}, 1, ""},
        {{"29", "2", "2024", "", "", ""}, 3, ""},
        {{"29", "2", "2023", "", "", ""}, 0, "Wrong date: 29.02.2023\n"},
        {{"31", "4", "2024", "", "", ""}, 0, "Wrong date: 31.04.2024\n"},
        {{"31", "12", "2099", "23", "59", "59"}, 7, ""},
        {{"1", "1", "1988", "", "", ""}, 0, "Wrong date: 01.01.1988\n"},
        {{"1", "6", "", "", "", ""}, 0, "Wrong date: 01.06.0000\n"},
        // Stored into a byte first, day 257 would pass as day 1 and year
        // 67556 as 2020.
        {{"257", "6", "2024", "", "", ""}, 0, "Wrong date: 257.06.2024\n"},
        {{"1", "6", "67556", "", "", ""}, 0, "Wrong date: 01.06.67556\n"},
        {{"", "", "", "24", "0", "0"}, 0, "Wrong time: 24:00:00\n"},
        {{"", "", "", "12", "30", ""}, 0, "Wrong time: 12:30:00\n"},
        {{"", "", "", "0", "0", "0"}, 5, ""},
        {{"30", "2", "2024", "12", "60", "0"}, 0, "Wrong date: 30.02.2024\nWrong time: 12:60:00\n"},
    };
    const WriteTab& t = write_tab;
    Fl_Input* const fields[6] = {t.day, t.month, t.year, t.hour, t.minute, t.second};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fields[0]) + "." + c.fields[1] + "." + c.fields[2] + " " + c.fields[3] + ":" +
                     c.fields[4] + ":" + c.fields[5]);
        clear_write_tab();
        check(t.header_date);
        for (int i = 0; i < 6; ++i)
            fields[i]->value(c.fields[i]);
        TaskOptions r;
        std::string messages;
        EXPECT_EQ(collect(r, messages), c.flags ? 1 : 0);
        EXPECT_EQ(messages, c.logged);
        if (!c.flags)
            continue;
        EXPECT_EQ(r.header_date_flags, c.flags);
        const int stored[6] = {r.header_date.day, r.header_date.month, r.header_date.year,
                               r.header_date.hour, r.header_date.minute, r.header_date.second};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(stored[i], (c.flags & (i < 3 ? 2 : 4)) ? atoi(c.fields[i]) : 0) << i;
    }
}

TEST_F(WriteTabTest, RangesOfEveryRow)
{
    struct Case {
        const char* what;
        std::function<void(const WriteTab&)> fill;
        const char* logged;  // empty: accepted
        std::function<void(const TaskOptions&)> check;
    };
    const Case cases[] = {
        {"empty priority is 0", [](auto& t) { check(t.priority); }, "",
         [](auto& o) { EXPECT_EQ(o.priority, 0); }},
        {"filter FID 0", [](auto& t) { check(t.only_for_fid), t.fid->value("0"); }, "",
         [](auto& o) { EXPECT_EQ(o.id_flags, 1); }},
        {"filter FID 70000", [](auto& t) { check(t.only_for_fid), t.fid->value("70000"); },
         "Wrong FID value 70000, FID should be in range 0 - 65535.\n", nullptr},
        {"MPS FID 0", [](auto& t) { check(t.mps_ids), t.mps_fid->value("0"); },
         "Wrong FID value 0, FID should be in range 1 - 65535.\n", nullptr},
        {"TYP CP -1252", [](auto& t) { check(t.typ_fix), t.typ_cp->value("-1252"); },
         "Wrong value for Code Page -1252.\n", nullptr},
        {"version with a code padded with blanks",
         [](auto& t) { check(t.version), t.major->value("4"), t.product_code->value("AB_1"); }, "",
         [](auto& o) {
             EXPECT_EQ(o.version_flags, 1 | 8);
             EXPECT_EQ(std::string(o.product_code, 12), "AB_1        ");
         }},
        {"lower-case code", [](auto& t) { check(t.version), t.product_code->value("Abc%s"); },
         "Wrong product code Abc%s, only upper case ASCII allowed\n", nullptr},
        {"TRE parameter 300", [](auto& t) { check(t.tre), t.tre_params[2]->value("300"); },
         "Wrong routing parameter value 300, should be in range 0 - 255.\n", nullptr},
        {"mapset name out of the code page",
         [](auto& t) { check(t.mapset), t.mapset_name->value("\xE5\x9C\xB0\xE5\x9B\xBE"); },
         "Mapset name characters don't match code page set in Options.\n", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_write_tab();
        c.fill(write_tab);
        TaskOptions record;
        std::string messages;
        EXPECT_EQ(collect(record, messages), *c.logged ? 0 : 1);
        EXPECT_EQ(messages, c.logged);
        if (c.check)
            c.check(record);
    }
}

TEST_F(WriteTabTest, AdvancedOffShowsTheBasicRowsAndResetsTheRest)
{
    const WriteTab& t = write_tab;
    check(t.transparency);
    EXPECT_EQ(t.transparency_choice->value(), 0);
    check(t.version);
    t.major->value("4");
    check(t.tre);
    t.tre_params[0]->value("1");
    check(t.mps_ids);
    t.mps_fid->value("5");
    check(t.typ_fix);
    t.typ_cp->value("1250");
    check(t.header_date);
    t.day->value("1");
    t.product_code->value("AB");

    rows(0, 1);
    // Hidden rows keep nothing: every box off, every field empty and inactive.
    for (Fl_Check_Button* box : {t.mps_ids, t.typ_fix, t.version, t.header_date, t.tre})
        EXPECT_EQ(box->value(), 0) << box->label();
    for (Fl_Input_* field : std::initializer_list<Fl_Input_*>{t.mps_fid, t.typ_cp, t.major, t.product_code, t.day,
                                                             t.tre_params[0]}) {
        EXPECT_STREQ(field->value(), "");
        EXPECT_FALSE(field->active());
    }
    for (Fl_Widget* w : std::initializer_list<Fl_Widget*>{t.mapset, t.mapset_name, t.transparency, t.priority,
                                                          t.only_for_fid, t.pid})
        EXPECT_TRUE(w->visible());
    for (Fl_Widget* w : std::initializer_list<Fl_Widget*>{t.mps_ids, t.typ_cp, t.version, t.major,
                                                          t.header_date, t.second, t.tre, t.tre_params[3]})
        EXPECT_FALSE(w->visible());
    TaskOptions record;
    std::string messages;
    EXPECT_EQ(collect(record, messages), 1);
    EXPECT_EQ(record.version_flags + record.tre_param_flags + record.mps_id_flags + record.typ_fix_flags +
                  record.header_date_flags,
              0);
    EXPECT_EQ(record.transparency, 1);  // a basic row keeps its value

    rows(1, 0);  // back, cleared; TRE only with Experimental
    EXPECT_EQ(t.version->value(), 0);
    EXPECT_STREQ(t.major->value(), "");
    EXPECT_FALSE(t.major->active());
    EXPECT_FALSE(t.tre->visible());
    t.buttons.clear->do_callback();
    EXPECT_EQ(t.transparency->value(), 0);
    EXPECT_EQ(t.transparency_choice->value(), -1);
    EXPECT_FALSE(t.transparency_choice->active());
}

// The fields a Write run reads, so a mismatch names itself.
std::string write_fields(const TaskOptions& o)
{
    std::ostringstream out;
    out << "mapset " << o.mapset_name << "/" << o.mapset_name_result << " cp " << o.code_page << "\ntransp "
        << +o.transparency << " prio " << +o.priority << "\nfilter " << +o.id_flags << " " << o.family_id << " "
        << o.product_id << "\nmps " << +o.mps_id_flags << " " << o.mps_family_id << " " << o.mps_product_id
        << "\ntyp " << +o.typ_fix_flags << " " << o.typ_family_id << " " << o.typ_product_id << " "
        << o.typ_code_page << "\nversion " << +o.version_flags << " " << +o.version_bytes[0] << "."
        << +o.version_bytes[1] << " " << +o.version_bytes[2] << " [" << std::string(o.product_code, 12)
        << "]\ndate " << +o.header_date_flags << " " << o.header_date.year << " " << +o.header_date.second
        << "\ntre " << +o.tre_param_flags << " " << +o.tre_params[1] << "\nrun " << +o.write_changes << " "
        << +o.verbose << " " << +o.announce_files << " " << o.map_name << +o.map_id_mode << +o.label_case
        << +o.replace_typ << "\n";
    return out.str();
}

TEST_F(WriteTabTest, RunButtonsHandTheRecordAndTheNamesToTheBridge)
{
    const WriteTab& t = write_tab;
    const std::vector<std::string> paths = {"/nonexistent/a.img", "/nonexistent/b.img", "/nonexistent/c.img"};
    for (const std::string& p : paths)
        add_file(p.c_str(), -1);
    check(t.mapset);
    t.mapset_name->value("Set");
    check(t.transparency);
    t.transparency_choice->value(1);
    check(t.priority);
    t.priority_value->value("20");
    check(t.only_for_fid);
    t.fid->value("1101");
    check(t.version);
    t.mapsource_byte->value("2");
    check(t.header_date);
    check(t.tre);
    t.tre_params[1]->value("3");
    Verbose = 0;

    TaskOptions expected = tab_record();
    expected.mapset_name = "Set";
    expected.mapset_name_result = converted_name_code_page();
    expected.transparency = 255;
    expected.priority = 20;
    expected.id_flags = 1;
    expected.family_id = 1101;
    expected.version_flags = 4;
    expected.version_bytes[2] = 2;
    expected.header_date_flags = 1;
    expected.tre_param_flags = 2;
    expected.tre_params[1] = 3;
    expected.write_changes = 1;
    expected.announce_files = 1;

    expect_both_runs(t.buttons.all, t.buttons.selected, 2, paths, write_fields, expected);

    // Info is the Files tab's: with nothing selected it asks for a selection.
    file_list->deselect();
    t.buttons.info->do_callback();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Select files for info display."});
    t.buttons.help->do_callback();
    EXPECT_EQ(help_loaded_path, std::string(program_dir) + "tarnwick_en.html#write");
    hide_help();

    // Every refused value is logged after the run's first line; nothing runs.
    t.priority_value->value("256");
    t.fid->value("70000");
    t.day->value("257");
    EXPECT_EQ(bridge_calls.size(), 2u);
    expect_refused_run(t.buttons.all, "\nWrite into all maps.\n",
                       {"Wrong FID value 70000, FID should be in range 0 - 65535.",
                        "Wrong priority value 256, should be in range 0 - 255.", "Wrong date: 257.00.0000"});
}

TEST_F(WriteTabTest, PolishTextsKeepTheConversionsAndTheChosenItem)
{
    const WriteTab& t = write_tab;
    check(t.transparency);
    t.transparency_choice->value(1);
    polish_texts_of(load_messages_gui_write, 31);
    EXPECT_STREQ(t.buttons.all->label(), "Zapisz wszystkie");
    EXPECT_STREQ(t.typ_cp->label(), "CP");
    EXPECT_EQ(t.transparency_choice->size(), 3);  // two items and the end
    EXPECT_STREQ(t.transparency_choice->text(), " nieprzejrzysta");
    load_language(1);
    EXPECT_STREQ(t.transparency_choice->text(), " opaque      ");
}

TEST_F(WriteTabTest, WriteAllThroughTheBridgeWritesWhatTwkWrites)
{
    reset_task_calls();
    ScratchDir dir;
    const std::vector<std::string> sources = {"gmapsupp/west-1101-p1.img", "single/route1250/12000001.img"};
    const TwinFiles files = twin_copies(dir, sources);
    const std::vector<std::string>& window_files = files.window;
    const std::vector<std::string>& console_files = files.console;

    // twk takes the time of its run; the window is given that same time.
    std::vector<std::string> args = {"-w", "-m", "Renamed Set", "-p", "20", "-c", "4.5,1,TWK_1", "-h"};
    args.insert(args.end(), console_files.begin(), console_files.end());
    RunResult console = run_twk(args);
    ASSERT_EQ(console.exit_code, 0) << console.output;
    const std::string header = read_file(console_files[0]);
    auto at = [&header](size_t i) { return unsigned(static_cast<unsigned char>(header.at(ImgHeader::date + i))); };
    const unsigned date[6] = {at(3), at(2), at(0) | at(1) << 8u, at(4), at(5), at(6)};

    for (const std::string& p : window_files)
        add_file(p.c_str(), -1);
    const WriteTab& t = write_tab;
    check(t.mapset);
    t.mapset_name->value("Renamed Set");
    check(t.priority);
    t.priority_value->value("20");
    check(t.version);
    t.major->value("4");
    t.minor->value("5");
    t.mapsource_byte->value("1");
    t.product_code->value("TWK_1");
    check(t.header_date);
    Fl_Input* const fields[6] = {t.day, t.month, t.year, t.hour, t.minute, t.second};
    for (int i = 0; i < 6; ++i)
        fields[i]->value(std::to_string(date[i]).c_str());
    t.buttons.all->do_callback();
    EXPECT_EQ(error_count, 0) << log_text();

    for (size_t f = 0; f < window_files.size(); ++f) {
        SCOPED_TRACE(window_files[f]);
        const std::string original = read_file(data_path(sources[f]));
        const std::string written = read_file(window_files[f]);
        EXPECT_NE(written, original);
        EXPECT_EQ(first_difference(written, read_file(console_files[f])), "");
        EXPECT_EQ(byte_sum(written), byte_sum(original));
    }
}

}  // namespace
