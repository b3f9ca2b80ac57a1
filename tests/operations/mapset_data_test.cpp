// MapSource installation data: the preview ID, the refusals before any
// file, the TDB of both versions and its CRC record, the MDX, the preview
// map, its DEM and the batch files; the TDB and MDX compared with the ones
// an independent compiler (mkgmap) wrote for the same two maps, the preview
// map compiled by it, and `twk -S` end to end: golden files of the preview
// map and the batch files, the refusal of several families, and the effect
// of each -S option on the written files.
#include "operations/mapset_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/codepage.h"
#include "core/coordinates.h"
#include "core/files.h"
#include "operations/task_bridge.h"
#include "tests/core/built_inputs.h"
#include "tests/support/console_runner.h"

namespace {

struct Record {
    char letter = 0;
    std::string payload;
};

// The records of a TDB: letter, u16 length, payload.
std::vector<Record> tdb_records(const std::string& bytes)
{
    std::vector<Record> records;
    size_t at = 0;
    while (at + 3 <= bytes.size()) {
        size_t n = get_u16(bytes, at + 1);
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

// The 41 bytes after the texts of a version 4 'P' record.
std::string p_tail(const std::vector<Record>& records)
{
    const std::string& p = records[0].payload;
    return p.substr(p.size() - 41);
}

// An 'L' record split at its description.
struct MapRecord {
    uint32_t number = 0, parent = 0, count_plus_one = 0, count = 0;
    std::string bounds, description, rest;
    std::vector<uint32_t> lengths;
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
    // A container with one map (TRE, RGN, LBL) of each number, and an MPS.
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
        path = dir.file(name);
        b.write(path);
        return add(path);
    }
    void family(uint32_t fid, const char* name = "Set")
    {
        task_options.family_id = fid;
        task_options.mapset_name = name;
    }
    int write() { return write_mapsource_install_data(inputs); }
    std::string output(const std::string& name) { return read_file(out.file(name)); }
    std::vector<Record> tdb() { return tdb_records(output("corpwest.tdb")); }
    bool exists(const std::string& name) { return std::filesystem::exists(out.file(name)); }
    bool empty_output() { return std::filesystem::is_empty(out.path()); }

    ScratchDir out;
    InputList inputs;
};

}  // namespace

TEST_F(MapsetData, TheSameTdbAndMdxAsMkgmapForTheSameMaps)
{
    add(data_path("mapsource/tdb/11000001.img"));
    add(data_path("mapsource/tdb/11000002.img"));
    task_options.product_id = 1;
    family(1101, "Corpus West Series");
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(take_log(), "Write file corpwest.mp\nWrite file corpwest.tdb\nWrite file corpwest.mdx\n");
    uint32_t preview = 11000002 | 0x7FF;
    EXPECT_EQ(task_options.split_result, preview);

    std::vector<Record> ours = tdb();
    std::vector<Record> theirs = tdb_records(read_file(data_path("mapsource/tdb/corpwest.tdb")));
    ASSERT_EQ(letters(ours), "PDRBLLT");
    EXPECT_EQ(letters(theirs), letters(ours));

    // 'P': IDs and version, then the bytes after the texts where both mean
    // the same. Byte 1 differs: we give the bits of the first level that is
    // not inherited (20), mkgmap those of the inherited top level (18).
    EXPECT_EQ(ours[0].payload.substr(0, 6), theirs[0].payload.substr(0, 6));
    std::string name = std::string("Corpus West Series") + '\0';
    EXPECT_EQ(ours[0].payload.substr(6, 2 * name.size() + 2), name + "d" + '\0' + name);
    std::string tail = p_tail(ours), their_tail = p_tail(theirs);
    for (size_t i : {0, 2, 3, 4, 10, 12, 30, 31, 34, 35, 38, 39})
        EXPECT_EQ(tail[i], their_tail[i]) << "byte " << i << " after the texts";
    EXPECT_EQ(get_u16(tail, 30), 1252u);
    EXPECT_EQ(tail[1], 20);

    // 'B': the union of the maps' bounds.
    EXPECT_EQ(get_u32(ours[3].payload, 0), preview);
    EXPECT_EQ(ours[3].payload.substr(4, 20), theirs[3].payload.substr(4, 20));

    // 'L': numbers, bounds, subfile counts and lengths (mkgmap lists the
    // subfiles in another order), then our constants, names and u16 0.
    for (int i : {4, 5}) {
        MapRecord a = map_record(ours[i].payload), b = map_record(theirs[i].payload);
        EXPECT_EQ(a.number, b.number);
        EXPECT_EQ(a.parent, preview);
        EXPECT_EQ(a.bounds, b.bounds);
        EXPECT_EQ(a.description, b.description);
        EXPECT_EQ(a.count_plus_one, b.count_plus_one);
        std::sort(a.lengths.begin(), a.lengths.end());
        std::sort(b.lengths.begin(), b.lengths.end());
        EXPECT_EQ(a.lengths, b.lengths);
        std::string names;
        for (const char* ext : {".LBL", ".RGN", ".TRE", ".NET", ".NOD"})
            names += std::to_string(a.number) + ext + '\0';
        EXPECT_EQ(a.rest, std::string("\x01\x01\x00\x00\x01\x00\x00", 7) + names + std::string(2, '\0'));
    }

    // 'T': the CRC-32 of everything before it in bytes 2, 9, 12 and 17.
    std::string bytes = output("corpwest.tdb");
    std::string t = ours[6].payload;
    uint32_t crc = compute_crc32(bytes.data(), bytes.size() - 23);
    auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(t[i])); };
    EXPECT_EQ(byte(2) << 24 | byte(9) << 16 | byte(12) << 8 | byte(17), crc);
    t[2] = t[9] = t[12] = t[17] = 0;
    EXPECT_EQ(t, std::string(20, '\0'));

    // MDX: mkgmap's index and one more row for the preview.
    std::string mdx = output("corpwest.mdx");
    std::string their_mdx = read_file(data_path("mapsource/tdb/corpwest.mdx"));
    ASSERT_EQ(mdx.size(), their_mdx.size() + 12);
    EXPECT_EQ(mdx.substr(0, 10), their_mdx.substr(0, 10));
    EXPECT_EQ(get_u32(mdx, 10), 3u);
    EXPECT_EQ(mdx.substr(14, 24), their_mdx.substr(14, 24));
    EXPECT_EQ(mdx.substr(38), std::string("\xFF\xDF\xA7\x00\x01\x00\x4d\x04\x00\x00\x00\x00", 12));

    // Our TDB reads back: our reader and twk's report find IDs, code page,
    // name and version.
    InputFile back;
    ASSERT_EQ(read_path(back, out.file("corpwest.tdb")), 1);
    EXPECT_EQ(back.kind, FILE_TDB);
    EXPECT_EQ(back.data_code_page, 1252u);
    RunResult run = run_twk_here({"-LicenseAcknowledge", "-i", "-v", out.file("corpwest.tdb")});
    EXPECT_NE(run.output.find("Data TDB:  length    " + std::to_string(bytes.size()) +
                              ", PID 1, FID 1101, name corpwest.tdb\n\tCP 1252, PID 1, FID 1101\n"
                              "\tCorpus West Series (4.07)\n"),
              std::string::npos)
        << run.output;

    // mkgmap compiles the preview map, and its map covers both tiles.
    if (run_program("sh", {"-c", "command -v mkgmap"}).exit_code != 0)
        return;
    ScratchDir compiled;
    run = run_program("mkgmap", {"--output-dir=" + compiled.path(), "--mapname=11001855", out.file("corpwest.mp")});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output.find("WARNING"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("SEVERE"), std::string::npos) << run.output;
    InputFile preview_map;
    ASSERT_EQ(read_path(preview_map, compiled.file("11001855.img")), 1);
    ASSERT_NE(preview_map.maps[0]->tre_info, nullptr);
    TreBounds got = read_tre_bounds(ByteView(preview_map.maps[0]->tre_info->header));
    for (const auto& input : inputs) {
        TreBounds tile = read_tre_bounds(ByteView(input->maps[0]->tre_info->header));
        EXPECT_TRUE(got.north >= tile.north && got.east >= tile.east && got.south <= tile.south &&
                    got.west <= tile.west);
    }
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
        {{1, 2047}, no_preview_map_id},     // 2047 | 0x7FF is 2047 itself
        {{99999990}, no_preview_map_id},    // would need nine digits
        {{99997000, 99997100}, 99997695},
        {{2048, 4094}, 4095},               // a spread of 2046 still fits
        {{2048, 4095}, no_preview_map_id},  // 2047 does not
    };
    family(1);
    int n = 0;
    for (const Case& c : cases) {
        inputs.clear();
        add_maps(c.numbers, "", "case" + std::to_string(n++) + ".img");
        ASSERT_EQ(write(), 1);
        EXPECT_EQ(task_options.split_result, c.preview) << c.numbers.front();
        char line[32];
        snprintf(line, sizeof line, "\r\nID=%08u\r\n", c.preview);
        EXPECT_NE(output("corpwest.mp").find(line), std::string::npos);
    }
}

TEST_F(MapsetData, RefusalsComeBeforeAnyFile)
{
    add_maps({100}, mps_f_record(1, 5, "Five") + mps_f_record(1, 7, "Seven"));
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(take_log(), "Multiple products in img, creating TDB aborted, try opion -f.\n");
    EXPECT_EQ(task_options.split_result, 2047u);  // for the compile step all the same

    inputs.clear();
    add_maps({100}, "", "nofamily.img");
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(take_log(), "FID missing, creating TDB aborted.\n");

    task_options.family_id = 9;
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(take_log(), "Mapset name missing, creating TDB aborted.\n");
    EXPECT_EQ(error_count, 3);
    EXPECT_TRUE(empty_output());
}

TEST_F(MapsetData, FamilyAndNameFromTheMpsRecords)
{
    add_maps({100}, mps_f_record(3, 4321, "Family Name") + mps_v_record("Set Name"));
    ASSERT_EQ(write(), 1);
    std::string p = tdb()[0].payload;
    EXPECT_EQ(get_u16(p, 0), 3u);
    EXPECT_EQ(get_u16(p, 2), 4321u);
    EXPECT_EQ(p.substr(6, 12), std::string("Family Name") + '\0');

    // Two families with the FID option: a warning, the option's IDs, and
    // the name of the 'V' record.
    inputs.clear();
    add_maps({100}, mps_f_record(1, 5, "Five") + mps_f_record(1, 7, "Seven") + mps_v_record("Set Name"), "two.img");
    task_options.family_id = 8;
    task_options.product_id = 2;
    take_log();
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(take_log().find("== Warning: Multiple products in img.\n"), 0u);
    EXPECT_EQ(warning_count, 1);
    p = tdb()[0].payload;
    EXPECT_EQ(get_u32(p, 0), 2u | 8u << 16);
    EXPECT_EQ(p.substr(6, 9), std::string("Set Name") + '\0');
}

