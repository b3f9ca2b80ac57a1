// The built window program started whole under the test's display, with a
// HOME and a program directory of its own holding a hostile file: its
// window must appear within the time limit, and it must end cleanly when
// that window is closed.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/gui/program_window.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace {

// Far above a sound start (a second or two under the sanitizers), far
// below the minutes a blocked or quadratic start takes.
constexpr double WINDOW_SECONDS = 60;
constexpr double END_SECONDS = 30;

std::string settings(int position)
{
    std::string n = std::to_string(position);
    return prefs_header + "[.]\n\nVersion:9073\nPositionX:" + n + "\nPositionY:" + n + "\nPositionW:" + n +
           "\nPositionH:" + n + "\n";
}

struct Folders {
    const TempFolder& program;
    const TempFolder& home;
    std::vector<std::string>& args;
};

struct StartCase {
    const char* name;
    std::function<void(Folders&)> prepare;
    // What must hold after the window was closed (may be empty).
    std::function<void(const TempFolder& program, const TempFolder& home)> after;
};

// gtest shows a case by its name, not its bytes.
[[maybe_unused]] void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

std::string user_store(const TempFolder& home) { return home.file(".fltk/TarnwickTools/Tarnwick.prefs"); }

void write_user_store(const TempFolder& home, const std::string& text)
{
    std::filesystem::create_directories(home.file(".fltk/TarnwickTools"));
    std::ofstream(user_store(home), std::ios::binary) << text;
}

int stored_position_x(const std::string& path)
{
    std::string text = read_file(path);
    size_t at = text.find("PositionX:");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 10));
}

const StartCase start_cases[] = {
    {"LongGroupLineInTheSettingsBesideTheProgram",
     [](Folders& f) {
         f.program.write("Tarnwick.ini", prefs_header + "[./" + std::string(150, 'g') + "]\nPositionX:10\n");
     },
     [](const TempFolder& program, const TempFolder&) {
         EXPECT_EQ(read_file(program.file("Tarnwick.ini.refused")).substr(prefs_header.size(), 4), "[./g");
         EXPECT_GE(stored_position_x(program.file("Tarnwick.ini")), 0);
     }},
    {"LongGroupLineInALanguageFile",
     [](Folders& f) {
         f.program.write("long.lang",
                         prefs_header + "[.]\n\nProgram:Tarnwick\n[./" + std::string(150, 'g') + "]\nk:v\n");
     },
     [](const TempFolder& program, const TempFolder&) {
         EXPECT_TRUE(std::filesystem::exists(program.file("long.lang")));
     }},
    {"GroupOutsideTheRootInTheUsersStore", [](Folders& f) { write_user_store(f.home, prefs_header + "[abc]\nk:v\n"); },
     [](const TempFolder&, const TempFolder& home) {
         EXPECT_TRUE(std::filesystem::exists(user_store(home) + ".refused"));
     }},
    {"LargestSavedGeometry", [](Folders& f) { f.program.write("Tarnwick.ini", settings(2147483647)); },
     [](const TempFolder& program, const TempFolder&) {
         int x = stored_position_x(program.file("Tarnwick.ini"));
         EXPECT_TRUE(x >= 0 && x < 1280) << x;
     }},
    {"SmallestSavedGeometry", [](Folders& f) { f.program.write("Tarnwick.ini", settings(-2147483647 - 1)); },
     [](const TempFolder& program, const TempFolder&) {
         int x = stored_position_x(program.file("Tarnwick.ini"));
         EXPECT_TRUE(x >= 0 && x < 1280) << x;
     }},
    {"FifoGivenAsAFile",
     [](Folders& f) {
         ASSERT_EQ(mkfifo(f.program.file("fifo.img").c_str(), 0600), 0);
         f.args.push_back(f.program.file("fifo.img"));
     },
     nullptr},
    {"FifoNamedAsALanguageFile",
     [](Folders& f) { ASSERT_EQ(mkfifo(f.program.file("fifo.lang").c_str(), 0600), 0); }, nullptr},
    {"LinkToDevZeroNamedAsALanguageFile",
     [](Folders& f) { ASSERT_EQ(symlink("/dev/zero", f.program.file("zero.lang").c_str()), 0); }, nullptr},
    {"SettingsOf300000Keys", [](Folders& f) { write_user_store(f.home, many_prefs_keys(4 << 20)); },
     [](const TempFolder&, const TempFolder& home) {
         EXPECT_EQ(read_file(user_store(home) + ".too-large").size(), many_prefs_keys(4 << 20).size());
         EXPECT_GE(stored_position_x(user_store(home)), 0);
     }},
};

// The child's environment: ours, with its own HOME; leaks are not what
// these runs look for (the X libraries keep memory for good).
std::vector<std::string> child_environment(const std::string& home)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("HOME=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("HOME=" + home);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    return env;
}

std::string describe_status(int status)
{
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

class ProgramStart : public ::testing::TestWithParam<StartCase> {
protected:
    void SetUp() override
    {
        if (!have_display())
            GTEST_SKIP() << "no display (run under xvfb-run)";
    }
};

}  // namespace

TEST_P(ProgramStart, TheWindowAppearsAndTheProgramEndsCleanly)
{
    const StartCase& c = GetParam();
    TempFolder program, home;
    std::vector<std::string> args;
    Folders folders{program, home, args};
    // The program directory is where the program lies: a copy of it.
    const std::string binary = program.file("Tarnwick");
    std::filesystem::copy_file(TWK_WINDOW_BINARY, binary);
    c.prepare(folders);
    if (HasFatalFailure())
        return;

    std::vector<std::string> argv_text = {binary, "-E"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = child_environment(home.dir());
    std::vector<char*> envp;
    for (std::string& e : env_text)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string output = home.file("output.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);

    // Whatever happens below, the child does not outlive the test.
    struct Reaper {
        pid_t pid;
        bool ended = false;
        ~Reaper()
        {
            if (!ended) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } reaper{pid};

    auto begin = std::chrono::steady_clock::now();
    bool shown = false;
    int status = 0;
    while (seconds_since(begin) < WINDOW_SECONDS) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            reaper.ended = true;
            FAIL() << "ended before its window appeared (" << describe_status(status) << "):\n" << read_file(output);
        }
        if ((shown = process_window_shown(pid)))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(shown) << "no window after " << WINDOW_SECONDS << " s:\n" << read_file(output);

    ASSERT_TRUE(close_process_windows(pid));
    begin = std::chrono::steady_clock::now();
    while (seconds_since(begin) < END_SECONDS && !reaper.ended) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            reaper.ended = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(reaper.ended) << "still running " << END_SECONDS << " s after its window was closed";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describe_status(status) << ":\n" << read_file(output);
    if (c.after)
        c.after(program, home);
}

INSTANTIATE_TEST_SUITE_P(HostileStart, ProgramStart, ::testing::ValuesIn(start_cases),
                         [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });
