// libFuzzer target for in-place changes: arbitrary bytes as a file that
// `twk -w` changes, through the console's own option parser and command.
//
// Input layout:
//   byte 0      file name extension (low four bits, as in fuzz_read), bit 4
//               adds -v, bit 5 adds -a
//   byte 1      the change (low seven bits, modulo the table below); bit 7
//               adds a family/product filter (-f) with the second value
//   byte 2, n   the change's value: a length (at most 63) and that many bytes
//   byte, n     the filter's value, the same way
//   the rest    the file's content
// Values are handed to the parser as they come (cut at a NUL), so its
// refusals are fuzzed as well as the changes.
//
// The file is written, and twk's run_command reads it and applies the one
// change. When the file was read as an IMG container and the change
// succeeded (exit code 0), the byte sum of the whole file with the XOR undone
// must be what it was: every in-place write lowers the checksum byte by what
// it added. A mismatch calls abort(), so libFuzzer keeps the input. The
// changed file is then read again; it may be refused, but only cleanly.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/run.h"
#include "core/files.h"
#include "core/input_file.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "fuzz/fuzz_console.h"
#include "fuzz/fuzz_scratch.h"

static const char* const extensions[16] = {".img", ".typ", ".trf", ".mmr", ".md2", ".idx", ".qsi", ".sid",
                                           ".jcv", ".tdb", ".TYP", ".dat", ".img", ".img", ".img", ".img"};

// The console's -w options. The last two have no console letter (the window
// program sets them): they are set on task_options after the parser ran.
enum Extra { NONE, DATE_GIVEN, NO_ACCENTS };
struct Change {
    const char* option;
    bool takes_value;
    Extra extra;
};
static const Change changes[] = {
    {"-h", false, NONE},        // header date: now
    {"-c", true, NONE},         // version, MapSource byte, product code
    {"-p", true, NONE},         // priority
    {"-t", false, NONE},        // transparent
    {"-n", false, NONE},        // not transparent
    {"-q", true, NONE},         // TRE parameters
    {"-e", true, NONE},         // map IDs: set, +, -
    {"-m", true, NONE},         // mapset name
    {"-r", true, NONE},         // map name
    {"-z", true, NONE},         // MPS family/product
    {"-L", false, NONE},        // labels upper case
    {"-l", false, NONE},        // labels lower case
    {"-1", false, NONE},        // labels capitalised words
    {"-y", true, NONE},         // TYP correction
    {"-x", false, NONE},        // TYP replacement (no TYP beside: a warning)
    {"-h", true, DATE_GIVEN},   // header date given; the value's bytes are the date
    {nullptr, false, NO_ACCENTS},
};
constexpr size_t change_count = sizeof changes / sizeof changes[0];

static uint8_t content_sum(const uint8_t* bytes, size_t n, uint8_t x)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += static_cast<uint8_t>(bytes[i] ^ x);
    return static_cast<uint8_t>(sum);
}

// A length byte and that many bytes; false when the input ends first.
static bool take_value(const uint8_t*& p, const uint8_t* end, std::string& value)
{
    if (p >= end)
        return false;
    size_t n = *p++ & 0x3F;
    if (size_t(end - p) < n)
        return false;
    value.assign(reinterpret_cast<const char*>(p), n);
    value.resize(value.find('\0') == std::string::npos ? n : value.find('\0'));
    p += n;
    return true;
}

// The window program's date check, so only a date it could ask for is set.
static void set_given_date(const std::string& v)
{
    auto byte = [&](size_t i) { return i < v.size() ? static_cast<uint8_t>(v[i]) : 0; };
    TaskOptions& o = task_options;
    o.header_date_flags = 1 | 2 | 4;
    o.header_date.year = static_cast<uint16_t>(1989 + byte(0) % 111);
    o.header_date.month = static_cast<uint8_t>(1 + byte(1) % 12);
    o.header_date.day = static_cast<uint8_t>(1 + byte(2) % 28);
    o.header_date.hour = static_cast<uint8_t>(byte(3) % 24);
    o.header_date.minute = static_cast<uint8_t>(byte(4) % 60);
    o.header_date.second = static_cast<uint8_t>(byte(5) % 60);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t* end = data + size;
    const uint8_t* p = data + 2;
    uint8_t mode = data[0];
    const Change& change = changes[(data[1] & 0x7F) % change_count];
    bool filtered = data[1] & 0x80;
    std::string value, filter;
    if (!take_value(p, end, value) || !take_value(p, end, filter))
        return 0;
    fuzz_prepare_console();

    std::string path = fuzz_scratch_dir() + "/input" + extensions[mode & 0x0F];
    fuzz_write_file(path, p, size_t(end - p));

    std::vector<std::string> args = {"twk", "-w"};
    if (mode & 0x10)
        args.push_back("-v");
    if (mode & 0x20)
        args.push_back("-a");
    if (change.option) {
        args.push_back(change.option);
        if (change.takes_value && change.extra == NONE)
            args.push_back(value);
    }
    if (filtered) {
        args.push_back("-f");
        args.push_back(filter);
    }
    args.push_back(path);
    InputNames inputs;
    if (!fuzz_parse_arguments(args, inputs)) {
        unlink(path.c_str());
        return 0;
    }
    if (change.extra == DATE_GIVEN)
        set_given_date(value);
    else if (change.extra == NO_ACCENTS)
        task_options.label_case = 4;
    // What twk will find: the file's kind and XOR byte, read as it reads it.
    InputFile probe;
    probe.path = path;
    bool container = read_input_file(probe) && probe.kind == FILE_IMG;
    uint8_t x = static_cast<uint8_t>(probe.xor_mask);
    error_count = 0;
    warning_count = 0;
    int code = run_command(inputs);

    if (code == 0 && container) {
        std::vector<uint8_t> after = fuzz_read_file(path);
        uint8_t before_sum = content_sum(p, size_t(end - p), x);
        uint8_t after_sum = content_sum(after.data(), after.size(), x);
        if (before_sum != after_sum) {
            fprintf(stderr, "fuzz_write: %s %s changed the byte sum from 0x%02X to 0x%02X\n",
                    change.option ? change.option : "(label case 4)", value.c_str(), before_sum, after_sum);
            abort();
        }
    }

    InputList again;
    InputFile& input = add_input_file(again, path);
    read_input_file(input);
    unlink(path.c_str());
    return 0;
}
