// twk's command line: option letters into task_options, names into the input list.
//
// Arguments are taken in order. One that starts with '-' is a cluster of
// option letters; a letter that needs a value takes the next argument of the
// command line, so "-jo out.img a.img" and "-j -o out.img a.img" mean the
// same. The first command letter fixes the meaning of the letters after it
// and which of them are allowed; no second command is accepted.
//
// Every number is plain unsigned decimal and is range-checked whole, before
// it is narrowed into its field: a value that does not fit is wrong, never
// taken modulo 2^32.
#include "operations/task_bridge.h"
#include "console/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/output.h"
#include "console/usage.h"
#include "core/codepage.h"
#include "core/file_names.h"
#include "core/files.h"
#include "core/messages.h"
#include "core/task_options.h"
#include "platform/platform.h"

namespace {

// Far above every limit of every option: a longer number stops growing here
// instead of wrapping, so it is refused like any other value out of range.
constexpr uint64_t too_large = 1000000000000ull;

bool read_decimal(const char*& p, uint64_t& value)
{
    if (*p < '0' || *p > '9')
        return false;
    value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(*p - '0'), too_large);
    return true;
}

// The whole text is one number in [low, high].
bool read_number_in(const char* text, uint64_t low, uint64_t high, uint64_t& value)
{
    const char* p = text;
    return read_decimal(p, value) && *p == '\0' && value >= low && value <= high;
}

// "n1,n2,...": the count of numbers, or 0 when the text is not such a list
// of at most max_count numbers (an empty piece or a trailing ',' included).
int read_number_list(const char* text, uint64_t* values, int max_count)
{
    const char* p = text;
    for (int count = 0; count < max_count;) {
        if (!read_decimal(p, values[count]))
            return 0;
        ++count;
        if (*p == '\0')
            return count;
        if (*p != ',')
            return 0;
        ++p;
    }
    return 0;
}

void print_wrong_ids() { print_line("Wrong Family ID or Product ID.", "Błędny Family ID lub Product ID."); }

// The letters allowed while a command is in force; ?, @, E and P are
// allowed everywhere and handled before this test.
const char* allowed_letters(char command)
{
    switch (command) {
    case 'j': return "ivhqzaxofmbcln";
    case 'S': return "ivhlL3rqfmnoct";
    case 's': return "ivhqtmox";
    case 'G': return "ivholn";
    case 'g': return "ivto";
    case 'k': return "ivo";
    case 'w': return "ivhtnlL1prmefycxzq";
    default: return "ivjSsGgkw";
    }
}

struct MissingText {
    const char* english;
    const char* polish;
};

class Parser {
public:
    Parser(int argc, char** argv, InputNames& inputs) : argc_(argc), argv_(argv), inputs_(inputs) {}
    int run(int first);

private:
    int act(char letter, char previous);
    int refuse_letter(char letter);
    const char* take_argument(const MissingText& missing);
    int refuse_after_usage(const char* english, const char* polish);
    int refuse_repeat(char letter);
    const char* take_value(char letter, bool already_set, const MissingText& missing);
    int text_option(char letter, std::string& field, const MissingText& missing);
    int file_name_option();
    int priority_option();
    int map_id_option();
    int block_size_option();
    int code_page_option();
    int version_option();
    int ids_option(char letter, uint32_t& family_id, uint32_t& product_id, uint8_t& flags,
                   const MissingText& missing);
    int typ_option();
    int tre_option();
    int list_option();
    int usage_option(char previous);
    void set_language(int english);
    void set_preview_limits();
    void add_input(const char* name);

    int argc_;
    char** argv_;
    InputNames& inputs_;
    int next_ = 0;       // the next argument not yet used
    char command_ = 0;   // the command letter in force, 0 before the first
};

int Parser::run(int first)
{
    next_ = first;
    while (next_ < argc_) {
        const char* argument = argv_[next_++];
        if (argument[0] != '-') {
            add_input(argument);
            continue;
        }
        char previous = 0;
        for (const char* p = argument + 1; *p; ++p) {
            int code = act(*p, previous);
            if (code != PARSE_GO_ON)
                return code;
            previous = *p;
        }
    }
    return PARSE_GO_ON;
}

void Parser::add_input(const char* name)
{
    inputs_.emplace_back(name);
    if (task_options.verbose)
        print_text("Input file: %s.\n", "Plik wejściowy: %s.\n", name);
    ++task_options.input_count;
}

