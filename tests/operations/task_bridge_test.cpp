// The task bridge: the version, its three texts, the input list and its two
// reading modes, and the frame around every task (counters, options,
// summary line, memory trace, Stop between files, the map-ID check, the
// split's result).
#include "operations/task_bridge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/files.h"
#include "tests/core/built_inputs.h"

namespace {

size_t count_of(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class TaskBridge : public BuiltInputs {
protected:
    void TearDown() override
    {
        english_texts = 1;
        load_core_messages(nullptr, 0, 0);
        BuiltInputs::TearDown();
    }
    // Maps numbered first and 200, and an MPS with given records; cut: the
    // file ends that many bytes into the MPS.
    std::string built(const std::string& name, uint32_t first, const std::string& mps, size_t cut = 0)
    {
        ImgBuilder b;
        for (uint32_t number : {first, 200u}) {
            std::string n8 = std::to_string(number);
            n8.insert(0, 8 - n8.size(), '0');
            b.add_subfile(n8, "TRE", tre_subfile({.map_id = number}));
            b.add_subfile(n8, "RGN", common_header("RGN", 125, 300));
            b.add_subfile(n8, "LBL", lbl_subfile());
        }
        int m = b.add_subfile("MAPSOURC", "MPS", mps);
        std::string bytes = b.build();
        if (cut)
            bytes.resize(b.layout().data_offset(m) + cut);
        std::string p = dir.file(name);
        write_file(p, bytes);
        return p;
    }

    std::string plain1 = data_path("single/plain/11000001.img");
    std::string plain2 = data_path("single/plain/11000002.img");
    std::string routed1 = data_path("single/route1252/11000001.img");
    std::string missing = dir.file("missing.img");
    TaskOptions options;
};

}  // namespace

TEST_F(TaskBridge, VersionAndSummaryLineInEitherLanguage)
{
    make_version_text();
    EXPECT_STREQ(version_text, "0.9.73.1232b");
    EXPECT_EQ(version_number, 9073);

    report_task_result();
    EXPECT_EQ(take_log(), "");
    warning_count = 1;
    report_task_result();
    EXPECT_EQ(take_log(), "\nThere were warnings, result can be faulty.\n");
    error_count = 1;
    report_task_result();
    EXPECT_EQ(take_log(), "\nThere were errors, result is faulty.\n");
    english_texts = 0;
    load_core_messages(nullptr, 0, 0);
    report_task_result();
    EXPECT_EQ(take_log(), "\nWystąpiły błędy, wynik jest wadliwy.\n");
    EXPECT_STREQ(TWWRCB.text(), "\nWystąpiły ostrzeżenia, wynik może być wadliwy.\n");
    EXPECT_STREQ(InpFiS.text(), "Plik wejściowy: %s.\n");
}

TEST_F(TaskBridge, InputListStopsAtTheFirstFailureUnlessAllAreRead)
{
    const char* names[] = {plain1.c_str(), missing.c_str(), plain2.c_str()};
    InputList list;
    EXPECT_EQ(build_input_list(3, names, list, 0), 0);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1]->status, READ_OPEN_FAILED);
    EXPECT_EQ(list[2]->file_size, 0u);  // never read
    EXPECT_EQ(error_count, 1);

    task_options.verbose = 1;
    take_log();
    EXPECT_EQ(build_input_list(3, names, list, 1), 1);
    ASSERT_EQ(list.size(), 3u);  // emptied first
    EXPECT_EQ(list[2]->map_count, 1u);
    EXPECT_EQ(task_options.input_count, 6u);
    EXPECT_EQ(take_log().find("Input file: " + plain1 + ".\nInput file: " + missing + ".\nInput file: " + plain2 +
                              ".\n"),
              0u);

    EXPECT_EQ(build_input_list(0, nullptr, list, 0), 1);
    EXPECT_TRUE(list.empty());
}

TEST_F(TaskBridge, EveryTaskStartsAfreshAndEndsWithItsSummary)
{
    error_count = 3;
    warning_count = 2;
    task_options.mapset_name = "left over";
    options.family_id = 77;
    test_debug_mask = DBG_MEMORY;
    // The memory trace counts the input files alive: the one the test holds,
    // and none that a task would keep past its end.
    uint32_t before = LiveInputCount::alive;
    InputList held;
    add_input_file(held, plain1);
    ASSERT_EQ(LiveInputCount::alive, before + 1);
    std::string live = std::to_string(before + 1);
    const char* both[] = {plain1.c_str(), plain2.c_str()};
    pomost_write(options, 2, both);
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(warning_count, 0);
    EXPECT_EQ(task_options.family_id, 77u);
    EXPECT_EQ(task_options.mapset_name, "");
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(take_debug_log(), "pomost_write start " + live + "\npomost_write stop2 " + live + "\n");

    // An empty selection: the join says what is missing.
    pomost_join(options, 0, nullptr);
    EXPECT_EQ(take_log(), "Input files missing.\n\nThere were errors, result is faulty.\n");
    take_debug_log();

    // A list that can't be read skips the operation: stop1, and the summary.
    const char* names[] = {missing.c_str()};
    pomost_join(options, 1, names);
    EXPECT_EQ(take_debug_log(), "pomost_join start " + live + "\npomost_join stop1 " + live + "\n");
    EXPECT_EQ(take_log(), "Open error, file " + missing +
                              " (No such file or directory).\n\nThere were errors, result is faulty.\n");
    EXPECT_EQ(error_count, 1);
}

