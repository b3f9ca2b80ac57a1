// twk's command line, run in-process: every refusal with its
// message, usage and exit code, the leading arguments, list files and the
// exit codes of the dispatch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/img_format.h"
#include "tests/support/console_runner.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

std::string golden(const std::string& name) { return read_file(data_path("golden/console/" + name)); }

// Every run skips the banner, so the output is exactly what the case says.
RunResult twk(std::vector<std::string> args, const std::string& lang = "C")
{
    args.insert(args.begin(), "-LicenseAcknowledge");
    return run_twk_here(args, lang);
}

struct Case {
    std::vector<std::string> args;
    std::string output;
};

void expect_runs(const std::vector<Case>& cases, int exit_code)
{
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        RunResult run = twk(c.args);
        EXPECT_EQ(run.exit_code, exit_code);
        EXPECT_EQ(run.output, c.output);
    }
}

}  // namespace

TEST(ConsoleCommandLine, LetterNotAllowed)
{
    const std::string general = golden("general_en.txt");
    expect_runs(
        {
            {{"-o", "x"}, "Wrong command -o\n" + general},
            {{"-x"}, "Wrong command -x\n" + general},
            {{"-j", "-s"}, "Wrong option -s for command -j\n" + golden("usage_join_en.txt")},
            {{"-js"}, "Wrong option -s for command -j\n" + golden("usage_join_en.txt")},
            {{"-jj"}, "Wrong option -j for command -j\n" + golden("usage_join_en.txt")},
            {{"-S", "-x"}, "Wrong option -x for command -S\n" + golden("usage_split_mapsource_en.txt")},
            {{"-s", "-l"}, "Wrong option -l for command -s\n" + golden("usage_split_maps_en.txt")},
            {{"-G", "-t"}, "Wrong option -t for command -G\n" + golden("usage_split_fid_en.txt")},
            {{"-g", "-h"}, "Wrong option -h for command -g\n" + golden("usage_split_subfiles_en.txt")},
            {{"-k", "-t"}, "Wrong option -t for command -k\n" + golden("usage_split_empty_en.txt")},
            {{"-w", "-a"}, "Wrong option -a for command -w\n" + golden("usage_write_en.txt")},
            // A leading argument after the leading run is a cluster like any other.
            {{"-j", "-LicenseAcknowledge"}, "Wrong option -L for command -j\n" + golden("usage_join_en.txt")},
        },
        1);
}

