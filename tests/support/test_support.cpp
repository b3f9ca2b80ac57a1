// Small helpers every test uses: data paths, scratch directories, running twk.
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

std::string data_path(const std::string& name) { return std::string(TWK_TEST_DATA) + "/" + name; }

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "twk-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

// Reads a child's output to its end, then waits for it.
static RunResult collect_child(int fd, pid_t pid)
{
    RunResult result;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<size_t>(n));
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

RunResult run_twk(const std::vector<std::string>& args, const std::string& lang)
{
    return run_program(TWK_BINARY, args, lang);
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& lang)
{
    RunResult result;
    int fds[2];
    if (pipe(fds) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("LANG=", 0) == 0 || entry.rfind("LC_ALL=", 0) == 0 || entry.rfind("LC_MESSAGES=", 0) == 0)
            continue;
        env_strings.push_back(entry);
    }
    env_strings.push_back("LANG=" + lang);
    std::vector<char*> envp;
    for (auto& s : env_strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argv_strings{program};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argv_strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid;
    int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return result;
    }
    return collect_child(fds[0], pid);
}

RunResult run_with_file_size_limit(uint64_t limit, const std::function<int(std::string&)>& body)
{
    RunResult result;
    int fds[2];
    if (pipe(fds) != 0)
        return result;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl {static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        int code = 255;
        std::string text;
        if (setrlimit(RLIMIT_FSIZE, &rl) == 0)
            code = body(text);
        for (size_t done = 0; done < text.size();) {
            ssize_t w = write(fds[1], text.data() + done, text.size() - done);
            if (w <= 0)
                break;
            done += static_cast<size_t>(w);
        }
        _exit(code & 0xFF);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return result;
    }
    return collect_child(fds[0], pid);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}