TEST_F(MapsetData, VersionThreeOnlyWhenNothingNeedsFour)
{
    add_maps({100, 101});
    family(1);
    task_options.create_tdb_v3 = 1;
    ASSERT_EQ(write(), 1);
    std::vector<Record> r = tdb();
    EXPECT_EQ(letters(r), "PDBLL");
    EXPECT_EQ(get_u16(r[0].payload, 4), 300u);
    EXPECT_EQ(r[0].payload.size(), 6u + 4 + 2 + 4);
    MapRecord m = map_record(r[3].payload);
    EXPECT_EQ(m.count_plus_one, 4u);
    ASSERT_EQ(m.count, 3u);
    EXPECT_EQ(m.lengths[0], 300u);  // RGN, TRE, LBL
    EXPECT_EQ(m.lengths[0] + m.lengths[1] + m.lengths[2], inputs[0]->maps[0]->length);
    EXPECT_EQ(m.rest, "\x01");

    // A marine TDB is version 4, with its mark; so is one with a NET.
    task_options.marine_tdb = 1;
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(letters(tdb()), "PDRBLLT");
    EXPECT_EQ(p_tail(tdb())[12], 1);
    task_options.marine_tdb = 0;
    inputs.clear();
    add(data_path("single/net/11000001.img"));
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(get_u16(tdb()[0].payload, 4), 407u);
    EXPECT_EQ(p_tail(tdb())[10], 0);  // NET without NOD: not routable
}

TEST_F(MapsetData, MapsOutsideTheAreaCountOnlyForTheCodePage)
{
    add_maps({100, 101});
    inputs[0]->maps[1]->outside_area = 1;
    inputs[0]->maps[1]->code_page = 1250;
    task_options.code_page = 1250;
    family(1);
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(task_options.split_result, 2047u);
    std::vector<Record> r = tdb();
    EXPECT_EQ(letters(r), "PDRBLT");
    EXPECT_EQ(map_record(r[4].payload).number, 100u);
    EXPECT_EQ(get_u32(output("corpwest.mdx"), 10), 2u);
    EXPECT_EQ(output("corpwest.mp").find("00000101"), std::string::npos);
    // 1252 and 1250 once each: the task's code page is preferred.
    EXPECT_EQ(get_u16(p_tail(r), 30), 1250u);
    EXPECT_EQ(take_log().find("Multiple Code Pages, using 1250.\n"), 0u);
}

TEST_F(MapsetData, BatchFilesLineByLine)
{
    add_maps({100});
    task_options.product_id = 2;
    family(0x1234, "My Set");
    ASSERT_EQ(write(), 1);
    std::string opening =
        "echo off\r\necho -\r\necho -\r\necho -  %s\r\necho -\r\necho -  Map:  \"My Set\"\r\necho -  FID:  4660\r\n"
        "echo -  PID:  2\r\necho -\r\necho -  Press Enter to continue or Ctrl-C to abort.\r\necho -\r\npause\r\n\r\n";
    std::string keys =
        "set KEY=HKLM\\SOFTWARE\\Wow6432Node\\Garmin\\MapSource\r\nif %PROCESSOR_ARCHITECTURE% == AMD64 goto key_ok\r\n"
        "set KEY=HKLM\\SOFTWARE\\Garmin\\MapSource\r\n:key_ok\r\n\r\n";
    auto opened = [&](const char* title) {
        std::string text = opening;
        return text.replace(text.find("%s"), 2, title);
    };
    std::string family_key = "reg ADD %KEY%\\Families\\FAMILY_4660";
    EXPECT_EQ(output("install.bat"),
              opened("This batch will install map for Mapsource") +
                  "if exist \"%~dp0corpwest.img\" goto :INSTREG\r\n"
                  "echo File missing: corpwest.img, aborting install.\r\n"
                  "pause\r\nexit 1\r\n\r\n:INSTREG\r\necho Adding registry keys.\r\n\r\n" +
                  keys + family_key + " /v ID /t REG_BINARY /d 3412 /f\r\n" +
                  "if exist \"%~dp0corpwest_mdr.img\" (\r\n\t" + family_key +
                  " /v IDX /t REG_SZ /d \"%~dp0corpwest.mdx\" /f\r\n\t" + family_key +
                  " /v MDR /t REG_SZ /d \"%~dp0corpwest_mdr.img\" /f\r\n)\r\n" +
                  "if exist \"%~dp0corpwest.typ\" " + family_key + " /v TYP /t REG_SZ /d \"%~dp0corpwest.typ\" /f\r\n" +
                  family_key + "\\2 /v Loc /t REG_SZ /d \"%~dp0\\\" /f\r\n" + family_key +
                  "\\2 /v Bmap /t REG_SZ /d \"%~dp0corpwest.img\" /f\r\n" + family_key +
                  "\\2 /v Tdb /t REG_SZ /d \"%~dp0corpwest.tdb\" /f\r\npause\r\nexit 0\r\n");
    EXPECT_EQ(output("uninstall.bat"), opened("This batch will uninstall map from Mapsource.") + keys +
                                           "reg DELETE %KEY%\\Families\\FAMILY_4660 /f\r\npause\r\nexit 0\r\n");
}

