// Split file copies, outline maps and bounds lists, and the safety of the
// names they are written under.
#include "operations/split_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "core/file_names.h"
#include "operations/img_writer.h"
#include "tests/operations/split_fixture.h"
#include "tests/support/subfile_images.h"

namespace {

const char* const gmapsupp_files[] = {
    "gmapsupp/central-1201-p2.img",  "gmapsupp/dem-1401-p1.img",      "gmapsupp/from-img-index-6324.img",
    "gmapsupp/index-1101-p1.img",    "gmapsupp/many-60maps-3101.img", "gmapsupp/mixed-3families.img",
    "gmapsupp/unicode-1301-p3.img",  "gmapsupp/west-1101-p1.img",
};

// A map record of the given kind and name for the naming rules.
MapEntry named_map(FileKind kind, const char* name8, uint32_t ordinal = 0)
{
    MapEntry map;
    map.kind = kind;
    memcpy(map.name, name8, strnlen(name8, 8));
    map.ordinal = ordinal;
    return map;
}

}  // namespace

TEST(SplitNames, SanitisedNamesStayInsideTheDirectory)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"../../x", "_.__._x"}, {"a/b", "a_b"}, {"a\\b", "a_b"}, {std::string("a\x01\x1f\x7f", 4), "a___"},
        {"..", "_."},           {".", "_"},     {"", "_"},      {"ok.TYP", "ok.TYP"},
    };
    for (const Case& c : cases) {
        std::string name = c.in;
        sanitise_output_file_name(name);
        EXPECT_EQ(name, c.out) << c.in;
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(name.find(".."), std::string::npos);
    }
}

TEST(SplitNames, SubfileFileNames)
{
    EXPECT_EQ(make_subfile_file_name("NAME    ", "RGN"), "NAME.RGN");
    EXPECT_EQ(make_subfile_file_name("NAME    ", "   "), "NAME.");
    EXPECT_EQ(make_subfile_file_name("        ", "TRE"), " .TRE");  // the first character stays
    EXPECT_EQ(make_subfile_file_name("12345678", "mp "), "12345678.mp");
    EXPECT_EQ(make_subfile_file_name("../../x ", "TYP"), "_.__._x.TYP");
    EXPECT_EQ(make_subfile_file_name("A\nB     ", "T\tP"), "A_B.T_P");
}

TEST(SplitNames, NumbersFromMapNames)
{
    EXPECT_EQ(map_name_number("I0012345"), 0x12345u);
    EXPECT_EQ(map_name_number("00012345"), 12345u);
    EXPECT_EQ(map_name_number("1234    "), 1234u);
    EXPECT_EQ(map_name_number("99999999"), 99999999u);
    EXPECT_EQ(map_name_number("I5F5E0FF"), 99999999u);
    EXPECT_EQ(map_name_number("I5F5E100"), 0u);  // 100000000
    EXPECT_EQ(map_name_number("00000000"), 0u);
    EXPECT_EQ(map_name_number("12A45678"), 0u);
    EXPECT_EQ(map_name_number("12 45678"), 0u);
    EXPECT_EQ(map_name_number("I       "), 0u);
    EXPECT_EQ(map_name_number("ABC     "), 0u);
}

