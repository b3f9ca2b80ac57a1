// twk's option parser in-process: what each letter and value form leaves in
// task_options and the input list.
#include "operations/task_bridge.h"
#include "console/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/run.h"
#include "core/host.h"
#include "core/messages.h"
#include "core/task_options.h"
#include "tests/support/host_capture.h"
#include "tests/support/test_support.h"

namespace {

struct Parsed {
    int code = 0;
    InputNames inputs;
    std::string log;
};

// Parses the arguments as twk would after its leading ones, from cleared options.
Parsed parse(std::vector<std::string> args)
{
    clear_task_options(task_options);
    english_texts = 1;
    take_log();
    std::vector<char*> argv{const_cast<char*>("twk")};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed parsed;
    parsed.code = parse_arguments(static_cast<int>(args.size() + 1), argv.data(), 1, parsed.inputs);
    parsed.log = take_log();
    if (!english_texts) {
        // -P loaded the core's Polish texts; later tests expect English.
        english_texts = 1;
        load_core_messages(nullptr, 0, 0);
    }
    return parsed;
}

std::string product_code() { return std::string(task_options.product_code, sizeof task_options.product_code); }

}  // namespace

TEST(ConsoleOptions, NoOptionsLeaveTheDefaults)
{
    Parsed p = parse({"a.img"});
    ASSERT_EQ(p.code, PARSE_GO_ON);
    const TaskOptions& o = task_options;
    EXPECT_EQ(o.priority, 255);
    EXPECT_EQ(o.input_count, 1u);
    const uint64_t numbers[] = {
        o.verbose, o.join_maps, o.split_mode, o.show_info, o.write_changes, o.transparency, o.short_header,
        o.mapsource_split_a, o.mapsource_split_b, o.preview_limits, o.limit_longitude, o.id_flags, o.nt_format,
        o.create_tdb_v3, o.remove_dem, o.remove_nod, o.map_id_mode, o.announce_files, o.split_by_fid, o.no_mps,
        o.other_data, o.header_date_flags, o.typ_fix_flags, o.split_subfiles, o.create_split_list, o.label_case,
        o.add_empty_dem, o.split_empty, o.marine_tdb, o.tre_param_flags, o.version_flags, o.typ_only,
        o.replace_typ, o.mps_name, o.mps_id_flags, o.block_size, o.family_id, o.product_id, o.typ_family_id,
        o.typ_product_id, o.typ_code_page, o.mapset_code_page, o.map_id, o.code_page, o.mps_family_id,
        o.mps_product_id, static_cast<uint64_t>(o.limit_south), static_cast<uint64_t>(o.limit_north),
        static_cast<uint64_t>(o.limit_east), static_cast<uint64_t>(o.limit_west)};
    for (uint64_t n : numbers)
        EXPECT_EQ(n, 0u);
    EXPECT_TRUE(o.output_file.empty() && o.mapset_name.empty() && o.map_name.empty() && o.output_path.empty());

    // The dispatch names the mapset files before it looks at the inputs.
    InputNames none;
    EXPECT_EQ(run_command(none), 3);
    EXPECT_EQ(task_options.mapset_file_name, "mapset");
    take_log();
}

TEST(ConsoleOptions, CommandsAndTheirFlags)
{
    parse({"-S"});
    EXPECT_EQ(task_options.split_mode, 2);
    EXPECT_EQ(task_options.mapsource_split_a, 1);
    EXPECT_EQ(task_options.mapsource_split_b, 1);
    parse({"-G", "-n", "-l", "-h"});
    EXPECT_EQ(task_options.split_mode, 3);
    EXPECT_EQ(task_options.split_by_fid, 1);
    EXPECT_EQ(task_options.mps_name, 2);  // the later of -n and -l wins
    EXPECT_EQ(task_options.short_header, 1);
    parse({"-g", "-t"});
    EXPECT_EQ(task_options.split_mode, 4);
    EXPECT_EQ(task_options.split_subfiles, 1);
    EXPECT_EQ(task_options.create_split_list, 1);
    parse({"-k"});
    EXPECT_EQ(task_options.split_mode, 5);
    EXPECT_EQ(task_options.split_empty, 1);
    parse({"-s", "-x", "-q"});
    EXPECT_EQ(task_options.split_mode, 1);
    EXPECT_EQ(task_options.typ_only, 1);
    EXPECT_EQ(task_options.add_empty_dem, 1);
    parse({"-j", "-q", "-z", "-a", "-x", "-l", "-n"});
    EXPECT_EQ(task_options.join_maps, 1);
    EXPECT_EQ(task_options.remove_dem, 1);
    EXPECT_EQ(task_options.remove_nod, 1);
    EXPECT_EQ(task_options.nt_format, 1);
    EXPECT_EQ(task_options.other_data, 1);
    EXPECT_EQ(task_options.no_mps, 1);
    EXPECT_EQ(task_options.mps_name, 1);
    EXPECT_EQ(task_options.split_mode, 0);
}