int Parser::refuse_letter(char letter)
{
    if (!command_) {
        print_text("Wrong command -%c\n", "Błędne polecenie -%c\n", letter);
        print_usage(0);
    } else {
        print_text("Wrong option -%c for command -%c\n", "Błędna opcja -%c dla polecenia -%c\n", letter, command_);
        print_usage(command_);
    }
    return 1;
}

const char* Parser::take_argument(const MissingText& missing)
{
    if (next_ >= argc_) {
        print_usage(0);
        print_line(missing.english, missing.polish);
        return nullptr;
    }
    return argv_[next_++];
}

int Parser::refuse_after_usage(const char* english, const char* polish)
{
    print_usage(0);
    print_line(english, polish);
    return 1;
}

int Parser::refuse_repeat(char letter)
{
    print_usage(0);
    print_text("Multiple option -%c.\n", "Powtórzona opcja -%c.\n", letter);
    return 1;
}

const char* Parser::take_value(char letter, bool already_set, const MissingText& missing)
{
    const char* value = take_argument(missing);
    if (value && already_set) {
        refuse_repeat(letter);
        return nullptr;
    }
    return value;
}

int Parser::text_option(char letter, std::string& field, const MissingText& missing)
{
    const char* value = take_value(letter, !field.empty(), missing);
    if (!value)
        return 1;
    field = value;
    return PARSE_GO_ON;
}

int Parser::file_name_option()
{
    const char* value = take_value('n', !task_options.mapset_file_name.empty(),
                                   {"Name missing, opion -n.", "Brak nazwy, opcja -n."});
    if (!value)
        return 1;
    if (contains_invalid_name_chars(value)) {
        print_usage(0);
        print_text("Wrong charactes in file name: %s\n", "Błędne znaki w nazwie pliku: %s\n", value);
        return 1;
    }
    task_options.mapset_file_name = value;
    return PARSE_GO_ON;
}

int Parser::priority_option()
{
    // 255 means "unchanged", so a second -p after -p 255 is no repeat.
    const char* value = take_value('p', task_options.priority != 255,
                                   {"Priority missing, opion -p.", "Brak priorytetu, opcja -p."});
    if (!value)
        return 1;
    uint64_t number;
    if (!read_number_in(value, 0, 255, number)) {
        print_text("Wrong priority %s.\n", "Błędny priorytet %s.\n", value);
        return 1;
    }
    task_options.priority = static_cast<uint8_t>(number);
    return PARSE_GO_ON;
}

int Parser::map_id_option()
{
    const char* value = take_value('e', task_options.map_id_mode != 0,
                                   {"ID number missing, opion -e.", "Brak numeru ID, opcja -e."});
    if (!value)
        return 1;
    uint8_t mode = 1;
    if (*value == '+') {
        mode = 2;
        ++value;
    } else if (*value == '-') {
        mode = 255;
        ++value;
    }
    uint64_t number;
    if (!read_number_in(value, 1, 99999999, number)) {
        print_text("Wrong map ID number %s.\n", "Błędny numer ID mapy %s.\n", value);
        return 1;
    }
    task_options.map_id_mode = mode;
    task_options.map_id = static_cast<uint32_t>(number);
    return PARSE_GO_ON;
}

int Parser::block_size_option()
{
    const char* value =
        take_value('b', task_options.block_size != 0, {"Size missing, opion -b.", "Brak rozmiaru, opcja -b."});
    if (!value)
        return 1;
    uint64_t number;
    // A power of two from 1 to 1024 KiB.
    if (!read_number_in(value, 1, 1024, number) || (number & (number - 1)) != 0) {
        print_text("Wrong block size %s.\n", "Błędny rozmiar bloku %s.\n", value);
        return 1;
    }
    task_options.block_size = static_cast<uint32_t>(number);
    return PARSE_GO_ON;
}

int Parser::code_page_option()
{
    const char* value = take_value('c', task_options.mapset_code_page != 0,
                                   {"CodePage missing, opion -c.", "Brak strony kodowej, opcja -c."});
    if (!value)
        return 1;
    uint64_t number;
    if (!read_number_in(value, 0, 65535, number)) {
        print_text("Wrong CodePage %s.\n", "Błędna strona kodowa %s.\n", value);
        return 1;
    }
    task_options.mapset_code_page = static_cast<uint32_t>(number);
    return PARSE_GO_ON;
}