TEST(SplitNames, PerMapImgNames)
{
    std::string name;
    uint32_t number = 7, counter = 0;

    MapEntry hex = named_map(FILE_MPC, "I0012345");
    make_split_map_file_name(hex, counter, name, number);
    EXPECT_EQ(name, "00074565.img");
    EXPECT_EQ(number, 74565u);

    MapEntry decimal = named_map(FILE_MPC, "00012345", 1);
    make_split_map_file_name(decimal, counter, name, number);
    EXPECT_EQ(name, "00012345-1.img");

    MapEntry text = named_map(FILE_MPC, "ABC     ");
    make_split_map_file_name(text, counter, name, number);
    EXPECT_EQ(name, "ABC.img");
    EXPECT_EQ(number, 0u);

    MapEntry srt = named_map(FILE_SRT, "1234    ");
    make_split_map_file_name(srt, counter, name, number);
    EXPECT_EQ(name, "1234_srt.img");
    MapEntry mdr = named_map(FILE_IDX, "MDR     ", 2);
    make_split_map_file_name(mdr, counter, name, number);
    EXPECT_EQ(name, "MDR-2_mdr.img");

    // The TRE map ID comes first, whatever the name says.
    TreInfo tre;
    tre.map_id = 11000001;
    MapEntry with_tre = named_map(FILE_MPC, "I0012345");
    with_tre.tre_info = &tre;
    make_split_map_file_name(with_tre, counter, name, number);
    EXPECT_EQ(name, "11000001.img");
    tre.map_id = 100000000;
    make_split_map_file_name(with_tre, counter, name, number);
    EXPECT_EQ(name, "00074565.img");

    // A counter numbers the maps without a usable number, one after another.
    counter = 0x800123;
    make_split_map_file_name(text, counter, name, number);
    EXPECT_EQ(name, "08388899.img");
    EXPECT_EQ(number, 0x800123u);
    make_split_map_file_name(srt, counter, name, number);  // has its own number
    EXPECT_EQ(name, "1234_srt.img");
    MapEntry srt_text = named_map(FILE_SRT, "SORT    ");
    make_split_map_file_name(srt_text, counter, name, number);
    EXPECT_EQ(name, "8388900_srt.img");
    EXPECT_EQ(counter, 0x800125u);

    counter = 0;
    MapEntry hostile = named_map(FILE_MPC, "../x/..");
    make_split_map_file_name(hostile, counter, name, number);
    EXPECT_EQ(name.find('/'), std::string::npos);
    EXPECT_EQ(name.find(".."), std::string::npos);
}

TEST(SplitArea, FilterWithAndWithoutLimits)
{
    TreInfo tre;
    tre.header = std::vector<uint8_t>(0x21, 0);
    auto bounds = [&](uint32_t north, uint32_t east, uint32_t south, uint32_t west) {
        ByteSpan h(tre.header);
        h.put_u24(0x15, north);
        h.put_u24(0x18, east);
        h.put_u24(0x1B, south);
        h.put_u24(0x1E, west);
    };
    clear_task_options(task_options);
    bounds(0x400000, 0x100, 0xC00000, 0xFFFF00);  // south -0x400000, west -0x100
    EXPECT_EQ(is_outside_mapset_area(tre), 0);
    bounds(0x400001, 0x100, 0, 0);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    bounds(0x100, 0x100, 0xBFFFFF, 0);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    // North and east turn negative only above 0x800000.
    bounds(0x800000, 0x800000, 0, 0);
    EXPECT_EQ(tre_bounds(tre).north, 0x800000);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    bounds(0x800001, 0x800001, 0x800000, 0x800000);
    TreBounds b = tre_bounds(tre);
    EXPECT_EQ(b.north, -0x7FFFFF);
    EXPECT_EQ(b.east, -0x7FFFFF);
    EXPECT_EQ(b.south, -0x800000);
    EXPECT_EQ(b.west, -0x800000);

    // With the longitude limits only the four limits count, even where
    // they reach beyond 90 degrees.
    task_options.limit_longitude = 1;
    task_options.limit_south = -0x500000;
    task_options.limit_north = 0x500000;
    task_options.limit_east = 8318702;
    task_options.limit_west = -8318702;
    bounds(0x400001, 0x100, 0xBFFFFF, 0);
    EXPECT_EQ(is_outside_mapset_area(tre), 0);
    bounds(0x500001, 0x100, 0, 0);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    bounds(0x100, 8318703, 0, 0);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    bounds(0x100, 0x100, 0, 0x1000000 - 8318703);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    bounds(0x100, 0x100, 0x1000000 - 0x500001, 0);
    EXPECT_EQ(is_outside_mapset_area(tre), 1);
    bounds(0x500000, 8318702, 0x1000000 - 0x500000, 0x1000000 - 8318702);
    EXPECT_EQ(is_outside_mapset_area(tre), 0);
    clear_task_options(task_options);
}

