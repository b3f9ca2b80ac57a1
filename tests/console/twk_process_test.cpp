// twk as a process: every command and each of its exit codes once through
// the real binary, whose output is also what the in-process run of the same
// command line prints. Every other console test runs twk in-process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/console_runner.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

struct ProcessCase {
    std::vector<std::string> args;
    int exit_code;
    bool same_in_process;  // false where the run changes what a second run sees
};

}  // namespace

TEST(TwkProcess, EveryCommandAndExitCode)
{
    ScratchDir dir;
    std::string plain1 = data_path("single/plain/11000001.img");
    std::string plain2 = data_path("single/plain/11000002.img");
    std::string changed = dir.file("changed.img");
    std::filesystem::copy_file(plain1, changed);
    std::string short_typ = write_single_file(dir, "short.typ", typ_subfile(1252, 1, 1, 156, 200).substr(0, 40));
    std::string joined = dir.file("joined.img");
    std::filesystem::create_directory(dir.file("split"));
    std::string blocker = dir.file("blocker");
    write_file(blocker, "a file where a folder should be");

    const ProcessCase cases[] = {
        {{}, 1, true},  // the banner and the usage
        {{"-LicenseAcknowledge", "-x"}, 1, true},
        {{"-LicenseAcknowledge", "-i", "-v", plain1}, 0, true},
        {{"-LicenseAcknowledge", "-i", dir.file("missing.img")}, 2, true},
        {{"-LicenseAcknowledge", "-j", "-o", joined}, 3, true},
        {{"-LicenseAcknowledge", "-j", "-o", joined, plain1, plain2}, 0, true},
        {{"-LicenseAcknowledge", "-j", "-o", plain1, plain1}, 4, true},
        {{"-LicenseAcknowledge", "-w", changed}, 3, true},
        {{"-LicenseAcknowledge", "-w", "-p", "20", changed}, 0, false},
        {{"-LicenseAcknowledge", "-w", "-y", "77,1", short_typ}, 4, true},
        {{"-LicenseAcknowledge", "-s", "-o", dir.file("split"), plain1}, 0, false},
        {{"-LicenseAcknowledge", "-s", "-o", blocker + "/split", plain1}, 4, true},
    };
    for (const ProcessCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        RunResult binary = run_twk(c.args);
        EXPECT_EQ(binary.exit_code, c.exit_code) << binary.output;
        if (c.same_in_process) {
            RunResult here = run_twk_here(c.args);
            EXPECT_EQ(here.exit_code, binary.exit_code);
            EXPECT_EQ(here.output, binary.output);
        }
    }
    // In Polish the process speaks Polish.
    RunResult polish = run_twk({"-LicenseAcknowledge", "-i", dir.file("missing.img")}, "pl_PL.UTF-8");
    EXPECT_EQ(polish.exit_code, 2);
    EXPECT_EQ(polish.output, run_twk_here({"-LicenseAcknowledge", "-i", dir.file("missing.img")}, "pl_PL.UTF-8").output);
    EXPECT_NE(polish.output.find("pliku"), std::string::npos) << polish.output;
}
