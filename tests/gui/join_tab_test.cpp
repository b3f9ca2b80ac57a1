// The Join tab: the collector's refusals and ranges, the rows that Advanced
// and Experimental hide and reset, the run buttons' hand-over to the task
// bridge, the texts of GUI_Join, and one real join compared with `twk -j`.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/join_tab.h"

#include <cstring>
#include <filesystem>
#include <sstream>

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Tabs.H>

#include "core/codepage.h"
#include "core/host.h"
#include "core/img_format.h"
#include "gui/files_tab.h"
#include "gui/languages.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "tests/gui/tab_test_support.h"

namespace {

TEST(JoinProductCode, PaddedCutOrRefused)
{
    const struct {
        const char* text;
        const char* code;  // the 12 characters written, null: refused and left alone
    } cases[] = {
        {"ABC_12", "ABC_12      "},
        {" ", "            "},
        {"[\\]^_ !?@09", "[\\]^_ !?@09 "},
        {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKL"},
        {"ABCDEFGHIJKLabc", "ABCDEFGHIJKL"},  // nothing after the 12th is examined
        {"", nullptr},
        {nullptr, nullptr},
        {"abc", nullptr},
        {"AB`", nullptr},     // 0x60, just above the range
        {"AB\x1F", nullptr},  // just below it
        {"\xC5\x81", nullptr},  // "Ł": no upper-case ASCII
    };
    for (const auto& c : cases) {
        char code[12];
        memset(code, '#', sizeof code);
        const char* shown = c.text ? c.text : "(null)";
        EXPECT_EQ(copy_product_code(c.text, code), c.code ? 1 : 0) << shown;
        EXPECT_EQ(std::string(code, 12), c.code ? c.code : "############") << shown;
    }
}

// The fields a join reads, one per line, so a mismatch names itself.
std::string join_fields(const TaskOptions& o)
{
    std::ostringstream s;
    s << "output_file " << o.output_file << "\nmapset_name " << o.mapset_name << "\nmapset_name_result "
      << o.mapset_name_result << "\ncode_page " << o.code_page << "\nfamily_id " << o.family_id
      << "\nproduct_id " << o.product_id << "\nid_flags " << int(o.id_flags) << "\nshort_header "
      << int(o.short_header) << "\nremove_nod " << int(o.remove_nod) << "\nremove_dem " << int(o.remove_dem)
      << "\nno_mps " << int(o.no_mps) << "\nother_data " << int(o.other_data) << "\nnt_format "
      << int(o.nt_format) << "\nversion_flags " << int(o.version_flags) << "\nversion_bytes "
      << int(o.version_bytes[0]) << "," << int(o.version_bytes[1]) << "," << int(o.version_bytes[2])
      << "\nproduct_code [" << std::string(o.product_code, 12) << "]\nmps_name " << int(o.mps_name)
      << "\nblock_size " << o.block_size << "\njoin_maps " << int(o.join_maps) << "\nverbose "
      << int(o.verbose) << "\nannounce_files " << int(o.announce_files) << "\npriority " << int(o.priority)
      << "\nsplit_mode " << int(o.split_mode) << "\nwrite_changes " << int(o.write_changes) << "\n";
    return s.str();
}

// Also keeps the file a chooser was started at: the request only points at it.
class JoinDialogs : public ScriptedDialogs {
public:
    std::vector<std::string> values;
    ChooserResult choose(const ChooserRequest& request) override
    {
        values.push_back(request.value ? request.value : "");
        return ScriptedDialogs::choose(request);
    }
};

class JoinTabTest : public TabTest {
protected:
    JoinDialogs join_dialogs;
    int kept_cp_type = mapset_cp_type, kept_user_cp = user_code_page;

    void SetUp() override
    {
        TabTest::SetUp();
        if (IsSkipped())
            return;
        set_gui_dialogs(&join_dialogs);
        task_calls.join = record_bridge_call;
        start({"-E", "-X"});
    }
    void TearDown() override
    {
        TabTest::TearDown();
        // The X server's answers to the window's end arrive late; taken
        // here, they cannot reach the next test's event checks.
        for (int i = 0; i < 5; ++i)
            Fl::wait(0.02);
        mapset_cp_type = kept_cp_type;
        user_code_page = kept_user_cp;
    }

    static void rows(int advanced, int experimental)
    {
        Advanced = advanced;
        Experimental = experimental;
        join_advanced_hook();
    }
    int collect(TaskOptions& record, std::string& messages)
    {
        return collect_logged(collect_join_options, record, messages);
    }
};

TEST_F(JoinTabTest, RowsFollowAdvancedExperimentalTheirChecksAndClear)
{
    const JoinTab& t = join_tab;
    Fl_Widget* const advanced[] = {t.remove_nod, t.short_header, t.version, t.product_code, t.mps_name};
    Fl_Widget* const experimental[] = {t.nt_format, t.set_block_size, t.block_size};
    for (int a : {0, 1})
        for (int e : {0, 1}) {
            rows(a, e);
            EXPECT_TRUE(t.set_fid->visible() && t.buttons.all->visible());
            for (Fl_Widget* w : advanced)
                EXPECT_EQ(bool(w->visible()), a == 1) << a << e;
            for (Fl_Widget* w : experimental)
                EXPECT_EQ(bool(w->visible()), a == 1 && e == 1) << a << e;
        }
    // Only the band above the button row grows with the window.
    main_window->resize(main_window->x(), main_window->y(), 800, 700);
    EXPECT_EQ(t.buttons.all->y(), 480 + 190);
    EXPECT_EQ(t.block_size->y(), 395);
    main_window->resize(main_window->x(), main_window->y(), 620, 510);

    EXPECT_FALSE(t.fid->active());
    EXPECT_EQ(t.mps_name->value(), -1);
    check(t.set_fid, 1);
    check(t.version, 1);
    check(t.set_mps_name, 1);
    EXPECT_TRUE(t.pid->active() && t.product_code->active() && t.mps_name->active());
    EXPECT_STREQ(t.mps_name->text(), "MAPSOURC.MPS");
    t.fid->value("12");
    t.major->value("3");
    check(t.version, 0);
    check(t.set_mps_name, 0);
    EXPECT_STREQ(t.major->value(), "");
    EXPECT_FALSE(t.major->active());
    EXPECT_EQ(t.mps_name->value(), -1);
    EXPECT_STREQ(t.fid->value(), "12");  // another row's check leaves it

    t.output_file->value("/tmp/out.img");
    t.mapset_name->value("Set");
    check(t.short_header, 1);
    t.buttons.clear->do_callback();
    EXPECT_STREQ(t.output_file->value(), "");
    EXPECT_STREQ(t.mapset_name->value(), "");
    EXPECT_EQ(t.set_fid->value() + t.short_header->value(), 0);
    EXPECT_STREQ(t.fid->value(), "");
    EXPECT_FALSE(t.fid->active());
}

TEST_F(JoinTabTest, RangesOfTheNumberFieldsAndTheProductCode)
{
    const JoinTab& t = join_tab;
    rows(1, 1);
    t.output_file->value("/tmp/out.img");
    for (Fl_Check_Button* box : {t.set_fid, t.version, t.set_block_size})
        check(box, 1);
    struct Case {
        Fl_Input_* field;
        const char* text;
        const char* message;  // empty: taken
    };
    const Case cases[] = {
        {t.fid, "0", "Wrong FID value 0, FID should be in range 1 - 65535.\n"},
        {t.fid, "65536", "Wrong FID value 65536, FID should be in range 1 - 65535.\n"},
        {t.fid, "-1", "Wrong FID value -1, FID should be in range 1 - 65535.\n"},
        // Beyond int: refused, never wrapped into a value that fits.
        {t.fid, "4294967297", "Wrong FID value 2147483647, FID should be in range 1 - 65535.\n"},
        {t.fid, "99999999999999999999999", "Wrong FID value 2147483647, FID should be in range 1 - 65535.\n"},
        {t.fid, "65535", ""},
        {t.pid, "0", "Wrong PID value 0, PID should be in range 1 - 65535.\n"},
        {t.pid, "65536", "Wrong PID value 65536, PID should be in range 1 - 65535.\n"},
        {t.pid, "1", ""},
        {t.major, "256", "Wrong version value 256, should be in range 0 - 255\n"},
        {t.minor, "-1", "Wrong version value -1, should be in range 0 - 255\n"},
        {t.mapsource_byte, "255", ""},
        {t.product_code, "abc", "Wrong product code abc, only upper case ASCII allowed\n"},
        // A user's "%s" is printed, never read as a format.
        {t.product_code, "%s%n", "Wrong product code %s%n, only upper case ASCII allowed\n"},
        {t.product_code, "ABCDEFGHIJKLabc", ""},
        {t.block_size, "128", "Wrong block size 128, should be 1, 2, 4, 8, 16...\n"},
        {t.block_size, "3", "Wrong block size 3, should be 1, 2, 4, 8, 16...\n"},
        {t.block_size, "0", "Wrong block size 0, should be 1, 2, 4, 8, 16...\n"},
        {t.block_size, "1", ""},
        {t.block_size, "64", ""},
    };
    for (const Case& c : cases) {
        for (Fl_Input_* field : {static_cast<Fl_Input_*>(t.fid), static_cast<Fl_Input_*>(t.pid),
                                 static_cast<Fl_Input_*>(t.major), static_cast<Fl_Input_*>(t.minor),
                                 static_cast<Fl_Input_*>(t.mapsource_byte), static_cast<Fl_Input_*>(t.product_code),
                                 static_cast<Fl_Input_*>(t.block_size)})
            field->value("");
        c.field->value(c.text);
        TaskOptions record;
        std::string messages;
        EXPECT_EQ(collect(record, messages), *c.message ? 0 : 1) << c.text;
        EXPECT_EQ(messages, c.message) << c.text;
    }

    // What taken values become; empty fields set nothing.
    t.fid->value("");
    t.pid->value("65535");
    t.major->value("0");
    t.minor->value("");
    t.mapsource_byte->value("255");
    t.product_code->value("ABC_12");
    TaskOptions record;
    std::string messages;
    for (int kib : {1, 2, 4, 8, 16, 32, 64}) {
        t.block_size->value(std::to_string(kib).c_str());
        ASSERT_EQ(collect(record, messages), 1) << messages;
        EXPECT_EQ(record.block_size, uint32_t(kib));
    }
    EXPECT_EQ(record.id_flags, 2);
    EXPECT_EQ(record.product_id, 65535u);
    EXPECT_EQ(record.version_flags, 1 | 4 | 8);
    EXPECT_EQ(record.version_bytes[2], 255);
    EXPECT_EQ(std::string(record.product_code, 12), "ABC_12      ");

    // Unchecked, a row's fields are not read at all.
    t.set_fid->value(0);
    t.fid->value("0");
    EXPECT_EQ(collect(record, messages), 1);
    EXPECT_EQ(record.id_flags, 0);
}

TEST_F(JoinTabTest, MapsetNameMustFitTheMapsetCodePage)
{
    mapset_cp_type = 2;
    user_code_page = 1252;
    const JoinTab& t = join_tab;
    t.output_file->value("/tmp/out.img");

    t.mapset_name->value("Zażółć");
    TaskOptions record;
    std::string messages;
    EXPECT_EQ(collect(record, messages), 0);
    EXPECT_EQ(messages, "Mapset name characters don't match code page set in Options.\n");

    t.mapset_name->value("Café");
    EXPECT_EQ(collect(record, messages), 1);
    EXPECT_EQ(messages, "");
    EXPECT_EQ(record.mapset_name, "Caf\xE9");
    EXPECT_EQ(record.mapset_name_result, 1252u);
    EXPECT_EQ(record.code_page, 1252u);

    t.mapset_name->value("  ");  // blank: the join's own default name
    EXPECT_EQ(collect(record, messages), 1);
    EXPECT_EQ(record.mapset_name, "");
}

TEST_F(JoinTabTest, AdvancedOffResetsTheHiddenRowsSoNoneReachesTheRecord)
{
    const JoinTab& t = join_tab;
    rows(1, 1);
    t.output_file->value("/tmp/out.img");
    for (Fl_Check_Button* box : {t.remove_nod, t.remove_dem, t.short_header, t.no_mps, t.other_data, t.nt_format,
                                 t.version, t.set_mps_name, t.set_block_size})
        check(box, 1);
    t.major->value("3");
    t.minor->value("1");
    t.mapsource_byte->value("1");
    t.product_code->value("PROD");
    t.mps_name->value(1);
    t.block_size->value("16");
    TaskOptions record;
    std::string messages;
    ASSERT_EQ(collect(record, messages), 1) << messages;
    EXPECT_EQ(record.version_flags + record.mps_name + record.block_size + record.nt_format, 15u + 2 + 16 + 1);

    // Experimental off: only its two rows go.
    rows(1, 0);
    EXPECT_EQ(t.nt_format->value(), 0);
    EXPECT_EQ(t.set_block_size->value(), 0);
    EXPECT_STREQ(t.block_size->value(), "");
    EXPECT_FALSE(t.block_size->active());
    EXPECT_EQ(t.short_header->value(), 1);
    EXPECT_STREQ(t.major->value(), "3");

    rows(0, 1);
    for (Fl_Check_Button* box : {t.remove_nod, t.remove_dem, t.short_header, t.no_mps, t.other_data, t.nt_format,
                                 t.version, t.set_mps_name, t.set_block_size})
        EXPECT_EQ(box->value(), 0) << box->label();
    for (Fl_Input_* field : {static_cast<Fl_Input_*>(t.major), static_cast<Fl_Input_*>(t.minor),
                             static_cast<Fl_Input_*>(t.mapsource_byte), static_cast<Fl_Input_*>(t.product_code),
                             static_cast<Fl_Input_*>(t.block_size)}) {
        EXPECT_STREQ(field->value(), "");
        EXPECT_FALSE(field->active());
    }
    EXPECT_EQ(t.mps_name->value(), -1);
    EXPECT_FALSE(t.mps_name->active());
    ASSERT_EQ(collect(record, messages), 1) << messages;
    TaskOptions plain;
    clear_task_options(plain);
    plain.output_file = "/tmp/out.img";
    plain.code_page = record.code_page;
    plain.join_maps = 1;
    plain.verbose = Verbose ? 1 : 0;
    plain.announce_files = 1;
    EXPECT_EQ(join_fields(record), join_fields(plain));
}

TEST_F(JoinTabTest, EveryRefusalOfOneRunIsLoggedAndNothingJoins)
{
    mapset_cp_type = 2;
    user_code_page = 1252;
    add_file("/nonexistent/a.img", -1);
    const JoinTab& t = join_tab;
    rows(1, 1);
    t.mapset_name->value("Łódź");
    check(t.set_fid, 1);
    t.fid->value("0");
    t.pid->value("65536");
    check(t.version, 1);
    t.major->value("256");
    t.product_code->value("abc");
    check(t.set_block_size, 1);
    t.block_size->value("128");
    std::string logged = run_logged(t.buttons.all, "\nJoin all maps.\n");
    EXPECT_TRUE(bridge_calls.empty());
    const std::string expected =
        "\nJoin all maps.\n"
        "Output file name missing.\n"
        "Mapset name characters don't match code page set in Options.\n"
        "Wrong FID value 0, FID should be in range 1 - 65535.\n"
        "Wrong PID value 65536, PID should be in range 1 - 65535.\n"
        "Wrong version value 256, should be in range 0 - 255\n"
        "Wrong product code abc, only upper case ASCII allowed\n"
        "Wrong block size 128, should be 1, 2, 4, 8, 16...\n";
    // All of them inside the task frame, after its opening line.
    EXPECT_EQ(logged.substr(0, expected.size()), expected);
    EXPECT_EQ(logged.find("\nEnd.\n"), expected.size()) << logged;
}

TEST_F(JoinTabTest, RunButtonsHandTheRecordAndTheNamesToTheBridge)
{
    Verbose = 1;
    const std::vector<std::string> paths = {"/nonexistent/a.img", "/nonexistent/b.img", "/nonexistent/c.typ"};
    for (const std::string& p : paths)
        add_file(p.c_str(), -1);
    const JoinTab& t = join_tab;
    rows(1, 0);
    t.output_file->value("/tmp/all.img");
    t.mapset_name->value("My maps");
    check(t.set_fid, 1);
    t.fid->value("4321");
    t.pid->value("7");
    check(t.remove_dem, 1);
    check(t.no_mps, 1);
    check(t.version, 1);
    t.minor->value("5");
    t.product_code->value("GB");
    check(t.set_mps_name, 1);
    t.mps_name->value(1);

    TaskOptions expected = tab_record();
    expected.output_file = "/tmp/all.img";
    expected.mapset_name = "My maps";
    expected.mapset_name_result = converted_name_code_page();
    expected.family_id = 4321;
    expected.product_id = 7;
    expected.id_flags = 3;
    expected.remove_dem = 1;
    expected.no_mps = 1;
    expected.version_flags = 2 | 8;
    expected.version_bytes[1] = 5;
    memcpy(expected.product_code, "GB          ", 12);
    expected.mps_name = 2;
    expected.join_maps = 1;
    expected.verbose = 1;
    expected.announce_files = 1;

    expect_both_runs(t.buttons.all, t.buttons.selected, 2, paths, join_fields, expected);

    // Two or more lines, none selected: no join and nothing more to say.
    file_list->deselect();
    const std::string opening = "\nJoin selected maps.\n";
    std::string logged = run_logged(t.buttons.selected, opening);
    EXPECT_EQ(bridge_calls.size(), 2u);
    EXPECT_EQ(logged.find("\nEnd.\n"), opening.size()) << logged;
}

TEST_F(JoinTabTest, OutputChooserStartsAtTheTextOrTheDialogDirectory)
{
    const JoinTab& t = join_tab;
    set_dialog_start_dir("/tmp");
    ChooserResult picked;
    picked.paths = {"/tmp/joined.img"};
    picked.directory = "/tmp";
    join_dialogs.choices.push_back(picked);
    t.output_button->do_callback();
    ASSERT_EQ(join_dialogs.requests.size(), 1u);
    EXPECT_EQ(join_dialogs.request_titles[0], "Output file");
    EXPECT_EQ(join_dialogs.request_directories[0], "/tmp");
    EXPECT_EQ(join_dialogs.values[0], "");
    EXPECT_EQ(join_dialogs.requests[0].type, Fl_File_Chooser::CREATE);
    EXPECT_STREQ(join_dialogs.requests[0].filter, "All Files (*)");
    EXPECT_STREQ(t.output_file->value(), "/tmp/joined.img");

    // Again: it starts at that file; a cancel leaves the text as it was.
    t.output_button->do_callback();
    ASSERT_EQ(join_dialogs.values.size(), 2u);
    EXPECT_EQ(join_dialogs.values[1], "/tmp/joined.img");
    EXPECT_STREQ(t.output_file->value(), "/tmp/joined.img");
    EXPECT_STREQ(dialog_start_dir, "/tmp");
}

TEST_F(JoinTabTest, PolishTextsKeepTheEnglishConversionsAndTheChosenItem)
{
    const JoinTab& t = join_tab;
    rows(1, 1);
    check(t.set_mps_name, 1);
    t.mps_name->value(1);

    MemoryGroup polish = polish_texts_of(load_messages_gui_join, 31), read_back;
    // A Polish template read back gives exactly what was written: no text
    // is longer than its key's size.
    load_messages_gui_join(&polish, 65001, 0);
    load_messages_gui_join(&read_back, 65001, 1);
    EXPECT_EQ(read_back.values, polish.values);

    load_language(2);
    EXPECT_STREQ(t.buttons.all->label(), "Połącz wszystkie");
    EXPECT_STREQ(t.product_code->label(), "Pr");
    EXPECT_EQ(t.mps_name->size(), 3);  // two items and the end
    EXPECT_STREQ(t.mps_name->text(), "BLUCHART.MPS");

    t.output_file->value("/tmp/out.img");
    check(t.set_fid, 1);
    t.fid->value("0");
    TaskOptions record;
    std::string messages;
    EXPECT_EQ(collect(record, messages), 0);
    EXPECT_EQ(messages, "Błędna wartość FID 0, FID powinien być w zakresie 1 - 65535.\n");
    load_language(1);
    EXPECT_STREQ(t.buttons.all->label(), "Join all");
}

TEST_F(JoinTabTest, JoinAllThroughTheBridgeWritesWhatTwkWrites)
{
    reset_task_calls();
    ScratchDir dir;
    std::vector<std::string> inputs;
    for (const char* name : {"11000001.img", "11000002.img"}) {
        inputs.push_back(dir.file(name));
        std::filesystem::copy_file(data_path(std::string("single/plain/") + name), inputs.back());
    }
    for (const std::string& p : inputs)
        add_file(p.c_str(), -1);

    const JoinTab& t = join_tab;
    rows(1, 1);
    const std::string window_output = dir.file("window.img");
    t.output_file->value(window_output.c_str());
    t.mapset_name->value("Test Set");
    check(t.set_fid, 1);
    t.fid->value("4321");
    t.pid->value("7");
    check(t.short_header, 1);
    check(t.version, 1);
    t.major->value("3");
    t.minor->value("17");
    t.mapsource_byte->value("1");
    t.product_code->value("ABC_12");
    check(t.set_mps_name, 1);
    t.mps_name->value(1);
    check(t.set_block_size, 1);
    t.block_size->value("2");
    t.buttons.all->do_callback();
    EXPECT_EQ(error_count, 0) << log_text();

    const std::string console_output = dir.file("console.img");
    std::vector<std::string> args = {"-j", "-o", console_output, "-m", "Test Set", "-f", "4321,7", "-h",
                                     "-c", "3.17,1,ABC_12", "-l", "-b", "2"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    RunResult console = run_twk(args);
    ASSERT_EQ(console.exit_code, 0) << console.output;

    std::string window_bytes = read_file(window_output);
    std::string console_bytes = read_file(console_output);
    ASSERT_GT(window_bytes.size(), 2048u) << log_text();
    EXPECT_EQ(window_bytes.substr(ImgHeader::signature, 6), "DSKIMG");
    // The time of writing is the only thing two joins of the same input may differ in.
    EXPECT_EQ(first_difference(window_bytes, console_bytes, true), "");
}

}  // namespace