// ---------------------------------------------------------------- outline maps and bounds lists

class OutlineMaps : public SplitTest {
protected:
    // A container of one map whose TRE has the given levels.
    InputFile& map_with_levels(const std::string& levels, const std::string& name8 = "12345678",
                               uint32_t map_id = 12345678)
    {
        ImgBuilder b;
        TreSpec tre;
        tre.map_id = map_id;
        tre.levels = levels;
        b.add_subfile(name8, "TRE", tre_subfile(tre));
        b.add_subfile(name8, "RGN", common_header("RGN", 125));
        b.add_subfile(name8, "LBL", lbl_subfile());
        return add_built(b, "levels.img");
    }
};

TEST_F(OutlineMaps, LevelsCountedBackFromTheLast)
{
    std::string levels =
        tre_level(4, 16, 1, true) + tre_level(3, 18, 1) + tre_level(2, 20, 1) + tre_level(1, 22, 1);
    map_with_levels(levels);
    task_options.split_empty = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(outputs(), (std::set<std::string>{"12345678.mp", "levels.list"}));
    EXPECT_EQ(log, "Writing: 12345678.mp\n");
    EXPECT_EQ(output("12345678.mp"),
              "[IMG ID]\r\n;ID=I0BC614E\r\nID=12345678\r\nName=Map 12345678\r\n"
              ";LBLcoding=9\r\n;CodePage=1252\r\nPreprocess=N\r\nTreSize=1024\r\nTreMargin=0.0\r\n"
              "RgnLimit=5000\r\n;Transparent=Y\r\n"
              "Levels=4\r\nLevel0=22\r\nLevel1=20\r\nLevel2=18\r\nLevel3=16\r\n"
              "Zoom0=1\r\nZoom1=2\r\nZoom2=3\r\nZoom3=4\r\n[END-IMG ID]\r\n\r\n"
              "[POLYGON]\r\nType=0x4B\r\nData0=(46.9999838,7.9999995),(47.0490146,7.9999995),"
              "(47.0490146,8.0500174),(46.9999838,8.0500174)\r\n[END]\r\n\r\n"
              "[POI]\r\nType=0x28\r\nData0=(46.9999838,7.9999995)\r\nEndlevel=2\r\n[END]\r\n\r\n");
    EXPECT_EQ(output("levels.list"),
              "12345678: 2190358,372827 to 2192643,375158\r\n"
              "# 12345678: 46.9999838,7.9999995 to 47.0490146,8.0500174\r\n\r\n");
}

TEST_F(OutlineMaps, IdentityLinesByNameAndCompiler)
{
    std::string levels = tre_level(1, 20, 1, true) + tre_level(0, 24, 1);
    auto identity = [&](const std::string& name8, const std::string& file) {
        free_input_file_list(inputs);
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        map_with_levels(levels, name8, 0x1234);
        EXPECT_EQ(split(), 1);
        std::string text = output(file);
        size_t start = text.find("\r\n") + 2;
        size_t end = text.find("Name=");
        return text.substr(start, end - start);
    };
    task_options.split_empty = 1;
    EXPECT_EQ(identity("I0001234", "I0001234.mp"), "ID=I0001234\r\n;ID=4660\r\n");
    EXPECT_EQ(identity("ABC     ", "ABC.mp"), "ID=I0001234\r\n;ID=4660\r\n");
    EXPECT_EQ(identity("00004660", "00004660.mp"), ";ID=I0001234\r\nID=00004660\r\n");
    task_options.compiler_is_maptk = 1;
    EXPECT_EQ(identity("ABC     ", "ABC.mp"), ";ID=I0001234\r\nID=4660\r\n");
    // One level of its own: no end level on the point.
    EXPECT_EQ(output("ABC.mp").find("Endlevel"), std::string::npos);
    EXPECT_NE(output("ABC.mp").find("Levels=2\r\nLevel0=24\r\nLevel1=20\r\nZoom0=0\r\nZoom1=1\r\n"),
              std::string::npos);
}

