// MapSource installation data: the preview ID, the refusals before any
// file, the TDB of both versions and its CRC record, the MDX, the preview
// map and the batch files; and the TDB and MDX compared with the ones an
// independent compiler (mkgmap) wrote for the same two maps.
#include "operations/mapset_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/codepage.h"
#include "core/coordinates.h"
#include "core/files.h"
#include "core/map_list.h"
#include "operations/task_bridge.h"
#include "tests/core/built_inputs.h"

namespace {

struct Record {
    char letter = 0;
    std::string payload;
};

// The records of a TDB, as letter, u16 length, payload.
std::vector<Record> tdb_records(const std::string& bytes)
{
    std::vector<Record> records;
    size_t at = 0;
    while (at + 3 <= bytes.size()) {
        size_t n = get_u16(bytes, at + 1);
        EXPECT_LE(at + 3 + n, bytes.size());
        records.push_back({bytes[at], bytes.substr(at + 3, n)});
        at += 3 + n;
    }
    EXPECT_EQ(at, bytes.size());
    return records;
}

std::string letters(const std::vector<Record>& records)
{
    std::string s;
    for (const Record& r : records)
        s += r.letter;
    return s;
}

// The payload of an 'L' record split at its description.
struct MapRecord {
    uint32_t number = 0;
    uint32_t parent = 0;
    std::string bounds;  // 16 bytes
    std::string description;
    uint32_t count_plus_one = 0;
    uint32_t count = 0;
    std::vector<uint32_t> lengths;
    std::string rest;
};

MapRecord map_record(const std::string& p)
{
    MapRecord m;
    m.number = get_u32(p, 0);
    m.parent = get_u32(p, 4);
    m.bounds = p.substr(8, 16);
    size_t nul = p.find('\0', 24);
    m.description = p.substr(24, nul - 24);
    m.count_plus_one = get_u16(p, nul + 1);
    m.count = get_u16(p, nul + 3);
    for (uint32_t i = 0; i < m.count; ++i)
        m.lengths.push_back(get_u32(p, nul + 5 + 4 * i));
    m.rest = p.substr(nul + 5 + 4 * m.count);
    return m;
}

class MapsetData : public BuiltInputs {
protected:
    void SetUp() override
    {
        BuiltInputs::SetUp();
        make_version_text();
        task_options.output_path = out.path();
        task_options.mapset_file_name = "corpwest";
    }

    // Reads a file into the list and fills its maps as a MapSource split
    // does: each numbered map written as "%08u.img" under that number.
    InputFile& add(const std::string& p)
    {
        InputFile& file = add_input_file(inputs, p);
        EXPECT_EQ(read_path(file, p), 1);
        for (MapEntry* map : file.maps) {
            if (!map->tre_info)
                continue;
            char name[16];
            snprintf(name, sizeof name, "%08u", map->map_number);
            map->output_file_name = name;
            map->output_number = map->map_number;
            map->description = std::string("Corpus West (") + name + ")";
        }
        return file;
    }
    InputFile& add_built(const ImgBuilder& b, const std::string& name)
    {
        path = dir.file(name);
        b.write(path);
        return add(path);
    }
    // A container with one map of each number, TRE, RGN and LBL each.
    InputFile& add_maps(const std::vector<uint32_t>& numbers, const std::string& mps = "",
                        const std::string& name = "maps.img")
    {
        ImgBuilder b;
        for (uint32_t number : numbers) {
            char n8[16];
            snprintf(n8, sizeof n8, "%08u", number);
            b.add_subfile(n8, "TRE", tre_subfile({.map_id = number}));
            b.add_subfile(n8, "RGN", common_header("RGN", 125, 300));
            b.add_subfile(n8, "LBL", lbl_subfile());
        }
        if (!mps.empty())
            b.add_subfile("MAPSOURC", "MPS", mps);
        return add_built(b, name);
    }
    void add_tiles()
    {
        add(data_path("mapsource/tdb/11000001.img"));
        add(data_path("mapsource/tdb/11000002.img"));
        task_options.family_id = 1101;
        task_options.product_id = 1;
        task_options.mapset_name = "Corpus West Series";
    }
    std::string output(const std::string& name) { return read_file(out.file(name)); }
    bool exists(const std::string& name) { return std::filesystem::exists(out.file(name)); }
    size_t output_count()
    {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(out.path()),
                                                 std::filesystem::directory_iterator()));
    }

    ScratchDir out;
    InputList inputs;
};

}  // namespace

