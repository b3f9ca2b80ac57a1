// Child processes on Linux: posix_spawnp over an argument vector, one pipe
// for standard output and standard error, reaped with waitpid.
#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

extern char** environ;

namespace platform {

namespace {

int decode_wait_status(int raw)
{
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

}  // namespace

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !exited_) {
        // Nobody will read its output any more: it must not outlive us.
        kill(pid_, SIGKILL);
        int raw = 0;
        while (waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
    }
    close_output();
}

bool ChildProcess::start(const std::vector<std::string>& argv, std::string& error)
{
    error.clear();
    if (argv.empty() || argv[0].empty()) {
        error = strerror(ENOENT);
        return false;
    }
    if (pid_ > 0) {
        error = strerror(EBUSY);
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        error = strerror(rc);
        return false;
    }
    pid_ = pid;
    output_ = fds[0];
    exited_ = false;
    read_failed_ = false;
    status_ = -1;
    pending_.clear();
    fcntl(output_, F_SETFL, fcntl(output_, F_GETFL) | O_NONBLOCK);
    return true;
}

void ChildProcess::close_output()
{
    if (output_ >= 0)
        close(output_);
    output_ = -1;
}

void ChildProcess::read_available()
{
    // Bounded per call, so a child that writes without pause still leaves
    // the caller its turn.
    char buffer[65536];
    for (int round = 0; round < 4 && output_ >= 0; ++round) {
        ssize_t n = read(output_, buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            close_output();
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else {
            read_failed_ = true;
            close_output();
        }
    }
}

void ChildProcess::split_lines(std::vector<std::string>& lines, bool at_end)
{
    size_t start = 0;
    for (;;) {
        size_t end = pending_.find('\n', start);
        if (end != std::string::npos && end - start < max_line) {
            lines.push_back(pending_.substr(start, end + 1 - start));
            start = end + 1;
        } else if (pending_.size() - start >= max_line) {
            // A cut inside a UTF-8 sequence would show as two broken
            // characters; a run with no character start is cut anyway.
            size_t cut = utf8_prefix_length(pending_.data() + start, pending_.size() - start, max_line);
            if (cut == 0)
                cut = max_line;
            lines.push_back(pending_.substr(start, cut));
            start += cut;
        } else {
            break;
        }
    }
    pending_.erase(0, start);
    if (at_end && !pending_.empty()) {
        lines.push_back(pending_);
        pending_.clear();
    }
}

bool ChildProcess::poll(int timeout_ms, std::vector<std::string>& lines)
{
    if (pid_ <= 0)
        return false;
    if (output_ >= 0) {
        pollfd p{output_, POLLIN, 0};
        int ready = ::poll(&p, 1, timeout_ms);
        if (ready > 0)
            read_available();
    } else if (!exited_) {
        // Output closed but the child runs on: wait without spinning.
        ::poll(nullptr, 0, timeout_ms);
    }
    if (!exited_) {
        int raw = 0;
        pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            exited_ = true;
            status_ = decode_wait_status(raw);
        } else if (done < 0 && errno == ECHILD) {
            exited_ = true;
            status_ = -1;
        }
    }
    if (exited_ && output_ >= 0) {
        // What the child wrote before it ended is in the pipe now; a
        // descendant that kept the pipe open must not hold us forever.
        read_available();
        read_available();
        close_output();
    }
    split_lines(lines, output_ < 0);
    return !(exited_ && output_ < 0);
}

void ChildProcess::terminate()
{
    if (pid_ > 0 && !exited_)
        kill(pid_, SIGTERM);
}

std::string find_program_in_path(const std::string& name)
{
    auto runnable = [](const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
    };
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return runnable(name) ? name : std::string();
    const char* env = getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (runnable(candidate))
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

}  // namespace platform