TEST_F(OutlineMaps, NoOutlineWithoutALevelOfItsOwn)
{
    map_with_levels(tre_level(0, 24, 1, true));
    task_options.split_empty = 1;
    EXPECT_EQ(split(), 1);
    // The map still has its line in the bounds list.
    EXPECT_EQ(outputs(), std::set<std::string>{"levels.list"});
    EXPECT_NE(output("levels.list").find("12345678: "), std::string::npos);
}

TEST_F(OutlineMaps, DeclaresOnlyTheLevelsItWrites)
{
    map_with_levels(tre_level(2, 20, 1) + tre_level(1, 22, 1) + tre_level(0, 24, 1));
    task_options.split_empty = 1;
    EXPECT_EQ(split(), 1);
    std::string text = output("12345678.mp");
    EXPECT_NE(text.find("Levels=3\r\nLevel0=24\r\nLevel1=22\r\nLevel2=20\r\nZoom0=0\r\nZoom1=1\r\nZoom2=2\r\n["),
              std::string::npos);
}

TEST_F(OutlineMaps, RealMapsAgreeWithTheirTreBounds)
{
    for (const char* file : gmapsupp_files)
        add(data_path(file));
    add(data_path("mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.TRE"));
    task_options.split_empty = 1;
    task_options.verbose = 1;
    EXPECT_EQ(split(), 1) << log;
    EXPECT_EQ(error_count, 0);
    for (auto& input : inputs) {
        std::string list = output(input->base_name.substr(0, input->base_name.rfind('.')) + ".list");
        auto check = [&](const TreInfo& tre, const char* name8) {
            TreBounds b = tre_bounds(tre);
            char line[128];
            snprintf(line, sizeof line, "%u: %d,%d to %d,%d\r\n", tre.map_id, b.south, b.west, b.north, b.east);
            EXPECT_NE(list.find(line), std::string::npos) << input->path << " " << line;
            std::string name = make_subfile_file_name(name8, "mp ");
            std::string text = output(name);
            EXPECT_EQ(text.rfind("[IMG ID]\r\n", 0), 0u) << name;
            EXPECT_NE(text.find("[POLYGON]\r\nType=0x4B\r\n"), std::string::npos) << name;
        };
        size_t lines = 0;
        if (input->kind == FILE_IMG) {
            for (MapEntry* map : input->maps)
                if (map->tre_info) {
                    check(*map->tre_info, map->name);
                    ++lines;
                }
        } else {
            check(*input->single_subfile.tre_info, input->single_subfile.name);
            lines = 1;
        }
        EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), static_cast<long>(3 * lines)) << input->path;
    }
    // The corpus's maps lie at 47.00-47.05 N, 8.00-8.10 E.
    EXPECT_EQ(output("west-1101-p1.list"),
              "11000001: 2190358,372827 to 2192643,375158\r\n"
              "# 11000001: 46.9999838,7.9999995 to 47.0490146,8.0500174\r\n\r\n"
              "11000002: 2190358,375157 to 2192643,377441\r\n"
              "# 11000002: 46.9999838,8.0499959 to 47.0490146,8.0990052\r\n\r\n");
}

// ---------------------------------------------------------------- hostile names

// A container whose FAT names try to leave the output directory.
ImgBuilder hostile_container()
{
    ImgBuilder b;
    TreSpec tre;
    tre.map_id = 1;
    b.add_subfile("../../x", "TRE", tre_subfile(tre));
    b.add_subfile("../../x", "RGN", common_header("RGN", 125));
    b.add_subfile("a/b", "TYP", typ_subfile());
    b.add_subfile(std::string("\x01\n\x7f", 3), "TYP", typ_subfile(1252, 2));
    b.add_subfile("..", "T/P", typ_subfile(1252, 3));
    return b;
}