TEST(ConsoleCommandLine, LetterNotAllowedInPolish)
{
    RunResult run = twk({"-P", "-o", "x"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "Błędne polecenie -o\n" + golden("general_pl.txt"));
    run = twk({"-j", "-P", "-s"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "Błędna opcja -s dla polecenia -j\n" + golden("usage_join_pl.txt"));
}

TEST(ConsoleCommandLine, MissingArgument)
{
    const std::string general = golden("general_en.txt");
    expect_runs(
        {
            {{"-j", "-o"}, general + "Name missing, opion -o.\n"},
            {{"-jo"}, general + "Name missing, opion -o.\n"},
            {{"-s", "-m"}, general + "Name missing, opion -m.\n"},
            {{"-S", "-n"}, general + "Name missing, opion -n.\n"},
            {{"-w", "-r"}, general + "Name missing, opion -r.\n"},
            {{"-j", "-b"}, general + "Size missing, opion -b.\n"},
            {{"-w", "-p"}, general + "Priority missing, opion -p.\n"},
            {{"-w", "-e"}, general + "ID number missing, opion -e.\n"},
            {{"-S", "-c"}, general + "CodePage missing, opion -c.\n"},
            {{"-j", "-c"}, general + "Version number missing, opion -c.\n"},
            {{"-w", "-c"}, general + "Version number missing, opion -c.\n"},
            {{"-S", "-f"}, general + "ID missing, opion -f.\n"},
            {{"-w", "-z"}, general + "Number missing, opion -z.\n"},
            {{"-w", "-y"}, general + "ID missing, opion -y.\n"},
            {{"-w", "-q"}, general + "Missing parameters, opion -q.\n"},
            {{"-@"}, general + "File list missing, opion -@.\n"},
            // Two letters in one cluster take the following arguments in turn.
            {{"-wpe", "5"}, general + "ID number missing, opion -e.\n"},
        },
        1);
    RunResult polish = twk({"-P", "-j", "-o"});
    EXPECT_EQ(polish.output, golden("general_pl.txt") + "Brak nazwy, opcja -o.\n");
}

TEST(ConsoleCommandLine, RepeatedOption)
{
    const std::string general = golden("general_en.txt");
    expect_runs(
        {
            {{"-j", "-o", "a", "-o", "b"}, general + "Multiple option -o.\n"},
            {{"-j", "-m", "a", "-m", "b"}, general + "Multiple option -m.\n"},
            {{"-S", "-n", "a", "-n", "b"}, general + "Multiple option -n.\n"},
            {{"-w", "-r", "a", "-r", "b"}, general + "Multiple option -r.\n"},
            {{"-j", "-b", "2", "-b", "4"}, general + "Multiple option -b.\n"},
            {{"-w", "-p", "3", "-p", "4"}, general + "Multiple option -p.\n"},
            {{"-w", "-e", "5", "-e", "6"}, general + "Multiple option -e.\n"},
            {{"-S", "-c", "1250", "-c", "1252"}, general + "Multiple option -c.\n"},
            {{"-j", "-c", "1.2", "-c", "1.3"}, general + "Multiple option -c.\n"},
            {{"-j", "-f", "1", "-f", "2"}, general + "Multiple option -f.\n"},
            {{"-w", "-z", "0", "-z", "2"}, general + "Multiple option -z.\n"},  // "0" stores PID 1
            {{"-w", "-y", "1", "-y", "2"}, general + "Multiple option -y.\n"},
            // The repeat test comes before the name test.
            {{"-S", "-n", "a", "-n", "b*"}, general + "Multiple option -n.\n"},
        },
        1);
}

TEST(ConsoleCommandLine, AcceptedAgainWhereNothingWasSet)
{
    // These pass the parser and stop only at the empty input list.
    const std::string missing = golden("general_en.txt") + "Input files missing.\n";
    expect_runs(
        {
            {{"-w", "-p", "255", "-p", "7"}, missing},  // 255 leaves the priority unchanged
            {{"-w", "-q", "1,2,3", "-q", "4,5,6,7"}, missing},
            {{"-j", "-b", "1024"}, missing},
            {{"-w", "-e", "99999999"}, missing},
            {{"-S", "-c", "0", "-c", "65535"}, missing},
            {{"-j", "-f", "0,0", "-f", "7"}, missing},
            {{"-w", "-t", "-n", "-L", "-l", "-1"}, missing},
            {{"-j", "-"}, missing},  // "-" alone is no option and no name
            {{"-j", "-o", "x"}, missing},
        },
        3);
}

TEST(ConsoleCommandLine, WrongValue)
{
    expect_runs(
        {
            {{"-j", "-b", "3"}, "Wrong block size 3.\n"},
            {{"-j", "-b", "0"}, "Wrong block size 0.\n"},
            {{"-j", "-b", "2048"}, "Wrong block size 2048.\n"},
            {{"-j", "-b", "99999999999"}, "Wrong block size 99999999999.\n"},
            {{"-j", "-b", "4294967297"}, "Wrong block size 4294967297.\n"},  // 1 modulo 2^32
            {{"-j", "-b", "16k"}, "Wrong block size 16k.\n"},
            {{"-w", "-p", "256"}, "Wrong priority 256.\n"},
            {{"-w", "-p", "4294967303"}, "Wrong priority 4294967303.\n"},  // 7 modulo 2^32
            {{"-w", "-p", ""}, "Wrong priority .\n"},
            {{"-w", "-p", "+5"}, "Wrong priority +5.\n"},
            {{"-w", "-e", "0"}, "Wrong map ID number 0.\n"},
            {{"-w", "-e", "100000000"}, "Wrong map ID number 100000000.\n"},
            {{"-w", "-e", "4294967297"}, "Wrong map ID number 4294967297.\n"},
            {{"-w", "-e", "+0"}, "Wrong map ID number 0.\n"},
            {{"-w", "-e", "-x12"}, "Wrong map ID number x12.\n"},
            {{"-w", "-e", "+"}, "Wrong map ID number .\n"},
            {{"-S", "-c", "65536"}, "Wrong CodePage 65536.\n"},
            {{"-S", "-c", "12a"}, "Wrong CodePage 12a.\n"},
            {{"-j", "-c", "1.2.3"}, "Wrong version number.\n"},
            {{"-w", "-c", "1.2,"}, "Wrong version number.\n"},
            {{"-w", "-c", "1.2,3,abc"}, "Wrong version number.\n"},  // lower case is not a product code
            {{"-j", "-f", "65536"}, "Wrong Family ID.\n"},
            {{"-j", "-f", "4294967297"}, "Wrong Family ID.\n"},
            {{"-j", "-f", "1,65536"}, "Wrong Family ID or Product ID.\n"},
            {{"-j", "-f", "1,2,3"}, "Wrong Family ID or Product ID.\n"},
            {{"-S", "-f", "1x"}, "Wrong Family ID or Product ID.\n"},
            {{"-w", "-z", "70000"}, "Wrong Family ID.\n"},
            {{"-w", "-y", "70000"}, "Wrong Family ID.\n"},
            {{"-w", "-y", "1,70000"}, "Wrong Family ID or Product ID.\n"},
            {{"-w", "-y", "1,2,70000"}, "Wrong CodePage.\n"},
            {{"-w", "-y", "1,2,3,4"}, "Wrong parameters for TYP file.\n"},
            {{"-w", "-y", "a"}, "Wrong parameters for TYP file.\n"},
            {{"-w", "-q", "1,2,3,"}, "Wrong parameters TRE 1,2,3,.\n"},
            {{"-w", "-q", "1,2"}, "Wrong parameters TRE 1,2.\n"},
            {{"-w", "-q", "1,2,256"}, "Wrong parameters TRE 1,2,256.\n"},
            {{"-w", "-q", "1,2,3,4,5"}, "Wrong parameters TRE 1,2,3,4,5.\n"},
            {{"-S", "-n", "a*b"}, golden("general_en.txt") + "Wrong charactes in file name: a*b\n"},
            {{"-S", "-n", "sub/set"}, golden("general_en.txt") + "Wrong charactes in file name: sub/set\n"},
        },
        1);
    RunResult polish = twk({"-P", "-w", "-p", "300"});
    EXPECT_EQ(polish.output, "Błędny priorytet 300.\n");
}

TEST(ConsoleCommandLine, TypReplacementExcludesTypCorrection)
{
    const std::string excluded = golden("general_en.txt") + "Excluding options -x and -y.\n";
    expect_runs(
        {
            {{"-w", "-y", "1", "-x", "f"}, excluded},
            {{"-w", "-x", "-y", "1", "f"}, excluded},
            {{"-wxy", "1", "f"}, excluded},
        },
        1);
}

TEST(ConsoleCommandLine, FileList)
{
    ScratchDir dir;
    const std::string long_name(1500, 'n');
    write_file(dir.file("list.txt"), "  first.img\t\r\n\n \x01second.img \n   \n" "za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87.img\n" +
                                         long_name + "\nlast.img");
    RunResult run = twk({"-v", "-@", dir.file("list.txt")});
    EXPECT_EQ(run.exit_code, 2);  // none of the names is a file
    EXPECT_EQ(run.output.find("Input file: first.img.\nInput file: second.img.\nInput file: zażółć.img.\n"
                              "Input file: " + long_name + ".\nInput file: last.img.\n"),
              0u)
        << run.output;

    // Names after the list keep the argument order; -v applies from its place on.
    run = twk({"a.img", "-@", dir.file("list.txt"), "-v", "b.img"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.output.find("Input file: b.img.\n"), 0u) << run.output;
    EXPECT_EQ(run.output.find("Input file: a.img."), std::string::npos);

    write_file(dir.file("empty.txt"), "\n  \n\t\n");
    run = twk({"-j", "-o", "x", "-@", dir.file("empty.txt")});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.output, golden("general_en.txt") + "Input files missing.\n");

    run = twk({"-@", dir.file("missing.txt")});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output,
              "File list open error, file: " + dir.file("missing.txt") + " (No such file or directory).\n");

    // A directory is no list.
    run = twk({"-@", dir.path()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "File list open error, file: " + dir.path() + " (Is a directory).\n");

    run = twk({"-P", "-@", dir.file("missing.txt")});
    EXPECT_EQ(run.output,
              "Błąd otwarcia listy plików, plik: " + dir.file("missing.txt") + " (No such file or directory).\n");
}

TEST(ConsoleCommandLine, InputsBeforeDispatch)
{
    RunResult run = twk({"-j", "-o", "x"});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.output, golden("general_en.txt") + "Input files missing.\n");

    run = twk({"-P", "-w", "-p", "3"});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.output, golden("general_pl.txt") + "Brak plików wejściowych.\n");

    // -v prints the names that come after it.
    run = twk({"a.img", "-v", "b.img"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.output.find("Input file: b.img.\n"), 0u) << run.output;
    EXPECT_EQ(run.output.find("Input file: a.img."), std::string::npos) << run.output;
}

TEST(ConsoleCommandLine, UnreadableInputStopsTheRun)
{
    ScratchDir dir;
    // Whatever the other inputs are, one that can't be read ends the run
    // with 2 before the report and the command.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-i", dir.file("missing.img")},
             {"-i", data_path("single/plain/11000001.img"), dir.file("missing.img")},
             {"-j", "-o", dir.file("out.img"), dir.file("missing.img"), data_path("single/plain/11000001.img")},
         }) {
        RunResult run = twk(args);
        EXPECT_EQ(run.exit_code, 2) << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.img")));
}

