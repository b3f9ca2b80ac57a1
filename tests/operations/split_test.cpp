// The split driver: modes, the list file, the TYP and subfile copies.
#include "operations/task_bridge.h"
#include "operations/split.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "operations/split_files.h"
#include "platform/platform.h"
#include "tests/operations/split_fixture.h"
#include "tests/support/console_runner.h"
#include "tests/support/subfile_images.h"

namespace {

const char* const multi_map_files[] = {
    "gmapsupp/central-1201-p2.img",  "gmapsupp/dem-1401-p1.img",      "gmapsupp/from-img-index-6324.img",
    "gmapsupp/index-1101-p1.img",    "gmapsupp/many-60maps-3101.img", "gmapsupp/mixed-3families.img",
    "gmapsupp/unicode-1301-p3.img",  "gmapsupp/west-1101-p1.img",
};

}  // namespace

TEST_F(SplitTest, EmptyInputList)
{
    task_options.split_subfiles = 1;
    EXPECT_EQ(split(), 0);
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(log, "Missing input files.\n");
}

// An output folder that is missing, is no folder, or takes no new file is
// one line naming it with the reason, in every mode, before any output is
// tried; the run then ends as a failure with one error.
TEST_F(SplitTest, AnOutputFolderThatCannotBeUsedIsOneLineBeforeAnyOutput)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    std::string blocker = dir.file("plain-file");
    write_file(blocker, "x");
    // A folder the process may not write in: one without rights, or, for
    // a process whose rights override that, one of the kernel's own.
    std::string closed = dir.file("closed");
    std::filesystem::create_directory(closed);
    ASSERT_EQ(chmod(closed.c_str(), 0555), 0);
    if (geteuid() == 0)
        closed = "/sys";
    int probe = open((closed + "/twk-probe").c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    ASSERT_LT(probe, 0) << closed << " takes new files";
    const std::string closed_reason = platform::error_text(errno);
    struct Folder {
        std::string path;
        std::string reason;
    } folders[] = {
        {out + "/missing/dir", "No such file or directory"},
        {blocker, "Not a directory"},
        {blocker + "/sub", "Not a directory"},
        {closed, closed_reason},
    };
    using Flag = uint8_t TaskOptions::*;
    const Flag modes[] = {nullptr, &TaskOptions::mapsource_split_a, &TaskOptions::split_subfiles,
                          &TaskOptions::split_by_fid, &TaskOptions::split_empty, &TaskOptions::typ_only};
    for (const Folder& folder : folders) {
        for (Flag mode : modes) {
            SCOPED_TRACE(folder.path);
            clear_task_options(task_options);
            error_count = 0;
            if (mode == &TaskOptions::mapsource_split_a) {
                mapsource_family();
                task_options.mapsource_split_b = 1;
            } else if (mode) {
                task_options.*mode = 1;
            }
            task_options.create_split_list = 1;
            task_options.output_path = folder.path;
            EXPECT_EQ(split(), 0);
            EXPECT_EQ(log, "Output directory " + folder.path + " cannot be used (" + folder.reason + ").\n");
            EXPECT_EQ(error_count, 1);
        }
    }
    EXPECT_TRUE(outputs().empty());
    EXPECT_FALSE(std::filesystem::exists(out + "/missing"));
}

TEST_F(SplitTest, SubfilesOfEveryMultiMapFile)
{
    for (const char* file : multi_map_files) {
        free_input_file_list(inputs);
        fresh_output();
        InputFile& input = add(data_path(file));
        task_options.split_subfiles = 1;
        task_options.create_split_list = 1;
        EXPECT_EQ(split(), 1) << file << log;
        EXPECT_EQ(error_count, 0);
        std::string list;
        std::string expected_log;
        std::map<std::string, std::string> contents = subfile_contents(input);
        for (SubfileEntry& subfile : input.subfiles) {
            std::string name = make_subfile_file_name(subfile.name, subfile.name + 8);
            list += name + "\n";
            expected_log += "Write subfile " + name + "\n";
            EXPECT_EQ(output(name), contents[subfile.name]) << file << " " << name;
        }
        EXPECT_EQ(outputs().size(), input.subfiles.size() + 1) << file;
        EXPECT_EQ(output("split.lst"), list);
        EXPECT_EQ(log, expected_log);
    }
}

