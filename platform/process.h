// Child processes for the external map compilers: started from an argument
// vector (no shell ever sees a user's text), standard output and standard
// error merged into one pipe that the caller drains in small steps, so the
// window can keep handling events between them.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One running (or finished) child. The destructor ends a child that is
// still running and reaps it, so none is left behind as a zombie.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH when it holds no '/') with the
    // other entries as its arguments, standard input from /dev/null and
    // both output streams into the pipe. False with the system's reason in
    // error when nothing could be started.
    bool start(const std::vector<std::string>& argv, std::string& error);

    // Waits at most timeout_ms for output and appends every whole line
    // that has arrived, each with its '\n' (the last unfinished piece once
    // the output has ended; a piece longer than max_line comes as a line
    // of its own). True while there is more to come: the child has not
    // exited or its pipe still has data.
    bool poll(int timeout_ms, std::vector<std::string>& lines);

    // Asks the child to end (SIGTERM); poll then sees it go.
    void terminate();

    // After poll returned false: the exit code, or 128 + the signal that
    // ended it; -1 when no child was started.
    int status() const { return status_; }
    // True when reading the pipe failed (not its end, a real error).
    bool read_failed() const { return read_failed_; }

    static constexpr size_t max_line = 4096;

private:
    void read_available();
    void close_output();
    void split_lines(std::vector<std::string>& lines, bool at_end);

    int pid_ = -1;
    int output_ = -1;
    bool exited_ = false;
    bool read_failed_ = false;
    int status_ = -1;
    std::string pending_;
};

// Full path of an executable program of that name in PATH, "" when none.
std::string find_program_in_path(const std::string& name);

}  // namespace platform