// The reports of a run: what -v and the reading say comes before them.
std::string reports_of(const std::string& output)
{
    size_t at = output.find("\n\nFile:");
    return at == std::string::npos ? std::string() : output.substr(at);
}

// A report of several files hands each file's tables on to the next: each
// part is still the report of that file alone, whether the file before it
// had more maps and subfiles, fewer, or was a single subfile.
TEST(ConsoleCommandLine, ReportsOfSeveralFilesAreThoseOfEachAlone)
{
    const std::vector<std::string> files = {
        data_path("gmapsupp/many-60maps-3101.img"), data_path("single/plain/11000001.img"),
        data_path("gmapsupp/mixed-3families.img"),  data_path("typ/cent1201.typ"),
        data_path("single/dem/11000001.img"),       data_path("gmapsupp/many-60maps-3101.img"),
    };
    for (const char* verbose : {"", "-v"}) {
        SCOPED_TRACE(verbose);
        std::vector<std::string> args{"-i"};
        if (*verbose)
            args.push_back(verbose);
        std::string alone;
        for (const std::string& file : files) {
            std::vector<std::string> one = args;
            one.push_back(file);
            RunResult run = twk(one);
            ASSERT_EQ(run.exit_code, 0) << run.output;
            alone += reports_of(run.output);
        }
        args.insert(args.end(), files.begin(), files.end());
        RunResult together = twk(args);
        EXPECT_EQ(together.exit_code, 0);
        EXPECT_EQ(reports_of(together.output), alone);
    }
}