// Every file made lies in the output directory and nothing appeared beside it.
void expect_only_inside(const std::string& dir, const std::string& out, size_t made)
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
        EXPECT_EQ(entry.path().parent_path().string(), out);
        ++count;
    }
    EXPECT_EQ(count, made);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "out" || name == "hostile.img") << name;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir).parent_path() / "x.TRE"));
}

TEST_F(SplitTest, HostileNamesStayInTheOutputDirectory)
{
    add_built(hostile_container(), "hostile.img");

    task_options.split_subfiles = 1;
    EXPECT_EQ(split(), 1) << log;
    expect_only_inside(dir.path(), out, 5);

    fresh_output();
    task_options.typ_only = 1;
    EXPECT_EQ(split(), 1) << log;
    expect_only_inside(dir.path(), out, 2);

    fresh_output();
    task_options.split_empty = 1;
    EXPECT_EQ(split(), 1) << log;
    expect_only_inside(dir.path(), out, 2);
    std::string list = output("hostile.list");
    EXPECT_EQ(list.find("\n..") , std::string::npos);
    EXPECT_EQ(error_count, 0);
}

// ---------------------------------------------------------------- failures to write (every one counted)

TEST_F(SplitTest, OutlineAndListThatCannotBeCreatedCountErrors)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    // Folders in the way of the two outline maps and the list.
    for (const char* name : {"11000001.mp", "11000002.mp", "west-1101-p1.list"})
        std::filesystem::create_directory(out + "/" + name);
    task_options.split_empty = 1;
    EXPECT_EQ(split(), 0);
    EXPECT_EQ(error_count, 3);
    EXPECT_NE(log.find("Create output file error, file " + out + "/11000001.mp (Is a directory).\n"),
              std::string::npos);
    EXPECT_NE(log.find("Create output file error, file " + out + "/west-1101-p1.list (Is a directory).\n"),
              std::string::npos);
}

// Under a file-size limit every write fails part-way, as on a full disk:
// each output is counted, said not to be written, and none is left behind,
// whole or cut. The limited runs are twk processes: a forked copy of this
// one would inherit no worker threads.
static RunResult limited_twk(uint64_t limit, const std::vector<std::string>& args, const std::string& lang = "C")
{
    return run_with_file_size_limit(limit, [&](std::string& text) {
        RunResult run = run_twk(args, lang);
        text = run.output;
        return run.exit_code;
    });
}

TEST_F(SplitTest, OutlineAndListThatCannotBeWrittenCountErrors)
{
    RunResult run = limited_twk(16, {"-LicenseAcknowledge", "-k", "-o", out, data_path("gmapsupp/west-1101-p1.img")});
    EXPECT_EQ(run.exit_code, 4) << run.output;
    for (const char* name : {"11000001.mp", "11000002.mp", "west-1101-p1.list"}) {
        EXPECT_NE(run.output.find("Write error, file " + out + "/" + name + " (File too large).\n"), std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("Output file " + out + "/" + name + " was not written.\n"), std::string::npos);
    }
    EXPECT_TRUE(outputs().empty());

    run = limited_twk(16, {"-LicenseAcknowledge", "-k", "-o", out, data_path("gmapsupp/west-1101-p1.img")},
                      "pl_PL.UTF-8");
    EXPECT_NE(run.output.find("Błąd zapisu pliku " + out + "/11000001.mp (File too large).\n"), std::string::npos)
        << run.output;
}

// A write that fails is said once, naming the file with its extension, and
// ends the split.
TEST_F(SplitTest, AFailedWriteIsSaidOnce)
{
    struct Case {
        std::vector<std::string> options;
        std::string line;
    } cases[] = {
        {{"-s"}, "Write error, file 11000001.img (File too large).\n"},
        {{"-s", "-x"}, "Write error, file " + out + "/WEST1101.TYP (File too large).\n"},
        {{"-S", "-f", "1101"}, "Write error, file 11000001.img (File too large).\n"},
        {{"-g"}, "Write error, file " + out + "/00001101.SRT (File too large).\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0] + " " + c.options.back());
        fresh_output();
        std::vector<std::string> args{"-LicenseAcknowledge"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"-o", out, data_path("gmapsupp/west-1101-p1.img")});
        RunResult run = limited_twk(600, args);
        EXPECT_EQ(run.exit_code, 4);
        size_t at = run.output.find(c.line);
        ASSERT_NE(at, std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Write error", at + 1), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Write error"), at) << run.output;
    }
}

