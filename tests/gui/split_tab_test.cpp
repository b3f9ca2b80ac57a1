// The Split tab: the collector's checks and ranges (every message of one
// pass), the rows that the kind of split and Advanced leave, the record each
// run button hands to the split, the compile after it, and one whole
// MapSource split with mkgmap through the real task bridge.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/split_tab.h"

#include <filesystem>
#include <regex>
#include <sstream>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_File_Chooser.H>

#include "core/host.h"
#include "gui/files_tab.h"
#include "gui/languages.h"
#include "gui/settings.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "platform/process.h"
#include "tests/gui/tab_test_support.h"

namespace {

int split_errors_to_count = 0;

// Keeps what the split would have run with, and counts the errors it is
// told to.
void split_double(TaskOptions& record, int count, const char* const* names)
{
    record_bridge_call(record, count, names);
    error_count += split_errors_to_count;
}

class SplitTabTest : public GuiTest {
protected:
    SplitTab& t = split_tab;

    void SetUp() override
    {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        bridge_calls.clear();
        split_errors_to_count = 0;
        start();
        task_calls.split = split_double;
    }
    void TearDown() override
    {
        reset_task_calls();
        // The settings are written when the window closes: the next test
        // must start from the defaults again.
        Advanced = 0;
        Compiler = 0;
        CgpsmapperPath.clear();
        MapTkPath.clear();
        MkgmapPath.clear();
        GuiTest::TearDown();
    }
    void advanced(bool on)
    {
        Advanced = on;
        split_advanced_hook();
    }
    void kind(int index)
    {
        t.kind->value(index);
        t.kind->do_callback();
        settle();
    }
    static void check(Fl_Check_Button* button, bool on) { click_check(button, on); }
    bool collect(TaskOptions& record, std::string& logged)
    {
        return collect_logged(collect_split_options, record, logged);
    }
};

TEST_F(SplitTabTest, IdsAndCodePageAreCheckedBeforeNarrowing)
{
    advanced(true);
    t.output_directory->value("/tmp");
    struct Case {
        const char* fid;
        const char* pid;
        const char* cp;
        const char* message;  // "" when accepted
    };
    const Case cases[] = {
        {"0", "", "", "Wrong FID value 0, FID should be in range 1 - 65535.\n"},
        {"65536", "", "", "Wrong FID value 65536, FID should be in range 1 - 65535.\n"},
        {"", "0", "", "Wrong PID value 0, PID should be in range 1 - 65535.\n"},
        {"", "65536", "", "Wrong PID value 65536, PID should be in range 1 - 65535.\n"},
        {"4294967297", "", "", "Wrong FID value 2147483647, FID should be in range 1 - 65535.\n"},
        {"", "-1", "", "Wrong PID value -1, PID should be in range 1 - 65535.\n"},
        {"", "", "-5", "Wrong value for Code Page -5.\n"},
        {"", "", "65536", "Wrong value for Code Page 65536.\n"},
        {"", "", "0x4E2", "Wrong value for Code Page 0.\n"},
        {"1", "65535", "1250", ""},
    };
    for (const Case& c : cases) {
        check(t.set_fid, true);
        check(t.set_code_page, true);
        t.fid->value(c.fid);
        t.pid->value(c.pid);
        t.code_page->value(c.cp);
        TaskOptions record;
        std::string logged;
        bool ok = collect(record, logged);
        EXPECT_EQ(ok, !*c.message) << c.fid << "/" << c.pid << "/" << c.cp;
        EXPECT_EQ(logged, c.message);
        if (ok) {
            EXPECT_EQ(record.family_id, 1u);
            EXPECT_EQ(record.product_id, 65535u);
            EXPECT_EQ(record.id_flags, 3);
            EXPECT_EQ(record.mapset_code_page, 1250u);
        }
    }
}

TEST_F(SplitTabTest, OnePassLogsEveryRefusalAndNothingIsSplit)
{
    advanced(true);
    file_list->add("@./nowhere/a.img");
    check(t.set_fid, true);
    t.fid->value("0");
    t.pid->value("70000");
    check(t.set_code_page, true);
    t.code_page->value("-5");
    t.files_name->value("a/b");
    check(t.limit_area, true);
    t.south->value("91");
    t.buttons.all->do_callback();
    const std::string log = log_text();
    const std::string expected = "\nSplit all maps.\n"
                                 "Output directory name missing.\n"
                                 "Wrong value for Code Page -5.\n"
                                 "Wrong charactes in file name for Mapsource.\n"
                                 "Wrong FID value 0, FID should be in range 1 - 65535.\n"
                                 "Wrong PID value 70000, PID should be in range 1 - 65535.\n"
                                 "Wrong South limit value 91.\n";
    const size_t at = log.find(expected);
    ASSERT_NE(at, std::string::npos) << log;
    // All of them before the run is refused and its frame ends.
    EXPECT_EQ(log.find("\nEnd.\n", at), at + expected.size()) << log;
    EXPECT_TRUE(bridge_calls.empty());
}

TEST_F(SplitTabTest, LimitsTakeDefaultsAndMustEncloseAnArea)
{
    advanced(true);
    t.output_directory->value("/tmp");

    // The area check alone leaves the fields empty: the whole world.
    check(t.limit_area, true);
    EXPECT_TRUE(t.south->active());
    EXPECT_STREQ(t.south->value(), "");
    TaskOptions record;
    std::string logged;
    ASSERT_TRUE(collect(record, logged)) << logged;
    EXPECT_EQ(record.limit_south, -4194304);
    EXPECT_EQ(record.limit_north, 4194304);
    EXPECT_EQ(record.limit_west, -8388608);
    EXPECT_EQ(record.limit_east, 8388608);
    EXPECT_EQ(record.limit_longitude, 1);
    EXPECT_EQ(record.preview_limits, 0);

    // The preview check fills the empty fields just inside the world.
    check(t.limit_preview, true);
    EXPECT_STREQ(t.south->value(), "-89.5");
    EXPECT_STREQ(t.north->value(), "89.5");
    EXPECT_STREQ(t.west->value(), "-178.5");
    EXPECT_STREQ(t.east->value(), "178.5");
    ASSERT_TRUE(collect(record, logged)) << logged;
    EXPECT_EQ(record.limit_south, -4171002);  // truncated toward zero
    EXPECT_EQ(record.limit_north, 4171002);
    EXPECT_EQ(record.limit_west, -8318702);
    EXPECT_EQ(record.limit_east, 8318702);
    EXPECT_EQ(record.preview_limits, 1);

    struct Case {
        const char *s, *n, *w, *e;
        const char* message;
        int32_t south;
    };
    const Case cases[] = {
        {"91", "", "", "", "Wrong South limit value 91.\n", -4194304},
        {"10", "10", "", "", "Wrong South - North limit definition.\n", 466033},
        {"", "", "nan", "", "Wrong West limit value nan.\n", -4194304},
        {"", "", "-180", "-180", "Wrong West - East limit definition.\n", -4194304},
        {"", "", "1e999", "", "Wrong West limit value 1e999.\n", -4194304},
        {"0", "1e0", "-180", "180", "", 0},
    };
    for (const Case& c : cases) {
        t.south->value(c.s);
        t.north->value(c.n);
        t.west->value(c.w);
        t.east->value(c.e);
        bool ok = collect(record, logged);
        EXPECT_EQ(ok, !*c.message) << c.s << " " << c.n << " " << c.w << " " << c.e;
        EXPECT_EQ(logged, c.message);
        EXPECT_EQ(record.limit_south, c.south);
    }

    // Both checks off: the fields go empty and nothing is limited.
    check(t.limit_preview, false);
    EXPECT_TRUE(t.south->active());
    check(t.limit_area, false);
    EXPECT_FALSE(t.south->active());
    EXPECT_STREQ(t.south->value(), "");
    ASSERT_TRUE(collect(record, logged));
    EXPECT_EQ(record.limit_south, 0);
    EXPECT_EQ(record.preview_limits | record.limit_longitude, 0);
}

TEST_F(SplitTabTest, ChoosingSubfilesChangesTheRowsOnceTheChoiceHasClosed)
{
    advanced(true);
    t.mapset_name->value("Name");
    check(t.set_fid, true);
    t.fid->value("5");
    t.short_headers->value(1);
    t.split_list->value(1);
    t.compile_preview->value(1);

    t.kind->value(SPLIT_SUBFILES);
    t.kind->do_callback();
    EXPECT_TRUE(t.mapset_name->active()) << "changed while the choice was still open";
    settle();
    EXPECT_STREQ(t.kind->text(), " subfiles");
    EXPECT_FALSE(t.mapset_name->active());
    EXPECT_STREQ(t.mapset_name->value(), "");
    EXPECT_FALSE(t.fid->active());
    EXPECT_STREQ(t.fid->value(), "");
    for (Fl_Check_Button* off : {t.set_fid, t.compile_preview, t.limit_preview, t.limit_area, t.tdb_v3,
                                 t.marine_tdb, t.set_code_page, t.empty_dem, t.short_headers}) {
        EXPECT_FALSE(off->active()) << off->label();
        EXPECT_EQ(off->value(), 0) << off->label();
    }
    EXPECT_TRUE(t.split_list->active());
    EXPECT_EQ(t.split_list->value(), 1);

    // A MapSource check cannot be switched on for another kind.
    check(t.set_fid, true);
    EXPECT_EQ(t.set_fid->value(), 0);
    EXPECT_FALSE(t.fid->active());

    kind(SPLIT_SINGLE_MAPS);
    EXPECT_TRUE(t.short_headers->active());
    EXPECT_TRUE(t.empty_dem->active());
    EXPECT_TRUE(t.split_list->active());
    kind(SPLIT_EMPTY_MAPS);
    EXPECT_FALSE(t.split_list->active());

    kind(SPLIT_FOR_MAPSOURCE);
    EXPECT_TRUE(t.mapset_name->active());
    EXPECT_TRUE(t.set_fid->active());
    EXPECT_FALSE(t.fid->active());  // its check is off
    EXPECT_TRUE(t.compile_preview->active());
    EXPECT_EQ(t.compile_preview->value(), 0);  // no compiler path set
}

TEST_F(SplitTabTest, AdvancedOffHidesAndResetsEveryRowItHides)
{
    advanced(true);
    t.output_directory->value("/tmp");
    t.short_headers->value(1);
    check(t.limit_area, true);
    t.south->value("10");
    t.north->value("20");
    check(t.set_code_page, true);
    t.code_page->value("1250");
    t.files_name->value("name");
    for (Fl_Check_Button* c : {t.tdb_v3, t.marine_tdb, t.split_list, t.empty_dem})
        c->value(1);

    advanced(false);
    for (Fl_Widget* w : {static_cast<Fl_Widget*>(t.short_headers), static_cast<Fl_Widget*>(t.limit_area),
                         static_cast<Fl_Widget*>(t.south), static_cast<Fl_Widget*>(t.code_page),
                         static_cast<Fl_Widget*>(t.files_name), static_cast<Fl_Widget*>(t.split_list)})
        EXPECT_FALSE(w->visible());
    EXPECT_TRUE(t.mapset_name->visible());
    EXPECT_TRUE(t.set_fid->visible());
    EXPECT_EQ(t.limit_area->value(), 0);
    EXPECT_FALSE(t.south->active());
    EXPECT_STREQ(t.north->value(), "");

    TaskOptions record;
    std::string logged;
    ASSERT_TRUE(collect(record, logged)) << logged;
    EXPECT_EQ(record.limit_longitude, 0);
    EXPECT_EQ(record.limit_south | record.limit_north, 0);
    EXPECT_EQ(record.short_header, 0);
    EXPECT_EQ(record.mapset_code_page, 0u);
    EXPECT_EQ(record.mapset_file_name, "mapset");
    EXPECT_EQ(record.create_tdb_v3 | record.marine_tdb | record.create_split_list | record.add_empty_dem, 0);

    advanced(true);
    EXPECT_TRUE(t.limit_area->visible());
    EXPECT_FALSE(t.south->active());
}

// Every field of a record, one per line, so a mismatch names itself.
std::string every_field(const TaskOptions& o)
{
    std::ostringstream s;
    s << "output_file " << o.output_file << "\nmapset_name " << o.mapset_name << "\ncompiler_path "
      << o.compiler_path << "\noutput_path " << o.output_path << "\nmapset_file_name " << o.mapset_file_name
      << "\nmap_name " << o.map_name << "\n";
    const std::pair<const char*, int> bytes[] = {
        {"verbose", o.verbose}, {"join_maps", o.join_maps}, {"split_mode", o.split_mode},
        {"show_info", o.show_info}, {"write_changes", o.write_changes}, {"priority", o.priority},
        {"transparency", o.transparency}, {"short_header", o.short_header},
        {"mapsource_split_a", o.mapsource_split_a}, {"mapsource_split_b", o.mapsource_split_b},
        {"preview_limits", o.preview_limits}, {"limit_longitude", o.limit_longitude}, {"id_flags", o.id_flags},
        {"nt_format", o.nt_format}, {"create_tdb_v3", o.create_tdb_v3}, {"remove_dem", o.remove_dem},
        {"remove_nod", o.remove_nod}, {"map_id_mode", o.map_id_mode}, {"announce_files", o.announce_files},
        {"split_by_fid", o.split_by_fid}, {"no_mps", o.no_mps}, {"other_data", o.other_data},
        {"compiler_is_maptk", o.compiler_is_maptk}, {"compiler_is_mkgmap", o.compiler_is_mkgmap},
        {"header_date_flags", o.header_date_flags}, {"typ_fix_flags", o.typ_fix_flags},
        {"split_subfiles", o.split_subfiles}, {"create_split_list", o.create_split_list},
        {"label_case", o.label_case}, {"add_empty_dem", o.add_empty_dem}, {"split_empty", o.split_empty},
        {"marine_tdb", o.marine_tdb}, {"tre_param_flags", o.tre_param_flags}, {"version_flags", o.version_flags},
        {"typ_only", o.typ_only}, {"replace_typ", o.replace_typ}, {"mps_name", o.mps_name},
        {"mps_id_flags", o.mps_id_flags},
    };
    for (const auto& [name, value] : bytes)
        s << name << " " << value << "\n";
    const std::pair<const char*, int64_t> words[] = {
        {"block_size", o.block_size}, {"input_count", o.input_count}, {"family_id", o.family_id},
        {"product_id", o.product_id}, {"typ_family_id", o.typ_family_id}, {"typ_product_id", o.typ_product_id},
        {"typ_code_page", o.typ_code_page}, {"mapset_code_page", o.mapset_code_page}, {"map_id", o.map_id},
        {"mapset_name_result", o.mapset_name_result}, {"map_name_result", o.map_name_result},
        {"code_page", o.code_page}, {"mps_family_id", o.mps_family_id}, {"mps_product_id", o.mps_product_id},
        {"limit_south", o.limit_south}, {"limit_north", o.limit_north}, {"limit_east", o.limit_east},
        {"limit_west", o.limit_west}, {"split_result", o.split_result},
    };
    for (const auto& [name, value] : words)
        s << name << " " << value << "\n";
    s << "header_date " << o.header_date.year << "." << int(o.header_date.month) << "." << int(o.header_date.day)
      << "\ntre_params " << int(o.tre_params[0]) << "," << int(o.tre_params[1]) << "," << int(o.tre_params[2])
      << "," << int(o.tre_params[3]) << "\nversion_bytes " << int(o.version_bytes[0]) << ","
      << int(o.version_bytes[1]) << "," << int(o.version_bytes[2]) << "\nproduct_code ["
      << std::string(o.product_code, 12) << "]\n";
    return s.str();
}

TEST_F(SplitTabTest, RunButtonsHandTheRecordToTheSplit)
{
    const std::string first = data_path("gmapsupp/west-1101-p1.img");
    const std::string second = data_path("gmapsupp/central-1201-p2.img");
    add_file(first.c_str(), -1);
    add_file(second.c_str(), -1);
    t.output_directory->value("/out dir");
    t.mapset_name->value("My maps");
    check(t.set_fid, true);
    t.fid->value("1101");
    t.compile_preview->value(0);
    t.buttons.all->do_callback();

    ASSERT_EQ(bridge_calls.size(), 1u);
    const TaskOptions& all = bridge_calls[0].record;
    EXPECT_EQ(bridge_calls[0].names, (std::vector<std::string>{first, second}));
    EXPECT_EQ(all.output_path, "/out dir");
    EXPECT_EQ(all.mapsource_split_a, 1);
    EXPECT_EQ(all.mapsource_split_b, 1);
    EXPECT_EQ(all.mapset_name, "My maps");
    EXPECT_EQ(all.family_id, 1101u);
    EXPECT_EQ(all.product_id, 0u);
    EXPECT_EQ(all.id_flags, 1);
    EXPECT_EQ(all.mapset_file_name, "mapset");
    EXPECT_EQ(all.verbose, 1);
    EXPECT_EQ(all.compiler_path, "");
    EXPECT_NE(log_text().find("\nSplit all maps.\n"), std::string::npos);
    // Nothing else is set: the whole record as the split gets it.
    TaskOptions expected = tab_record();
    expected.output_path = "/out dir";
    expected.mapsource_split_a = expected.mapsource_split_b = 1;
    expected.mapset_name = "My maps";
    expected.mapset_name_result = converted_name_code_page();
    expected.family_id = 1101;
    expected.id_flags = 1;
    expected.mapset_file_name = "mapset";
    expected.split_mode = 1;
    expected.verbose = 1;
    expected.announce_files = 1;
    EXPECT_EQ(every_field(all), every_field(expected));

    advanced(true);
    kind(SPLIT_SUBFILES);
    t.split_list->value(1);
    file_list->deselect();
    file_list->select(2);
    t.buttons.selected->do_callback();
    ASSERT_EQ(bridge_calls.size(), 2u);
    const TaskOptions& selected = bridge_calls[1].record;
    EXPECT_EQ(bridge_calls[1].names, std::vector<std::string>{second});
    EXPECT_EQ(selected.split_subfiles, 1);
    EXPECT_EQ(selected.create_split_list, 1);
    EXPECT_EQ(selected.mapsource_split_a, 0);
    EXPECT_EQ(selected.mapset_name, "");
    EXPECT_EQ(selected.id_flags, 0);
    EXPECT_NE(log_text().find("\nSplit selected maps.\n"), std::string::npos);
}

TEST_F(SplitTabTest, PreviewIsCompiledOnlyAfterAMapSourceSplitWithoutErrors)
{
    ScratchDir dir;
    const std::string fake = dir.file("compiler");
    write_file(fake, "#!/bin/sh\necho compiled\n");
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    CgpsmapperPath = fake;
    clear_split_tab();
    EXPECT_EQ(t.compile_preview->value(), 1);  // the compiler has a path
    add_file(data_path("gmapsupp/west-1101-p1.img").c_str(), -1);
    t.output_directory->value(dir.path().c_str());

    t.buttons.all->do_callback();
    std::string log = log_text();
    EXPECT_NE(log.find("Running compiler for preview map compilation.\n\"\"" + fake + "\" -l"), std::string::npos)
        << log;
    EXPECT_NE(log.find("compiled\n\nResult OK.\n"), std::string::npos) << log;
    ASSERT_EQ(bridge_calls.size(), 1u);
    EXPECT_EQ(bridge_calls[0].record.compiler_path, fake);

    // The split counted an error: its preview map is not to be trusted.
    split_errors_to_count = 1;
    size_t before = log_text().size();
    t.buttons.all->do_callback();
    EXPECT_EQ(log_text().find("Running compiler", before), std::string::npos);
    EXPECT_EQ(bridge_calls.size(), 2u);
}

TEST_F(SplitTabTest, DirectoryButtonStartsAtTheTextOrTheDialogFolder)
{
    dialogs.choices.push_back({{"/chosen/dir"}, "/chosen"});
    t.directory_button->do_callback();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.request_titles[0], "Output directory");
    EXPECT_EQ(dialogs.request_directories[0], dialog_start_dir);
    EXPECT_STREQ(dialogs.requests[0].filter, "All Files (*)");
    EXPECT_TRUE(dialogs.requests[0].type & Fl_File_Chooser::DIRECTORY);
    EXPECT_TRUE(dialogs.requests[0].type & Fl_File_Chooser::CREATE);
    EXPECT_STREQ(t.output_directory->value(), "/chosen/dir");

