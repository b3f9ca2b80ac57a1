// libFuzzer target: arbitrary bytes through read_input_file and, when the
// file was read, the information report.
//
// The reader tells single subfile files apart by their name, so the first
// byte of an input chooses how the rest is presented: its low four bits pick
// the file name's extension, bit 4 sets the verbose option and bit 5 the
// "other data" option. The rest of the input is the file's content.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "core/host.h"
#include "core/input_file.h"
#include "core/reader.h"
#include "core/report.h"
#include "core/task_options.h"
#include "fuzz/fuzz_scratch.h"

static const char* const extensions[16] = {".img", ".typ", ".trf", ".mmr", ".md2", ".idx", ".qsi", ".sid",
                                           ".jcv", ".tdb", ".TYP", ".dat", ".img", ".img", ".img", ".img"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    uint8_t mode = data[0];
    std::string path = fuzz_scratch_dir() + "/input" + extensions[mode & 0x0F];
    fuzz_write_file(path, data + 1, size - 1);

    clear_task_options(task_options);
    task_options.verbose = (mode >> 4) & 1;
    task_options.other_data = (mode >> 5) & 1;
    error_count = 0;
    warning_count = 0;
    InputList inputs;
    InputFile& input = add_input_file(inputs, path);
    if (read_input_file(input))
        print_info_report(input);
    unlink(path.c_str());
    return 0;
}