TEST_F(MapsetData, BatchFilesWithTypTrfAndTheProductsKey)
{
    add_maps({100});
    InputFile& typ = add(data_path("typ/west1101.typ"));
    typ.base_name = "WEST1101.typ";
    ImgBuilder b;
    b.add_subfile("00000077", "TRF", trf_subfile());
    b.write(dir.file("trf.img"));
    add(dir.file("trf.img")).maps[0]->output_file_name = "00000077.TRF";
    task_options.product_id = 1;
    task_options.compiler_is_mkgmap = 1;  // the preview map is then named by its ID
    family(1101);
    ASSERT_EQ(write(), 1);
    std::string install = output("install.bat");
    std::string key = "reg ADD %KEY%\\Families\\FAMILY_1101";
    for (std::string line : {key + " /v TYP /t REG_SZ /d \"%~dp0WEST1101.typ\" /f\r\n",
                             key + " /v IDX /t REG_SZ /d \"%~dp0corpwest.mdx\" /f\r\n" + key +
                                 " /v TRF /t REG_SZ /d \"%~dp000000077.TRF\" /f\r\n" +
                                 "if exist \"%~dp0corpwest_mdr.img\" " + key +
                                 " /v MDR /t REG_SZ /d \"%~dp0corpwest_mdr.img\" /f\r\n",
                             std::string("if exist \"%~dp000002047.img\" goto :INSTREG\r\n"),
                             key + "\\1 /v Bmap /t REG_SZ /d \"%~dp000002047.img\" /f\r\n"})
        EXPECT_NE(install.find(line), std::string::npos) << line;

    // FID 0 with PID 5: the Products key of PID 5, and no family keys.
    task_options.family_id = 0;
    task_options.product_id = 5;
    ASSERT_EQ(write(), 1);
    install = output("install.bat");
    EXPECT_NE(install.find("reg ADD %KEY%\\Products\\5 /v Loc /t REG_SZ /d \"%~dp0\\\" /f\r\n"
                           "reg ADD %KEY%\\Products\\5 /v Bmap /t REG_SZ /d \"%~dp000002047.img\" /f\r\n"
                           "reg ADD %KEY%\\Products\\5 /v Tdb /t REG_SZ /d \"%~dp0corpwest.tdb\" /f\r\n"),
              std::string::npos);
    EXPECT_EQ(install.find("FAMILY_"), std::string::npos);
    EXPECT_NE(output("uninstall.bat").find("reg DELETE %KEY%\\Products\\5 /f\r\n"), std::string::npos);
}

TEST_F(MapsetData, NamesInBatchFilesAreMadeSafeWithOneWarning)
{
    add_maps({100});
    family(1, "50% \"off\"\x07");
    task_options.mapset_file_name = "a%b";
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(warning_count, 1);
    std::string log_text = take_log();
    EXPECT_EQ(log_text.find("== Warning: characters \", % and control characters replaced by _ in batch files.\n"),
              log_text.rfind("== Warning"));
    std::string install = output("install.bat");
    EXPECT_NE(install.find("echo -  Map:  \"50_ _off__\"\r\n"), std::string::npos);
    EXPECT_NE(install.find("/v Tdb /t REG_SZ /d \"%~dp0a_b.tdb\" /f\r\n"), std::string::npos);
    // The files keep their names, the TDB the mapset name.
    EXPECT_NE(output("a%b.tdb").find("50% \"off\""), std::string::npos);

    // Outside quotes the interpreter's own characters are printed, not
    // obeyed; inside quotes they stand as they are.
    ScratchDir other;
    task_options.output_path = other.path();
    task_options.mapset_file_name = "R&D (x|y)";
    ASSERT_EQ(write(), 1);
    install = read_file(other.file("install.bat"));
    EXPECT_NE(install.find(" R^&D ^(x^|y^).img, "), std::string::npos) << install;
    EXPECT_NE(install.find("if exist \"%~dp0R&D (x|y).img\" goto :INSTREG\r\n"), std::string::npos);
}

TEST_F(MapsetData, ACommandLineNameMustFitTheCodePage)
{
    add_maps({100});
    task_options.mapset_code_page = 1250;
    family(1, "Łódź");  // UTF-8, as the console takes it
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(tdb()[0].payload.substr(6, 5), std::string("\xA3\xF3\x64\x9F") + '\0');

    task_options.mapset_name = "Ω";
    take_log();
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(take_log(), "Mapset name characters don't match code page 1250, creating TDB aborted.\n");

    // A name the window program converted already is taken as it stands.
    task_options.mapset_name = "\xA3\xF3\x64\x9F";
    task_options.mapset_name_result = 1250;
    ASSERT_EQ(write(), 1);
    EXPECT_EQ(tdb()[0].payload.substr(6, 5), std::string("\xA3\xF3\x64\x9F") + '\0');
}

TEST_F(MapsetData, EveryFileThatFailsIsCountedAndTheResultIsFailure)
{
    add_maps({100});
    family(1);
    // A directory where a file should go makes its creation fail.
    auto block = [&](const char* name) {
        std::filesystem::remove(out.file(name));
        std::filesystem::create_directory(out.file(name));
    };
    block("install.bat");
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(error_count, 1);
    EXPECT_TRUE(exists("uninstall.bat"));
    block("corpwest.mdx");
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(error_count, 3);  // the index and install.bat
    block("corpwest.tdb");
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(error_count, 4);  // nothing after the TDB is tried
    block("corpwest.mp");
    take_log();
    EXPECT_EQ(write(), 0);
    EXPECT_EQ(error_count, 5);
    EXPECT_EQ(take_log(), "Write file corpwest.mp\nCreate output file error, file " + out.file("corpwest.mp") +
                              " (Is a directory).\n");
}

TEST_F(MapsetData, PreviewMapAndItsDem)
{
    InputFile& file = add(data_path("single/dem/11000001.img"));
    add_maps({11000002}, "", "nodem.img");
    family(1);
    capture_current_time();
    ASSERT_EQ(write(), 1);
    std::string mp = output("corpwest.mp");
    EXPECT_EQ(mp.substr(0, mp.find("[END-IMG ID]")),
              "[IMG ID]\r\n;ID=I0A7DFFF\r\nID=11001855\r\nName=Preview Map\r\n;LBLcoding=9\r\n;CodePage=1252\r\n"
              "Preprocess=N\r\nPreview=Y\r\n;TreSize=511\r\n;RgnLimit=4000\r\nLevels=2\r\nLevel0=18\r\n"
              "Level1=16\r\nZoom0=0\r\nZoom1=1\r\n");
    for (const char* part : {"Label=Corpus West (11000001)~[0x1d]11000001\r\n",
                             "Label=Corpus West (11000002)~[0x1d]11000002\r\n",
                             "[POI]\r\nType=0x0b00\r\nLabel=Tarnwick Preview\r\nData0=(",
                             "[POLYGON]\r\nType=0x4b\r\nBackground=Y\r\nData0=("})
        EXPECT_NE(mp.find(part), std::string::npos) << part;
    EXPECT_EQ(mp.substr(mp.size() - 11), "\r\n[END]\r\n\r\n");
    EXPECT_EQ(std::count(mp.begin(), mp.end(), '\n'), std::count(mp.begin(), mp.end(), '\r'));
    EXPECT_FALSE(exists("11001855.DEM"));  // one map has no DEM

    // Every map with a DEM (the second one added by the split, its subfiles
    // renamed): a DEM of one level over the mapset, dated like the task.
    MapEntry* added = inputs[1]->maps[0];
    added->dem_length = 101;
    for (uint32_t i = 0; i < added->subfile_count; ++i)
        memcpy(inputs[1]->subfiles[added->first_subfile + i].written_name, "I0A7D8C2", 9);
    ASSERT_EQ(write(), 1);
    std::string dem = output("11001855.DEM");
    ASSERT_EQ(dem.size(), 64u + 37u);
    EXPECT_EQ(dem.substr(2, 10), "GARMIN DEM");
    EXPECT_EQ(get_u16(dem, 0x19), 1u);
    EXPECT_EQ(get_u16(dem, 0x0E), current_time.year);
    TreBounds b = read_tre_bounds(ByteView(file.maps[0]->tre_info->header));
    EXPECT_EQ(get_u32(dem, 41 + 0x28), static_cast<uint32_t>(b.west) << 8);
    std::vector<Record> r = tdb();
    EXPECT_EQ(p_tail(r)[39], 1);  // all maps have a DEM
    EXPECT_EQ(map_record(r[4].payload).lengths.back(), 7929u);
    MapRecord m = map_record(r[5].payload);
    ASSERT_EQ(m.count, 4u);
    EXPECT_EQ(m.lengths[3], 101u);
    std::string names;
    for (const char* ext : {".LBL", ".RGN", ".TRE", ".DEM"})
        names += std::string("I0A7D8C2") + ext + '\0';
    EXPECT_EQ(m.rest.substr(7), names + std::string(2, '\0'));
}

