// twk after its arguments: read every input, run the one command, exit code.
//
// The console does the task bridge's work itself, but unlike the bridge it
// stops at the first input that can't be read, before any report or change.
#include "console/run.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "console/output.h"
#include "console/usage.h"
#include "core/codepage.h"
#include "core/files.h"
#include "core/input_file.h"
#include "core/map_list.h"
#include "core/reader.h"
#include "core/report.h"
#include "operations/inplace.h"
#include "operations/join.h"
#include "operations/split.h"
#include "core/task_options.h"
#include "platform/platform.h"

namespace {

// Whether -w was given anything to change; id_flags only picks the files.
bool has_changes(const TaskOptions& o)
{
    return o.header_date_flags || o.priority < 255 || o.transparency || o.map_id_mode || !o.mapset_name.empty() ||
           !o.map_name.empty() || o.typ_fix_flags || o.mps_id_flags || o.label_case || o.version_flags ||
           o.replace_typ || o.tre_param_flags;
}

// The code page the joined file's texts will be read in: the one most of
// its maps have, as the reader picks it, else the mapset code page.
int joined_code_page(const InputList& inputs)
{
    CodePageCount table;
    for (const auto& input : inputs) {
        if (input->kind == FILE_IMG) {
            for (const MapEntry* map : input->maps)
                if (!map->family_skip)
                    count_code_page(table, map->code_page);
        } else if (const LblInfo* lbl = input->single_subfile.lbl_info.get()) {
            count_code_page(table, lbl->code_page);
        } else if (const HeaderInfo* info = input->single_subfile.header_info.get()) {
            count_code_page(table, info->code_page);
        }
    }
    uint32_t code_page = pick_dominant_code_page(table, task_options.code_page);
    return code_page ? static_cast<int>(code_page) : get_mapset_code_page();
}

int run_join(InputList& inputs)
{
    TaskOptions& o = task_options;
    if (o.output_file.empty()) {
        print_line("Output file name missing.", "Brak nazwy pliku wyjściowego.");
        return 3;
    }
    // The name goes into the header and the MPS in the code page of the
    // maps beside it, or it reads back as other characters.
    if (!o.mapset_name.empty()) {
        int code_page = joined_code_page(inputs);
        std::string utf8 = o.mapset_name;
        if (!set_mapset_name_option(&o, utf8.c_str(), code_page)) {
            print_text("Mapset name characters don't match code page %d, file %s.\n",
                       "Znaki nazwy zestawu map nie pasują do strony kodowej %d, plik %s.\n", code_page,
                       o.output_file.c_str());
            return 1;
        }
    }
    return join_input_maps(inputs) ? 0 : 4;
}

// The -m and -r texts of one input, in the code page of its texts.
struct FileNames {
    std::string mapset_name, map_name;
    uint32_t mapset_name_result = 0, map_name_result = 0;
};

// Converts a UTF-8 name given on the command line into the code page of the
// file's texts (the mapset code page when the file names none). False, with
// the message printed, when a character has no place in that code page.
bool convert_name(const InputFile& file, const std::string& utf8, bool mapset, std::string& out, uint32_t& out_cp)
{
    if (utf8.empty())
        return true;
    int code_page = file.code_page ? static_cast<int>(file.code_page) : get_mapset_code_page();
    const char* text = nullptr;
    if (!convert_to_mapset_code_page(&text, &out_cp, utf8.c_str(), code_page)) {
        if (mapset)
            print_text("Mapset name characters don't match code page %d, file %s.\n",
                       "Znaki nazwy zestawu map nie pasują do strony kodowej %d, plik %s.\n", code_page,
                       file.path.c_str());
        else
            print_text("Map name characters don't match code page %d, file %s.\n",
                       "Znaki nazwy mapy nie pasują do strony kodowej %d, plik %s.\n", code_page, file.path.c_str());
        return false;
    }
    out = text;
    return true;
}

int run_changes(InputList& inputs)
{
    TaskOptions& o = task_options;
    if (!has_changes(o)) {
        print_line("No changes for option -w.", "Brak zmian dla opcji -w.");
        return 3;
    }
    // Every name is converted before any file changes, so a name that does
    // not fit one file's code page leaves all of them untouched.
    std::vector<FileNames> names(inputs.size());
    bool fits = true;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const InputFile& file = *inputs[i];
        if (file.kind != FILE_IMG)
            continue;
        fits = convert_name(file, o.mapset_name, true, names[i].mapset_name, names[i].mapset_name_result) && fits;
        fits = convert_name(file, o.map_name, false, names[i].map_name, names[i].map_name_result) && fits;
    }
    if (!fits)
        return 1;
    // The changes go on from file to file whatever happens to one of them,
    // but a change that failed must not end as a success.
    const std::string mapset_name = o.mapset_name;
    const std::string map_name = o.map_name;
    int errors_before = error_count;
    // A break signal ends the run between two files, never inside one.
    platform::BreakSignalCatch catch_signals;
    for (size_t i = 0; i < inputs.size() && !platform::caught_break_signal(); ++i) {
        InputFile& file = *inputs[i];
        if (file.kind == FILE_IMG) {
            o.mapset_name = mapset_name.empty() ? std::string() : names[i].mapset_name;
            o.map_name = map_name.empty() ? std::string() : names[i].map_name;
            o.mapset_name_result = names[i].mapset_name_result;
            o.map_name_result = names[i].map_name_result;
        }
        apply_file_changes(file, &inputs);
        o.mapset_name = mapset_name;
        o.map_name = map_name;
    }
    if (int signal_number = platform::caught_break_signal()) {
        print_line("User break!", "Przerwane przez użytkownika!");
        // As a shell reports a program that the signal ended.
        return 128 + signal_number;
    }
    return error_count != errors_before ? 4 : 0;
}

