// The task bridge: the version text, its three texts, the input list and
// its two reading modes, and the frame around every task (counters, options,
// summary line, memory trace, Stop between files, the map-ID check).
#include "operations/task_bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        load_messages_bridge(nullptr, 0, 0);
        BuiltInputs::TearDown();
    }

    // A container whose map 11000001 is read, but whose reading then fails:
    // the file ends 100 bytes into the first of the two blocks of its MPS.
    std::string half_read_file()
    {
        ImgBuilder b;
        b.add_subfile("11000001", "TRE", tre_subfile({.map_id = 11000001}));
        std::string mps = mps_f_record(1, 1101, "Family") + mps_v_record(std::string(600, 'S'));
        int m = b.add_subfile("MAPSOURC", "MPS", mps);
        size_t end = b.layout().data_offset(m) + 100;
        std::string bytes = b.build();
        bytes.resize(end);
        std::string p = dir.file("half.img");
        write_file(p, bytes);
        return p;
    }

    std::string plain1 = data_path("single/plain/11000001.img");
    std::string plain2 = data_path("single/plain/11000002.img");
    std::string routed1 = data_path("single/route1252/11000001.img");
    std::string missing = dir.file("missing.img");
    TaskOptions options;
};

const char* const repeated_11000001 = "\n== Warning: repeated map ID number.\n== Map ID 11000001 (A7D8C1)";

}  // namespace

TEST(TaskBridgeVersion, VersionText)
{
    make_version_text();
    EXPECT_STREQ(version_text, "0.9.73.1232b");
    EXPECT_EQ(version_number, 9073);
}

TEST_F(TaskBridge, SummaryLineByTheCountersInEitherLanguage)
{
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
    error_count = 0;
    report_task_result();
    EXPECT_EQ(take_log(), "\nWystąpiły ostrzeżenia, wynik może być wadliwy.\n");
    EXPECT_STREQ(InpFiS.text(), "Plik wejściowy: %s.\n");
    english_texts = 1;
    load_core_messages(nullptr, 0, 0);
}

TEST_F(TaskBridge, InputListStopsAtTheFirstFailureUnlessAllAreRead)
{
    const char* names[] = {plain1.c_str(), missing.c_str(), plain2.c_str()};
    InputList list;
    EXPECT_EQ(build_input_list(3, names, list, 0), 0);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->map_count, 1u);
    EXPECT_EQ(list[1]->status, READ_OPEN_FAILED);
    EXPECT_EQ(list[2]->map_count, 0u);  // never read
    EXPECT_EQ(list[2]->file_size, 0u);
    EXPECT_EQ(error_count, 1);
    take_log();

    EXPECT_EQ(build_input_list(3, names, list, 1), 1);
    ASSERT_EQ(list.size(), 3u);  // the list was emptied first
    EXPECT_EQ(list[2]->map_count, 1u);
    EXPECT_EQ(error_count, 2);
    take_log();

    EXPECT_EQ(build_input_list(0, nullptr, list, 0), 1);
    EXPECT_TRUE(list.empty());
}

TEST_F(TaskBridge, VerboseListNamesEachInputAndCountsThem)
{
    task_options.verbose = 1;
    const char* names[] = {plain1.c_str(), plain2.c_str()};
    InputList list;
    ASSERT_EQ(build_input_list(2, names, list, 0), 1);
    EXPECT_EQ(take_log(), "Input file: " + plain1 + ".\nInput file: " + plain2 + ".\n");
    EXPECT_EQ(task_options.input_count, 2u);
}

TEST_F(TaskBridge, EveryTaskStartsWithCleanCountersAndItsOwnOptions)
{
    error_count = 3;
    warning_count = 2;
    task_options.verbose = 1;
    task_options.mapset_name = "left over";
    options.family_id = 77;
    pomost_write(options, 0, nullptr);
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(warning_count, 0);
    EXPECT_EQ(take_log(), "");  // no input, no change, no summary line
    EXPECT_EQ(task_options.family_id, 77u);
    EXPECT_EQ(task_options.mapset_name, "");
    EXPECT_EQ(task_options.verbose, 0);

    // An empty selection: the join says what is missing, and the summary
    // line reflects only that.
    pomost_join(options, 0, nullptr);
    EXPECT_EQ(take_log(), "Input files missing.\n\nThere were errors, result is faulty.\n");
    EXPECT_EQ(error_count, 1);
    pomost_info(options, 0, nullptr);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(error_count, 0);
}

TEST_F(TaskBridge, MemoryTraceAroundTheTask)
{
    test_debug_mask = DBG_MEMORY;
    std::string live = std::to_string(static_cast<int>(allocation_count - free_count));
    pomost_write(options, 0, nullptr);
    EXPECT_EQ(take_debug_log(), "pomost_write start " + live + "\npomost_write stop2 " + live + "\n");

    // A list that can't be read skips the operation: stop1, and the summary.
    const char* names[] = {missing.c_str()};
    pomost_join(options, 1, names);
    EXPECT_EQ(take_debug_log(), "pomost_join start " + live + "\npomost_join stop1 " + live + "\n");
    std::string log = take_log();
    EXPECT_EQ(log, "Open error, file " + missing + ".\n\nThere were errors, result is faulty.\n");
    EXPECT_EQ(error_count, 1);
}

TEST_F(TaskBridge, VerboseReportEndsWithOneMapIdCheckOverAllInputs)
{
    options.verbose = 1;
    const char* names[] = {plain1.c_str(), plain2.c_str(), routed1.c_str()};
    pomost_info(options, 3, names);
    std::string log = take_log();
    EXPECT_EQ(count_of(log, "repeated map ID"), 1u);
    EXPECT_NE(log.find(std::string(repeated_11000001) + ", file " + plain1 + ", file " + routed1 + ".\n\n"),
              std::string::npos);
    EXPECT_GE(warning_count, 1);

    // Without verbose there is no check.
    options.verbose = 0;
    pomost_info(options, 3, names);
    EXPECT_EQ(count_of(take_log(), "repeated map ID"), 0u);
}

