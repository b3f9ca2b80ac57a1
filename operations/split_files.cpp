// Split file copies and outline maps.
//
// Copies read through the input's FAT block lists (or from the start of a
// single file) with its XOR undone, in bounded pieces, so no copy holds more
// than one piece in memory. Text outputs are built whole in memory and
// written in one go; a failure to write them is reported, never swallowed.
#include "operations/split_files.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

#include "core/file_names.h"
#include "core/files.h"
#include "core/host.h"
#include "core/text_format.h"
#include "operations/img_writer.h"
#include "core/task_options.h"

// ---------------------------------------------------------------- names

// The first n bytes of text up to its first NUL, without trailing bytes of
// 32 and below; at least keep bytes are kept when there are that many.
static std::string trimmed_field(const char* text, size_t n, size_t keep)
{
    size_t length = 0;
    while (length < n && text[length])
        ++length;
    while (length > keep && static_cast<unsigned char>(text[length - 1]) <= 32)
        --length;
    return std::string(text, length);
}

std::string make_subfile_file_name(const char* name8, const char* extension3)
{
    std::string name = trimmed_field(name8, 8, 1) + "." + trimmed_field(extension3, 3, 0);
    sanitise_output_file_name(name);
    return name;
}

// A map name as printed into a text output: blanks cut, control bytes
// replaced, so a hostile name cannot start a line of its own.
static std::string printable_map_name(const char* name8)
{
    std::string name = trimmed_field(name8, 8, 0);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 32)
            c = '_';
    return name;
}

// ---------------------------------------------------------------- copies

static bool write_bytes(FILE* stream, const void* bytes, size_t n)
{
    return n == 0 || fwrite(bytes, 1, n, stream) == n;
}

// Copies length bytes of the subfile at row slot to stream in pieces of at
// most chunk bytes through buffer. 1 ok; -1 after a read failure (logged by
// the reader); 0 after a write failure (not logged).
static int copy_subfile_bytes(InputFile& input, uint32_t slot, uint32_t length, FILE* stream,
                              std::vector<uint8_t>& buffer)
{
    for (uint32_t done = 0; done < length;) {
        uint32_t n = std::min<uint32_t>(length - done, static_cast<uint32_t>(buffer.size()));
        if (!read_subfile_data(input, slot, done, buffer.data(), n))
            return -1;
        if (!write_bytes(stream, buffer.data(), n))
            return 0;
        done += n;
    }
    return 1;
}

// A copy buffer of the smaller of the largest piece and chunk bytes.
static int reserve_copy_buffer(std::vector<uint8_t>& buffer, uint64_t largest, uint32_t chunk)
{
    return reserve_bytes(buffer, static_cast<size_t>(std::max<uint64_t>(1, std::min<uint64_t>(largest, chunk))));
}

static const char* data_map_extension(const MapEntry& map)
{
    switch (map.kind) {
    case FILE_TRF:
        return "TRF";
    case FILE_TYP:
        return "TYP";
    case FILE_TDB:
        return "TDB";
    case FILE_MMR:
        return "MMR";
    case FILE_MD2:
        return "MD2";
    case FILE_MPS:
        return "MPS";
    case FILE_OTHER:
        return nullptr;
    default:
        return "dat";
    }
}