int Parser::version_option()
{
    const char* value = take_value('c', task_options.version_flags != 0,
                                   {"Version number missing, opion -c.", "Brak numeru wersji, opcja -c."});
    return value && parse_version_argument(value, task_options) ? PARSE_GO_ON : 1;
}

int Parser::ids_option(char letter, uint32_t& family_id, uint32_t& product_id, uint8_t& flags,
                       const MissingText& missing)
{
    const char* value = take_value(letter, family_id != 0 || product_id != 0, missing);
    return value && parse_fid_pid(value, family_id, product_id, flags) ? PARSE_GO_ON : 1;
}

int Parser::typ_option()
{
    if (task_options.replace_typ)
        return refuse_after_usage("Excluding options -x and -y.", "Wykluczające się opcje -x i -y.");
    const TaskOptions& o = task_options;
    const char* value = take_value('y', o.typ_family_id != 0 || o.typ_product_id != 0 || o.typ_code_page != 0,
                                   {"ID missing, opion -y.", "Brak ID, opcja -y."});
    return value && parse_typ_argument(value, task_options) ? PARSE_GO_ON : 1;
}

int Parser::tre_option()
{
    const char* value = take_argument({"Missing parameters, opion -q.", "Brak parametrów, opcja -q."});
    if (!value)
        return 1;
    return parse_tre_argument(value, task_options) ? PARSE_GO_ON : 1;
}

int Parser::list_option()
{
    const char* value = take_argument({"File list missing, opion -@.", "Brak listy plików, opcja -@."});
    if (!value)
        return 1;
    int count = read_file_list(value, inputs_);
    if (count < 0)
        return 1;
    task_options.input_count += static_cast<uint32_t>(count);
    return PARSE_GO_ON;
}

int Parser::usage_option(char previous)
{
    if (command_)
        print_usage(command_);
    else if (previous == 'i')
        print_usage('i');
    else
        print_full_usage();
    return 1;
}

void Parser::set_language(int english)
{
    english_texts = english;
    set_ctype_code_page(english ? 1252 : 1250);
    load_core_messages(nullptr, 0, 0);
}

void Parser::set_preview_limits()
{
    task_options.preview_limits = 1;
    task_options.limit_south = -4171002;  // -89.5 degrees
    task_options.limit_north = 4171002;   // 89.5 degrees
    task_options.limit_east = 8318702;    // 178.5 degrees
    task_options.limit_west = -8318702;   // -178.5 degrees
}

int Parser::act(char letter, char previous)
{
    TaskOptions& o = task_options;
    switch (letter) {
    case '?': return usage_option(previous);
    case '@': return list_option();
    case 'E': set_language(1); return PARSE_GO_ON;
    case 'P': set_language(0); return PARSE_GO_ON;
    default: break;
    }
    if (!strchr(allowed_letters(command_), letter))
        return refuse_letter(letter);

    switch (letter) {
    case 'i': o.show_info = 1; break;
    case 'v': o.verbose = 1; break;
    case 'j': o.join_maps = 1; command_ = letter; break;
    case 'S':
        o.split_mode = 2;
        o.mapsource_split_a = 1;
        o.mapsource_split_b = 1;
        command_ = letter;
        break;
    case 's': o.split_mode = 1; command_ = letter; break;
    case 'G': o.split_mode = 3; o.split_by_fid = 1; command_ = letter; break;
    case 'g': o.split_mode = 4; o.split_subfiles = 1; command_ = letter; break;
    case 'k': o.split_mode = 5; o.split_empty = 1; command_ = letter; break;
    case 'w': o.write_changes = 1; command_ = letter; break;
    case 'h':
        if (command_ == 'w')
            o.header_date_flags = 1;
        else
            o.short_header = 1;
        break;
    case 'q':
        if (command_ == 'w')
            return tre_option();
        if (command_ == 'j') {
            o.remove_dem = 1;
            o.remove_nod = 1;
        } else {
            o.add_empty_dem = 1;
        }
        break;
    case 'z':
        if (command_ == 'w')
            return ids_option('z', o.mps_family_id, o.mps_product_id, o.mps_id_flags,
                              {"Number missing, opion -z.", "Brak numeru, opcja -z."});
        o.nt_format = 1;
        break;
    case 'a': o.other_data = 1; break;
    case 'x':
        if (command_ == 'j') {
            o.no_mps = 1;
        } else if (command_ == 's') {
            o.typ_only = 1;
        } else {
            if (o.typ_fix_flags)
                return refuse_after_usage("Excluding options -x and -y.", "Wykluczające się opcje -x i -y.");
            o.replace_typ = 1;
        }
        break;
    case 'o': return text_option('o', o.output_file, {"Name missing, opion -o.", "Brak nazwy, opcja -o."});
    case 'm': return text_option('m', o.mapset_name, {"Name missing, opion -m.", "Brak nazwy, opcja -m."});
    case 'f':
        return ids_option('f', o.family_id, o.product_id, o.id_flags, {"ID missing, opion -f.", "Brak ID, opcja -f."});
    case 'b': return block_size_option();
    case 'c': return command_ == 'S' ? code_page_option() : version_option();
    case 'l':
        if (command_ == 'S')
            set_preview_limits();
        else if (command_ == 'w')
            o.label_case = 2;
        else
            o.mps_name = 2;
        break;
    case 'L':
        if (command_ == 'S') {
            o.limit_longitude = 1;
            set_preview_limits();
        } else {
            o.label_case = 1;
        }
        break;
    case '1': o.label_case = 3; break;
    case 'n':
        if (command_ == 'S')
            return file_name_option();
        if (command_ == 'w')
            o.transparency = 255;
        else
            o.mps_name = 1;
        break;
    case 't':
        if (command_ == 'w')
            o.transparency = 1;
        else
            o.create_split_list = 1;
        break;
    case '3': o.create_tdb_v3 = 1; break;
    case 'r':
        if (command_ == 'w')
            return text_option('r', o.map_name, {"Name missing, opion -r.", "Brak nazwy, opcja -r."});
        o.marine_tdb = 1;
        break;
    case 'p': return priority_option();
    case 'e': return map_id_option();
    case 'y': return typ_option();
    default: break;
    }
    return PARSE_GO_ON;
}

}  // namespace

