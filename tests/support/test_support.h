// Small helpers every test uses: data paths, scratch directories, running twk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Path of a file under tests/data.
std::string data_path(const std::string& name);

// A fresh, empty directory removed when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct RunResult {
    int exit_code = -1;
    std::string output;  // standard output and standard error, interleaved
};

// Runs the twk binary with the arguments (no shell) and an environment
// language of lang ("C" unless given), capturing its output.
RunResult run_twk(const std::vector<std::string>& args, const std::string& lang = "C");
// The same for any program, found through PATH when the name has no '/'.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& lang = "C");

// Runs body in a forked child whose files may not grow past limit bytes: a
// write beyond it fails as on a full disk (no signal ends the child). The
// result is body's return value (0..255) and whatever it put in its text.
RunResult run_with_file_size_limit(uint64_t limit, const std::function<int(std::string&)>& body);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
