// Split outputs: one IMG per map (plain and for MapSource) and the mapsets
// by family ID. Every output is read back with our reader, sums to 0 and
// holds its maps' subfiles byte for byte; where mkgmap is installed it reads
// them too.
#include "operations/split_outputs.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/codepage.h"
#include "core/img_format.h"
#include "core/map_list.h"
#include "operations/mps_builder.h"
#include "operations/split_files.h"
#include "tests/operations/split_fixture.h"
#include "tests/support/console_runner.h"
#include "tests/support/subfile_images.h"

namespace {

const char* const multi_map_files[] = {
    "gmapsupp/central-1201-p2.img",  "gmapsupp/dem-1401-p1.img",      "gmapsupp/from-img-index-6324.img",
    "gmapsupp/index-1101-p1.img",    "gmapsupp/many-60maps-3101.img", "gmapsupp/mixed-3families.img",
    "gmapsupp/unicode-1301-p3.img",  "gmapsupp/west-1101-p1.img",
};

// An output read back as an input.
std::unique_ptr<InputFile> read_back(const std::string& path)
{
    auto file = std::make_unique<InputFile>();
    file->path = path;
    EXPECT_EQ(read_input_file(*file), 1) << path;
    take_log();
    return file;
}

// The 11-character FAT name a data file "NAME.EXT" stands for.
std::string fat_name_of_file(const std::string& file)
{
    size_t dot = file.rfind('.');
    std::string name = file.substr(0, dot), extension = file.substr(dot + 1);
    name.resize(8, ' ');
    extension.resize(3, ' ');
    return name + extension;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// A map of TRE, RGN and LBL subfiles.
void add_map(ImgBuilder& b, const std::string& name8, const TreSpec& tre = {})
{
    b.add_subfile(name8, "TRE", tre_subfile(tre));
    b.add_subfile(name8, "RGN", common_header("RGN", 125));
    b.add_subfile(name8, "LBL", lbl_subfile());
}

TreSpec tre_with_id(uint32_t map_id)
{
    TreSpec tre;
    tre.map_id = map_id;
    return tre;
}

// A TRE header too short to hold a map ID.
TreSpec tre_without_id()
{
    TreSpec tre;
    tre.header_length = 116;
    return tre;
}

}  // namespace

// ---------------------------------------------------------------- plans

TEST(SplitMapPlan, EstimateAndExactPlan)
{
    InputFile input;
    input.subfiles.resize(3);
    input.subfiles[0].length = 40000;
    input.subfiles[1].length = 30000;
    input.subfiles[2].length = 30000;
    MapEntry map;
    map.kind = FILE_MPC;
    map.subfile_count = 3;
    clear_task_options(task_options);
    // N(512) = 197 + 11 = 208 blocks, 208 sectors; T(1024) = 106 x 2 = 212.
    EXPECT_EQ(choose_split_map_block_size(input, map, 0), 512u);
    EXPECT_EQ(choose_split_map_block_size(input, map, 1), 512u);

    // 512: 79 + 59 + 59 data blocks, 3 FAT entries, header (1536 + 4096 +
    // 511 + 512) / 512 = 12 blocks: 209 blocks. 1024: 100 + 6 = 106 blocks,
    // 2048: 50 + 3 = 53 blocks, both 108544 bytes.
    SplitMapPlan plan = plan_split_map(input, map, 512, 4096);
    EXPECT_TRUE(plan.fits);
    EXPECT_EQ(plan.block_size, 512u);
    EXPECT_EQ(plan.header_bytes, 12u * 512);
    EXPECT_EQ(plan.total_bytes, 209u * 512);
    EXPECT_EQ(map.plan_block_size, 512u);
    EXPECT_EQ(map.plan_header_bytes, 6144u);
    EXPECT_EQ(map.plan_total_bytes, 107008u);

    // A map too large for any candidate within the writer's limits.
    input.subfiles[0].length = 0xF0000000;
    input.subfiles[1].length = 0xF0000000;
    plan = plan_split_map(input, map, 1024, 4096);
    EXPECT_FALSE(plan.fits);
    uint32_t big = choose_split_map_block_size(input, map, 0);
    EXPECT_GE(big, 65536u);
}

TEST(SplitMapPlan, AnEmptyDemCountsAsASubfile)
{
    InputFile input;
    input.subfiles.resize(1);
    input.subfiles[0].length = 1000;
    TreInfo tre;
    tre.levels_size = 8;
    tre.levels[0] = 0x81;  // inherited
    tre.levels[4] = 0x00;
    MapEntry map;
    map.kind = FILE_MPC;
    map.subfile_count = 1;
    map.tre_info = &tre;
    clear_task_options(task_options);
    SplitMapPlan without = plan_split_map(input, map, 512, 4096);
    task_options.add_empty_dem = 1;
    EXPECT_EQ(gets_empty_dem(map), 1);
    SplitMapPlan with = plan_split_map(input, map, 512, 4096);
    // 1000 bytes: 2 blocks and a header of (512 + 4096 + 511 + 512) / 512 =
    // 10 blocks. The DEM of one level (64 + 37 bytes) adds a block and a FAT
    // entry, which takes the header to (1024 + 4096 + 511 + 512) / 512 = 11.
    EXPECT_EQ(without.total_bytes, 12u * 512);
    EXPECT_EQ(with.total_bytes, 14u * 512);
    map.has_dem = 1;
    EXPECT_EQ(gets_empty_dem(map), 0);
    clear_task_options(task_options);
}

// ---------------------------------------------------------------- one IMG per map

class SplitMaps : public SplitTest {
protected:
    // Every output of a split with a list, by FAT name: the subfiles of the
    // IMG files and the data files. Each IMG must sum to 0 and be as large
    // as its map's plan said.
    std::map<std::string, std::string> split_contents(InputFile& input)
    {
        std::map<std::string, std::string> got;
        for (const std::string& name : lines_of(output("split.lst"))) {
            std::string path = out + "/" + name;
            if (name.size() < 4 || name.substr(name.size() - 4) != ".img") {
                got[fat_name_of_file(name)] = read_file(path);
                continue;
            }
            EXPECT_EQ(whole_file_byte_sum(path), 0u) << name;
            auto back = read_back(path);
            for (auto& [fat, data] : subfile_contents(*back)) {
                EXPECT_EQ(got.count(fat), 0u) << fat;
                got[fat] = data;
            }
            for (MapEntry* map : input.maps)
                if (name.rfind(map->output_file_name, 0) == 0 && map->plan_total_bytes) {
                    EXPECT_EQ(back->file_size, map->plan_total_bytes) << name;
                    EXPECT_EQ(back->header_length, map->plan_header_bytes) << name;
                }
        }
        return got;
    }
};

TEST_F(SplitMaps, EveryMultiMapFileSplitsIntoItsMapsAndJoinsBack)
{
    for (const char* file : multi_map_files) {
        free_input_file_list(inputs);
        fresh_output();
        InputFile& input = add(data_path(file));
        task_options.create_split_list = 1;
        EXPECT_EQ(split(), 1) << file << log;
        EXPECT_EQ(error_count, 0);
        std::map<std::string, std::string> expected = subfile_contents(input);
        EXPECT_EQ(split_contents(input), expected) << file;

        // Joined again, the maps hold the same subfiles; a data file joins
        // under a name of its own, so TYP files are compared by content.
        std::vector<std::string> args{"-LicenseAcknowledge", "-j", "-o", dir.file("joined.img")};
        for (const std::string& name : lines_of(output("split.lst")))
            if (name.substr(name.size() - 4) != ".MPS")
                args.push_back(out + "/" + name);
        std::filesystem::remove(dir.file("joined.img"));
        RunResult run = run_twk_here(args);
        ASSERT_EQ(run.exit_code, 0) << run.output;
        auto joined = read_back(dir.file("joined.img"));
        std::multiset<std::string> typ_in, typ_out;
        size_t compared = 0;
        for (auto& [fat, data] : subfile_contents(*joined)) {
            if (fat.substr(8) == "MPS")
                continue;
            if (fat.substr(8) == "TYP") {
                typ_out.insert(data);
                continue;
            }
            EXPECT_EQ(data, expected[fat]) << file << " " << fat;
            ++compared;
        }
        for (auto& [fat, data] : expected)
            if (fat.substr(8) == "TYP")
                typ_in.insert(data);
        EXPECT_EQ(typ_in, typ_out) << file;
        size_t others = std::count_if(expected.begin(), expected.end(), [](const auto& entry) {
            return entry.first.substr(8) != "MPS" && entry.first.substr(8) != "TYP";
        });
        EXPECT_EQ(compared, others) << file;
    }
}

TEST_F(SplitMaps, ProgressLinesAndNames)
{
    InputFile& input = add(data_path("gmapsupp/west-1101-p1.img"));
    task_options.verbose = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(outputs(), (std::set<std::string>{"11000001.img", "11000002.img", "1101_srt.img", "WEST1101.TYP",
                                                "MAKEGMAP.MPS"}));
    char line[160];
    const MapEntry* first = nullptr;
    for (const MapEntry* map : input.maps)
        if (map->output_file_name == "11000001")
            first = map;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->output_number, 11000001u);
    snprintf(line, sizeof line, "Write map  11000001 ->     11000001.img, file %9u, header %6Xh, block %u\n",
             first->plan_total_bytes, first->plan_header_bytes, first->plan_block_size);
    EXPECT_NE(log.find("Split map " + data_path("gmapsupp/west-1101-p1.img") + ".\n"), std::string::npos);
    EXPECT_NE(log.find(line), std::string::npos) << log;
    // The header is named by the second text of the map's 'L' record.
    auto back = read_back(out + "/11000001.img");
    std::string header(reinterpret_cast<const char*>(back->header_buffer.data()), 0x83);
    EXPECT_EQ(header.substr(ImgHeader::mapset_name_1, 20), "Corpus West         ");
    EXPECT_EQ(header.substr(ImgHeader::mapset_name_2, 30), std::string(30, ' '));
    EXPECT_EQ(first->description, "Corpus West");
    // Not renamed without MapSource.
    EXPECT_EQ(subfile_contents(*back).count("11000001TRE"), 1u);
    if (have_mkgmap())
        expect_mkgmap_reads(out + "/11000001.img");
}

