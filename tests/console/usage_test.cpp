// twk's usage texts and banner, byte for byte against the golden files, in
// English and Polish.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/console_runner.h"
#include "tests/support/test_support.h"

namespace {

std::string golden(const std::string& name) { return read_file(data_path("golden/console/" + name)); }

struct GoldenCase {
    std::vector<std::string> args;
    std::string file;
};

void expect_golden(const std::vector<GoldenCase>& cases)
{
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.file);
        std::string expected = golden(c.file);
        ASSERT_FALSE(expected.empty());
        RunResult run = run_twk_here(c.args);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.output, expected);
    }
}

}  // namespace

TEST(ConsoleUsage, StartWithoutCommand)
{
    expect_golden({
        {{}, "no_arguments.txt"},                            // banner, general usage
        {{"-E"}, "no_arguments.txt"},                        // -E alone is a leading argument
        {{"-P", "-E"}, "no_arguments.txt"},                  // the last language wins
        {{"-LicenseAcknowledge"}, "general_en.txt"},         // no banner
        {{"-LicenseAcknowledge", "-P"}, "general_pl.txt"},
        {{"-P", "-LicenseAcknowledge"}, "general_pl.txt"},
    });
}

TEST(ConsoleUsage, UsageLetter)
{
    expect_golden({
        {{"-E", "-j?"}, "banner_join_usage_en.txt"},
        {{"-P", "-?"}, "banner_full_usage_pl.txt"},
        {{"-LicenseAcknowledge", "-?"}, "full_usage_en.txt"},
        {{"-LicenseAcknowledge", "-i", "-?"}, "full_usage_en.txt"},  // -i is no command
        {{"-LicenseAcknowledge", "-i?"}, "usage_info_en.txt"},
        {{"-LicenseAcknowledge", "-vi?"}, "usage_info_en.txt"},
        {{"-LicenseAcknowledge", "-j", "-i?"}, "usage_join_en.txt"},  // the command in force
        {{"-LicenseAcknowledge", "-w", "-v", "-?"}, "usage_write_en.txt"},
    });
}

TEST(ConsoleUsage, EveryCommandInBothLanguages)
{
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"-i?", "info"},         {"-j?", "join"},         {"-S?", "split_mapsource"}, {"-s?", "split_maps"},
        {"-G?", "split_fid"},    {"-g?", "split_subfiles"}, {"-k?", "split_empty"},   {"-w?", "write"},
    };
    std::vector<GoldenCase> cases;
    for (const auto& [letters, name] : commands) {
        cases.push_back({{"-LicenseAcknowledge", "-E", letters}, "usage_" + name + "_en.txt"});
        cases.push_back({{"-LicenseAcknowledge", "-P", letters}, "usage_" + name + "_pl.txt"});
    }
    expect_golden(cases);
}

TEST(ConsoleUsage, ShapesShareTheirBlocks)
{
    // The full usage is "usage:" and every command's block without the
    // notes, then the notes once.
    const char* names[] = {"info", "join", "split_mapsource", "split_maps",
                           "split_fid", "split_subfiles", "split_empty", "write"};
    const std::string notes = "\nYou can provide input file list using option -@ list.txt.\n\n\n\n"
                              "Uzyj opcji -P aby otrzymac polskie teksty.\n\n";
    std::string full = "usage:\n";
    for (const char* name : names) {
        std::string block = golden(std::string("usage_") + name + "_en.txt");
        ASSERT_GT(block.size(), notes.size());
        ASSERT_EQ(block.substr(block.size() - notes.size()), notes) << name;
        EXPECT_EQ(block.find("usage:"), std::string::npos) << name;
        full += block.substr(0, block.size() - notes.size());
    }
    EXPECT_EQ(golden("full_usage_en.txt"), full + notes);
}

// The language comes from LC_ALL,
// LC_MESSAGES or LANG.
TEST(ConsoleUsage, LanguageComesFromTheEnvironment)
{
    RunResult polish = run_twk_here({"-LicenseAcknowledge", "-j?"}, "pl_PL.UTF-8");
    EXPECT_EQ(polish.output, golden("usage_join_pl.txt"));
    RunResult english = run_twk_here({"-LicenseAcknowledge", "-j?"}, "en_US.UTF-8");
    EXPECT_EQ(english.output, golden("usage_join_en.txt"));
}
