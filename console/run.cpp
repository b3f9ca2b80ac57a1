// twk after its arguments: read every input, run the one command, exit code.
//
// The console does the task bridge's work itself, but unlike the bridge it
// stops at the first input that can't be read, before any report or change.
#include "console/run.h"

#include "console/output.h"
#include "console/usage.h"
#include "core/reader.h"
#include "core/report.h"
#include "operations/inplace.h"
#include "operations/join.h"
#include "operations/split.h"
#include "operations/task_options.h"

namespace {

// Whether -w was given anything to change; id_flags only picks the files.
bool has_changes(const TaskOptions& o)
{
    return o.header_date_flags || o.priority < 255 || o.transparency || o.map_id_mode || !o.mapset_name.empty() ||
           !o.map_name.empty() || o.typ_fix_flags || o.mps_id_flags || o.label_case || o.version_flags ||
           o.replace_typ || o.tre_param_flags;
}

int run_join(InputList& inputs)
{
    if (task_options.output_file.empty()) {
        print_line("Output file name missing.", "Brak nazwy pliku wyjściowego.");
        return 3;
    }
    return join_input_maps(inputs) ? 0 : 4;
}

int run_changes(InputList& inputs)
{
    if (!has_changes(task_options)) {
        print_line("No changes for option -w.", "Brak zmian dla opcji -w.");
        return 3;
    }
    // The changes go on from file to file whatever happens to one of them,
    // but a change that failed must not end as a success.
    int errors_before = error_count;
    for (auto& input : inputs)
        apply_file_changes(*input, &inputs);
    return error_count != errors_before ? 4 : 0;
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

int run_command(InputList& inputs)
{
    TaskOptions& o = task_options;
    if (o.mapset_file_name.empty())
        o.mapset_file_name = "mapset";
    if (inputs.empty()) {
        print_usage(0);
        print_line("Input files missing.", "Brak plików wejściowych.");
        return 3;
    }
    for (auto& input : inputs) {
        if (!read_input_file(*input))
            return 2;
    }
    if (o.show_info) {
        for (auto& input : inputs)
            print_info_report(*input);
    }
    if (!o.join_maps && !o.split_mode && !o.show_info && !o.write_changes) {
        print_line("Nothing to do, use command -j, -s, -S, -g, -G, -w.",
                   "Nic do zrobienia, użyj polecenia -j, -s, -S, -g, -G, -w.");
        return 0;
    }
    int code = 0;
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
    return 0;
}