TEST_F(SplitTest, SubfileNamesAsInTheFat)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    task_options.split_subfiles = 1;
    task_options.verbose = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(outputs(), (std::set<std::string>{"11000001.LBL", "11000001.NET", "11000001.NOD", "11000001.RGN",
                                                "11000001.TRE", "11000002.LBL", "11000002.NET", "11000002.NOD",
                                                "11000002.RGN", "11000002.TRE", "00001101.SRT", "WEST1101.TYP",
                                                "MAKEGMAP.MPS"}));
    char line[80];
    snprintf(line, sizeof line, "Write subfile WEST1101.TYP, len. %9zu\n",
             subfile_contents(*inputs[0])["WEST1101TYP"].size());
    EXPECT_NE(log.find(std::string("Output path: ") + out + "\n"), std::string::npos);
    EXPECT_NE(log.find(line), std::string::npos) << log;
}

TEST_F(SplitTest, SecondSplitCountsEachExistingFileAndGoesOn)
{
    InputFile& input = add(data_path("gmapsupp/west-1101-p1.img"));
    task_options.split_subfiles = 1;
    EXPECT_EQ(split(), 1);
    std::string typ = output("WEST1101.TYP");
    write_file(out + "/WEST1101.TYP", "mine");
    EXPECT_EQ(split(), 0);
    EXPECT_EQ(error_count, static_cast<int>(input.subfiles.size()));
    EXPECT_NE(log.find("Output file already exist, file " + out + "/MAKEGMAP.MPS.\n"), std::string::npos);
    EXPECT_EQ(output("WEST1101.TYP"), "mine");
}

TEST_F(SplitTest, SubfilesModePassesOverSingleFilesAndSaysSo)
{
    add(data_path("typ/west1101.typ"));
    task_options.split_subfiles = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_TRUE(outputs().empty());
    EXPECT_EQ(log, "== Warning: not a map container, not split, file " + data_path("typ/west1101.typ") + ".\n");
    EXPECT_EQ(warning_count, 1);
}

TEST_F(SplitTest, ModesThatTakeOnlyContainersSayWhatTheyPassOver)
{
    std::string typ = data_path("typ/west1101.typ");
    add(typ);
    const std::string not_split = "== Warning: not a map container, not split, file " + typ + ".\n";
    task_options.split_by_fid = 1;
    split();
    EXPECT_EQ(log, not_split);
    fresh_output();
    task_options.split_empty = 1;
    warning_count = 0;
    split();
    EXPECT_EQ(log, not_split);
    EXPECT_EQ(warning_count, 1);
    EXPECT_TRUE(outputs().empty());

    // A container without an MPS subfile has no family to split by.
    free_input_file_list(inputs);
    ImgBuilder b;
    b.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
    add_built(b, "plain.img");
    fresh_output();
    task_options.split_by_fid = 1;
    warning_count = 0;
    split();
    EXPECT_EQ(log, "== Warning: no MPS family records, no mapsets split, file " + dir.file("plain.img") + ".\n");
    EXPECT_EQ(warning_count, 1);
    EXPECT_TRUE(outputs().empty());

    fresh_output();
    task_options.split_by_fid = 1;
    english_texts = 0;
    load_core_messages(nullptr, 0, 0);
    split();
    english_texts = 1;
    load_core_messages(nullptr, 0, 0);
    EXPECT_EQ(log, "== Ostrzeżenie: brak rekordów rodzin w MPS, nie podzielono na zestawy map, plik " +
                       dir.file("plain.img") + ".\n");
}