TEST_F(MapsetData, TheSameTdbStructureAsMkgmapForTheSameMaps)
{
    add_tiles();
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(take_log(), "Write file corpwest.mp\nWrite file corpwest.tdb\nWrite file corpwest.mdx\n");
    uint32_t preview = 11000002 | 0x7FF;
    EXPECT_EQ(task_options.split_result, preview);

    std::vector<Record> ours = tdb_records(output("corpwest.tdb"));
    std::vector<Record> theirs = tdb_records(read_file(data_path("mapsource/tdb/corpwest.tdb")));
    EXPECT_EQ(letters(ours), letters(theirs));
    ASSERT_EQ(letters(ours), "PDRBLLT");

    // 'P': the IDs, the version, and the bytes after the texts where both
    // writers mean the same: routing, code page and the constants. (Byte 1
    // differs: we give the bits of the first level that is not inherited,
    // 20 here; mkgmap those of the inherited top level, 18.)
    const std::string& p = ours[0].payload;
    const std::string& q = theirs[0].payload;
    EXPECT_EQ(p.substr(0, 6), q.substr(0, 6));
    std::string name = "Corpus West Series";
    EXPECT_EQ(p.substr(6), name + '\0' + "d" + '\0' + name + '\0' + p.substr(p.size() - 41));
    std::string tail = p.substr(p.size() - 41);
    std::string their_tail = q.substr(q.size() - 41);
    for (size_t i : {0, 2, 3, 4, 10, 12, 30, 31, 34, 35, 38, 39})
        EXPECT_EQ(tail[i], their_tail[i]) << "byte " << i << " after the texts";
    EXPECT_EQ(get_u16(tail, 30), 1252u);
    EXPECT_EQ(tail[1], 20);

    // 'B': the union of the maps' bounds.
    EXPECT_EQ(get_u32(ours[3].payload, 0), preview);
    EXPECT_EQ(ours[3].payload.substr(4, 20), theirs[3].payload.substr(4, 20));

    // 'L': numbers, bounds, subfile counts and lengths (mkgmap lists them
    // in another order).
    for (int i : {4, 5}) {
        MapRecord a = map_record(ours[i].payload);
        MapRecord b = map_record(theirs[i].payload);
        EXPECT_EQ(a.number, b.number);
        EXPECT_EQ(a.parent, preview);
        EXPECT_EQ(a.bounds, b.bounds);
        EXPECT_EQ(a.description, b.description);
        EXPECT_EQ(a.count_plus_one, b.count_plus_one);
        EXPECT_EQ(a.count, b.count);
        std::sort(a.lengths.begin(), a.lengths.end());
        std::sort(b.lengths.begin(), b.lengths.end());
        EXPECT_EQ(a.lengths, b.lengths);
        // u8 1, u8 1, u8 0, u32 256, the names in our order, u16 0.
        char number[16];
        snprintf(number, sizeof number, "%08u", a.number);
        std::string names;
        for (const char* ext : {".LBL", ".RGN", ".TRE", ".NET", ".NOD"})
            names += std::string(number) + ext + '\0';
        EXPECT_EQ(a.rest, std::string("\x01\x01\x00\x00\x01\x00\x00", 7) + names + std::string(2, '\0'));
    }

    // 'T': the CRC-32 of everything before it, in bytes 2, 9, 12 and 17.
    std::string tdb = output("corpwest.tdb");
    const std::string& t = ours[6].payload;
    ASSERT_EQ(t.size(), 20u);
    uint32_t crc = compute_crc32(tdb.data(), tdb.size() - 23);
    uint32_t stored = static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 24 |
                      static_cast<uint32_t>(static_cast<uint8_t>(t[9])) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(t[12])) << 8 | static_cast<uint8_t>(t[17]);
    EXPECT_EQ(stored, crc);
    std::string others = t;
    for (size_t i : {2, 9, 12, 17})
        others[i] = 0;
    EXPECT_EQ(others, std::string(20, '\0'));

    // MDX: mkgmap's index and one more row for the preview.
    std::string mdx = output("corpwest.mdx");
    std::string their_mdx = read_file(data_path("mapsource/tdb/corpwest.mdx"));
    ASSERT_EQ(mdx.size(), their_mdx.size() + 12);
    EXPECT_EQ(mdx.substr(0, 10), their_mdx.substr(0, 10));
    EXPECT_EQ(get_u32(mdx, 10), 3u);
    EXPECT_EQ(mdx.substr(14, 24), their_mdx.substr(14, 24));
    EXPECT_EQ(get_u32(mdx, 38), preview);
    EXPECT_EQ(mdx.substr(42), std::string("\x01\x00\x4d\x04\x00\x00\x00\x00", 8));

    EXPECT_TRUE(exists("install.bat"));
    EXPECT_TRUE(exists("uninstall.bat"));
    EXPECT_FALSE(exists("11001855.DEM"));  // the tiles have no DEM
}