TEST_F(SplitMaps, ShortHeaderForSmallMaps)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    task_options.short_header = 1;
    EXPECT_EQ(split(), 1);
    auto back = read_back(out + "/11000001.img");
    EXPECT_EQ(back->header_buffer[ImgHeader::first_fat], 2);
    EXPECT_EQ(back->first_fat_offset, 1024u);
    fresh_output();
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(read_back(out + "/11000001.img")->first_fat_offset, 4096u);
}

TEST_F(SplitMaps, EmptyDemOnRequest)
{
    InputFile& plain = add(data_path("single/plain/11000001.img"));
    InputFile& dem = add(data_path("gmapsupp/dem-1401-p1.img"));
    std::map<std::string, std::string> dem_in = subfile_contents(dem);
    task_options.add_empty_dem = 1;
    EXPECT_EQ(split(), 0) << log;  // see the collision below
    auto back = read_back(out + "/11000001.img");
    std::map<std::string, std::string> contents = subfile_contents(*back);
    ASSERT_EQ(contents.count("11000001DEM"), 1u);
    uint32_t levels = count_dem_levels(*plain.maps[0]->tre_info);
    EXPECT_GT(levels, 0u);
    EXPECT_EQ(contents["11000001DEM"].size(), 64 * levels + 37);
    EXPECT_EQ(contents["11000001DEM"].substr(2, 10), "GARMIN DEM");
    EXPECT_EQ(whole_file_byte_sum(out + "/11000001.img"), 0u);
    EXPECT_EQ(back->file_size, plain.maps[0]->plan_total_bytes);
    // A map with its own DEM keeps it and gets no second one. The second
    // input's 11000001 collides with the first output: one error.
    EXPECT_EQ(error_count, 1);
    auto second = read_back(out + "/11000002.img");
    EXPECT_EQ(subfile_contents(*second)["11000002DEM"], dem_in["11000002DEM"]);
}