TEST(ConsoleOptions, SharedLettersFollowTheCommand)
{
    parse({"-w", "-h", "-t", "-n", "-L", "-l", "-1", "-x"});
    EXPECT_EQ(task_options.header_date_flags, 1);
    EXPECT_EQ(task_options.short_header, 0);
    EXPECT_EQ(task_options.transparency, 255);
    EXPECT_EQ(task_options.label_case, 3);
    EXPECT_EQ(task_options.replace_typ, 1);
    parse({"-w", "-n", "-t", "-1", "-L"});
    EXPECT_EQ(task_options.transparency, 1);
    EXPECT_EQ(task_options.label_case, 1);

    parse({"-S", "-l", "-3", "-r", "-q", "-t"});
    EXPECT_EQ(task_options.preview_limits, 1);
    EXPECT_EQ(task_options.limit_longitude, 0);
    EXPECT_EQ(task_options.limit_south, -4171002);
    EXPECT_EQ(task_options.limit_north, 4171002);
    EXPECT_EQ(task_options.limit_east, 8318702);
    EXPECT_EQ(task_options.limit_west, -8318702);
    EXPECT_EQ(task_options.create_tdb_v3, 1);
    EXPECT_EQ(task_options.marine_tdb, 1);
    EXPECT_EQ(task_options.add_empty_dem, 1);
    EXPECT_EQ(task_options.create_split_list, 1);
    parse({"-S", "-L"});
    EXPECT_EQ(task_options.limit_longitude, 1);
    EXPECT_EQ(task_options.preview_limits, 1);
    EXPECT_EQ(task_options.limit_west, -8318702);
}

TEST(ConsoleOptions, ArgumentsTakenInTurn)
{
    Parsed p = parse({"-jo", "out.img", "a.img", "-mb", "Set", "16", "b.img"});
    ASSERT_EQ(p.code, PARSE_GO_ON);
    EXPECT_EQ(task_options.output_file, "out.img");
    EXPECT_EQ(task_options.mapset_name, "Set");
    EXPECT_EQ(task_options.block_size, 16u);
    ASSERT_EQ(p.inputs.size(), 2u);
    EXPECT_EQ(p.inputs[0], "a.img");
    EXPECT_EQ(p.inputs[1], "b.img");
    EXPECT_EQ(task_options.input_count, 2u);

    p = parse({"-wpe", "254", "-7", "-r", "-name-", "f.img"});
    ASSERT_EQ(p.code, PARSE_GO_ON);
    EXPECT_EQ(task_options.priority, 254);
    EXPECT_EQ(task_options.map_id_mode, 255);
    EXPECT_EQ(task_options.map_id, 7u);
    EXPECT_EQ(task_options.map_name, "-name-");  // an option's argument is never a cluster

    p = parse({"-S", "-n", "my set:<1>|", "-c", "1250", "-o", "outdir", "x.img"});
    ASSERT_EQ(p.code, PARSE_GO_ON);
    EXPECT_EQ(task_options.mapset_file_name, "my set:<1>|");
    EXPECT_EQ(task_options.mapset_code_page, 1250u);
    EXPECT_EQ(task_options.output_file, "outdir");
}

