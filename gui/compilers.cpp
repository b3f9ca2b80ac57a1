// The external map compilers: the command of each, starting it through the
// platform layer, its output into the log as it comes and its result.
#include "gui/compilers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include "core/host.h"
#include "gui/main_window.h"
#include "gui/split_tab.h"
#include "platform/process.h"

const char* const packaged_mkgmap_jar = "/usr/share/mkgmap/mkgmap.jar";

namespace {

bool is_blank(const std::string& text) { return is_blank_text(text.c_str()) != 0; }

bool ends_with_exe(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return tail == ".exe";
}

bool is_file(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Enough to tell a map the compiler wrote from one that was there before.
struct FileStamp {
    bool exists = false;
    std::filesystem::file_time_type time{};
    uintmax_t size = 0;
};

FileStamp stamp_of(const std::string& path)
{
    FileStamp s;
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return s;
    s.time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return s;
    s.size = std::filesystem::file_size(path, ec);
    s.exists = !ec;
    return s;
}

bool written_since(const FileStamp& before, const FileStamp& after)
{
    return after.exists && (!before.exists || after.time != before.time || after.size != before.size);
}

void set_cursor(Fl_Cursor cursor)
{
    if (main_window)
        main_window->cursor(cursor);
}

void command_failed(int status)
{
    ++error_count;
    log_message(sp_ComErr.text(), status);
}

}  // namespace

std::string compiler_program(const TaskOptions& options)
{
    if (!is_blank(options.compiler_path))
        return options.compiler_path;
    if (options.compiler_is_mkgmap) {
        std::string beside = std::string(program_dir, static_cast<size_t>(program_dir_length)) + "mkgmap.jar";
        if (program_dir_length > 0 && is_file(beside))
            return beside;
        return packaged_mkgmap_jar;
    }
    return options.compiler_is_maptk ? "MapTk.exe" : "cgpsmapper.exe";
}

CompilerCommand compiler_command(const TaskOptions& options, const std::string& program)
{
    const std::string& dir = options.output_path;
    std::string separator;
    if (!dir.empty()) {
        char last = dir.back();
        separator = last == '/' || last == ':' || last == '\\' ? "" : "/";
    }
    const std::string name = options.mapset_file_name.empty() ? "mapset" : options.mapset_file_name;
    const std::string source = dir + separator + name + ".mp";

    CompilerCommand c;
    if (options.compiler_is_mkgmap) {
        char map_name[16];
        snprintf(map_name, sizeof map_name, "%08u", options.split_result);
        c.display = "\"java -jar \"" + program + "\" --no-tdbfile --mapname=" + map_name + " --output-dir=\"" +
                    dir + "\" \"" + source + "\"\"";
        // mkgmap takes an empty output directory as none at all; say so.
        std::string out_dir = dir.empty() ? "." : dir;
        c.argv = {"java", "-jar", program, "--no-tdbfile", std::string("--mapname=") + map_name,
                  "--output-dir=" + out_dir, source};
        // mkgmap ends with 0 also when it wrote nothing (a missing input).
        c.expected_map = out_dir + (out_dir.back() == '/' ? "" : "/") + map_name + ".img";
        return c;
    }
    if (options.compiler_is_maptk) {
        c.display = "\"\"" + program + "\" \"" + source + "\"\"";
        c.argv = {program, source};
    } else {
        c.display = "\"\"" + program + "\" -l \"" + source + "\"\"";
        c.argv = {program, "-l", source};
    }
    c.needs_wine = ends_with_exe(program);
    if (c.needs_wine)
        c.argv.insert(c.argv.begin(), "wine");
    return c;
}

void run_map_compiler(const TaskOptions& options)
{
    const std::string program = compiler_program(options);
    const CompilerCommand command = compiler_command(options, program);

    log_message("%s", sp_RCFPMC.text());
    log_message("%s", command.display.c_str());
    log_message("\n\n");

    if (command.needs_wine && platform::find_program_in_path("wine").empty()) {
        log_message(sp_NoWine.text(), program.c_str());
        command_failed(-1);
        return;
    }
    // java starts happily without its jar and says so in its own words;
    // the missing jar is the one thing the user has to fix.
    if (options.compiler_is_mkgmap && !is_file(program)) {
        log_message(sp_CaNoSt.text(), program.c_str(), strerror(ENOENT));
        command_failed(-1);
        return;
    }

    const FileStamp before = stamp_of(command.expected_map);
    platform::ChildProcess child;
    std::string reason;
    if (!child.start(command.argv, reason)) {
        log_message(sp_CaNoSt.text(), command.argv[0].c_str(), reason.c_str());
        command_failed(-1);
        return;
    }

    set_cursor(FL_CURSOR_WAIT);
    bool stop_sent = false;
    std::vector<std::string> lines;
    for (;;) {
        lines.clear();
        bool more = child.poll(20, lines);
        for (const std::string& line : lines)
            log_message("%s", line.c_str());
        // The log shows what came, timers and redraws run, Stop is heard.
        poll_stop_request();
        Fl::check();
        if (stop_requested && !stop_sent) {
            child.terminate();
            stop_sent = true;
        }
        if (!more)
            break;
    }
    set_cursor(FL_CURSOR_DEFAULT);

    const bool map_missing = !command.expected_map.empty() && !written_since(before, stamp_of(command.expected_map));
    log_compiler_result(child.read_failed(), child.status(), map_missing ? command.expected_map : std::string());
}

void log_compiler_result(bool read_failed, int status, const std::string& missing_map)
{
    if (read_failed) {
        ++error_count;
        log_message("%s", sp_ExeErr.text());
        log_message("\n");
        return;
    }
    log_message("\n");
    if (status != 0) {
        command_failed(status);
        return;
    }
    if (!missing_map.empty()) {
        log_message(sp_NoMapW.text(), missing_map.c_str());
        command_failed(status);
        return;
    }
    log_message("%s", sp_ResuOk.text());
}