TEST_F(MapsetData, TwkSplitForMapSourceWritesTheWholeSet)
{
    std::string input = data_path("gmapsupp/west-1101-p1.img");
    RunResult run = run_twk_here({"-LicenseAcknowledge", "-S", "-o", out.path(), "-n", "West", input});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output, "Split map " + input +
                              ".\nWrite map  11000001 ->     11000001.img\nWrite map  11000002 ->     11000002.img\n"
                              "Write data WEST1101 ->     WEST1101.TYP\nWrite map  00001101 ->     1101_srt.img\n"
                              "Write file West.mp\nWrite file West.tdb\nWrite file West.mdx\n");
    for (const char* name : {"West.mp", "West.tdb", "West.mdx", "install.bat", "uninstall.bat", "11000001.img",
                             "11000002.img", "WEST1101.TYP", "1101_srt.img"})
        EXPECT_TRUE(exists(name)) << name;
    EXPECT_FALSE(exists("11001855.DEM"));

    // Family and mapset name from the input's MPS records; the maps' records
    // name the subfiles as the split renamed them.
    std::vector<Record> r = tdb_records(output("West.tdb"));
    ASSERT_EQ(letters(r), "PDRBLLT");
    EXPECT_EQ(r[0].payload.substr(0, 4), std::string("\x01\x00\x4d\x04", 4));
    EXPECT_EQ(r[0].payload.substr(6, 12), std::string("Corpus West") + '\0');
    EXPECT_EQ(map_record(r[4].payload).number, 11000001u);
    EXPECT_NE(map_record(r[4].payload).rest.find(std::string("I0A7D8C1.TRE") + '\0'), std::string::npos);
    EXPECT_NE(output("install.bat").find("/v TYP /t REG_SZ /d \"%~dp0WEST1101.TYP\" /f\r\n"), std::string::npos);

    // With -q every map gets an empty DEM, and so does the preview.
    ScratchDir again;
    run = run_twk_here({"-LicenseAcknowledge", "-S", "-q", "-o", again.path(), input});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    for (const char* name : {"mapset.mp", "mapset.tdb", "mapset.mdx", "11001855.DEM", "install.bat", "uninstall.bat"})
        EXPECT_TRUE(std::filesystem::exists(again.file(name))) << name;
    r = tdb_records(read_file(again.file("mapset.tdb")));
    EXPECT_EQ(p_tail(r)[39], 1);
    EXPECT_NE(map_record(r[4].payload).rest.find(std::string("I0A7D8C1.DEM") + '\0'), std::string::npos);
}

