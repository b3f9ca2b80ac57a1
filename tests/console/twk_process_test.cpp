// twk as a process: every command and each of its exit codes once through
// the real binary, whose output is also what the in-process run of the same
// command line prints. Every other console test runs twk in-process.
#include <gtest/gtest.h>

#include <sys/stat.h>

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

// Names of things that are no regular file (a FIFO with no writer, a
// folder), given as inputs or in a list file, or as the list itself, are
// refused at once, each in one line with the reason. The binary runs under
// timeout(1): an open that waits for a writer ends the run instead of the
// test.
TEST(TwkProcess, NamesOfWhatIsNoRegularFileAreRefusedAtOnce)
{
    ScratchDir dir;
    std::string fifo = dir.file("map.img");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string folder = dir.file("folder.img");
    std::filesystem::create_directory(folder);
    std::string list = dir.file("list.txt");
    write_file(list, data_path("single/plain/11000001.img") + "\n" + fifo + "\n");

    struct Case {
        std::vector<std::string> args;
        std::string lang;
        int exit_code;
        std::string output;
    } cases[] = {
        {{"-i", fifo}, "C", 2, "Open error, file " + fifo + " (not a regular file).\n"},
        {{"-i", folder}, "C", 2, "Open error, file " + folder + " (Is a directory).\n"},
        {{"-w", "-p", "5", fifo}, "C", 2, "Open error, file " + fifo + " (not a regular file).\n"},
        {{"-i", "-@", list}, "C", 2, "Open error, file " + fifo + " (not a regular file).\n"},
        {{"-i", "-@", fifo}, "C", 1, "File list open error, file: " + fifo + " (not a regular file).\n"},
        {{"-i", "-@", folder}, "C", 1, "File list open error, file: " + folder + " (Is a directory).\n"},
        {{"-i", fifo}, "pl_PL.UTF-8", 2, "Błąd otwarcia pliku " + fifo + " (to nie jest zwykły plik).\n"},
        {{"-i", "-@", fifo}, "pl_PL.UTF-8", 1,
         "Błąd otwarcia listy plików, plik: " + fifo + " (to nie jest zwykły plik).\n"},
    };
    for (Case& c : cases) {
        c.args.insert(c.args.begin(), "-LicenseAcknowledge");
        std::vector<std::string> args{"20", TWK_BINARY};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[1] + " " + c.args.back() + " " + c.lang);
        RunResult binary = run_program("timeout", args, c.lang);
        EXPECT_EQ(binary.exit_code, c.exit_code) << binary.output;
        EXPECT_EQ(binary.output, c.output);
        RunResult here = run_twk_here(c.args, c.lang);
        EXPECT_EQ(here.exit_code, c.exit_code);
        EXPECT_EQ(here.output, c.output);
    }
}