int parse_arguments(int argc, char** argv, int first, InputNames& inputs)
{
    Parser parser(argc, argv, inputs);
    return parser.run(first);
}

int parse_fid_pid(const char* text, uint32_t& family_id, uint32_t& product_id, uint8_t& flags)
{
    uint64_t ids[2];
    int count = read_number_list(text, ids, 2);
    if (count == 1 && ids[0] < 65536) {
        family_id = static_cast<uint32_t>(ids[0]);
        product_id = 1;
        flags = 1;
        return 1;
    }
    if (count == 2 && ids[0] < 65536 && ids[1] < 65536) {
        family_id = static_cast<uint32_t>(ids[0]);
        product_id = static_cast<uint32_t>(ids[1]);
        flags = 3;
        return 1;
    }
    if (count == 1)
        print_line("Wrong Family ID.", "Błędny Family ID.");
    else
        print_wrong_ids();
    return 0;
}

int parse_version_argument(const char* text, TaskOptions& options)
{
    options.version_flags = 0;
    memset(options.version_bytes, 0, sizeof options.version_bytes);
    memset(options.product_code, 0, sizeof options.product_code);

    std::string rest = text;
    bool wrong = rest.empty() || rest.size() > 24;
    bool has_code = false;
    size_t first_comma = rest.find(',');
    size_t second_comma = first_comma == std::string::npos ? std::string::npos : rest.find(',', first_comma + 1);
    if (!wrong && second_comma != std::string::npos) {
        std::string code = rest.substr(second_comma + 1);
        if (code.empty())
            code.assign(1, ' ');
        for (unsigned char c : code) {
            if (c < 0x20 || c > 0x5F)
                wrong = true;
        }
        code.resize(sizeof options.product_code, ' ');
        memcpy(options.product_code, code.data(), sizeof options.product_code);
        has_code = true;
        rest.resize(second_comma);
    }

    uint64_t major = 0, minor = 0, ms = 0;
    uint8_t flags = 0;
    const char* p = rest.c_str();
    if (wrong) {
        // refused below
    } else if (has_code && rest == ".,") {
        flags = 8;
    } else if (p[0] == '.' && p[1] == ',') {
        p += 2;
        if (read_decimal(p, ms) && *p == '\0' && ms < 256)
            flags = 4;
    } else if (read_decimal(p, major) && *p == '.' && read_decimal(++p, minor) && major < 256 && minor < 256) {
        if (*p == '\0') {
            flags = 3;
        } else if (*p == ',' && p[1] == '\0') {
            // "major.minor," is complete only when a product code follows.
            flags = has_code ? 3 : 0;
        } else if (*p == ',') {
            ++p;
            if (read_decimal(p, ms) && *p == '\0' && ms < 256)
                flags = 7;
        }
    }
    if (flags == 0) {
        options.version_flags = 0;
        memset(options.product_code, 0, sizeof options.product_code);
        print_line("Wrong version number.", "Błędny numer wersji.");
        return 0;
    }
    if (has_code && flags != 8)
        flags += 8;
    options.version_flags = flags;
    options.version_bytes[0] = static_cast<uint8_t>(major);
    options.version_bytes[1] = static_cast<uint8_t>(minor);
    options.version_bytes[2] = static_cast<uint8_t>(ms);
    return 1;
}

