// twk -w as a process ended by signals: a SIGTERM at any moment of a run
// over large files leaves each file as it was or with all its changes. The
// kills are placed by watching the first file for the run's first write, not
// by the clock alone, so a loaded machine moves them with the run.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

// A container of many maps, each with its TRE and LBL and its MPS record, so
// that a map ID change rewrites FAT names, TRE headers and MPS records.
std::string many_maps(uint32_t first, int count)
{
    ImgBuilder b;
    std::string mps;
    for (int i = 0; i < count; ++i) {
        uint32_t id = first + static_cast<uint32_t>(i);
        char name[16];
        snprintf(name, sizeof name, "%08u", id);
        b.add_subfile(name, "TRE", tre_subfile({.map_id = id}));
        b.add_subfile(name, "LBL", lbl_subfile());
        mps += mps_l_record(1, 77, id, {"Map", "Set"});
    }
    b.add_subfile("MAKEGMAP", "MPS", mps);
    return b.build();
}

unsigned byte_sum(const std::string& bytes)
{
    unsigned sum = 0;
    for (unsigned char c : bytes)
        sum += c;
    return sum & 0xFF;
}

// Starts twk with the arguments and LANG=lang, its output going to the file
// output; its process id or -1.
pid_t start_twk(const std::vector<std::string>& args, const std::string& lang, const std::string& output)
{
    std::string lang_variable = "LANG=" + lang;
    std::vector<char*> environment{lang_variable.data(), nullptr};
    std::vector<std::string> copies{TWK_BINARY};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return started == 0 ? pid : -1;
}

// Waits until the file at path is written to or the process pid ends; true
// when the file was written to (the run is past its start and changing
// files). The watch is set up before the process starts.
class WriteWatch {
public:
    explicit WriteWatch(const std::string& path) : fd_(inotify_init1(IN_CLOEXEC))
    {
        if (fd_ >= 0)
            inotify_add_watch(fd_, path.c_str(), IN_MODIFY);
    }
    ~WriteWatch()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    bool wait_for_write(pid_t pid, int& status, bool& ended)
    {
        ended = false;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 1) > 0)
                return true;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                ended = true;
                return false;
            }
        }
    }

private:
    int fd_;
};

}  // namespace

TEST(BreakSignal, ATermAtAnyMomentLeavesEveryFileWholeAndEndsAsAUserBreak)
{
    ScratchDir dir;
    constexpr int files = 4;
    std::vector<std::string> paths, before, after;
    std::vector<std::string> args{"-LicenseAcknowledge", "-w", "-e", "500", "-p", "22"};
    for (int f = 0; f < files; ++f) {
        paths.push_back(dir.file("maps" + std::to_string(f) + ".img"));
        before.push_back(many_maps(10000000u + 1000u * static_cast<uint32_t>(f), 250));
        args.push_back(paths.back());
    }
    auto restore = [&] {
        for (int f = 0; f < files; ++f)
            write_file(paths[f], before[f]);
    };

    // The whole run, undisturbed, gives each file's changed state, and the
    // time from its first write to its end, over which the kills are spread.
    std::string log = dir.file("log.txt");
    restore();
    int status = 0;
    bool ended = false;
    std::chrono::steady_clock::duration changing{};
    {
        WriteWatch watch(paths[0]);
        pid_t pid = start_twk(args, "C", log);
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(watch.wait_for_write(pid, status, ended));
        auto first_write = std::chrono::steady_clock::now();
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        changing = std::chrono::steady_clock::now() - first_write;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (int f = 0; f < files; ++f) {
        after.push_back(read_file(paths[f]));
        ASSERT_NE(after[f], before[f]);
        ASSERT_EQ(byte_sum(after[f]), byte_sum(before[f]));
    }

    constexpr int kills = 20;
    int broken_runs = 0;
    for (int k = 0; k < kills; ++k) {
        restore();
        // Every other run in Polish, for the message's other text.
        bool polish = k % 2;
        WriteWatch watch(paths[0]);
        pid_t pid = start_twk(args, polish ? "pl_PL.UTF-8" : "C", log);
        ASSERT_GT(pid, 0);
        // The first kill comes while the program starts; the others once
        // it is changing files (from its first write on), at moments spread
        // over that time.
        if (k == 0 || watch.wait_for_write(pid, status, ended)) {
            if (k > 0)
                std::this_thread::sleep_for(changing * (k - 1) / (kills - 1));
            kill(pid, SIGTERM);
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
        }
        // Killed before the handlers were set up, the run changed nothing;
        // afterwards it ends on its own, as a user break unless it had
        // already finished.
        if (WIFEXITED(status)) {
            EXPECT_TRUE(WEXITSTATUS(status) == 128 + SIGTERM || WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
            if (WEXITSTATUS(status) == 128 + SIGTERM) {
                ++broken_runs;
                std::string text = read_file(log);
                std::string line = polish ? "Przerwane przez użytkownika!\n" : "User break!\n";
                EXPECT_TRUE(text.ends_with(line)) << text;
            }
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        }
        // The files change in their order, and none after the break.
        bool untouched_seen = false;
        for (int f = 0; f < files; ++f) {
            std::string now = read_file(paths[f]);
            EXPECT_TRUE(now == before[f] || now == after[f]) << "kill " << k << ", file " << f;
            EXPECT_FALSE(untouched_seen && now == after[f]) << "kill " << k << ", file " << f;
            untouched_seen = untouched_seen || now == before[f];
            EXPECT_EQ(byte_sum(now), byte_sum(before[f])) << "kill " << k << ", file " << f;
        }
    }
    EXPECT_GT(broken_runs, 0);
}