TEST(ConsoleOptions, MapIdForms)
{
    parse({"-w", "-e", "+5"});
    EXPECT_EQ(task_options.map_id_mode, 2);
    EXPECT_EQ(task_options.map_id, 5u);
    parse({"-w", "-e", "99999999"});
    EXPECT_EQ(task_options.map_id_mode, 1);
    EXPECT_EQ(task_options.map_id, 99999999u);
    Parsed p = parse({"-w", "-e", "-100000000"});
    EXPECT_EQ(p.code, 1);
    EXPECT_EQ(p.log, "Wrong map ID number 100000000.\n");
}

TEST(ConsoleOptions, FamilyAndProductIds)
{
    parse({"-j", "-f", "7"});
    EXPECT_EQ(task_options.family_id, 7u);
    EXPECT_EQ(task_options.product_id, 1u);
    EXPECT_EQ(task_options.id_flags, 1);
    parse({"-w", "-f", "65535,0", "-z", "12,34"});
    EXPECT_EQ(task_options.family_id, 65535u);
    EXPECT_EQ(task_options.product_id, 0u);
    EXPECT_EQ(task_options.id_flags, 3);
    EXPECT_EQ(task_options.mps_family_id, 12u);
    EXPECT_EQ(task_options.mps_product_id, 34u);
    EXPECT_EQ(task_options.mps_id_flags, 3);

    uint32_t family = 0, product = 0;
    uint8_t flags = 0;
    for (const char* wrong : {"", ",", "1,", ",2", "1,,2", "+1", "1 ", "65536,1"}) {
        take_log();
        EXPECT_EQ(parse_fid_pid(wrong, family, product, flags), 0) << wrong;
        EXPECT_EQ(take_log(), "Wrong Family ID or Product ID.\n") << wrong;
    }
    EXPECT_EQ(parse_fid_pid("18446744073709551617", family, product, flags), 0);
    EXPECT_EQ(take_log(), "Wrong Family ID.\n");
    EXPECT_EQ(flags, 0);
}

TEST(ConsoleOptions, VersionForms)
{
    struct Form {
        const char* text;
        int flags;  // 0: wrong
        uint8_t major, minor, ms;
        const char* code;
    };
    const Form forms[] = {
        {"1.2", 3, 1, 2, 0, ""},
        {"255.0,7", 7, 255, 0, 7, ""},
        {".,5", 4, 0, 0, 5, ""},
        {".,,ABC", 8, 0, 0, 0, "ABC         "},
        {".,,", 8, 0, 0, 0, "            "},
        {"1.2,,XYZ", 11, 1, 2, 0, "XYZ         "},
        {".,9,Q", 12, 0, 0, 9, "Q           "},
        {"3.4,5,ABCDEFGHIJKLMNOP", 15, 3, 4, 5, "ABCDEFGHIJKL"},
        {"1.2,3,4,5", 15, 1, 2, 3, "4,5         "},
        {"1.2,", 0, 0, 0, 0, ""},
        {".,", 0, 0, 0, 0, ""},
        {".,256", 0, 0, 0, 0, ""},
        {"256.1", 0, 0, 0, 0, ""},
        {"1.256", 0, 0, 0, 0, ""},
        {"1.2,256", 0, 0, 0, 0, ""},
        {"4294967297.1", 0, 0, 0, 0, ""},
        {"1", 0, 0, 0, 0, ""},
        {"1.", 0, 0, 0, 0, ""},
        {".5", 0, 0, 0, 0, ""},
        {"1.2x", 0, 0, 0, 0, ""},
        {"1.2,3,abc", 0, 0, 0, 0, ""},
        {"1.2,3,A\x7f", 0, 0, 0, 0, ""},
        {"", 0, 0, 0, 0, ""},
        {"1.2,3,ABCDEFGHIJKLMNOPQR", 15, 1, 2, 3, "ABCDEFGHIJKL"},  // 24 characters
        {"1.2,3,ABCDEFGHIJKLMNOPQRS", 0, 0, 0, 0, ""},                // 25 characters
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.text);
        take_log();
        TaskOptions& o = task_options;
        clear_task_options(o);
        int ok = parse_version_argument(f.text, o);
        if (f.flags == 0) {
            EXPECT_EQ(ok, 0);
            EXPECT_EQ(o.version_flags, 0);
            EXPECT_EQ(take_log(), "Wrong version number.\n");
            continue;
        }
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(o.version_flags, f.flags);
        EXPECT_EQ(o.version_bytes[0], f.major);
        EXPECT_EQ(o.version_bytes[1], f.minor);
        EXPECT_EQ(o.version_bytes[2], f.ms);
        if (f.flags & 8) {
            EXPECT_EQ(product_code(), f.code);
        }
        EXPECT_EQ(take_log(), "");
    }
}

TEST(ConsoleOptions, TypForms)
{
    struct Form {
        const char* text;
        int flags;
        uint32_t family, product, code_page;
    };
    const Form forms[] = {
        {"5", 1, 5, 1, 0},        {"0", 1, 0, 1, 0},          {"5,6", 3, 5, 6, 0},     {"0,6", 2, 0, 6, 0},
        {"5,6,1250", 7, 5, 6, 1250}, {"0,0,1250", 4, 0, 0, 1250}, {"0,6,1250", 6, 0, 6, 1250},
        {"5,0,65535", 5, 5, 0, 65535},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.text);
        Parsed p = parse({"-w", "-y", f.text});
        ASSERT_EQ(p.code, PARSE_GO_ON);
        EXPECT_EQ(task_options.typ_fix_flags, f.flags);
        EXPECT_EQ(task_options.typ_family_id, f.family);
        EXPECT_EQ(task_options.typ_product_id, f.product);
        EXPECT_EQ(task_options.typ_code_page, f.code_page);
    }
    EXPECT_EQ(parse({"-w", "-y", "1,2,"}).log, "Wrong parameters for TYP file.\n");
}

TEST(ConsoleOptions, TreParameters)
{
    parse({"-w", "-q", "1,2,3"});
    EXPECT_EQ(task_options.tre_param_flags, 7);
    EXPECT_EQ(task_options.tre_params[0], 1);
    EXPECT_EQ(task_options.tre_params[2], 3);
    EXPECT_EQ(task_options.tre_params[3], 0);
    // A later -q replaces the values.
    parse({"-w", "-q", "9,9,9,9", "-q", "255,0,1,2"});
    EXPECT_EQ(task_options.tre_param_flags, 15);
    EXPECT_EQ(task_options.tre_params[0], 255);
    EXPECT_EQ(task_options.tre_params[3], 2);
    parse({"-w", "-q", "9,9,9,9", "-q", "4,5,6"});
    EXPECT_EQ(task_options.tre_param_flags, 7);
    EXPECT_EQ(task_options.tre_params[3], 0);
}

TEST(ConsoleOptions, LanguageLetters)
{
    Parsed p = parse({"-P", "-j", "-x", "-v", "a.img"});
    ASSERT_EQ(p.code, PARSE_GO_ON);
    EXPECT_EQ(p.log, "Plik wejściowy: a.img.\n");
    p = parse({"-jP", "-o", "a", "-Eo", "b"});
    EXPECT_EQ(p.code, 1);
    EXPECT_NE(p.log.find("\nMultiple option -o.\n"), std::string::npos);
}

TEST(ConsoleOptions, ListFileCountsItsNames)
{
    ScratchDir dir;
    write_file(dir.file("list"), "one.img\r\ntwo.img\r\n");
    Parsed p = parse({"a.img", "-@", dir.file("list"), "z.img"});
    ASSERT_EQ(p.code, PARSE_GO_ON);
    ASSERT_EQ(p.inputs.size(), 4u);
    EXPECT_EQ(p.inputs[1], "one.img");
    EXPECT_EQ(p.inputs[2], "two.img");
    EXPECT_EQ(p.inputs[3], "z.img");
    EXPECT_EQ(task_options.input_count, 4u);
    EXPECT_EQ(p.log, "");

    InputNames list;
    EXPECT_EQ(read_file_list(dir.file("none").c_str(), list), -1);
    EXPECT_TRUE(list.empty());
    take_log();
}