TEST_F(SplitMaps, SecondSplitFailsOnEveryFileAndGoesOn)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(split(), 0);
    EXPECT_EQ(error_count, 5);
    for (const char* name : {"11000001.img", "11000002.img", "1101_srt.img", "WEST1101.TYP", "MAKEGMAP.MPS"})
        EXPECT_NE(log.find("Output file already exist, file " + out + "/" + name + ".\n"), std::string::npos)
            << name;
}


TEST_F(SplitMaps, HostileMapNames)
{
    ImgBuilder b;
    add_map(b, "../../x", tre_without_id());
    b.add_subfile("a/b", "TYP", typ_subfile());
    b.add_subfile("..", "T/P", typ_subfile(1252, 3));
    add_built(b, "hostile.img");
    EXPECT_EQ(split(), 1) << log;
    std::set<std::string> names = outputs();
    EXPECT_EQ(names.size(), 3u);
    for (const std::string& name : names) {
        EXPECT_EQ(name.find(".."), std::string::npos) << name;
        EXPECT_TRUE(std::filesystem::is_regular_file(out + "/" + name)) << name;
    }
    EXPECT_EQ(names.count("a_b.TYP"), 1u);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir.path()).parent_path() / "x.img"));
}

// ---------------------------------------------------------------- MapSource