    t.directory_button->do_callback();  // cancelled: the text stays
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.request_directories[1], "/chosen/dir");
    EXPECT_STREQ(t.output_directory->value(), "/chosen/dir");
}

TEST_F(SplitTabTest, LanguageChangeRelabelsAndKeepsTheChosenKind)
{
    kind(SPLIT_SUBFILES);
    load_language(2);
    EXPECT_STREQ(t.buttons.all->label(), "Podziel wszystkie");
    EXPECT_STREQ(t.limit_area->label(), "Ogranicz obszar zestawu");
    EXPECT_STREQ(t.kind->label(), "Utwórz   ");
    EXPECT_EQ(t.kind->value(), SPLIT_SUBFILES);
    EXPECT_STREQ(t.kind->text(), " podpliki");
    EXPECT_EQ(t.kind->size(), 7);  // six items and the end

    t.kind->value(static_cast<const Fl_Menu_Item*>(nullptr));
    load_language(1);
    EXPECT_EQ(t.kind->value(), SPLIT_NONE);
    EXPECT_STREQ(t.buttons.all->label(), "Split all");
    EXPECT_STREQ(t.kind->menu()[5].label(), " TYP files");
}

// Through the real bridge: a split into a folder that does not exist is one
// line naming it, and a split for MapSource of maps that name no family is
// refused; neither writes anything.
TEST_F(SplitTabTest, ASplitThatCannotBeMadeSaysSoOnceAndWritesNothing)
{
    reset_task_calls();
    ScratchDir dir;
    add_file(data_path("single/plain/11000001.img").c_str(), -1);
    add_file(data_path("single/plain/11000002.img").c_str(), -1);
    const std::string missing = dir.file("missing");
    struct Case {
        int kind;
        std::string folder, line;
    } cases[] = {
        {SPLIT_SINGLE_MAPS, missing, "Output directory " + missing + " cannot be used (No such file or directory).\n"},
        {SPLIT_FOR_MAPSOURCE, dir.path(), "FID missing, creating TDB aborted.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const size_t before = log_text().size();
        clear_split_tab();
        kind(c.kind);
        t.output_directory->value(c.folder.c_str());
        t.buttons.all->do_callback();
        const std::string log = log_text().substr(before);
        const size_t at = log.find(c.line);
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_EQ(log.find(c.line, at + 1), std::string::npos) << log;
        EXPECT_EQ(log.find("Create output file error"), std::string::npos) << log;
        EXPECT_EQ(log.find("Split map"), std::string::npos) << log;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(SplitTabTest, MapSourceSplitWithMkgmapPreviewEndToEnd)
{
    if (platform::find_program_in_path("java").empty() || !std::filesystem::exists("/usr/share/mkgmap/mkgmap.jar"))
        GTEST_SKIP() << "java or mkgmap missing";
    reset_task_calls();
    ScratchDir dir;
    const std::string input = dir.file("west-1101-p1.img");
    write_file(input, read_file(data_path("gmapsupp/west-1101-p1.img")));
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    add_file(input.c_str(), -1);

    // A blank mkgmap path: the packaged mkgmap.
    Compiler = 2;
    clear_split_tab();
    t.compile_preview->value(1);
    t.output_directory->value(out.c_str());
    t.buttons.all->do_callback();

    const std::string log = log_text();
    std::smatch found;
    ASSERT_TRUE(std::regex_search(log, found, std::regex("--mapname=([0-9]{8})"))) << log;
    const std::string preview = out + "/" + found[1].str() + ".img";
    EXPECT_EQ(error_count, 0) << log;
    EXPECT_NE(log.find("Result OK.\n"), std::string::npos) << log;
    for (const char* name : {"11000001.img", "11000002.img", "mapset.tdb", "mapset.mp"})
        EXPECT_TRUE(std::filesystem::exists(out + "/" + name)) << name;
    ASSERT_TRUE(std::filesystem::exists(preview)) << log;

    RunResult info = run_twk({"-i", preview});
    EXPECT_EQ(info.exit_code, 0) << info.output;
    EXPECT_NE(info.output.find(found[1].str() + " MPC"), std::string::npos) << info.output;
}

}  // namespace