TEST_F(MapsetData, OurTdbReadsBackThroughTheReader)
{
    add_tiles();
    task_options.mapset_code_page = 1250;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    InputFile tdb;
    ASSERT_EQ(read_path(tdb, out.file("corpwest.tdb")), 1);
    EXPECT_EQ(tdb.kind, FILE_TDB);
    EXPECT_EQ(tdb.fid, 1101u);
    EXPECT_EQ(tdb.pid, 1u);
    ASSERT_NE(tdb.single_subfile.header_info, nullptr);
    EXPECT_EQ(tdb.single_subfile.header_info->code_page, 1250u);
    EXPECT_EQ(tdb.data_code_page, 1250u);
    EXPECT_EQ(log.find("Warning"), std::string::npos);

    // twk's report names its IDs, code page, name and version.
    RunResult run = run_twk({"-LicenseAcknowledge", "-i", "-v", out.file("corpwest.tdb")});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find("Data TDB:  length    " + std::to_string(tdb.file_size) +
                              ", PID 1, FID 1101, name corpwest.tdb\n"
                              "\tCP 1250, PID 1, FID 1101\n"
                              "\tCorpus West Series (4.07)\n"),
              std::string::npos)
        << run.output;
}

TEST_F(MapsetData, PreviewIdFollowsTheNumbersWhenTheyLieClose)
{
    struct Case {
        std::vector<uint32_t> numbers;
        uint32_t preview;
    };
    const Case cases[] = {
        {{100, 200}, 2047},
        {{1, 5000}, no_preview_map_id},
        {{1, 2047}, no_preview_map_id},              // 2047 | 0x7FF is 2047 itself
        {{99999990}, no_preview_map_id},             // would need nine digits
        {{99997000, 99997100}, 99997695},
        {{2048, 4094}, 4095},                       // a spread of 2046 still fits
        {{2048, 4095}, no_preview_map_id},           // 2047 does not
    };
    int n = 0;
    for (const Case& c : cases) {
        inputs.clear();
        task_options.family_id = 1;
        add_maps(c.numbers, "", "case" + std::to_string(n++) + ".img");
        task_options.mapset_name = "Set";
        ASSERT_EQ(write_mapsource_install_data(inputs), 1);
        EXPECT_EQ(task_options.split_result, c.preview) << c.numbers.front();
        char line[32];
        snprintf(line, sizeof line, "\r\nID=%08u\r\n", c.preview);
        EXPECT_NE(output("corpwest.mp").find(line), std::string::npos);
        take_log();
    }
}