TEST_F(SplitMaps, MapSourceNamesAndRenamedSubfiles)
{
    InputFile& input = add(data_path("gmapsupp/west-1101-p1.img"));
    task_options.mapsource_split_a = 1;
    task_options.mapsource_split_b = 1;
    task_options.create_split_list = 1;
    EXPECT_EQ(split(), 1) << log;
    // The MPS is passed over; the TYP is a data file.
    EXPECT_EQ(output("split.lst"), "11000001.img\n11000002.img\nWEST1101.TYP\n1101_srt.img\n");
    std::map<std::string, std::string> in = subfile_contents(input);
    std::map<std::string, std::string> map1 = subfile_contents(*read_back(out + "/11000001.img"));
    // 11000001 = 0xA7D8C1.
    EXPECT_EQ(map1.size(), 5u);
    for (const char* extension : {"TRE", "RGN", "LBL", "NET", "NOD"})
        EXPECT_EQ(map1[std::string("I0A7D8C1") + extension], in[std::string("11000001") + extension]) << extension;
    EXPECT_EQ(subfile_contents(*read_back(out + "/1101_srt.img"))["I000044DSRT"], in["00001101SRT"]);
    for (MapEntry* map : input.maps) {
        if (map->kind == FILE_MPC) {
            EXPECT_EQ(std::string(map->new_subfile_name), map->output_number == 11000001 ? "I0A7D8C1" : "I0A7D8C2");
        }
        if (map->kind == FILE_SRT) {
            EXPECT_EQ(map->output_number, 1101u);
            EXPECT_EQ(map->output_file_name, "1101_srt");
        }
    }
    EXPECT_EQ(whole_file_byte_sum(out + "/11000002.img"), 0u);
    if (have_mkgmap())
        expect_mkgmap_reads(out + "/11000002.img");
}

TEST_F(SplitMaps, MapSourceNumbersFromTheHeaderCrc)
{
    ImgBuilder b;
    b.spec.mapset_name_1 = "Roads";
    add_map(b, "ALPHA", tre_without_id());
    add_map(b, "BETA", tre_without_id());
    InputFile& input = add_built(b, "roads.img");
    uint32_t counter = (compute_crc32(input.header_buffer.data(), 144) & 0x7FF7FF) | 0x800000;
    task_options.mapsource_split_a = 1;
    mapsource_family();
    task_options.mapsource_split_b = 1;
    EXPECT_EQ(split(), 1) << log;
    char name[32], subfile[16];
    for (uint32_t i = 0; i < 2; ++i) {
        MapEntry& map = *input.maps[i];
        snprintf(name, sizeof name, "%08u.img", counter + i);
        snprintf(subfile, sizeof subfile, "I%07X", counter + i);
        EXPECT_EQ(map.output_number, counter + i);
        EXPECT_EQ(std::string(map.new_subfile_name), subfile);
        EXPECT_EQ(map.description, std::string("Roads ") + subfile);
        auto back = read_back(out + "/" + name);
        EXPECT_EQ(subfile_contents(*back).count(std::string(subfile) + "TRE"), 1u) << name;
        std::string header(reinterpret_cast<const char*>(back->header_buffer.data()), 0x83);
        EXPECT_EQ(header.substr(ImgHeader::mapset_name_1, 20), std::string("Roads ") + subfile + "      ");
    }

    // Without MapSource the maps keep their names.
    fresh_output();
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(outputs(), (std::set<std::string>{"ALPHA.img", "BETA.img"}));
    EXPECT_EQ(input.maps[1]->description, "Roads BETA");
    EXPECT_EQ(input.maps[1]->output_number, 0u);
}