TEST_F(TaskBridge, StopEndsTheReportAndSkipsTheCheck)
{
    // Reading and reporting poll for Stop too, so the polls of each stage
    // are counted first and a Stop is then placed exactly between two.
    auto polls = [](auto&& stage) {
        test_stop_after_polls = 100000;
        stage();
        int used = 100000 - test_stop_after_polls;
        test_stop_after_polls = -1;
        take_log();
        return used;
    };
    options.verbose = 1;
    const char* names[] = {plain1.c_str(), plain2.c_str(), routed1.c_str()};
    int whole_task = polls([&] { pomost_info(options, 3, names); });
    int reading = polls([&] {
        InputList list;
        build_input_list(3, names, list, 1);
    });
    int first_alone = polls([&] { pomost_info(options, 1, names); });  // reading, poll, report, poll (check)
    int first_reading = polls([&] {
        InputList list;
        build_input_list(1, names, list, 1);
    });
    int first_report = first_alone - first_reading - 2;

    test_stop_after_polls = whole_task - 1;  // all three reports, then Stop before the check
    pomost_info(options, 3, names);
    std::string log = take_log();
    EXPECT_EQ(count_of(log, "repeated map ID"), 0u);
    EXPECT_NE(log.find("File:\t\t" + routed1), std::string::npos);

    test_stop_after_polls = reading + 1 + first_report;  // Stop before the second report
    pomost_info(options, 3, names);
    log = take_log();
    EXPECT_EQ(log.find("Input file: " + plain1 + ".\n"), 0u);  // every input is still read
    EXPECT_NE(log.find("File:\t\t" + plain1), std::string::npos);
    EXPECT_EQ(log.find("File:\t\t" + plain2), std::string::npos);
    EXPECT_EQ(log.find("File:\t\t" + routed1), std::string::npos);
    EXPECT_EQ(count_of(log, "repeated map ID"), 0u);
}

TEST_F(TaskBridge, MapIdCheckLeavesOutInputsWhoseReadingFailed)
{
    std::string half = half_read_file();
    {
        // The maps are built before the MPS fails to read.
        InputFile probe;
        EXPECT_EQ(read_path(probe, half), 0);
        EXPECT_EQ(probe.status, READ_MPS_FAILED);
        EXPECT_EQ(probe.map_count, 2u);
        EXPECT_EQ(probe.maps[0]->map_number, 11000001u);
    }
    options.verbose = 1;
    const char* names[] = {plain1.c_str(), half.c_str()};
    pomost_info(options, 2, names);
    std::string log = take_log();
    EXPECT_NE(log.find("Read error, file " + half + ".\n"), std::string::npos);
    EXPECT_EQ(count_of(log, "repeated map ID"), 0u);
    EXPECT_NE(log.find("\nThere were errors, result is faulty.\n"), std::string::npos);
}

TEST_F(TaskBridge, WriteAndChangeStopBetweenFiles)
{
    std::string a = dir.file("a.img");
    std::string b = dir.file("b.img");
    write_file(a, read_file(plain1));
    write_file(b, read_file(plain2));
    const char* names[] = {a.c_str(), b.c_str()};
    InputList list;
    test_stop_after_polls = 1000;
    build_input_list(2, names, list, 0);
    int reading = 1000 - test_stop_after_polls;
    take_log();

    options.verbose = 1;
    test_stop_after_polls = reading + 1;  // the first file, then Stop
    pomost_write(options, 2, names);
    std::string log = take_log();
    EXPECT_NE(log.find("Write: map file " + a + ".\n"), std::string::npos);
    EXPECT_EQ(log.find("Write: map file " + b + ".\n"), std::string::npos);
    test_stop_after_polls = reading + 1;
    pomost_chang(options, 2, names);
    log = take_log();
    EXPECT_NE(log.find("Write: map file " + a + ".\n"), std::string::npos);
    EXPECT_EQ(log.find("Write: map file " + b + ".\n"), std::string::npos);
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
    EXPECT_EQ(error_count, 0);
    pomost_chang(options, 2, names);
    EXPECT_NE(read_file(img), original);
    EXPECT_EQ(error_count, 0);
}

TEST_F(TaskBridge, SplitResultReachesTheCallerAlsoWhenTheSplitFails)
{
    // Two families and no FID option: the installation data are refused,
    // after the preview map's ID is known.
    ImgBuilder b;
    for (const char* name : {"00000100", "00000200"}) {
        b.add_subfile(name, "TRE", tre_subfile({.map_id = static_cast<uint32_t>(atoi(name))}));
        b.add_subfile(name, "RGN", common_header("RGN", 125, 300));
        b.add_subfile(name, "LBL", lbl_subfile());
    }
    b.add_subfile("MAPSOURC", "MPS", mps_f_record(1, 5, "Five") + mps_f_record(1, 7, "Seven"));
    std::string p = dir.file("two.img");
    b.write(p);
    ScratchDir out;
    options.output_path = out.path();
    options.mapsource_split_a = 1;
    options.mapsource_split_b = 1;
    options.split_result = 1;
    const char* names[] = {p.c_str()};
    pomost_split(options, 1, names);
    EXPECT_EQ(options.split_result, 2047u);
    EXPECT_EQ(error_count, 1);
    std::string log = take_log();
    EXPECT_NE(log.find("Multiple products in img, creating TDB aborted, try opion -f.\n"
                       "\nThere were errors, result is faulty.\n"),
              std::string::npos)
        << log;
}