TEST_F(MapsetData, RefusalsComeBeforeAnyFile)
{
    // Two families and no FID option.
    add_maps({100}, mps_f_record(1, 5, "Five") + mps_f_record(1, 7, "Seven"));
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(take_log(), "Multiple products in img, creating TDB aborted, try opion -f.\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(output_count(), 0u);
    EXPECT_EQ(task_options.split_result, 2047u);  // known to the compile step all the same

    // No family at all.
    inputs.clear();
    error_count = 0;
    add_maps({100}, "", "nofamily.img");
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(take_log(), "FID missing, creating TDB aborted.\n");
    EXPECT_EQ(error_count, 1);

    // A family without a name anywhere.
    task_options.family_id = 9;
    error_count = 0;
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(take_log(), "Mapset name missing, creating TDB aborted.\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(output_count(), 0u);
}

TEST_F(MapsetData, FamilyAndNameFromTheMpsRecords)
{
    add_maps({100}, mps_f_record(3, 4321, "Family Name") + mps_v_record("Set Name"));
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::vector<Record> r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(get_u16(r[0].payload, 0), 3u);
    EXPECT_EQ(get_u16(r[0].payload, 2), 4321u);
    EXPECT_EQ(r[0].payload.substr(6, 12), std::string("Family Name") + '\0');

    // Two families with the FID option: a warning, and the option's IDs;
    // the name then comes from the 'V' record.
    inputs.clear();
    add_maps({100}, mps_f_record(1, 5, "Five") + mps_f_record(1, 7, "Seven") + mps_v_record("Set Name"), "two.img");
    task_options.family_id = 8;
    task_options.product_id = 2;
    take_log();
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    EXPECT_EQ(take_log().find("== Warning: Multiple products in img.\n"), 0u);
    EXPECT_EQ(warning_count, 1);
    r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(get_u16(r[0].payload, 0), 2u);
    EXPECT_EQ(get_u16(r[0].payload, 2), 8u);
    EXPECT_EQ(r[0].payload.substr(6, 9), std::string("Set Name") + '\0');
}

TEST_F(MapsetData, VersionThreeWhenNothingNeedsFour)
{
    add_maps({100, 101});
    task_options.family_id = 1;
    task_options.mapset_name = "Three";
    task_options.create_tdb_v3 = 1;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::vector<Record> r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(letters(r), "PDBLL");
    EXPECT_EQ(get_u16(r[0].payload, 4), 300u);
    EXPECT_EQ(r[0].payload.size(), 6u + 6 + 2 + 6);
    MapRecord m = map_record(r[3].payload);
    EXPECT_EQ(m.count_plus_one, 4u);
    ASSERT_EQ(m.count, 3u);
    // RGN, TRE, LBL.
    EXPECT_EQ(m.lengths[0], inputs[0]->maps[0]->length - m.lengths[1] - m.lengths[2]);
    EXPECT_EQ(m.lengths[0], 300u);
    EXPECT_EQ(m.rest, "\x01");

    // A marine TDB is always version 4, with its mark.
    task_options.marine_tdb = 1;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(letters(r), "PDRBLLT");
    EXPECT_EQ(r[0].payload[r[0].payload.size() - 41 + 12], 1);
}

TEST_F(MapsetData, RoutingNetAndDemForceVersionFour)
{
    task_options.family_id = 1;
    task_options.mapset_name = "Four";
    task_options.create_tdb_v3 = 1;
    add(data_path("single/net/11000001.img"));
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::vector<Record> r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(get_u16(r[0].payload, 4), 407u);
    EXPECT_EQ(r[0].payload[r[0].payload.size() - 41 + 10], 0);  // NET without NOD: not routable
}

TEST_F(MapsetData, MapsOutsideTheAreaCountOnlyForTheCodePage)
{
    add_maps({100, 101});
    inputs[0]->maps[1]->outside_area = 1;
    task_options.family_id = 1;
    task_options.mapset_name = "Inside";
    task_options.code_page = 1250;
    inputs[0]->maps[1]->code_page = 1250;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    EXPECT_EQ(task_options.split_result, 2047u);
    std::vector<Record> r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(letters(r), "PDRBLT");
    EXPECT_EQ(map_record(r[4].payload).number, 100u);
    std::string mdx = output("corpwest.mdx");
    EXPECT_EQ(get_u32(mdx, 10), 2u);
    // Code pages 1252 and 1250 once each: the task's preferred one wins.
    std::string tail = r[0].payload.substr(r[0].payload.size() - 41);
    EXPECT_EQ(get_u16(tail, 30), 1250u);
    EXPECT_NE(take_log().find("Multiple Code Pages, using 1250.\n"), std::string::npos);
    EXPECT_EQ(output("corpwest.mp").find("00000101"), std::string::npos);
}

TEST_F(MapsetData, RenamedSubfilesAndAnAddedDemInTheMapRecord)
{
    InputFile& file = add_maps({100});
    MapEntry* map = file.maps[0];
    for (uint32_t i = 0; i < map->subfile_count; ++i)
        memcpy(file.subfiles[map->first_subfile + i].written_name, "I0000064", 9);
    map->dem_length = 101;
    map->has_dem = 1;
    task_options.family_id = 1;
    task_options.mapset_name = "Dem";
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    MapRecord m = map_record(tdb_records(output("corpwest.tdb"))[4].payload);
    ASSERT_EQ(m.count, 4u);
    EXPECT_EQ(m.lengths[3], 101u);
    std::string names;
    for (const char* ext : {".LBL", ".RGN", ".TRE", ".DEM"})
        names += std::string("I0000064") + ext + '\0';
    EXPECT_EQ(m.rest.substr(7), names + std::string(2, '\0'));
}

TEST_F(MapsetData, InstallBatchLineByLine)
{
    add_maps({100});
    task_options.family_id = 0x1234;
    task_options.product_id = 2;
    task_options.mapset_name = "My Set";
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    const char* opening =
        "echo off\r\necho -\r\necho -\r\n"
        "echo -  %s\r\n"
        "echo -\r\n"
        "echo -  Map:  \"My Set\"\r\n"
        "echo -  FID:  4660\r\n"
        "echo -  PID:  2\r\n"
        "echo -\r\n"
        "echo -  Press Enter to continue or Ctrl-C to abort.\r\n"
        "echo -\r\npause\r\n\r\n";
    const char* keys =
        "set KEY=HKLM\\SOFTWARE\\Wow6432Node\\Garmin\\MapSource\r\n"
        "if %PROCESSOR_ARCHITECTURE% == AMD64 goto key_ok\r\n"
        "set KEY=HKLM\\SOFTWARE\\Garmin\\MapSource\r\n"
        ":key_ok\r\n\r\n";
    char expected_opening[512];
    snprintf(expected_opening, sizeof expected_opening, opening, "This batch will install map for Mapsource");
    EXPECT_EQ(output("install.bat"),
              std::string(expected_opening) +
                  "if exist \"%~dp0corpwest.img\" goto :INSTREG\r\n"
                  "echo File missing: corpwest.img, aborting install.\r\n"
                  "pause\r\nexit 1\r\n\r\n:INSTREG\r\n"
                  "echo Adding registry keys.\r\n\r\n" +
                  keys +
                  "reg ADD %KEY%\\Families\\FAMILY_4660 /v ID /t REG_BINARY /d 3412 /f\r\n"
                  "if exist \"%~dp0corpwest_mdr.img\" (\r\n"
                  "\treg ADD %KEY%\\Families\\FAMILY_4660 /v IDX /t REG_SZ /d \"%~dp0corpwest.mdx\" /f\r\n"
                  "\treg ADD %KEY%\\Families\\FAMILY_4660 /v MDR /t REG_SZ /d \"%~dp0corpwest_mdr.img\" /f\r\n"
                  ")\r\n"
                  "if exist \"%~dp0corpwest.typ\" reg ADD %KEY%\\Families\\FAMILY_4660 /v TYP /t REG_SZ /d "
                  "\"%~dp0corpwest.typ\" /f\r\n"
                  "reg ADD %KEY%\\Families\\FAMILY_4660\\2 /v Loc /t REG_SZ /d \"%~dp0\\\" /f\r\n"
                  "reg ADD %KEY%\\Families\\FAMILY_4660\\2 /v Bmap /t REG_SZ /d \"%~dp0corpwest.img\" /f\r\n"
                  "reg ADD %KEY%\\Families\\FAMILY_4660\\2 /v Tdb /t REG_SZ /d \"%~dp0corpwest.tdb\" /f\r\n"
                  "pause\r\nexit 0\r\n");
    snprintf(expected_opening, sizeof expected_opening, opening, "This batch will uninstall map from Mapsource.");
    EXPECT_EQ(output("uninstall.bat"), std::string(expected_opening) + keys +
                                           "reg DELETE %KEY%\\Families\\FAMILY_4660 /f\r\npause\r\nexit 0\r\n");
}

TEST_F(MapsetData, BatchFilesWithTypTrfAndTheProductsKey)
{
    add_maps({100});
    InputFile& typ = add_input_file(inputs, data_path("typ/west1101.typ"));
    ASSERT_EQ(read_input_file(typ), 1);
    typ.base_name = "WEST1101.typ";
    ImgBuilder b;
    b.add_subfile("00000077", "TRF", trf_subfile());
    add_built(b, "trf.img").maps[0]->output_file_name = "00000077.TRF";
    task_options.family_id = 1101;
    task_options.product_id = 1;
    task_options.mapset_name = "Data";
    task_options.compiler_is_mkgmap = 1;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::string install = output("install.bat");
    EXPECT_NE(install.find("reg ADD %KEY%\\Families\\FAMILY_1101 /v TYP /t REG_SZ /d \"%~dp0WEST1101.typ\" /f\r\n"),
              std::string::npos);
    EXPECT_NE(install.find("reg ADD %KEY%\\Families\\FAMILY_1101 /v IDX /t REG_SZ /d \"%~dp0corpwest.mdx\" /f\r\n"
                           "reg ADD %KEY%\\Families\\FAMILY_1101 /v TRF /t REG_SZ /d \"%~dp000000077.TRF\" /f\r\n"
                           "if exist \"%~dp0corpwest_mdr.img\" reg ADD %KEY%\\Families\\FAMILY_1101 /v MDR /t "
                           "REG_SZ /d \"%~dp0corpwest_mdr.img\" /f\r\n"),
              std::string::npos);
    // With mkgmap as the compiler the preview map is named by its ID.
    EXPECT_NE(install.find("if exist \"%~dp000002047.img\" goto :INSTREG\r\n"), std::string::npos);
    EXPECT_NE(install.find("/v Bmap /t REG_SZ /d \"%~dp000002047.img\" /f\r\n"), std::string::npos);

    // FID 0 with PID 5: the Products key of PID 5, and no family keys.
    task_options.family_id = 0;
    task_options.product_id = 5;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    install = output("install.bat");
    EXPECT_NE(install.find("reg ADD %KEY%\\Products\\5 /v Loc /t REG_SZ /d \"%~dp0\\\" /f\r\n"
                           "reg ADD %KEY%\\Products\\5 /v Bmap /t REG_SZ /d \"%~dp000002047.img\" /f\r\n"
                           "reg ADD %KEY%\\Products\\5 /v Tdb /t REG_SZ /d \"%~dp0corpwest.tdb\" /f\r\n"
                           "pause\r\nexit 0\r\n"),
              std::string::npos);
    EXPECT_EQ(install.find("FAMILY_"), std::string::npos);
    EXPECT_NE(output("uninstall.bat").find("reg DELETE %KEY%\\Products\\5 /f\r\n"), std::string::npos);
}

TEST_F(MapsetData, NamesInBatchFilesAreMadeSafeWithOneWarning)
{
    add_maps({100});
    task_options.family_id = 1;
    task_options.mapset_name = "50% \"off\"\x07";
    task_options.mapset_file_name = "a%b";
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    EXPECT_EQ(warning_count, 1);
    std::string log_text = take_log();
    EXPECT_EQ(log_text.find("replaced by _"), log_text.rfind("replaced by _"));
    EXPECT_NE(log_text.find("== Warning: characters \", % and control characters replaced by _ in batch files.\n"),
              std::string::npos);
    std::string install = output("install.bat");
    EXPECT_NE(install.find("echo -  Map:  \"50_ _off__\"\r\n"), std::string::npos);
    EXPECT_NE(install.find("/v Tdb /t REG_SZ /d \"%~dp0a_b.tdb\" /f\r\n"), std::string::npos);
    // The files themselves keep their names, and the TDB the mapset name.
    EXPECT_TRUE(exists("a%b.tdb"));
    EXPECT_NE(output("a%b.tdb").find("50% \"off\""), std::string::npos);
}

TEST_F(MapsetData, ACommandLineNameMustFitTheCodePage)
{
    add_maps({100});
    task_options.family_id = 1;
    task_options.mapset_code_page = 1250;
    task_options.mapset_name = "Łódź";  // UTF-8, as the console takes it
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::vector<Record> r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(r[0].payload.substr(6, 5), std::string("\xA3\xF3\x64\x9F") + '\0');

    task_options.mapset_name = "Ω";  // no place in 1250
    take_log();
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(take_log(), "Mapset name characters don't match code page 1250, creating TDB aborted.\n");

    // A name the window program converted already is taken as it stands.
    task_options.mapset_name = "\xA3\xF3\x64\x9F";
    task_options.mapset_name_result = 1250;
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(r[0].payload.substr(6, 5), std::string("\xA3\xF3\x64\x9F") + '\0');
}

TEST_F(MapsetData, EveryFileThatFailsIsCountedAndTheResultIsFailure)
{
    add_maps({100});
    task_options.family_id = 1;
    task_options.mapset_name = "Set";
    // A directory where a file should go makes its creation fail.
    std::filesystem::create_directory(out.file("install.bat"));
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(error_count, 1);
    EXPECT_NE(take_log().find("install.bat"), std::string::npos);
    EXPECT_TRUE(exists("uninstall.bat"));
    EXPECT_TRUE(exists("corpwest.mdx"));

    error_count = 0;
    std::filesystem::remove(out.file("corpwest.mdx"));
    std::filesystem::create_directory(out.file("corpwest.mdx"));
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(error_count, 2);  // the index and install.bat

    error_count = 0;
    std::filesystem::remove(out.file("corpwest.tdb"));
    std::filesystem::create_directory(out.file("corpwest.tdb"));
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(error_count, 1);  // nothing after the TDB is tried

    error_count = 0;
    std::filesystem::remove(out.file("corpwest.mp"));
    std::filesystem::create_directory(out.file("corpwest.mp"));
    take_log();
    EXPECT_EQ(write_mapsource_install_data(inputs), 0);
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(take_log(), "Write file corpwest.mp\nCreate output file error, file " + out.file("corpwest.mp") + ".\n");
}

TEST_F(MapsetData, PreviewMapHeaderPointAndBackground)
{
    add_maps({100, 101});
    task_options.family_id = 1;
    task_options.mapset_name = "Set";
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::string mp = output("corpwest.mp");
    // The builder's maps: first level 18 bits.
    EXPECT_EQ(mp.substr(0, mp.find("[END-IMG ID]")),
              "[IMG ID]\r\n;ID=I00007FF\r\nID=00002047\r\nName=Preview Map\r\n;LBLcoding=9\r\n;CodePage=1252\r\n"
              "Preprocess=N\r\nPreview=Y\r\n;TreSize=511\r\n;RgnLimit=4000\r\nLevels=2\r\nLevel0=18\r\n"
              "Level1=16\r\nZoom0=0\r\nZoom1=1\r\n");
    EXPECT_NE(mp.find("Label=Corpus West (00000100)~[0x1d]00000100\r\n"), std::string::npos);
    EXPECT_NE(mp.find("Label=Corpus West (00000101)~[0x1d]00000101\r\n"), std::string::npos);
    EXPECT_NE(mp.find("[POI]\r\nType=0x0b00\r\nLabel=Tarnwick Preview\r\nData0=("), std::string::npos);
    size_t background = mp.find("[POLYGON]\r\nType=0x4b\r\nBackground=Y\r\nData0=(");
    ASSERT_NE(background, std::string::npos);
    EXPECT_EQ(mp.substr(mp.size() - 11), "\r\n[END]\r\n\r\n");
    EXPECT_EQ(std::count(mp.begin(), mp.end(), '\n'), std::count(mp.begin(), mp.end(), '\r'));
}

TEST_F(MapsetData, EveryMapWithADemGivesThePreviewAnEmptyDem)
{
    InputFile& file = add(data_path("single/dem/11000001.img"));
    task_options.family_id = 1;
    task_options.mapset_name = "Hills";
    capture_current_time();
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    std::string dem = output("11001855.DEM");
    ASSERT_EQ(dem.size(), 64u + 37u);
    EXPECT_EQ(dem.substr(2, 10), "GARMIN DEM");
    EXPECT_EQ(get_u16(dem, 0x19), 1u);
    EXPECT_EQ(get_u16(dem, 0x0E), current_time.year);
    EXPECT_EQ(get_u8(dem, 0x10), current_time.month);
    // The one level covers the map's bounds (the mapset's, as it has one map).
    TreBounds b = read_tre_bounds(ByteView(file.maps[0]->tre_info->header));
    EXPECT_EQ(get_u32(dem, 41 + 0x28), static_cast<uint32_t>(b.west) << 8);
    EXPECT_EQ(get_u32(dem, 41 + 0x2C), static_cast<uint32_t>(b.north) << 8);

    std::vector<Record> r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(r[0].payload[r[0].payload.size() - 41 + 39], 1);  // all maps have a DEM
    MapRecord m = map_record(r[4].payload);
    uint32_t dem_length = 0;
    for (const SubfileEntry& subfile : file.subfiles)
        if (subfile.kind == SUB_DEM)
            dem_length = subfile.length;
    EXPECT_EQ(m.lengths.back(), dem_length);
    EXPECT_EQ(dem_length, 7929u);
    EXPECT_NE(m.rest.find(std::string("11000001.DEM") + '\0'), std::string::npos);

    // One map without a DEM: no preview DEM.
    add_maps({11000002}, "", "nodem.img");
    std::filesystem::remove(out.file("11001855.DEM"));
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    EXPECT_FALSE(exists("11001855.DEM"));
    r = tdb_records(output("corpwest.tdb"));
    EXPECT_EQ(r[0].payload[r[0].payload.size() - 41 + 39], 0);
}

TEST_F(MapsetData, MkgmapCompilesThePreviewMap)
{
    if (run_program("sh", {"-c", "command -v mkgmap"}).exit_code != 0)
        GTEST_SKIP() << "mkgmap is not installed";
    add_tiles();
    ASSERT_EQ(write_mapsource_install_data(inputs), 1);
    ScratchDir compiled;
    RunResult run = run_program("mkgmap", {"--output-dir=" + compiled.path(), "--mapname=11001855",
                                           out.file("corpwest.mp")});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output.find("SEVERE"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("WARNING"), std::string::npos) << run.output;

    // Its map covers the two tiles.
    InputFile preview;
    ASSERT_EQ(read_path(preview, compiled.file("11001855.img")), 1);
    ASSERT_EQ(preview.map_count, 1u);
    ASSERT_NE(preview.maps[0]->tre_info, nullptr);
    TreBounds got = read_tre_bounds(ByteView(preview.maps[0]->tre_info->header));
    for (const auto& input : std::vector<InputFile*>{inputs[0].get(), inputs[1].get()}) {
        TreBounds tile = read_tre_bounds(ByteView(input->maps[0]->tre_info->header));
        EXPECT_GE(got.north, tile.north);
        EXPECT_GE(got.east, tile.east);
        EXPECT_LE(got.south, tile.south);
        EXPECT_LE(got.west, tile.west);
    }
}

TEST_F(MapsetData, TwkSplitForMapSourceWritesTheWholeSet)
{
    std::string input = data_path("gmapsupp/west-1101-p1.img");
    RunResult run = run_twk({"-LicenseAcknowledge", "-S", "-o", out.path(), "-n", "West", input});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output, "Split map " + input +
                              ".\n"
                              "Write map  11000001 ->     11000001.img\n"
                              "Write map  11000002 ->     11000002.img\n"
                              "Write data WEST1101 ->     WEST1101.TYP\n"
                              "Write map  00001101 ->     1101_srt.img\n"
                              "Write file West.mp\n"
                              "Write file West.tdb\n"
                              "Write file West.mdx\n");
    for (const char* name : {"West.mp", "West.tdb", "West.mdx", "install.bat", "uninstall.bat", "11000001.img",
                             "11000002.img", "WEST1101.TYP", "1101_srt.img"})
        EXPECT_TRUE(exists(name)) << name;
    EXPECT_FALSE(exists("11001855.DEM"));

    // The family and the mapset name come from the input's MPS records; the
    // maps' records name the subfiles as the split renamed them.
    InputFile tdb;
    ASSERT_EQ(read_path(tdb, out.file("West.tdb")), 1);
    EXPECT_EQ(tdb.fid, 1101u);
    EXPECT_EQ(tdb.pid, 1u);
    std::vector<Record> r = tdb_records(output("West.tdb"));
    ASSERT_EQ(letters(r), "PDRBLLT");
    EXPECT_EQ(r[0].payload.substr(6, 12), std::string("Corpus West") + '\0');
    MapRecord first = map_record(r[4].payload);
    EXPECT_EQ(first.number, 11000001u);
    EXPECT_EQ(first.description.substr(0, 11), "Corpus West");
    EXPECT_NE(first.rest.find(std::string("I0A7D8C1.TRE") + '\0'), std::string::npos);
    EXPECT_NE(output("install.bat").find("/v TYP /t REG_SZ /d \"%~dp0WEST1101.TYP\" /f\r\n"), std::string::npos);

    // With -q every map gets an empty DEM, and so does the preview.
    ScratchDir again;
    run = run_twk({"-LicenseAcknowledge", "-S", "-q", "-o", again.path(), input});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    for (const char* name : {"mapset.mp", "mapset.tdb", "mapset.mdx", "11001855.DEM", "install.bat", "uninstall.bat"})
        EXPECT_TRUE(std::filesystem::exists(again.file(name))) << name;
    r = tdb_records(read_file(again.file("mapset.tdb")));
    EXPECT_EQ(r[0].payload[r[0].payload.size() - 41 + 39], 1);
    EXPECT_NE(map_record(r[4].payload).rest.find(std::string("I0A7D8C1.DEM") + '\0'), std::string::npos);
}