// Dispatch after reading: these need inputs that read.
TEST(ConsoleCommandLine, DispatchAfterReading)
{
    const std::string map = data_path("single/plain/11000001.img");
    RunResult run = twk({"-j", map});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.output, "Output file name missing.\n");

    // -f only picks the files; it changes nothing.
    run = twk({"-w", "-f", "1101", map});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.output, "No changes for option -w.\n");

    run = twk({map});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "Nothing to do, use command -j, -s, -S, -g, -G, -w.\n");

    run = twk({"-P", map});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "Nic do zrobienia, użyj polecenia -j, -s, -S, -g, -G, -w.\n");
}

TEST(ConsoleCommandLine, JoinTwoInputs)
{
    ScratchDir dir;
    const std::string a = data_path("single/plain/11000001.img");
    const std::string b = data_path("single/plain/11000002.img");
    RunResult run = twk({"-jo", dir.file("one.img"), a, b});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    run = twk({"-j", "-o", dir.file("two.img"), a, b});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    // The two spellings make the same file (but for the header date).
    EXPECT_GT(std::filesystem::file_size(dir.file("one.img")), 0u);
    EXPECT_EQ(std::filesystem::file_size(dir.file("one.img")), std::filesystem::file_size(dir.file("two.img")));
}

TEST(ConsoleCommandLine, BadSingleSubfileEndsACopyWithFour)
{
    // A GMP whose TRE part lost its signature is read as data after its
    // message, and a join or split copies it as it is: the result holds the
    // bad data, so the run ends with 4. The report alone is what was asked.
    ScratchDir dir;
    std::string gmp = gmp_subfile();
    put_u8(gmp, get_u32(gmp, GmpHeader::tre) + 9, 'X');
    const std::string bad = dir.file("bad.gmp");
    write_file(bad, gmp);
    const std::string message = "Bad data in TRE subfile, file " + bad + ".\n";

    RunResult run = twk({"-i", bad});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output.find(message), 0u) << run.output;

    run = twk({"-j", "-o", dir.file("joined.img"), bad});
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_EQ(run.output.find(message), 0u) << run.output;
    EXPECT_TRUE(std::filesystem::exists(dir.file("joined.img")));

    std::filesystem::create_directory(dir.file("parts"));
    run = twk({"-g", "-o", dir.file("parts"), bad});
    EXPECT_EQ(run.exit_code, 4) << run.output;

    // The same file with its signature whole ends as a success.
    write_file(bad, gmp_subfile());
    run = twk({"-j", "-o", dir.file("good.img"), bad});
    EXPECT_EQ(run.exit_code, 0) << run.output;
}