int write_data_map_file(InputFile& input, SplitRun& run, MapEntry& map, uint32_t chunk)
{
    std::string name = trimmed_field(map.name, 8, 1);
    if (map.ordinal)
        name.append(1, '-').append(std::to_string(map.ordinal));
    const char* extension = data_map_extension(map);
    name += ".";
    name += extension ? std::string(extension) : trimmed_field(map.extension, 3, 0);
    sanitise_output_file_name(name);
    map.output_file_name = name;

    if (task_options.verbose)
        log_message(pd_WDSSLU.text(), map.name, name.c_str(), map.length);
    else
        log_message(pd_WrDaSS.text(), map.name, name.c_str());
    FILE* stream = create_output_file(name.c_str(), 0);
    if (!stream) {
        ++error_count;
        return 1;
    }
    add_split_list_line(run, name);

    std::span<const SubfileEntry> subfiles = map_subfiles(input, map);
    uint32_t largest = 0;
    for (const SubfileEntry& subfile : subfiles)
        largest = std::max(largest, subfile.length);
    std::vector<uint8_t> buffer;
    if (!reserve_copy_buffer(buffer, largest, chunk)) {
        finish_output_file(stream, 0);
        return 0;
    }
    for (const SubfileEntry& subfile : subfiles) {
        int copied = copy_subfile_bytes(input, subfile.fat_slot, subfile.length, stream, buffer);
        if (copied <= 0) {
            if (copied == 0)
                report_write_error(name.c_str());
            finish_output_file(stream, 0);
            return 0;
        }
    }
    return finish_output_file(stream, 1);
}

int copy_data_file_to_output(InputFile& input)
{
    log_message(pd_SpMDFS.text(), input.path.c_str());
    set_input_base_name(input);
    std::vector<uint8_t> buffer;
    if (!reserve_copy_buffer(buffer, input.data_length, whole_file_copy_chunk))
        return 0;
    if (!open_input_file(input, "rb"))
        return 0;
    const char* name = input.base_name.c_str();
    FILE* stream = create_output_file(name, 1);
    if (!stream) {
        close_input_file(input);
        return 0;
    }
    if (task_options.verbose)
        log_message(pd_WrDSLU.text(), name, input.data_length);
    else
        log_message(pd_WriDaS.text(), name);

    int result = 1;
    for (uint32_t done = 0; done < input.data_length;) {
        uint32_t n = std::min<uint32_t>(input.data_length - done, static_cast<uint32_t>(buffer.size()));
        if (!read_file_at(input, buffer.data(), done, n)) {
            result = 0;
            break;
        }
        if (!write_bytes(stream, buffer.data(), n)) {
            report_write_error(name);
            result = 0;
            break;
        }
        done += n;
    }
    result = finish_output_file(stream, result);
    close_input_file(input);
    return result;
}

int copy_input_subfiles(InputFile& input, SplitRun& run)
{
    uint32_t largest = 0;
    for (const SubfileEntry& subfile : input.subfiles)
        largest = std::max(largest, subfile.length);
    std::vector<uint8_t> buffer;
    if (!reserve_copy_buffer(buffer, largest, subfile_copy_chunk)) {
        ++error_count;
        return 0;
    }
    for (const SubfileEntry& subfile : input.subfiles) {
        if (subfile.kind == SUB_NONE)
            continue;
        std::string name = make_subfile_file_name(subfile.name, subfile.name + 8);
        if (task_options.verbose)
            log_message(pd_WrSSLU.text(), name.c_str(), subfile.length);
        else
            log_message(pd_WriSuS.text(), name.c_str());
        FILE* stream = create_output_file(name.c_str(), 0);
        if (!stream) {
            ++error_count;
            continue;
        }
        add_split_list_line(run, name);
        // A failed read has named the input it failed in.
        int copied = copy_subfile_bytes(input, subfile.fat_slot, subfile.length, stream, buffer);
        if (copied == 0)
            report_write_error(name.c_str());
        if (!finish_output_file(stream, copied > 0)) {
            ++error_count;
            return 0;
        }
    }
    return 1;
}

// ---------------------------------------------------------------- outline maps and bounds lists

static double units_to_degrees(int32_t units) { return units * (360.0 / 16777216.0); }