TEST_F(SplitTest, TypFilesFromContainersAndSingleFiles)
{
    InputFile& mixed = add(data_path("gmapsupp/mixed-3families.img"));
    add(data_path("typ/cent1201.typ"));
    add(data_path("single/plain/11000001.img"));
    task_options.typ_only = 1;
    task_options.create_split_list = 1;
    task_options.verbose = 1;
    EXPECT_EQ(split(), 1) << log;
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(outputs(), (std::set<std::string>{"WEST1101.TYP", "CENT1201.TYP", "cent1201.typ", "split.lst"}));
    std::map<std::string, std::string> contents = subfile_contents(mixed);
    EXPECT_EQ(output("WEST1101.TYP"), contents["WEST1101TYP"]);
    EXPECT_EQ(output("CENT1201.TYP"), contents["CENT1201TYP"]);
    EXPECT_EQ(output("cent1201.typ"), read_file(data_path("typ/cent1201.typ")));
    // In map order; whole-file copies get no list line.
    std::string in_map_order;
    for (MapEntry* map : mixed.maps)
        if (map->kind == FILE_TYP)
            in_map_order += map->output_file_name + "\n";
    EXPECT_EQ(output("split.lst"), in_map_order);
    EXPECT_EQ(in_map_order.size(), 26u);
    EXPECT_EQ(inputs[1]->base_name, "cent1201.typ");
    char line[120];
    snprintf(line, sizeof line, "Write data %8s -> %16s, len. %9zu\n", "WEST1101", "WEST1101.TYP",
             contents["WEST1101TYP"].size());
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_NE(log.find("Split map " + data_path("gmapsupp/mixed-3families.img") + ".\n"), std::string::npos);
    EXPECT_NE(log.find("Split map, data file " + data_path("typ/cent1201.typ") + ".\n"), std::string::npos);
    EXPECT_NE(log.find("Write data cent1201.typ, len.       688\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Creating file split.lst\n"), std::string::npos);
}

TEST_F(SplitTest, TypFileAlreadyInTheOutputDirectoryIsNotCopied)
{
    std::string typ = out + "/west1101.typ";
    write_file(typ, read_file(data_path("typ/west1101.typ")));
    add(typ);
    task_options.typ_only = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(log, "Split map, data file " + typ + ".\n");
    EXPECT_EQ(inputs[0]->base_name, "west1101.typ");
    EXPECT_EQ(output("west1101.typ"), read_file(data_path("typ/west1101.typ")));
}

TEST_F(SplitTest, DataMapNamesCarryOrdinalsAndOwnExtensions)
{
    InputFile& input = add(data_path("gmapsupp/west-1101-p1.img"));
    MapEntry* typ = nullptr;
    for (MapEntry* map : input.maps)
        if (map->kind == FILE_TYP)
            typ = map;
    ASSERT_NE(typ, nullptr);
    SplitRun run;
    ASSERT_TRUE(open_input_file(input, "rb"));
    typ->ordinal = 2;
    EXPECT_EQ(write_data_map_file(input, run, *typ, 100), 1);
    // A lone subfile keeps its own extension without its blank.
    typ->kind = FILE_OTHER;
    typ->ordinal = 0;
    strcpy(typ->extension, "XY ");
    EXPECT_EQ(write_data_map_file(input, run, *typ, 100), 1);
    // Any other kind is plain data.
    typ->kind = FILE_QSI;
    EXPECT_EQ(write_data_map_file(input, run, *typ, 100), 1);
    close_input_file(input);
    std::string bytes = subfile_contents(input)["WEST1101TYP"];
    EXPECT_EQ(outputs(), (std::set<std::string>{"WEST1101-2.TYP", "WEST1101.XY", "WEST1101.dat"}));
    EXPECT_EQ(output("WEST1101-2.TYP"), bytes);  // copied in pieces of 100 bytes
    EXPECT_EQ(output("WEST1101.dat"), bytes);
    EXPECT_EQ(typ->output_file_name, "WEST1101.dat");
    // A file that exists is not replaced: one error, and the split may go on.
    EXPECT_EQ(write_data_map_file(input, run, *typ, 100), 1);
    EXPECT_EQ(error_count, 1);
}