TEST_F(SplitMaps, MapSourceLeavesOutMapsBeyondTheArea)
{
    ImgBuilder b;
    TreSpec north = tre_with_id(22);
    north.north = 0x400001;
    add_map(b, "00000021", tre_with_id(21));
    add_map(b, "00000022", north);
    InputFile& input = add_built(b, "area.img");
    task_options.mapsource_split_a = 1;
    mapsource_family();
    task_options.mapsource_split_b = 1;
    task_options.verbose = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(map_outputs(), std::set<std::string>{"00000021.img"});
    EXPECT_NE(log.find("Map 00000022 out of mapset area.\n"), std::string::npos) << log;
    EXPECT_EQ(input.maps[0]->outside_area, 0);
    EXPECT_EQ(input.maps[1]->outside_area, 1);
    // With the longitude limits only they count.
    fresh_output();
    task_options.mapsource_split_a = 1;
    mapsource_family();
    task_options.limit_longitude = 1;
    task_options.limit_north = 0x500000;
    task_options.limit_south = -0x500000;
    task_options.limit_east = 0x7FFFFF;
    task_options.limit_west = -0x7FFFFF;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(map_outputs(), (std::set<std::string>{"00000021.img", "00000022.img"}));
}

TEST_F(SplitMaps, MapSourceReusesANumberedMapInTheOutputDirectory)
{
    std::string numbered = out + "/00001234.img";
    write_file(numbered, read_file(data_path("single/plain/11000001.img")));
    InputFile& input = add(numbered);
    task_options.mapsource_split_a = 1;
    mapsource_family();
    task_options.mapsource_split_b = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(maps_log(), "Using original file " + numbered + " for mapset.\n");
    EXPECT_EQ(map_outputs(), std::set<std::string>{"00001234.img"});
    EXPECT_EQ(input.maps[0]->output_number, 1234u);
    EXPECT_EQ(input.maps[0]->output_file_name, "00001234");
    EXPECT_EQ(input.maps[0]->description, input_mapset_name(input));

    // An empty DEM to add makes it a new file; with a DEM in every map the
    // preview map gets one too.
    task_options.add_empty_dem = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(map_outputs(), (std::set<std::string>{"00001234.img", "11000001.img", "11001855.DEM"}));

    // A name that is not a number is written anew.
    free_input_file_list(inputs);
    fresh_output();
    task_options.mapsource_split_a = 1;
    mapsource_family();
    std::string named = out + "/plain.img";
    write_file(named, read_file(data_path("single/plain/11000001.img")));
    add(named);
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(map_outputs(), (std::set<std::string>{"plain.img", "11000001.img"}));
}

TEST_F(SplitMaps, MapSourceReusedFileOutsideTheArea)
{
    ImgBuilder b;
    TreSpec north = tre_with_id(77);
    north.south = 0xBFFFFF;
    add_map(b, "00000077", north);
    std::string path = out + "/00000077.img";
    b.write(path);
    InputFile& input = add(path);
    task_options.mapsource_split_a = 1;
    mapsource_family();
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(maps_log(), "File " + path + " out of mapset area.\n");
    EXPECT_EQ(input.maps[0]->outside_area, 1);
    EXPECT_EQ(map_outputs(), std::set<std::string>{"00000077.img"});
}

