// The reports of the real test files, printed by twk, byte for byte against
// the golden files of tests/data/golden/report (made by its regen.sh and
// checked by hand against the files' contents). Every file of the test data
// but the damaged ones (the valid-* variants are in) has a report with and
// without -v.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/console_runner.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct GoldenReport {
    std::string input;  // under tests/data
    std::vector<std::string> options;
    std::string golden;  // under tests/data/golden/report
};

bool is_report_input(const std::string& relative)
{
    if (relative.rfind("golden/", 0) == 0)
        return false;
    if (relative.rfind("damaged/", 0) == 0)
        return relative.find("/valid-") != std::string::npos;
    return true;
}

std::string flat_name(std::string relative)
{
    std::replace(relative.begin(), relative.end(), '/', '_');
    return relative;
}

std::vector<GoldenReport> golden_reports()
{
    std::vector<std::string> inputs;
    std::string root = data_path("");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_regular_file() && is_report_input(relative))
            inputs.push_back(relative);
    }
    std::sort(inputs.begin(), inputs.end());
    std::vector<GoldenReport> reports;
    for (const std::string& input : inputs) {
        reports.push_back({input, {"-i"}, flat_name(input) + ".i.txt"});
        reports.push_back({input, {"-i", "-v"}, flat_name(input) + ".iv.txt"});
    }
    for (const char* input : {"gmapsupp/west-1101-p1.img", "gmapsupp/central-1201-p2.img", "typ/cent1201.typ",
                              "mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.TRE"})
        reports.push_back({input, {"-P", "-i", "-v"}, flat_name(input) + ".pl.iv.txt"});
    return reports;
}

// Files of the test data that are no inputs of twk at all.
bool is_refused(const std::string& input)
{
    static const char* const extensions[] = {".md", ".xml", ".nsi", ".txt", ".mdx"};
    std::string extension = fs::path(input).extension().string();
    return std::find(std::begin(extensions), std::end(extensions), extension) != std::end(extensions);
}

// twk's output with the test data's absolute path written as regen.sh sees it.
std::string as_in_golden(std::string output)
{
    std::string root = data_path("");
    for (size_t at = output.find(root); at != std::string::npos; at = output.find(root, at))
        output.replace(at, root.size(), "tests/data/");
    return output;
}

}  // namespace

TEST(ReportGolden, EveryFileMatchesTwkOutput)
{
    for (const GoldenReport& r : golden_reports()) {
        SCOPED_TRACE(r.golden);
        std::vector<std::string> args{"-LicenseAcknowledge"};
        args.insert(args.end(), r.options.begin(), r.options.end());
        args.push_back(data_path(r.input));
        RunResult run = run_twk_here(args);
        EXPECT_EQ(run.exit_code, is_refused(r.input) ? 2 : 0);
        std::string expected = read_file(data_path("golden/report/" + r.golden));
        ASSERT_FALSE(expected.empty()) << "no golden file " << r.golden;
        EXPECT_EQ(as_in_golden(run.output), expected);
    }
}