int write_outline_map(const TreInfo& tre, uint32_t code_page, const char* name8)
{
    uint32_t records = std::min<uint32_t>(tre.levels_size, static_cast<uint32_t>(tre.levels.size())) / 4;
    const uint8_t* level = tre.levels.data();
    if (records == 0 || (level[4 * (records - 1)] & 0x80))
        return 1;
    // The levels that hold data of their own are the last ones, up to the
    // first inherited one counted from the end.
    uint32_t n = 0;
    while (n < records && !(level[4 * (records - 1 - n)] & 0x80))
        ++n;
    bool closed = n < records;
    uint32_t closing = records - 1 - n;  // the inherited record, when closed

    std::string name = make_subfile_file_name(name8, "mp ");
    log_message(pd_Writin.text(), name.c_str());
    FILE* stream = create_output_file(name.c_str(), 1);
    if (!stream)
        return 0;

    std::string map_name = printable_map_name(name8);
    uint32_t id = tre.map_id;
    std::string text = "[IMG ID]\r\n";
    if (task_options.compiler_is_maptk)
        append_format(text, ";ID=I%07X\r\nID=%u\r\n", id, id);
    else if (map_name[0] == 'I')
        append_format(text, "ID=%s\r\n;ID=%u\r\n", map_name.c_str(), id);
    else if (map_name[0] < '0' || map_name[0] > '9')
        append_format(text, "ID=I%07X\r\n;ID=%u\r\n", id, id);
    else
        append_format(text, ";ID=I%07X\r\nID=%s\r\n", id, map_name.c_str());
    append_format(text, "Name=Map %s\r\n", map_name.c_str());
    append_format(text, ";LBLcoding=9\r\n;CodePage=%u\r\nPreprocess=N\r\nTreSize=1024\r\nTreMargin=0.0\r\n"
                        "RgnLimit=5000\r\n;Transparent=Y\r\n", code_page);
    // A section without an inherited level has no closing level to declare.
    append_format(text, "Levels=%u\r\n", closed ? n + 1 : n);
    for (uint32_t k = 0; k < n; ++k)
        append_format(text, "Level%u=%u\r\n", k, level[4 * (records - 1 - k) + 1]);
    if (closed)
        append_format(text, "Level%u=%u\r\n", n, level[1]);
    for (uint32_t k = 0; k < n; ++k)
        append_format(text, "Zoom%u=%u\r\n", k, level[4 * (records - 1 - k)]);
    if (closed)
        append_format(text, "Zoom%u=%u\r\n", n, level[4 * closing] & 0x7F);
    text += "[END-IMG ID]\r\n\r\n";

    TreBounds b = tre_bounds(tre);
    double north = units_to_degrees(b.north), south = units_to_degrees(b.south);
    double east = units_to_degrees(b.east), west = units_to_degrees(b.west);
    clamp_latitude(north, 24);
    clamp_latitude(south, 24);
    clamp_longitude(east, 24);
    clamp_longitude(west, 24);
    append_format(text, "[POLYGON]\r\nType=0x4B\r\n"
                        "Data0=(%1.7lf,%1.7lf),(%1.7lf,%1.7lf),(%1.7lf,%1.7lf),(%1.7lf,%1.7lf)\r\n[END]\r\n\r\n",
                  south, west, north, west, north, east, south, east);
    append_format(text, "[POI]\r\nType=0x28\r\nData0=(%1.7lf,%1.7lf)\r\n", south, west);
    if (n != 1)
        append_format(text, "Endlevel=%u\r\n", n - 1);
    text += "[END]\r\n\r\n";

    bool written = write_bytes(stream, text.data(), text.size());
    if (!written)
        report_write_error(name.c_str());
    return finish_output_file(stream, written);
}

int write_map_bounds_line(FILE* list, const TreInfo& tre, const char* name8)
{
    if (!list)
        return 0;
    TreBounds b = tre_bounds(tre);
    std::string text;
    append_format(text, "%u: %i,%i to %i,%i\r\n", tre.map_id, b.south, b.west, b.north, b.east);
    append_format(text, "# %s: %1.7lf,%1.7lf to %1.7lf,%1.7lf\r\n\r\n", printable_map_name(name8).c_str(),
                  units_to_degrees(b.south), units_to_degrees(b.west), units_to_degrees(b.north),
                  units_to_degrees(b.east));
    return write_bytes(list, text.data(), text.size()) && !ferror(list);
}