// A report alone: each file is read into an InputFile of its own, its report
// put into one text and the file let go before the next one is read, so the
// memory is that of one file and the reports, not of all the files. The
// reports are written once every file was read, after what the reading
// said, as with any other command; a file that cannot be read ends the run
// without them.
int run_reports(const InputNames& names)
{
    std::string reports;
    try {
        // Room for a short report a file: pages are only taken as it fills,
        // and longer reports grow it.
        constexpr size_t report_estimate = 512;
        constexpr size_t most_reserved = size_t(64) << 20;
        reports.reserve(std::min(names.size() * report_estimate, most_reserved));
        for (const std::string& name : names) {
            InputFile input;
            input.path = name;
            if (!read_input_file(input))
                return 2;
            append_info_report(input, reports);
        }
    } catch (const std::bad_alloc&) {
        log_message(fn_OuOfMe.text());
        return 4;
    }
    log_message("%s", reports.c_str());
    return 0;
}

int run_split(InputList& inputs)
{
    if (!task_options.output_file.empty()) {
        task_options.output_path = task_options.output_file;
        task_options.output_file.clear();
    }
    return split_input_files(inputs) ? 0 : 4;
}

}  // namespace

int run_command(const InputNames& names)
{
    TaskOptions& o = task_options;
    if (o.mapset_file_name.empty())
        o.mapset_file_name = "mapset";
    if (names.empty()) {
        print_usage(0);
        print_line("Input files missing.", "Brak plików wejściowych.");
        return 3;
    }
    int code = 0;
    InputList inputs;
    if (o.show_info && !o.join_maps && !o.split_mode && !o.write_changes) {
        code = run_reports(names);
        if (code != 0)
            return code;
    } else {
        inputs.reserve(names.size());
        for (const std::string& name : names)
            add_input_file(inputs, name);
        for (auto& input : inputs) {
            if (!read_input_file(*input))
                return 2;
        }
        if (o.show_info) {
            for (auto& input : inputs)
                print_info_report(*input);
        }
    }
    if (!o.join_maps && !o.split_mode && !o.show_info && !o.write_changes) {
        print_line("Nothing to do, use command -j, -s, -S, -g, -G, -w.",
                   "Nic do zrobienia, użyj polecenia -j, -s, -S, -g, -G, -w.");
        return 0;
    }
    if (o.join_maps)
        code = run_join(inputs);
    else if (o.write_changes)
        code = run_changes(inputs);
    else if (o.split_mode)
        code = run_split(inputs);
    if (code != 0)
        return code;
    if (warning_count) {
        log_message("\n");
        print_line("There were warnings, result can be faulty.", "Wystąpiły ostrzeżenia, wynik może być błędny.");
    }
    // A single subfile file whose header is bad is read as data and goes into
    // a join or split as it is, after its message: the result holds the bad
    // data, so the run must not end as a success.
    if (error_count && (o.join_maps || o.split_mode))
        return 4;
    return 0;
}
