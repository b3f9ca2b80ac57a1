// libFuzzer target for the tasks that copy: arbitrary bytes as a file that
// `twk` joins or splits, through the console's own option parser and command.
//
// Input layout:
//   byte 0      file name extension (low four bits, as in fuzz_read), bit 4
//               adds -v, bit 5 gives the (first) file twice, bit 6 gives two
//               files
//   byte 1      the task and its options (modulo the table below)
//   the rest    the file's content; with bit 6 a u16 length, the first
//               file's content, and the second's (an IMG)
//
// Each run writes into a fresh output folder. What must hold, whatever the
// bytes: the input file is left as it was; every IMG container the task
// made has a byte sum of 0 (its checksum byte) and, when the run ended as a
// success, reads again (a damaged single subfile file is copied as it is,
// and the run then ends with 4); nothing is written outside the output
// folder. A breach calls abort(), so libFuzzer keeps the input.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "console/run.h"
#include "core/byte_view.h"
#include "core/files.h"
#include "core/img_format.h"
#include "core/input_file.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "fuzz/fuzz_console.h"
#include "fuzz/fuzz_scratch.h"

namespace fs = std::filesystem;

static const char* const extensions[16] = {".img", ".typ", ".trf", ".mmr", ".md2", ".idx", ".qsi", ".sid",
                                           ".jcv", ".tdb", ".TYP", ".dat", ".img", ".img", ".img", ".img"};

// A task: its options; a join writes the file "joined.img" in the output
// folder, the others write into the folder.
struct Task {
    std::vector<const char*> options;
    bool join;
};
static const Task tasks[] = {
    {{"-j"}, true},
    {{"-j", "-x", "-z"}, true},
    {{"-j", "-q", "-h"}, true},
    {{"-j", "-a", "-n"}, true},
    {{"-j", "-c", "2.5,1,7", "-f", "1101,1", "-m", "Fuzz"}, true},
    {{"-s"}, false},
    {{"-s", "-t", "-x", "-h"}, false},
    {{"-S"}, false},
    {{"-S", "-t", "-3", "-r", "-q"}, false},
    {{"-S", "-L", "-l", "-n", "fz", "-f", "1101"}, false},
    {{"-G"}, false},
    {{"-G", "-n", "-h"}, false},
    {{"-g"}, false},
    {{"-g", "-t"}, false},
    {{"-k"}, false},
};
constexpr size_t task_count = sizeof tasks / sizeof tasks[0];

// An IMG container the task made: its bytes add up to 0 (the task writes
// no XOR), and after a success the reader takes it. A file that is the
// input's bytes is a data file copied as it is, whatever it holds.
static void check_made_img(const std::string& path, bool success,
                           const std::vector<std::pair<std::string, std::vector<uint8_t>>>& inputs)
{
    std::vector<uint8_t> bytes = fuzz_read_file(path);
    if (!ByteView(bytes).matches(ImgHeader::signature, "DSKIMG"))
        return;
    for (const auto& input : inputs)
        if (bytes == input.second)
            return;
    uint32_t sum = sum_bytes(bytes.data(), bytes.size());
    if (sum & 0xFF) {
        fprintf(stderr, "fuzz_copy: %s has the byte sum 0x%02X\n", path.c_str(), sum & 0xFF);
        abort();
    }
    InputList list;
    InputFile& made = add_input_file(list, path);
    if (success && !read_input_file(made)) {
        fprintf(stderr, "fuzz_copy: the reader refuses %s, which the task made\n", path.c_str());
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    uint8_t mode = data[0];
    const Task& task = tasks[data[1] % task_count];
    const uint8_t* content = data + 2;
    size_t length = size - 2;
    fuzz_prepare_console();

    // The files given: one, or with bit 6 two, the first as long as the
    // next two bytes say (little-endian, cut to what there is), the second
    // an IMG of the rest.
    const std::string& scratch = fuzz_scratch_dir();
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    if (mode & 0x40) {
        if (length < 2)
            return 0;
        size_t first = std::min<size_t>(content[0] | content[1] << 8, length - 2);
        files.push_back({scratch + "/input" + extensions[mode & 0x0F], {content + 2, content + 2 + first}});
        files.push_back({scratch + "/second.img", {content + 2 + first, content + length}});
    } else {
        files.push_back({scratch + "/input" + extensions[mode & 0x0F], {content, content + length}});
    }
    std::string out = scratch + "/out";
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::create_directory(out);
    for (const auto& [path, bytes] : files)
        fuzz_write_file(path, bytes.data(), bytes.size());

    std::vector<std::string> args = {"twk"};
    for (const char* option : task.options)
        args.push_back(option);
    if (mode & 0x10)
        args.push_back("-v");
    args.push_back("-o");
    args.push_back(task.join ? out + "/joined.img" : out);
    for (const auto& file : files)
        args.push_back(file.first);
    if (mode & 0x20)
        args.push_back(files.front().first);
    InputNames inputs;
    int code = fuzz_parse_arguments(args, inputs) ? run_command(inputs) : -1;

    for (const auto& [path, bytes] : files)
        if (fuzz_read_file(path) != bytes) {
            fprintf(stderr, "fuzz_copy: %s changed its input %s\n", args[1].c_str(), path.c_str());
            abort();
        }
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch)) {
        bool given = entry.path() == out;
        for (const auto& file : files)
            given = given || entry.path() == file.first;
        if (!given) {
            fprintf(stderr, "fuzz_copy: %s left %s beside the output folder\n", args[1].c_str(),
                    entry.path().c_str());
            abort();
        }
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(out)) {
        std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".img" || ext == ".IMG"))
            check_made_img(entry.path().string(), code == 0, files);
    }
    fs::remove_all(out, ec);
    for (const auto& file : files)
        unlink(file.first.c_str());
    return 0;
}