namespace {

// One `twk -S` run into a fresh directory, its outputs read by name.
struct MapSourceSplit {
    MapSourceSplit(const std::vector<std::string>& options, const std::string& input)
    {
        std::vector<std::string> args{"-LicenseAcknowledge", "-S", "-o", out.path()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(input);
        run = run_twk_here(args);
    }
    std::string file(const std::string& name) const { return read_file(out.file(name)); }
    bool has(const std::string& name) const { return std::filesystem::exists(out.file(name)); }
    std::vector<Record> tdb(const std::string& name = "mapset.tdb") const { return tdb_records(file(name)); }

    ScratchDir out;
    RunResult run;
};

// The largest latitude and longitude, by size, of every point that a
// preview map's Data0 lines give.
std::pair<double, double> widest_point(const std::string& mp)
{
    double lat = 0, lon = 0;
    for (size_t at = mp.find("Data0="); at != std::string::npos; at = mp.find("Data0=", at + 1)) {
        std::string line = mp.substr(at, mp.find('\r', at) - at);
        for (size_t p = line.find('('); p != std::string::npos; p = line.find('(', p + 1)) {
            double a = 0, b = 0;
            EXPECT_EQ(sscanf(line.c_str() + p, "(%lf,%lf)", &a, &b), 2) << line;
            lat = std::max(lat, std::fabs(a));
            lon = std::max(lon, std::fabs(b));
        }
    }
    return {lat, lon};
}

}  // namespace

// The preview map and both batch files of the west test set, byte for byte.
// None of them holds a date: only the preview DEM does, and -q is not given.
TEST(MapSourceGolden, PreviewMapAndBatchFilesOfTheWestSet)
{
    MapSourceSplit s({"-n", "West"}, data_path("gmapsupp/west-1101-p1.img"));
    ASSERT_EQ(s.run.exit_code, 0) << s.run.output;
    for (const char* name : {"West.mp", "install.bat", "uninstall.bat"}) {
        std::string golden = read_file(data_path(std::string("golden/mapsource/") + name));
        ASSERT_FALSE(golden.empty()) << name;
        EXPECT_EQ(s.file(name), golden) << name;
    }
}

// A split for MapSource that could not end in a mapset (maps of no family,
// or of several, and no -f; no mapset name) is refused before it writes
// anything: not a map, not a file of the install data.
TEST(MapSourceTwk, ASplitThatCannotMakeAMapsetWritesNothing)
{
    struct Case {
        std::vector<std::string> options;
        std::string input, output;
    } cases[] = {
        {{}, "single/plain/11000001.img", "FID missing, creating TDB aborted.\n"},
        {{"-f", "7,1"}, "single/plain/11000001.img", "Mapset name missing, creating TDB aborted.\n"},
        {{}, "gmapsupp/mixed-3families.img", "Multiple products in img, creating TDB aborted, try opion -f.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        MapSourceSplit refused(c.options, data_path(c.input));
        EXPECT_EQ(refused.run.exit_code, 4);
        EXPECT_EQ(refused.run.output, c.output);
        EXPECT_TRUE(std::filesystem::is_empty(refused.out.path()));
    }
}

// Three families in one file: with -f the TDB and the batch files take the
// given family and product, and the TYP of that family.
TEST(MapSourceTwk, SeveralFamiliesNeedTheFidOption)
{
    std::string input = data_path("gmapsupp/mixed-3families.img");
    MapSourceSplit chosen({"-f", "1201,2"}, input);
    EXPECT_EQ(chosen.run.exit_code, 0) << chosen.run.output;
    EXPECT_NE(chosen.run.output.find("\n== Warning: Multiple products in img.\nWrite file mapset.mp\n"),
              std::string::npos)
        << chosen.run.output;
    std::vector<Record> r = chosen.tdb();
    ASSERT_EQ(letters(r), "PDRBLLLLLLT");
    EXPECT_EQ(get_u16(r[0].payload, 0), 2u);
    EXPECT_EQ(get_u16(r[0].payload, 2), 1201u);
    // Four 'F' records: the name comes from the 'V' record.
    EXPECT_EQ(r[0].payload.substr(6, 12), std::string("OSM map set") + '\0');
    std::string install = chosen.file("install.bat");
    EXPECT_NE(install.find("echo -  FID:  1201\r\necho -  PID:  2\r\n"), std::string::npos);
    EXPECT_NE(install.find("\\FAMILY_1201 /v ID /t REG_BINARY /d B104 /f\r\n"), std::string::npos);
    EXPECT_NE(install.find("\\FAMILY_1201 /v TYP /t REG_SZ /d \"%~dp0CENT1201.TYP\" /f\r\n"), std::string::npos);
    EXPECT_NE(install.find("\\FAMILY_1201\\2 /v Tdb /t REG_SZ /d \"%~dp0mapset.tdb\" /f\r\n"), std::string::npos);
    EXPECT_NE(chosen.file("uninstall.bat").find("reg DELETE %KEY%\\Families\\FAMILY_1201 /f\r\n"),
              std::string::npos);
}

// What each -S option changes in the install data, through twk.
TEST(MapSourceTwk, OptionsShowInTheOutputFiles)
{
    std::string west = data_path("gmapsupp/west-1101-p1.img");
    std::string plain = data_path("single/plain/11000001.img");  // no NET, NOD, DEM or SRT
    struct Case {
        std::vector<std::string> options;
        std::string input;
        std::string letters;
        uint32_t version, fid, pid, code_page;
        bool marine;
    };
    const Case cases[] = {
        {{}, west, "PDRBLLT", 407, 1101, 1, 1252, false},
        // Version 3 only where no map forces version 4.
        {{"-3"}, west, "PDRBLLT", 407, 1101, 1, 1252, false},
        {{"-3", "-f", "77,5", "-m", "Plain"}, plain, "PDBL", 300, 77, 5, 0, false},
        {{"-3", "-r", "-f", "77,5", "-m", "Plain"}, plain, "PDRBLT", 407, 77, 5, 1252, true},
        {{"-r"}, west, "PDRBLLT", 407, 1101, 1, 1252, true},
        {{"-c", "1250"}, west, "PDRBLLT", 407, 1101, 1, 1250, false},
        {{"-f", "77"}, west, "PDRBLLT", 407, 77, 1, 1252, false},
    };
    for (const Case& c : cases) {
        std::string label = ::testing::PrintToString(c.options);
        MapSourceSplit s(c.options, c.input);
        ASSERT_EQ(s.run.exit_code, 0) << label << s.run.output;
        std::vector<Record> r = s.tdb();
        ASSERT_EQ(letters(r), c.letters) << label;
        EXPECT_EQ(get_u16(r[0].payload, 0), c.pid) << label;
        EXPECT_EQ(get_u16(r[0].payload, 2), c.fid) << label;
        EXPECT_EQ(get_u16(r[0].payload, 4), c.version) << label;
        if (c.version == 407) {
            EXPECT_EQ(get_u16(p_tail(r), 30), c.code_page) << label;
            EXPECT_EQ(p_tail(r)[12], c.marine ? 1 : 0) << label;
        }
        EXPECT_NE(s.file("mapset.mp").find(";CodePage=" + std::to_string(c.code_page ? c.code_page : 1252) + "\r\n"),
                  std::string::npos)
            << label;
        std::string ids = "echo -  FID:  " + std::to_string(c.fid) + "\r\necho -  PID:  " + std::to_string(c.pid);
        EXPECT_NE(s.file("install.bat").find(ids), std::string::npos) << label;
        std::string key = "\\Families\\FAMILY_" + std::to_string(c.fid);
        EXPECT_NE(s.file("install.bat").find(key + "\\" + std::to_string(c.pid) + " /v Bmap "), std::string::npos)
            << label;
        EXPECT_NE(s.file("uninstall.bat").find("reg DELETE %KEY%" + key + " /f\r\n"), std::string::npos) << label;
    }

    // Family 0: the product's own key.
    MapSourceSplit product({"-f", "0,5"}, west);
    EXPECT_NE(product.file("install.bat").find("reg ADD %KEY%\\Products\\5 /v Tdb /t REG_SZ /d \"%~dp0mapset.tdb\" /f\r\n"),
              std::string::npos);
    EXPECT_EQ(product.file("install.bat").find("FAMILY_"), std::string::npos);
    EXPECT_NE(product.file("uninstall.bat").find("reg DELETE %KEY%\\Products\\5 /f\r\n"), std::string::npos);

    // -n names the mapset's files and what the batch files register.
    MapSourceSplit named({"-n", "Other"}, west);
    for (const char* name : {"Other.mp", "Other.tdb", "Other.mdx", "install.bat", "uninstall.bat"})
        EXPECT_TRUE(named.has(name)) << name;
    EXPECT_FALSE(named.has("mapset.tdb"));
    for (const char* line : {"if exist \"%~dp0Other.img\" goto :INSTREG\r\n", "/d \"%~dp0Other.mdx\" /f\r\n",
                             "/d \"%~dp0Other_mdr.img\" /f\r\n", "/d \"%~dp0Other.tdb\" /f\r\n"})
        EXPECT_NE(named.file("install.bat").find(line), std::string::npos) << line;
    MapSourceSplit bad({"-n", "a?b"}, west);
    EXPECT_EQ(bad.run.exit_code, 1);
    EXPECT_NE(bad.run.output.find("Wrong charactes in file name: a?b\n"), std::string::npos) << bad.run.output;
    EXPECT_TRUE(std::filesystem::is_empty(bad.out.path()));
}

// -l and -L keep the preview map inside the limits: a map over the whole
// globe and one that reaches the limits exactly show it. -L leaves out the
// map beyond the limits.
TEST(MapSourceTwk, LimitsBoundThePreviewMap)
{
    ScratchDir dir;
    ImgBuilder b;
    auto add_map = [&](const char* number, int32_t north, int32_t east, int32_t south, int32_t west) {
        TreSpec tre{.map_id = static_cast<uint32_t>(std::stoul(number))};
        tre.north = static_cast<uint32_t>(north) & 0xFFFFFF;
        tre.east = static_cast<uint32_t>(east) & 0xFFFFFF;
        tre.south = static_cast<uint32_t>(south) & 0xFFFFFF;
        tre.west = static_cast<uint32_t>(west) & 0xFFFFFF;
        b.add_subfile(number, "TRE", tre_subfile(tre));
        b.add_subfile(number, "RGN", common_header("RGN", 125, 300));
        b.add_subfile(number, "LBL", lbl_subfile());
    };
    add_map("11000001", 0x3FFFFF, 0x7FFFFF, -0x3FFFFF, -0x7FFFFF);
    add_map("11000002", 4171002, 8318702, -4171002, -8318702);
    b.add_subfile("MAPSOURC", "MPS", mps_f_record(5, 77, "Globe"));
    b.write(dir.file("globe.img"));

    // Map units of the limits, as degrees, and half a unit at 18 bits.
    const double half = 360.0 / (1 << 18) / 2;
    const double north = 4171002 * 45.0 / (1 << 21) + half, east = 8318702 * 45.0 / (1 << 21) + half;
    struct Case {
        const char* option;
        double latitude, longitude;  // the largest of each in the preview map
        bool globe;                  // the whole globe's map is in it
    } const cases[] = {
        {nullptr, 90 - 2 * half - 45.0 / (1 << 22), 180 - 2 * half + 45.0 / (1 << 22), true},
        {"-l", north, east, true},
        {"-L", 89.5, 178.5, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> options;
        if (c.option)
            options.push_back(c.option);
        MapSourceSplit s(options, dir.file("globe.img"));
        ASSERT_EQ(s.run.exit_code, 0) << s.run.output;
        std::string mp = s.file("mapset.mp");
        auto [lat, lon] = widest_point(mp);
        const char* label = c.option ? c.option : "none";
        EXPECT_NEAR(lat, c.latitude, 1e-7) << label;
        EXPECT_NEAR(lon, c.longitude, 1e-7) << label;
        EXPECT_EQ(mp.find("~[0x1d]11000001\r\n") != std::string::npos, c.globe) << label;
        EXPECT_NE(mp.find("~[0x1d]11000002\r\n"), std::string::npos) << label;
    }
}