int parse_typ_argument(const char* text, TaskOptions& options)
{
    uint64_t n[3];
    int count = read_number_list(text, n, 3);
    if (count == 0) {
        print_line("Wrong parameters for TYP file.", "Błędne parametry dla pliku TYP.");
        return 0;
    }
    if (count == 1 && n[0] > 65535) {
        print_line("Wrong Family ID.", "Błędny Family ID.");
        return 0;
    }
    if (count >= 2 && (n[0] > 65535 || n[1] > 65535)) {
        print_wrong_ids();
        return 0;
    }
    if (count == 3 && n[2] > 65535) {
        print_line("Wrong CodePage.", "Błędna strona kodowa.");
        return 0;
    }
    options.typ_family_id = static_cast<uint32_t>(n[0]);
    if (count == 1) {
        options.typ_product_id = 1;
        options.typ_code_page = 0;
        options.typ_fix_flags = 1;
    } else if (count == 2) {
        options.typ_product_id = static_cast<uint32_t>(n[1]);
        options.typ_code_page = 0;
        options.typ_fix_flags = n[0] == 0 ? 2 : 3;
    } else {
        options.typ_product_id = static_cast<uint32_t>(n[1]);
        options.typ_code_page = static_cast<uint32_t>(n[2]);
        options.typ_fix_flags = static_cast<uint8_t>(4 + (n[1] != 0 ? 2 : 0) + (n[0] != 0 ? 1 : 0));
    }
    return 1;
}

int parse_tre_argument(const char* text, TaskOptions& options)
{
    uint64_t t[4];
    int count = read_number_list(text, t, 4);
    bool fits = count >= 3 && std::all_of(t, t + count, [](uint64_t v) { return v <= 255; });
    if (!fits) {
        print_text("Wrong parameters TRE %s.\n", "Błędne parametry TRE %s.\n", text);
        return 0;
    }
    if (count == 3)
        t[3] = 0;
    for (int i = 0; i < 4; ++i)
        options.tre_params[i] = static_cast<uint8_t>(t[i]);
    options.tre_param_flags = count == 3 ? 7 : 15;
    return 1;
}

int read_file_list(const char* path, InputNames& list)
{
    // A list is a name given as a file: a FIFO must not hold the run.
    FILE* file = platform::open_regular_file(path, "r");
    if (!file) {
        std::string reason = file_error_reason(errno);
        print_text("File list open error, file: %s (%s).\n", "Błąd otwarcia listy plików, plik: %s (%s).\n", path,
                   reason.c_str());
        return -1;
    }
    // Lines are read whole, however long, so a long name is never cut into
    // two names.
    int count = 0;
    std::string line;
    for (int c = 0; c != EOF;) {
        line.clear();
        while ((c = getc(file)) != EOF && c != '\n')
            line += static_cast<char>(c);
        // Blanks and control characters (bytes below 33) around a name are
        // cut; bytes of 128 and above belong to names in UTF-8.
        auto is_edge = [](char ch) { return static_cast<unsigned char>(ch) < 33; };
        size_t end = line.size();
        while (end > 0 && is_edge(line[end - 1]))
            --end;
        size_t start = 0;
        while (start < end && is_edge(line[start]))
            ++start;
        if (start == end)
            continue;
        list.push_back(line.substr(start, end - start));
        if (task_options.verbose)
            print_text("Input file: %s.\n", "Plik wejściowy: %s.\n", list.back().c_str());
        ++count;
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        print_text("File list read error, file: %s.\n", "Błąd odczytu listy plików, plik: %s.\n", path);
        return -1;
    }
    return count;
}
