// The task bridge: one task of the window program over a list of file
// names, and the program's version.
//
// The order inside every entry is fixed: counters to 0 before anything can
// count, the time before anything can be dated, the options before the
// reader consults them, and the summary line and the release also after a
// list that could not be built, so every task ends the same way.
#include "operations/task_bridge.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "core/files.h"
#include "core/host.h"
#include "core/map_ids.h"
#include "core/reader.h"
#include "core/report.h"
#include "operations/inplace.h"
#include "operations/join.h"
#include "operations/split.h"

char version_text[32];
int version_number = 0;

MessageText TWERIF{"TWERIF", "\nThere were errors, result is faulty.\n", "\nWystąpiły błędy, wynik jest wadliwy.\n"};
MessageText TWWRCB{"TWWRCB", "\nThere were warnings, result can be faulty.\n",
                   "\nWystąpiły ostrzeżenia, wynik może być wadliwy.\n"};
MessageText InpFiS{"InpFiS", "Input file: %s.\n", "Plik wejściowy: %s.\n"};

static MessageText* const bridge_table[] = {&TWERIF, &TWWRCB, &InpFiS};

int load_messages_bridge(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(bridge_table, group, code_page, write);
}

void make_version_text()
{
    snprintf(version_text, sizeof version_text, "%lu.%lu.%lu.%lu%s", 0ul, 9ul, 73ul, 1232ul, "b");
    version_number = 9073;
}

void report_task_result()
{
    if (error_count)
        log_message(TWERIF.text());
    else if (warning_count)
        log_message(TWWRCB.text());
}

int build_input_list(int count, const char* const* names, InputList& list, int read_all)
{
    list.clear();
    if (count <= 0)
        return 1;
    for (int i = 0; i < count; ++i) {
        const char* name = names[i] ? names[i] : "";
        InputFile* file = nullptr;
        try {
            file = &add_input_file(list, name);
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        if (!file) {
            log_message(fn_OuOfMe.text());
            ++error_count;
            if (!read_all)
                return 0;
            continue;
        }
        if (task_options.verbose)
            log_message(InpFiS.text(), file->path.c_str());
        ++task_options.input_count;
    }
    for (auto& input : list) {
        // Stop ends the reading at once: no later file is announced or read,
        // and a read that Stop cut short is no fault of its file, so the
        // task ends with the user's break alone.
        if (poll_stop_request())
            return 0;
        const int errors_before = error_count;
        int read = read_input_file(*input);
        if (!read && poll_stop_request()) {
            error_count = errors_before;
            return 0;
        }
        if (!read && !read_all)
            return 0;
    }
    return 1;
}

namespace {

// What a task holds while it runs are its input files; the memory trace
// shows how many are alive before it and after its release.
int live_input_files() { return static_cast<int>(LiveInputCount::alive); }

// Steps common to every entry around the one operation.
template <class Operation>
void run_task(const char* entry, const TaskOptions& options, int count, const char* const* names, int read_all,
              Operation operation)
{
    debug_message(DBG_MEMORY, "%s start %i\n", entry, live_input_files());
    error_count = 0;
    warning_count = 0;
    capture_current_time();
    task_options = options;
    InputList list;
    int built = build_input_list(count, names, list, read_all);
    if (built)
        operation(list);
    report_task_result();
    free_input_file_list(list);
    debug_message(DBG_MEMORY, "%s %s %i\n", entry, built ? "stop2" : "stop1", live_input_files());
}

}  // namespace

void pomost_info(const TaskOptions& options, int count, const char* const* names)
{
    run_task("pomost_info", options, count, names, 1, [](InputList& list) {
        for (auto& input : list) {
            if (poll_stop_request())
                return;
            print_info_report(*input);
        }
        if (task_options.verbose && !poll_stop_request())
            collect_map_ids(list);
    });
}

void pomost_join(const TaskOptions& options, int count, const char* const* names)
{
    run_task("pomost_join", options, count, names, 0, [](InputList& list) { join_input_maps(list); });
}

void pomost_split(TaskOptions& options, int count, const char* const* names)
{
    run_task("pomost_split", options, count, names, 0, [&options](InputList& list) {
        split_input_files(list);
        options.split_result = task_options.split_result;
    });
}

void pomost_write(const TaskOptions& options, int count, const char* const* names)
{
    run_task("pomost_write", options, count, names, 0, [](InputList& list) {
        for (auto& input : list) {
            if (poll_stop_request())
                return;
            apply_file_changes(*input, nullptr);
        }
    });
}

void pomost_chang(const TaskOptions& options, int count, const char* const* names)
{
    run_task("pomost_chang", options, count, names, 0, [](InputList& list) {
        for (auto& input : list) {
            if (poll_stop_request())
                return;
            apply_file_changes(*input, &list);
        }
    });
}

int load_core_messages(LanguageGroup* file, int code_page, int write)
{
    std::unique_ptr<LanguageGroup> group;
    if (file)
        group = file->subgroup("twk_all");
    LanguageGroup* g = group.get();
    load_messages_bridge(g, code_page, write);
    load_messages_dp(g, code_page, write);
    load_messages_dd(g, code_page, write);
    load_messages_fn(g, code_page, write);
    load_messages_gw(g, code_page, write);
    load_messages_mp(g, code_page, write);
    load_messages_nt(g, code_page, write);
    load_messages_od(g, code_page, write);
    load_messages_size(g, code_page, write);
    load_messages_pd(g, code_page, write);
    load_messages_pl(g, code_page, write);
    return 1;
}