TEST_F(TaskBridge, VerboseReportEndsWithOneMapIdCheckOverTheInputsRead)
{
    // The last file's maps are built before its MPS fails to read: the
    // report shows it, the check leaves it out.
    std::string mps = mps_f_record(1, 1101, "F") + mps_v_record(std::string(600, 'S'));
    std::string half = built("half.img", 11000001, mps, 100);
    options.verbose = 1;
    const char* names[] = {plain1.c_str(), plain2.c_str(), routed1.c_str(), half.c_str()};
    pomost_info(options, 4, names);
    std::string log = take_log();
    EXPECT_NE(log.find("Read error, file " + half + ".\n"), std::string::npos);
    EXPECT_EQ(count_of(log, "repeated map ID"), 1u);
    EXPECT_NE(log.find("\n== Warning: repeated map ID number.\n== Map ID 11000001 (A7D8C1), file " + plain1 +
                       ", file " + routed1 + ".\n\n"),
              std::string::npos);

    options.verbose = 0;
    pomost_info(options, 3, names);
    EXPECT_EQ(count_of(take_log(), "repeated map ID"), 0u);
}

TEST_F(TaskBridge, StopEndsTheReportBetweenFilesAndSkipsTheCheck)
{
    // Reading and reporting poll too, so the polls of each stage are
    // counted first and a Stop is then placed exactly between two.
    auto polls = [](auto&& stage) {
        test_stop_after_polls = 100000;
        stage();
        int used = 100000 - test_stop_after_polls;
        test_stop_after_polls = -1;
        take_log();
        return used;
    };
    auto read_only = [](int n, const char* const* names) {
        InputList list;
        build_input_list(n, names, list, 1);
    };
    options.verbose = 1;
    const char* names[] = {plain1.c_str(), plain2.c_str(), routed1.c_str()};
    int whole_task = polls([&] { pomost_info(options, 3, names); });
    int reading = polls([&] { read_only(3, names); });
    // One file alone: its reading, a poll, its report, the check's poll.
    int first_report = polls([&] { pomost_info(options, 1, names); }) - polls([&] { read_only(1, names); }) - 2;

    test_stop_after_polls = whole_task - 1;
    pomost_info(options, 3, names);
    std::string log = take_log();
    EXPECT_NE(log.find("File:\t\t" + routed1), std::string::npos);
    EXPECT_EQ(count_of(log, "repeated map ID"), 0u);

    test_stop_after_polls = reading + 1 + first_report;
    pomost_info(options, 3, names);
    log = take_log();
    EXPECT_EQ(log.find("Input file: " + plain1 + ".\n"), 0u);  // every input is still read
    EXPECT_NE(log.find("File:\t\t" + plain1), std::string::npos);
    EXPECT_EQ(log.find("File:\t\t" + plain2), std::string::npos);
    EXPECT_EQ(count_of(log, "repeated map ID"), 0u);
}

// A Stop inside the second file's read ends the reading there, in both
// modes: the third file is never announced, and the read cut short is no
// error.
TEST_F(TaskBridge, StopInsideAReadEndsTheReadingWithoutAnError)
{
    task_options.announce_files = 1;
    const char* names[] = {plain1.c_str(), plain2.c_str(), routed1.c_str()};
    InputList list;
    test_stop_after_polls = 100000;
    build_input_list(1, names, list, 0);
    const int one_file = 100000 - test_stop_after_polls;
    for (int read_all : {0, 1}) {
        SCOPED_TRACE(read_all);
        take_log();
        error_count = 0;
        // The second file's poll before its read still says go on.
        test_stop_after_polls = one_file + 1;
        EXPECT_EQ(build_input_list(3, names, list, read_all), 0);
        test_stop_after_polls = -1;
        EXPECT_EQ(take_log(), "Reading file " + plain1 + ".\nReading file " + plain2 + ".\n");
        EXPECT_EQ(error_count, 0);
        EXPECT_EQ(list[2]->file_size, 0u);  // never read
    }
}

TEST_F(TaskBridge, OnlyTheChangeRoadLetsATypInputReplaceATypSubfile)
{
    // A mapset of family 1101/1 with its TYP, and another TYP of that family.
    std::string img = dir.file("west.img");
    std::string original = read_file(data_path("gmapsupp/west-1101-p1.img"));
    write_file(img, original);
    std::string typ = dir.file("WEST1101.typ");
    write_file(typ, read_file(data_path("typ/west1101-cp0.typ")));
    const char* names[] = {img.c_str(), typ.c_str()};
    options.replace_typ = 1;
    pomost_write(options, 2, names);
    EXPECT_EQ(read_file(img), original);
    pomost_chang(options, 2, names);
    EXPECT_NE(read_file(img), original);
    EXPECT_EQ(error_count, 0);
}

TEST_F(TaskBridge, SplitResultReachesTheCallerAlsoWhenTheSplitFails)
{
    // A folder in the way of the TDB: the installation data fail once the
    // preview map's ID (200 | 0x7FF) is known.
    std::string p = built("one.img", 100, mps_f_record(1, 5, "Five"));
    ScratchDir out;
    std::filesystem::create_directory(out.file("mapset.tdb"));
    options.output_path = out.path();
    options.mapsource_split_a = options.mapsource_split_b = 1;
    const char* names[] = {p.c_str()};
    pomost_split(options, 1, names);
    EXPECT_EQ(options.split_result, 2047u);
    EXPECT_EQ(error_count, 1);
    const std::string log = take_log();
    EXPECT_NE(log.find("Create output file error, file " + out.file("mapset.tdb") + " (Is a directory).\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nThere were errors, result is faulty.\n"), std::string::npos) << log;
}