TEST_F(SplitMaps, SingleFileInputs)
{
    std::string typ = out + "/west1101.typ";
    write_file(typ, read_file(data_path("typ/west1101.typ")));
    add(typ);
    add(data_path("typ/cent1201.typ"));
    task_options.mapsource_split_a = 1;
    mapsource_family();
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(maps_log(), "Using original file " + typ + " for mapset.\nSplit map, data file " +
                              data_path("typ/cent1201.typ") + ".\nWrite data cent1201.typ\n");
    EXPECT_EQ(output("cent1201.typ"), read_file(data_path("typ/cent1201.typ")));
}

// ---------------------------------------------------------------- mapsets by family ID

class FamilyMapsets : public SplitTest {
protected:
    void SetUp() override
    {
        SplitTest::SetUp();
        task_options.split_by_fid = 1;
    }
    // The output's MPS records and its subfiles but the MPS.
    void read_mapset(const std::string& name, std::vector<std::string>& records,
                     std::map<std::string, std::string>& contents)
    {
        std::string path = out + "/" + name;
        EXPECT_EQ(whole_file_byte_sum(path), 0u) << name;
        auto back = read_back(path);
        records = mps_records_of(*back);
        contents = subfile_contents(*back);
        EXPECT_EQ(contents.count("MAPSOURCMPS"), 1u) << name;
        contents.erase("MAPSOURCMPS");
    }
};

TEST_F(FamilyMapsets, ThreeFamiliesOfARealFile)
{
    InputFile& input = add(data_path("gmapsupp/mixed-3families.img"));
    std::map<std::string, std::string> in = subfile_contents(input);
    std::vector<std::string> in_records = mps_records_of(input);
    EXPECT_EQ(split(), 1) << log;
    EXPECT_EQ(warning_count, 0);
    EXPECT_EQ(outputs(), (std::set<std::string>{"FAM_1101.img", "FAM_1201.img", "FAM_1301.img"}));
    EXPECT_EQ(log.rfind("Split file " + data_path("gmapsupp/mixed-3families.img") + " into mapsets.\n", 0), 0u);
    EXPECT_NE(log.find("Writing: indexes\nWriting: data MD2\nWriting: data TYP\nWriting: maps MPC\nWriting: "
                       "other\nWriting: data MPS\nWriting: header\n"),
              std::string::npos)
        << log;

    struct Family {
        const char* file;
        uint16_t fid;
        std::vector<std::string> maps;
        const char* typ;
    } families[] = {
        {"FAM_1101.img", 1101, {"11000001", "11000002", "13000002", "00001101"}, "WEST1101"},
        {"FAM_1201.img", 1201, {"12000001", "12000002", "00001201"}, "CENT1201"},
        {"FAM_1301.img", 1301, {"13000001", "00001301"}, nullptr},
    };
    for (const Family& family : families) {
        std::vector<std::string> records;
        std::map<std::string, std::string> contents;
        read_mapset(family.file, records, contents);
        std::map<std::string, std::string> expected;
        for (auto& [fat, data] : in)
            for (const std::string& map : family.maps)
                if (fat.rfind(map, 0) == 0 || (family.typ && fat == std::string(family.typ) + "TYP"))
                    expected[fat] = data;
        EXPECT_EQ(contents, expected) << family.file;

        // The members' own 'L' records, then 'V', 'P' and 'F' of the
        // family's F record of the lowest product ID.
        std::vector<std::string> want;
        for (const std::string& r : records_with_letter(in_records, 'L'))
            if (get_u16(r, 5) == family.fid)
                want.push_back(r);
        std::string f_record;
        for (const std::string& r : records_with_letter(in_records, 'F'))
            if (get_u16(r, 5) == family.fid && (f_record.empty() || get_u16(r, 3) < get_u16(f_record, 3)))
                f_record = r;
        ASSERT_FALSE(f_record.empty());
        std::string name = f_record.substr(7, f_record.find('\0', 7) - 7);
        uint16_t pid = static_cast<uint16_t>(get_u16(f_record, 3));
        want.push_back(mps_v_record(name));
        want.push_back(mps_p_record(pid, family.fid));
        want.push_back(mps_f_record(pid, family.fid, name));
        EXPECT_EQ(records, want) << family.file;
        auto back = read_back(out + "/" + family.file);
        std::string padded = name;
        padded.resize(50, ' ');
        std::string header(reinterpret_cast<const char*>(back->header_buffer.data()), 0x83);
        EXPECT_EQ(header.substr(ImgHeader::mapset_name_1, 20) + header.substr(ImgHeader::mapset_name_2, 30), padded);
    }
    for (MapEntry* map : input.maps)
        EXPECT_EQ(map->family_skip, 0);
    if (have_mkgmap())
        expect_mkgmap_reads(out + "/FAM_1101.img");
}