// A read that fails in the middle of a split (the input was cut after it
// was read) is said once, naming the input.
TEST_F(SplitTest, AFailedReadIsSaidOnceNamingTheInput)
{
    std::string copy = dir.file("cut.img");
    std::string whole = read_file(data_path("gmapsupp/west-1101-p1.img"));
    write_file(copy, whole);
    add(copy);
    std::filesystem::resize_file(copy, whole.size() / 2);
    task_options.split_subfiles = 1;
    EXPECT_EQ(split(), 0);
    size_t at = log.find("Read error, file " + copy + ".\n");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("error", at + 6), std::string::npos) << log;
}

TEST_F(SplitTest, SplitThatRunsOutOfSpaceLeavesNoPartialFiles)
{
    for (const char* command : {"-s", "-g"}) {
        SCOPED_TRACE(command);
        fresh_output();
        std::vector<std::string> args{"-LicenseAcknowledge", command, "-o", out, data_path("gmapsupp/west-1101-p1.img")};
        RunResult full = run_twk(args);
        ASSERT_EQ(full.exit_code, 0) << full.output;
        std::map<std::string, std::string> whole;
        for (const std::string& name : outputs())
            whole[name] = output(name);
        fresh_output();
        RunResult run = limited_twk(600, args);
        EXPECT_EQ(run.exit_code, 4) << run.output;
        EXPECT_NE(run.output.find(" was not written.\n"), std::string::npos) << run.output;
        // What is there is exactly what a run with room writes; nothing else.
        for (const std::string& name : outputs()) {
            ASSERT_TRUE(whole.count(name)) << name;
            EXPECT_EQ(output(name), whole[name]) << name;
        }
        EXPECT_LT(outputs().size(), whole.size());
    }
}

TEST_F(SplitTest, MkgmapCompilesAnOutlineMap)
{
    if (!have_mkgmap())
        GTEST_SKIP() << "mkgmap is not installed";
    add(data_path("gmapsupp/west-1101-p1.img"));
    task_options.split_empty = 1;
    ASSERT_EQ(split(), 1);
    ScratchDir compiled;
    RunResult run = run_program("mkgmap", {"--output-dir=" + compiled.path(), out + "/11000001.mp"});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output.find("SEVERE"), std::string::npos) << run.output;
    InputList back;
    InputFile& map = add_input_file(back, compiled.file("11000001.img"));
    ASSERT_EQ(read_input_file(map), 1) << take_log();
    ASSERT_EQ(map.map_count, 1u);
    ASSERT_NE(map.maps[0]->tre_info, nullptr);
    EXPECT_EQ(map.maps[0]->tre_info->map_id, 11000001u);
    // Four levels of 24, 22, 20 and 18 bits, the last one inherited.
    const TreInfo& tre = *map.maps[0]->tre_info;
    ASSERT_EQ(tre.levels_size, 16u);
    EXPECT_EQ(tre.levels[1], 18);
    EXPECT_EQ(tre.levels[13], 24);
    TreBounds b = tre_bounds(tre);
    const MapEntry* source = nullptr;
    for (const MapEntry* m : inputs[0]->maps)
        if (m->map_number == 11000001)
            source = m;
    ASSERT_TRUE(source && source->tre_info);
    TreBounds a = tre_bounds(*source->tre_info);
    EXPECT_NEAR(b.south, a.south, 2);
    EXPECT_NEAR(b.north, a.north, 2);
    free_input_file_list(back);
}
