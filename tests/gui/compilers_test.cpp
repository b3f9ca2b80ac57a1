// The external map compilers: the command of each, and runs of stand-in
// compilers (small scripts) for output, arguments that no shell may read,
// exit status, a missing program, a long silence while the window's timers
// go on, Stop, wine for Windows programs and the map mkgmap must leave.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/compilers.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <FL/Fl.H>

#include "core/host.h"
#include "gui/main_window.h"
#include "tests/support/test_support.h"

namespace {

void write_script(const std::string& path, const std::string& body)
{
    write_file(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// PATH for the length of a test.
class PathOverride {
public:
    explicit PathOverride(const std::string& path)
    {
        const char* old = getenv("PATH");
        had_ = old != nullptr;
        kept_ = old ? old : "";
        setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride()
    {
        if (had_)
            setenv("PATH", kept_.c_str(), 1);
        else
            unsetenv("PATH");
    }

private:
    bool had_ = false;
    std::string kept_;
};

TaskOptions split_record(const std::string& dir, const std::string& program)
{
    TaskOptions o;
    o.output_path = dir;
    o.mapset_file_name = "mapset";
    o.compiler_path = program;
    o.split_result = 11001855;
    return o;
}

TEST(CompilerCommand, DisplayLineArgumentsAndDefaults)
{
    TaskOptions o;
    o.mapset_file_name = "mapset";
    o.compiler_is_maptk = 1;
    const std::string maptk = "D:\\tools\\MapTk.exe";
    o.output_path = "C:\\maps\\";
    EXPECT_EQ(compiler_command(o, maptk).display, "\"\"D:\\tools\\MapTk.exe\" \"C:\\maps\\mapset.mp\"\"");
    o.output_path = "C:\\maps";
    CompilerCommand c = compiler_command(o, maptk);
    EXPECT_EQ(c.display, "\"\"D:\\tools\\MapTk.exe\" \"C:\\maps/mapset.mp\"\"");
    EXPECT_EQ(c.argv, (std::vector<std::string>{"wine", maptk, "C:\\maps/mapset.mp"}));
    EXPECT_TRUE(c.needs_wine);
    o.output_path = "";
    EXPECT_EQ(compiler_command(o, maptk).argv.back(), "mapset.mp");

    o.compiler_is_maptk = 0;  // cGPSmapper
    o.output_path = "/maps/out/";
    c = compiler_command(o, "/opt/cgpsmapper");
    EXPECT_EQ(c.display, "\"\"/opt/cgpsmapper\" -l \"/maps/out/mapset.mp\"\"");
    EXPECT_EQ(c.argv, (std::vector<std::string>{"/opt/cgpsmapper", "-l", "/maps/out/mapset.mp"}));
    EXPECT_FALSE(c.needs_wine);
    EXPECT_TRUE(c.expected_map.empty());
    EXPECT_TRUE(compiler_command(o, "C:/CGPSMAPPER.EXE").needs_wine);

    o.compiler_is_mkgmap = 1;
    o.split_result = 123;
    o.output_path = "/maps/out";
    o.mapset_file_name = "";  // the split's own default
    c = compiler_command(o, "/j/mkgmap.jar");
    EXPECT_EQ(c.display, "\"java -jar \"/j/mkgmap.jar\" --no-tdbfile --mapname=00000123 "
                         "--output-dir=\"/maps/out\" \"/maps/out/mapset.mp\"\"");
    EXPECT_EQ(c.argv, (std::vector<std::string>{"java", "-jar", "/j/mkgmap.jar", "--no-tdbfile",
                                                "--mapname=00000123", "--output-dir=/maps/out",
                                                "/maps/out/mapset.mp"}));
    EXPECT_EQ(c.expected_map, "/maps/out/00000123.img");
    EXPECT_FALSE(c.needs_wine);
    o.output_path = "/maps/out/";
    EXPECT_EQ(compiler_command(o, "m.jar").expected_map, "/maps/out/00000123.img");
    o.output_path = "";
    EXPECT_EQ(compiler_command(o, "m.jar").expected_map, "./00000123.img");
}

TEST(CompilerCommand, BlankPathTakesTheDefaultProgram)
{
    TaskOptions o;
    o.compiler_path = "  ";
    EXPECT_EQ(compiler_program(o), "cgpsmapper.exe");
    o.compiler_is_maptk = 1;
    EXPECT_EQ(compiler_program(o), "MapTk.exe");
    o.compiler_is_maptk = 0;
    o.compiler_is_mkgmap = 1;

    // mkgmap.jar beside the program wins over the packaged one.
    char kept[sizeof program_dir];
    memcpy(kept, program_dir, sizeof kept);
    const int kept_length = program_dir_length;
    ScratchDir dir;
    std::string beside = dir.path() + "/";
    snprintf(program_dir, sizeof program_dir, "%s", beside.c_str());
    program_dir_length = static_cast<int>(beside.size());
    EXPECT_EQ(compiler_program(o), packaged_mkgmap_jar);
    write_file(dir.file("mkgmap.jar"), "");
    EXPECT_EQ(compiler_program(o), dir.file("mkgmap.jar"));
    o.compiler_path = "/elsewhere/mkgmap.jar";
    EXPECT_EQ(compiler_program(o), "/elsewhere/mkgmap.jar");
    memcpy(program_dir, kept, sizeof kept);
    program_dir_length = kept_length;
}

class CompilerRun : public GuiTest {
protected:
    ScratchDir dir;

    void SetUp() override
    {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        start();
    }
    // Runs the compiler and returns what it added to the log.
    std::string compile(const TaskOptions& options)
    {
        size_t before = log_text().size();
        run_map_compiler(options);
        return log_text().substr(before);
    }
};

TEST_F(CompilerRun, OutputReachesTheLogAndNamesReachTheCompilerUnchanged)
{
    const std::string fake = dir.file("compiler");
    write_script(fake, "for a; do printf 'arg:%s\\n' \"$a\"; done\necho 'on stderr' >&2\nexit 0\n");
    // No shell may read the folder or the mapset name.
    const std::string marker = dir.file("ran");
    const std::string folder = dir.path() + "/out $(touch " + marker + ") \"q\" `touch " + marker + "`";
    TaskOptions o = split_record(folder, fake);
    o.mapset_file_name = "my $HOME set";
    const std::string source = folder + "/my $HOME set.mp";
    std::string log = compile(o);
    EXPECT_EQ(log, "Running compiler for preview map compilation.\n\"\"" + fake + "\" -l \"" + source +
                       "\"\"\n\narg:-l\narg:" + source + "\non stderr\n\nResult OK.\n");
    EXPECT_EQ(error_count, 0);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

// What follows the compiler's output: the blank line comes after the
// execution error, and before every other result line.
TEST_F(CompilerRun, TheResultLinesAfterTheOutput)
{
    struct Case {
        bool read_failed;
        int status;
        const char* missing_map;
        const char* lines;
        int errors;
    };
    const Case cases[] = {
        {true, 0, "", "\nExecution error.\n\n", 1},
        {true, 3, "/out/1.img", "\nExecution error.\n\n", 1},
        {false, 3, "", "\nCommand error 3.\n", 1},
        {false, 0, "/out/1.img", "\nThe compiler wrote no map /out/1.img.\nCommand error 0.\n", 1},
        {false, 0, "", "\nResult OK.\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        error_count = 0;
        size_t before = log_text().size();
        log_compiler_result(c.read_failed, c.status, c.missing_map);
        EXPECT_EQ(log_text().substr(before), c.lines);
        EXPECT_EQ(error_count, c.errors);
    }
}

TEST_F(CompilerRun, FailuresCountOneErrorEach)
{
    const std::string three = dir.file("three");
    write_script(three, "echo failing\nexit 3\n");
    std::string log = compile(split_record(dir.path(), three));
    EXPECT_NE(log.find("failing\n\nCommand error 3.\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Result OK."), std::string::npos);
    EXPECT_EQ(error_count, 1);

    error_count = 0;
    log = compile(split_record(dir.path(), dir.file("not-there")));
    EXPECT_NE(log.find("Cannot start " + dir.file("not-there") + ": "), std::string::npos) << log;
    EXPECT_NE(log.find("Command error -1.\n"), std::string::npos) << log;
    EXPECT_EQ(error_count, 1);

    // java would start and complain; a missing jar is refused before.
    error_count = 0;
    TaskOptions o = split_record(dir.path(), dir.file("no.jar"));
    o.compiler_is_mkgmap = 1;
    log = compile(o);
    EXPECT_NE(log.find("Cannot start " + dir.file("no.jar")), std::string::npos) << log;
    EXPECT_NE(log.find("Command error -1.\n"), std::string::npos);
    EXPECT_EQ(error_count, 1);
}

TEST_F(CompilerRun, TheWindowKeepsRunningWhileTheCompilerIsSilent)
{
    const std::string slow = dir.file("slow");
    write_script(slow, "sleep 2\necho late\n");
    static int ticks;
    ticks = 0;
    struct Timer {
        static void tick(void*)
        {
            ++ticks;
            Fl::repeat_timeout(0.1, tick);
        }
    };
    Fl::add_timeout(0.1, Timer::tick);
    auto begin = std::chrono::steady_clock::now();
    std::string log = compile(split_record(dir.path(), slow));
    auto took = std::chrono::steady_clock::now() - begin;
    Fl::remove_timeout(Timer::tick);
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_GE(ticks, 10) << "the timer hardly ran during the compile";
    EXPECT_NE(log.find("late\n\nResult OK.\n"), std::string::npos) << log;
}

TEST_F(CompilerRun, StopEndsTheCompiler)
{
    const std::string hang = dir.file("hang");
    write_script(hang, "exec sleep 30\n");
    struct Stopper {
        static void stop(void*) { stop_requested = 1; }
    };
    Fl::add_timeout(0.2, Stopper::stop);
    auto begin = std::chrono::steady_clock::now();
    std::string log = compile(split_record(dir.path(), hang));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    EXPECT_NE(log.find("Command error 143.\n"), std::string::npos) << log;
    EXPECT_EQ(error_count, 1);
    stop_requested = 0;
}

TEST_F(CompilerRun, WindowsCompilersRunThroughWineOrAreRefused)
{
    ScratchDir bin;
    const std::string exe = dir.file("cgpsmapper.exe");
    write_file(exe, "MZ");
    {
        PathOverride path(bin.path());
        std::string log = compile(split_record(dir.path(), exe));
        EXPECT_NE(log.find("Wine is not installed: the Windows program " + exe + " cannot run.\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("Command error -1.\n"), std::string::npos);
        EXPECT_EQ(error_count, 1);
    }
    error_count = 0;
    write_script(bin.file("wine"), "for a; do printf 'wine:%s\\n' \"$a\"; done\n");
    PathOverride path(bin.path() + ":/usr/bin:/bin");
    std::string log = compile(split_record(dir.path(), exe));
    EXPECT_NE(log.find("wine:" + exe + "\nwine:-l\nwine:" + dir.path() + "/mapset.mp\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Result OK."), std::string::npos);
    EXPECT_EQ(error_count, 0);
}

TEST_F(CompilerRun, MkgmapMustLeaveItsMap)
{
    // A stand-in java that ends well, writing the map or not.
    ScratchDir bin;
    write_script(bin.file("java"),
                 "for a; do case \"$a\" in --output-dir=*) d=\"${a#--output-dir=}\";; "
                 "--mapname=*) n=\"${a#--mapname=}\";; esac; done\n"
                 "[ -e \"$d/write-it\" ] && echo map > \"$d/$n.img\"\nexit 0\n");
    PathOverride path(bin.path() + ":/usr/bin:/bin");
    const std::string jar = dir.file("mkgmap.jar");
    write_file(jar, "");
    TaskOptions o = split_record(dir.path(), jar);
    o.compiler_is_mkgmap = 1;

    std::string log = compile(o);
    EXPECT_NE(log.find("The compiler wrote no map " + dir.path() + "/11001855.img.\nCommand error 0.\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(error_count, 1);

    // A map left from before is not a map written now.
    error_count = 0;
    write_file(dir.file("11001855.img"), "old");
    log = compile(o);
    EXPECT_NE(log.find("Command error 0.\n"), std::string::npos) << log;
    EXPECT_EQ(error_count, 1);

    error_count = 0;
    write_file(dir.file("write-it"), "");
    log = compile(o);
    EXPECT_NE(log.find("Result OK.\n"), std::string::npos) << log;
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(read_file(dir.file("11001855.img")), "map\n");
}

}  // namespace