TEST_F(FamilyMapsets, BuiltFamilies)
{
    ImgBuilder b;
    add_map(b, "00000001", tre_with_id(1));
    add_map(b, "00000002", tre_with_id(2));
    add_map(b, "00000003", tre_with_id(3));
    b.add_subfile("00000005", "MDR", mdr_subfile());
    b.add_subfile("ONLYTYP", "TYP", typ_subfile(1252, 77, 4));
    std::string l1 = mps_l_record(2, 5, 1, {"s", "One", "a"});
    std::string l2 = mps_l_record(1, 7, 2, {"s", "Two", "a"});
    std::string l3 = mps_l_record(1, 9, 3, {"s", "Three", "a"});
    b.add_subfile("MAKEGMAP", "MPS",
                  l1 + l2 + l3 + mps_f_record(2, 5, "Five B") + mps_f_record(1, 5, "Five A") +
                      mps_f_record(1, 7, "Seven") + mps_f_record(4, 77, "Typ only") + mps_record('D', "xy"));
    InputFile& input = add_built(b, "families.img");
    EXPECT_EQ(split(), 1) << log;
    EXPECT_EQ(outputs(), (std::set<std::string>{"FAM_0005.img", "FAM_0007.img", "FAM_0077.img"}));

    std::vector<std::string> records;
    std::map<std::string, std::string> contents;
    read_mapset("FAM_0005.img", records, contents);
    // The MDR is written once, as an index.
    EXPECT_EQ(contents.size(), 4u);
    EXPECT_EQ(contents.count("00000005MDR"), 1u);
    EXPECT_EQ(contents.count("00000001TRE"), 1u);
    EXPECT_EQ(records, (std::vector<std::string>{l1, mps_v_record("Five A"), mps_p_record(1, 5),
                                                 mps_f_record(1, 5, "Five A"), mps_record('D', "xy")}));

    read_mapset("FAM_0077.img", records, contents);
    EXPECT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents.count("ONLYTYPTYP"), 0u);
    EXPECT_EQ(contents.count("ONLYTYP TYP"), 1u);
    EXPECT_EQ(records, (std::vector<std::string>{mps_v_record("Typ only"), mps_p_record(4, 77),
                                                 mps_f_record(4, 77, "Typ only"), mps_record('D', "xy")}));

    // Map 3 belongs to no family.
    EXPECT_EQ(warning_count, 1);
    EXPECT_NE(log.find("== Warning: not all maps were used.\n== Unused map 00000003 MPC.\n"), std::string::npos)
        << log;
    EXPECT_EQ(input.maps[0]->family_used, 1);

    // Once more into the same directory: each mapset is one error.
    EXPECT_EQ(split(), 0);
    EXPECT_EQ(error_count, 3);
    EXPECT_NE(log.find("Output file already exist, file " + out + "/FAM_0077.img.\n"), std::string::npos);
}

TEST_F(FamilyMapsets, FileWithoutMpsRecordsIsPassedOverWithAWarning)
{
    add(data_path("single/plain/11000001.img"));
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(log, "== Warning: no MPS family records, no mapsets split, file " +
                       data_path("single/plain/11000001.img") + ".\n");
    EXPECT_EQ(warning_count, 1);
    EXPECT_TRUE(outputs().empty());
}