TEST_F(SplitTest, ListThatCannotBeCreatedIsAWarning)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    std::filesystem::create_directory(out + "/split.lst");
    task_options.typ_only = 1;
    task_options.create_split_list = 1;
    EXPECT_EQ(split(), 1);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(error_count, 0);
    EXPECT_NE(log.find("Create output file error, file " + out + "/split.lst (Is a directory).\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(out + "/WEST1101.TYP"));
}

TEST_F(SplitTest, UnreadableContainerEndsTheSplit)
{
    std::string copy = dir.file("gone.img");
    write_file(copy, read_file(data_path("gmapsupp/west-1101-p1.img")));
    add(copy);
    add(data_path("typ/west1101.typ"));
    std::filesystem::remove(copy);
    task_options.typ_only = 1;
    EXPECT_EQ(split(), 0);
    EXPECT_EQ(error_count, 1);
    EXPECT_NE(log.find("Open error, file " + copy + " (No such file or directory).\n"), std::string::npos);
    EXPECT_TRUE(outputs().empty());
}

TEST_F(SplitTest, PolishTexts)
{
    english_texts = 0;
    load_core_messages(nullptr, 0, 0);
    add(data_path("typ/cent1201.typ"));
    task_options.typ_only = 1;
    task_options.verbose = 1;
    EXPECT_EQ(split(), 1);
    english_texts = 1;
    load_core_messages(nullptr, 0, 0);
    EXPECT_EQ(log, "Ścieżka wyjściowa: " + out + "\nPodział mapy, plik danych " + data_path("typ/cent1201.typ") +
                       ".\nZapis danych cent1201.typ, dł.       688\n");
}

TEST_F(SplitTest, ConsoleCommands)
{
    std::string input = data_path("gmapsupp/west-1101-p1.img");
    RunResult run = run_twk_here({"-E", "-LicenseAcknowledge", "-g", "-t", "-o", out, input});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(outputs().size(), 14u);
    EXPECT_NE(run.output.find("Write subfile WEST1101.TYP\n"), std::string::npos) << run.output;

    // Every file exists now: each is one error, and the command fails.
    run = run_twk_here({"-E", "-LicenseAcknowledge", "-g", "-o", out, input});
    EXPECT_EQ(run.exit_code, 4) << run.output;

    fresh_output();
    run = run_twk_here({"-P", "-LicenseAcknowledge", "-k", "-o", out, input});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(outputs(), (std::set<std::string>{"11000001.mp", "11000002.mp", "west-1101-p1.list"}));
    EXPECT_NE(run.output.find("Zapis: 11000001.mp\n"), std::string::npos) << run.output;
}

TEST_F(SplitTest, ConsoleLogsInBothLanguages)
{
    // The golden files name the data directory DATA and the output OUT.
    auto logged = [&](const std::string& language, const std::string& command) {
        fresh_output();
        RunResult run =
            run_twk_here({language, "-LicenseAcknowledge", command, "-v", "-o", out, data_path("gmapsupp/west-1101-p1.img")});
        EXPECT_EQ(run.exit_code, 0) << run.output;
        std::string text = run.output;
        for (auto [from, to] : {std::pair{data_path(""), std::string("DATA/")}, std::pair{out, std::string("OUT")}})
            for (size_t at; (at = text.find(from)) != std::string::npos;)
                text.replace(at, from.size(), to);
        return text;
    };
    auto golden = [](const std::string& name) { return read_file(data_path("golden/console/" + name)); };
    EXPECT_EQ(logged("-E", "-st"), golden("split_maps_en.txt"));
    EXPECT_EQ(logged("-P", "-st"), golden("split_maps_pl.txt"));
    EXPECT_EQ(logged("-E", "-G"), golden("split_mapsets_en.txt"));
    EXPECT_EQ(logged("-P", "-G"), golden("split_mapsets_pl.txt"));
}

TEST_F(SplitTest, AMapWithNothingToWriteIsAnErrorAndNoFile)
{
    // Every subfile's first block lies past the end of the file: the block
    // check leaves them no length.
    ImgBuilder b;
    int tre = b.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
    int rgn = b.add_subfile("00000005", "RGN", std::string(600, 'r'));
    b.set_fat_block(tre, 0, 0, 0x7000);
    b.set_fat_block(rgn, 0, 0, 0x7000);
    add_built(b, "broken.img");
    split();
    EXPECT_EQ(error_count, 1);
    EXPECT_TRUE(outputs().empty());
    EXPECT_NE(log.find("Map 00000005 has nothing to write, no file made.\n"), std::string::npos) << log;

    fresh_output();
    english_texts = 0;
    load_core_messages(nullptr, 0, 0);
    error_count = 0;
    split();
    english_texts = 1;
    load_core_messages(nullptr, 0, 0);
    EXPECT_EQ(error_count, 1);
    EXPECT_TRUE(outputs().empty());
    EXPECT_NE(log.find("Mapa 00000005 nie ma nic do zapisania, plik nie powstał.\n"), std::string::npos) << log;
}
