// The split as twk runs it: the outline maps and bounds lists of -k against
// golden files, the "split.lst" of each command that writes one, the subfile
// files of -g from a plain and an XOR-masked input, and mkgmap reading the
// per-map IMGs of -s and the family mapsets of -G.
#include <filesystem>

#include "tests/operations/split_fixture.h"
#include "tests/support/console_runner.h"

namespace {

// Runs one split command of twk into the output directory.
void run_split(const std::vector<std::string>& command, const std::string& out, const std::string& input)
{
    std::vector<std::string> args{"-E", "-LicenseAcknowledge"};
    args.insert(args.end(), command.begin(), command.end());
    args.insert(args.end(), {"-o", out, input});
    RunResult run = run_twk_here(args);
    EXPECT_EQ(run.exit_code, 0) << input << "\n" << run.output;
}

// The files of a golden directory, by name.
std::map<std::string, std::string> golden_files(const std::string& name)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(data_path("golden/split/" + name)))
        files[entry.path().filename().string()] = read_file(entry.path().string());
    return files;
}

}  // namespace

class SplitCommands : public SplitTest {
protected:
    std::map<std::string, std::string> written() const
    {
        std::map<std::string, std::string> files;
        for (const std::string& name : outputs())
            files[name] = output(name);
        return files;
    }
};

TEST_F(SplitCommands, EmptyMapsMatchTheGoldenFiles)
{
    // Two maps of 4 and 3 levels in a container; one map of 5 levels alone.
    run_split({"-k"}, out, data_path("gmapsupp/west-1101-p1.img"));
    std::map<std::string, std::string> west = golden_files("outline-west-1101-p1");
    ASSERT_EQ(west.size(), 3u);
    EXPECT_EQ(written(), west);

    fresh_output();
    run_split({"-k"}, out, data_path("single/all-elements/14000001.img"));
    std::map<std::string, std::string> single = golden_files("outline-14000001");
    ASSERT_EQ(single.size(), 2u);
    EXPECT_EQ(written(), single);

    // The XOR-masked copy of the container gives the same maps; its list is
    // named after it.
    fresh_output();
    run_split({"-k"}, out, data_path("damaged/valid-xor-5a.img"));
    west["valid-xor-5a.list"] = west["west-1101-p1.list"];
    west.erase("west-1101-p1.list");
    EXPECT_EQ(written(), west);
}

TEST_F(SplitCommands, SplitListOfEachCommand)
{
    auto list_of = [&](const std::vector<std::string>& command, const char* input) {
        fresh_output();
        run_split(command, out, data_path(input));
        return output("split.lst");
    };
    // Maps in the order of their first FAT entries: the MPS, the two maps,
    // the TYP, the sort table.
    EXPECT_EQ(list_of({"-s", "-t"}, "gmapsupp/west-1101-p1.img"),
              "MAKEGMAP.MPS\n11000001.img\n11000002.img\nWEST1101.TYP\n1101_srt.img\n");
    EXPECT_EQ(list_of({"-s", "-t"}, "gmapsupp/mixed-3families.img"),
              "MAKEGMAP.MPS\n11000001.img\n11000002.img\n12000001.img\n12000002.img\n13000001.img\n"
              "13000002.img\nCENT1201.TYP\nWEST1101.TYP\n1101_srt.img\n1201_srt.img\n1301_srt.img\n");
    // For MapSource the MPS is left out, and the installation data are not listed.
    EXPECT_EQ(list_of({"-S", "-t"}, "gmapsupp/west-1101-p1.img"),
              "11000001.img\n11000002.img\nWEST1101.TYP\n1101_srt.img\n");
    EXPECT_TRUE(std::filesystem::exists(out + "/mapset.tdb"));
    // Subfiles in table order: by map name, a map's RGN before its other
    // parts, these in FAT order.
    const char* subfiles =
        "00001101.SRT\n11000001.RGN\n11000001.TRE\n11000001.LBL\n11000001.NET\n11000001.NOD\n"
        "11000002.RGN\n11000002.TRE\n11000002.LBL\n11000002.NET\n11000002.NOD\nMAKEGMAP.MPS\nWEST1101.TYP\n";
    EXPECT_EQ(list_of({"-g", "-t"}, "gmapsupp/west-1101-p1.img"), subfiles);
    EXPECT_EQ(list_of({"-g", "-t"}, "damaged/valid-xor-5a.img"), subfiles);
}

TEST_F(SplitCommands, SubfilesOfAnXorMaskedFileAreThoseOfThePlainOne)
{
    InputFile& plain = add(data_path("gmapsupp/west-1101-p1.img"));
    std::map<std::string, std::string> contents = subfile_contents(plain);
    ASSERT_EQ(contents.size(), 13u);
    std::map<std::string, std::string> expected;
    for (auto& [fat, data] : contents) {
        std::string name = fat.substr(0, 8);
        name.erase(name.find_last_not_of(' ') + 1);
        expected[name + "." + fat.substr(8)] = data;
    }
    for (const char* input : {"gmapsupp/west-1101-p1.img", "damaged/valid-xor-5a.img"}) {
        fresh_output();
        run_split({"-g"}, out, data_path(input));
        EXPECT_EQ(written(), expected) << input;
    }
}

TEST_F(SplitCommands, MkgmapReadsPerMapImgsAndFamilyMapsets)
{
    std::string input = data_path("gmapsupp/mixed-3families.img");
    run_split({"-G"}, out, input);
    EXPECT_EQ(outputs(), (std::set<std::string>{"FAM_1101.img", "FAM_1201.img", "FAM_1301.img"}));
    std::string mapsets = dir.file("mapsets");
    std::filesystem::rename(out, mapsets);
    std::filesystem::create_directory(out);
    run_split({"-s"}, out, input);
    std::vector<std::string> maps, sort_tables;
    for (const std::string& name : outputs()) {
        if (name.size() <= 4 || name.substr(name.size() - 4) != ".img")
            continue;
        // mkgmap makes a sort table of its own for its family and passes
        // over a file that holds only one, so of those only the reading counts.
        (name.find("_srt.img") != std::string::npos ? sort_tables : maps).push_back(out + "/" + name);
    }
    EXPECT_EQ(maps.size(), 6u);
    EXPECT_EQ(sort_tables.size(), 3u);
    if (!have_mkgmap())
        GTEST_SKIP() << "mkgmap is not installed";
    expect_mkgmap_reads(maps);
    ScratchDir scratch;
    expect_mkgmap_accepts(sort_tables, scratch);
    std::vector<std::string> families;
    for (const char* name : {"FAM_1101.img", "FAM_1201.img", "FAM_1301.img"})
        families.push_back(mapsets + "/" + name);
    expect_mkgmap_reads(families);
}
