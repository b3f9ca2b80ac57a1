// IMG writer: header template, FAT entries, subfile copies, empty DEM
// subfiles and the final header with its checksum byte; and the "dd_"
// message catalogue that the join and the writer print through.
//
// Blocks are handed out consecutively from 0, the first ones to the header
// area itself, so a subfile's blocks are consecutive and every subfile
// starts at bytes_written = block_size * blocks_used. The data of the
// header area is written last; until then the file has a hole there.
#include "operations/img_writer.h"

#include <algorithm>
#include <cstring>

#include "core/byte_view.h"
#include "core/file_names.h"
#include "core/files.h"
#include "core/subfile_headers.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/map_list.h"
#include "core/product_code.h"
#include "platform/platform.h"
#include "operations/gmp_packing.h"
#include "operations/mps_builder.h"
#include "core/task_options.h"

MessageText dd_RWDIFS{"dd_RWDIFS", "Read, wrong data in file %s.\n", "Odczyt, błędne dane w pliku %s.\n"};
MessageText dd_DSFSFX{"dd_DSFSFX", "data %s,  file %sh,  fat %5xh\n", "dane %s,  plik %sh,  fat %5xh\n"};
MessageText dd_FileST{"dd_FileST", "file %s\n", "plik %s\n"};
MessageText dd_MSFSFX{"dd_MSFSFX", "map  %8s,  file %sh,  fat %5xh,  sub-files %2u\n",
                      "mapa %8s,  plik %sh,  fat %5xh,  podpliki %2u\n"};
MessageText dd_Writin{"dd_Writin", "Writing: %s\n", "Zapis: %s\n"};
MessageText dd_WSDuNa{"dd_WSDuNa",
                      "\n== Warning: subfile %s of file %s has the name of a subfile of file %s, the output shows only "
                      "the first of them.\n",
                      "\n== Ostrzeżenie: podplik %s z pliku %s ma nazwę podpliku z pliku %s, plik wynikowy pokaże tylko "
                      "pierwszy z nich.\n"};
MessageText dd_WrDaMa{"dd_WrDaMa", "Writing: data MPS\n", "Zapis: dane MPS\n"};
MessageText dd_OtherT{"dd_OtherT", "other", "inne"};
MessageText dd_WriHea{"dd_WriHea", "Writing: header\n", "Zapis: nagłówek\n"};
MessageText dd_TFLTBK{"dd_TFLTBK", "Total file length too big (sectors %X, %uk).\n",
                      "Całkowita długość pliku za duża (sektory %X, %uk).\n"};
MessageText dd_TFLTBB{"dd_TFLTBB", "Total file length too big (blocks).\n",
                      "Całkowita długość pliku za duża (bloki).\n"};
MessageText dd_TFLTBT{"dd_TFLTBT", "Total file length too big.\n", "Całkowita długość pliku za duża.\n"};
MessageText dd_SBUHUS{"dd_SBUHUS", "Size: block %u, header %u, file %s\n", "Rozmiar: blok %u, nagłówek %u, plik %s\n"};
MessageText dd_Indexe{"dd_Indexe", "indexes", "indeksy"};
MessageText dd_DatTrf{"dd_DatTrf", "data TRF", "dane TRF"};
MessageText dd_DatTyp{"dd_DatTyp", "data TYP", "dane TYP"};
MessageText dd_DatTdb{"dd_DatTdb", "data TDB", "dane TDB"};
MessageText dd_DatMmr{"dd_DatMmr", "data MMR", "dane MMR"};
MessageText dd_DatMd2{"dd_DatMd2", "data MD2", "dane MD2"};
MessageText dd_MapsNt{"dd_MapsNt", "maps NT", "mapy NT"};
MessageText dd_MapMpc{"dd_MapMpc", "maps MPC", "mapy MPC"};
MessageText dd_InFiMi{"dd_InFiMi", "Input files missing.\n", "Brak plików wejściowych.\n"};
MessageText dd_WCTNFW{"dd_WCTNFW", "Conversion to NT format wasn't done, map %s.\n\n",
                      "Nie wykonano konwersji do formatu NT, mapa %s.\n\n"};
MessageText dd_WNDNRF{"dd_WNDNRF", "==Warning: NOD data not removed from NT map %s.\n",
                      "==Ostrzeżenie: dane NOD nie zostały usunięte z mapy NT %s.\n"};
MessageText dd_WDDNRF{"dd_WDDNRF", "==Warning: DEM data not removed from NT map %s.\n",
                      "==Ostrzeżenie: dane DEM nie zostały usunięte z mapy NT %s.\n"};
// A join must never truncate one of its own inputs by writing over it.
MessageText dd_OIAIFS{"dd_OIAIFS", "Output file is also an input file, file %s.\n",
                      "Plik wyjściowy jest też plikiem wejściowym, plik %s.\n"};

static MessageText* const dd_table[] = {&dd_RWDIFS, &dd_DSFSFX, &dd_FileST, &dd_MSFSFX, &dd_Writin, &dd_WrDaMa,
                                        &dd_OtherT, &dd_WriHea, &dd_TFLTBK, &dd_TFLTBB, &dd_TFLTBT, &dd_SBUHUS,
                                        &dd_Indexe, &dd_DatTrf, &dd_DatTyp, &dd_DatTdb, &dd_DatMmr, &dd_DatMd2,
                                        &dd_MapsNt, &dd_MapMpc, &dd_InFiMi, &dd_WCTNFW, &dd_WNDNRF, &dd_WDDNRF,
                                        &dd_OIAIFS, &dd_WSDuNa};

int load_messages_dd(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(dd_table, group, code_page, write);
}

static constexpr char blank_name11[] = "           ";
// A FAT entry numbers its part in one byte.
static constexpr uint64_t max_fat_parts = 256;

// ---------------------------------------------------------------- set-up

int init_img_writer(const OutputSizePlan& plan, ImgWriter& writer)
{
    writer = ImgWriter{};
    writer.block_size = plan.chosen_block_size;
    writer.total_size = plan.planned_total_size;
    writer.header_size = plan.header_size;
    writer.excluded_kinds = plan.excluded_kinds;
    writer.header_area_size = plan.header_area_size;
    writer.mps_capacity = plan.mps_capacity;
    // The header area's own entries come first in the FAT and stay in
    // memory with the header; every later entry is written as it comes.
    uint64_t header_blocks = writer.block_size ? writer.header_area_size / writer.block_size : 0;
    uint64_t own_entries = (header_blocks + FatEntry::block_count - 1) / FatEntry::block_count;
    uint64_t kept = std::min<uint64_t>(writer.header_area_size, writer.header_size + own_entries * FatEntry::size);
    if (!reserve_bytes(writer.header_buffer, static_cast<size_t>(kept))) {
        writer = ImgWriter{};
        return 0;
    }
    return 1;
}

// Exponent e of a block of 2^(9 + e) bytes; 0 for sizes it cannot express.
static uint8_t block_exponent(uint32_t block_size)
{
    uint32_t sectors = block_size / 512;
    if (sectors <= 1 || sectors > 2048)
        return 0;
    uint8_t e = 0;
    while ((1u << e) < sectors)
        ++e;
    return e;
}

// The disk geometry that a file of total_size bytes is described with.
static void put_geometry(ByteSpan h, uint64_t total_size, uint8_t exponent)
{
    uint32_t heads = 16, sectors = 8, per_cylinder = 128, last_head = 15;
    if (total_size >= 0x4000000) {
        heads = 256;
        sectors = 32;
        per_cylinder = 8192;
        last_head = 255;
    } else if (total_size > 0xFFFFFF) {
        sectors = 32;
        per_cylinder = 512;
    }
    uint64_t last_cylinder = ((total_size + 511) >> 9) / per_cylinder;
    uint64_t total_sectors = uint64_t(per_cylinder) * (last_cylinder + 1);
    uint16_t short_total = static_cast<uint16_t>(total_sectors >> exponent);
    h.put_u8(ImgHeader::disk_mark, 2);
    h.put_u16(ImgHeader::sectors_per_track, static_cast<uint16_t>(sectors));
    h.put_u16(ImgHeader::heads, static_cast<uint16_t>(heads));
    h.put_u16(ImgHeader::cylinders, static_cast<uint16_t>(last_cylinder + 1));
    h.put_u16(ImgHeader::heads_2, static_cast<uint16_t>(heads));
    h.put_u16(ImgHeader::sectors_2, static_cast<uint16_t>(sectors));
    h.put_u16(ImgHeader::total_sectors_short, short_total ? short_total : 0xFFFF);
    h.put_u8(ImgHeader::partition_first_head, 1);
    h.put_u8(ImgHeader::partition_last_head, static_cast<uint8_t>(last_head));
    h.put_u8(ImgHeader::partition_sectors, static_cast<uint8_t>(((last_cylinder & 0x300) >> 2) | sectors));
    h.put_u8(ImgHeader::partition_last_cylinder, static_cast<uint8_t>(last_cylinder & 0xFF));
    h.put_u32(ImgHeader::partition_total_sectors, static_cast<uint32_t>(total_sectors));
    h.put_u8(ImgHeader::boot_mark, 0x55);
    h.put_u8(ImgHeader::boot_mark + 1, 0xAA);
}

int init_img_header(ImgWriter& writer)
{
    writer.kinds_written = 1u << FILE_IMG | 1u << FILE_MPS;
    std::vector<uint8_t>& buffer = writer.header_buffer;
    size_t fat = std::min<size_t>(writer.header_size, buffer.size());
    std::fill(buffer.begin(), buffer.begin() + fat, 0);
    // Unused block slots of the FAT entries read 0xFFFF.
    std::fill(buffer.begin() + fat, buffer.end(), 0xFF);
    ByteSpan h(buffer);
    h.put_u8(ImgHeader::first_fat, static_cast<uint8_t>(writer.header_size / 512));
    h.put_bytes(ImgHeader::signature, "DSKIMG", 6);
    h.put_bytes(ImgHeader::garmin, "GARMIN", 6);
    h.put_bytes(ImgHeader::mapset_name_1, std::string(ImgHeader::mapset_name_1_length, ' ').data(),
                ImgHeader::mapset_name_1_length);
    h.put_bytes(ImgHeader::mapset_name_2, std::string(ImgHeader::mapset_name_2_length, ' ').data(),
                ImgHeader::mapset_name_2_length);
    if (writer.header_flags & HEADER_VERSION_MAJOR)
        h.put_u8(ImgHeader::version_major, writer.version_major);
    if (writer.header_flags & HEADER_VERSION_MINOR)
        h.put_u8(ImgHeader::version_minor, writer.version_minor);
    if (writer.header_flags & HEADER_MAPSOURCE_FLAG)
        h.put_u8(ImgHeader::mapsource_flag, writer.mapsource_flag);
    if ((writer.header_flags & HEADER_PRODUCT_CODE) && h.contains(ImgHeader::product_code, 9))
        pack_product_code(std::span<const char, 12>(writer.product_code, 12),
                          std::span<uint8_t, 9>(buffer.data() + ImgHeader::product_code, 9));
    store_current_time(h, ImgHeader::date);
    h.put_u8(ImgHeader::update_month, current_time.month);
    h.put_u8(ImgHeader::update_year, static_cast<uint8_t>((current_time.year - 1900) & 0xFF));
    uint8_t exponent = block_exponent(writer.block_size);
    h.put_u8(ImgHeader::block_base, ImgHeader::block_base_value);
    h.put_u8(ImgHeader::block_exponent, exponent);
    put_geometry(h, writer.total_size, exponent);

    writer.fat_position = writer.header_size;
    writer.blocks_used = 0;
    if (!add_fat_entries(writer, writer.header_area_size, blank_name11))
        return 0;
    h.put_u8(writer.header_size + FatEntry::header_mark, 3);
    writer.mps_buffer.clear();
    writer.byte_sum = 0;
    writer.bytes_written = uint64_t(writer.block_size) * writer.blocks_used;
    writer.position = writer.bytes_written;
    // The name must not change while the output is written.
    writer.out = OutputRun{writer.stream, writer.output_name.c_str(), writer.position, 0};
    if (!writer.stream) {
        report_seek_error(writer.output_name.c_str());
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- FAT and data

// Writes the waiting FAT entries at their place; 0 after "Write error".
static int write_fat_run(ImgWriter& writer)
{
    if (writer.fat_run.empty())
        return 1;
    if (!platform::write_at(writer.stream, writer.fat_run_start, writer.fat_run.data(), writer.fat_run.size())) {
        report_write_error(writer.output_name.c_str());
        return 0;
    }
    writer.byte_sum += sum_bytes(writer.fat_run.data(), writer.fat_run.size());
    writer.fat_run_start += static_cast<uint32_t>(writer.fat_run.size());
    writer.fat_run.clear();
    return 1;
}

// The next FAT entry: into the header image while it has room (the header
// area's own entries), else onto the run of entries waiting to be written.
static uint8_t* next_fat_entry(ImgWriter& writer)
{
    uint32_t at = writer.fat_position;
    writer.fat_position += FatEntry::size;
    if (uint64_t(at) + FatEntry::size <= writer.header_buffer.size())
        return writer.header_buffer.data() + at;
    if (writer.fat_run.empty())
        writer.fat_run_start = at;
    writer.fat_run.resize(writer.fat_run.size() + FatEntry::size);
    return writer.fat_run.data() + writer.fat_run.size() - FatEntry::size;
}

int add_fat_entries(ImgWriter& writer, uint64_t size, const char* name11)
{
    if (writer.block_size == 0)
        return 0;
    uint64_t n = (size + writer.block_size - 1) / writer.block_size;
    if (n == 0)
        return 1;
    uint64_t entries = (n + FatEntry::block_count - 1) / FatEntry::block_count;
    if (size > UINT32_MAX || entries > max_fat_parts ||
        uint64_t(writer.fat_position) + FatEntry::size * entries > writer.header_area_size ||
        writer.blocks_used + n > img_block_limit) {
        log_message(fn_WrSEFS.text(), writer.output_name.c_str());
        return 0;
    }
    std::string name(name11, FatEntry::full_name_length);
    const char* from = writer.current_input ? writer.current_input : writer.output_name.c_str();
    auto [entered, added] = writer.entered_names.try_emplace(name, from);
    if (!added && writer.warned_pairs.insert(std::string(from) + '\n' + entered->second).second) {
        log_message(dd_WSDuNa.text(), dotted_fat_name(name11).c_str(), from, entered->second);
        ++warning_count;
    }
    for (uint64_t part = 0; part < entries; ++part) {
        ByteSpan fat(next_fat_entry(writer), FatEntry::size);
        std::fill_n(fat.data(), FatEntry::blocks, 0);
        // Unused block slots read 0xFFFF.
        std::fill_n(fat.data() + FatEntry::blocks, FatEntry::size - FatEntry::blocks, 0xFF);
        fat.put_u8(FatEntry::flag, 1);
        fat.put_bytes(FatEntry::name, name11, FatEntry::full_name_length);
        fat.put_u32(FatEntry::subfile_size, part == 0 ? static_cast<uint32_t>(size) : 0);
        fat.put_u8(FatEntry::part, static_cast<uint8_t>(part));
        uint64_t count = std::min<uint64_t>(FatEntry::block_count, n - part * FatEntry::block_count);
        for (uint64_t i = 0; i < count; ++i)
            fat.put_u16(FatEntry::blocks + 2 * i, static_cast<uint16_t>(writer.blocks_used++));
    }
    if (writer.fat_run.size() >= fat_run_entries * FatEntry::size)
        return write_fat_run(writer);
    return 1;
}

int write_output_bytes(ImgWriter& writer, const void* bytes, size_t n)
{
    if (n && !put_output_bytes(writer.out, writer.position, bytes, n))
        return 0;
    writer.position += n;
    writer.byte_sum += sum_bytes(bytes, n);
    return 1;
}

int pad_to_block(ImgWriter& writer, uint64_t length)
{
    uint64_t padding = (writer.block_size - length % writer.block_size) % writer.block_size;
    uint64_t end = writer.bytes_written + length;
    bool whole_page = (end + padding) / hole_page > (end + hole_page - 1) / hole_page;
    bool reaches_next_piece = (end + padding) / copy_piece_limit != end / copy_piece_limit;
    // Only reserved space and blocks above the limit leave holes at all.
    bool holes = writer.space_reserved || writer.block_size > zero_padding_limit;
    bool skipped = holes && ((whole_page && reaches_next_piece) || padding > zero_padding_limit);
    if (padding && !skipped && !put_output_bytes(writer.out, end, nullptr, padding))
        return 0;
    writer.bytes_written += length + padding;
    writer.position = writer.bytes_written;
    return 1;
}

// Skipped padding in reserved space costs the page cache nothing, where
// written zeros take a page for every 4 KiB of it and go out to the disk
// later; a hole instead would cost the file system a mapping for every
// subfile as the file is written. Skipped padding also ends the bytes
// gathered for writing, so it is skipped only where it reaches the next
// multiple of copy_piece_limit: at most one extra write for each buffer's
// worth of the file. Larger blocks keep their holes: reserved, their padding
// would take room that it does not take now. Where most padding is a hole
// anyway (blocks above the zero padding limit), shorter padding is skipped
// as well on the same terms, rather than written as zeros.
void reserve_output_space(ImgWriter& writer)
{
    writer.space_reserved = writer.block_size <= zero_padding_limit &&
                            platform::reserve_file_space(writer.stream, writer.total_size);
}

int write_whole_subfile(ImgWriter& writer, const std::vector<uint8_t>& bytes, const char* name11)
{
    if (!write_output_bytes(writer, bytes.data(), bytes.size()) || !pad_to_block(writer, bytes.size()))
        return 0;
    return add_fat_entries(writer, bytes.size(), name11);
}

int write_img_header(ImgWriter& writer)
{
    std::vector<uint8_t>& buffer = writer.header_buffer;
    const size_t header_bytes = buffer.size();
    size_t used = std::min<size_t>(writer.fat_position, header_bytes);
    std::fill(buffer.begin() + used, buffer.end(), 0);
    if (header_bytes > ImgHeader::checksum)
        buffer[ImgHeader::checksum] = 0;
    // Entries still waiting that follow the header image on the disk go out
    // with it, in one write (a split writes one header a map): appended to
    // the image for that write only.
    std::vector<uint8_t>& run = writer.fat_run;
    bool with_run = !run.empty() && writer.fat_run_start == header_bytes;
    if (!flush_output_run(writer.out) || (!with_run && !write_fat_run(writer)))
        return 0;
    writer.byte_sum += sum_bytes(buffer.data(), header_bytes);
    if (with_run)
        writer.byte_sum += sum_bytes(run.data(), run.size());
    if (header_bytes > ImgHeader::checksum)
        buffer[ImgHeader::checksum] = static_cast<uint8_t>(-writer.byte_sum & 0xFF);
    if (with_run)
        buffer.insert(buffer.end(), run.begin(), run.end());
    bool written = platform::write_at(writer.stream, 0, buffer.data(), buffer.size());
    buffer.resize(header_bytes);
    if (with_run) {
        writer.fat_run_start += static_cast<uint32_t>(run.size());
        run.clear();
    }
    // A new output grows only by its writes (the header and FAT lie before
    // its data): when the last data written ends where the file is to end,
    // the file has its length already. Setting it again is not free: ext4
    // passes over the file's blocks even when the length stays the same.
    bool has_length = !writer.space_reserved && writer.out.file_end == writer.bytes_written;
    if (!written || (!has_length && !platform::set_file_length(writer.stream, writer.bytes_written))) {
        report_write_error(writer.output_name.c_str());
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- copies

std::string fat_entry_name(ImgWriter& writer, const char* own_name8, const char* extension3)
{
    std::string name;
    if (writer.rename_subfiles) {
        memcpy(writer.new_extension, extension3, 3);
        writer.new_extension[3] = 0;
        name.assign(writer.new_name, strnlen(writer.new_name, 8));
    } else {
        name.assign(own_name8, strnlen(own_name8, 8));
    }
    name.resize(8, ' ');
    name.append(extension3, 3);
    return name;
}

// What the first bytes of a subfile of a kind must be.
static ExpectedBytes kind_signature(SubfileKind kind)
{
    switch (kind) {
    case SUB_TYP: case SUB_TRF: case SUB_MMR: case SUB_MDR: case SUB_SRT: case SUB_DEM: case SUB_LBL:
    case SUB_NET: case SUB_NOD: case SUB_RGN: case SUB_TRE: case SUB_GMP: case SUB_JCV:
        return {2, 6, "GARMIN"};
    case SUB_TDB:
        return {0, 1, "P"};
    default:
        return {};
    }
}

// Copies one subfile of a container through its block list; a map or data
// subfile must start with its signature.
static int copy_subfile(InputFile& input, SubfileEntry& subfile, ImgWriter& writer)
{
    int copied = copy_subfile_data(input, subfile.fat_slot, subfile.length, writer.out, writer.position,
                                   kind_signature(subfile.kind), writer.byte_sum);
    if (copied < 0)
        log_message(dd_RWDIFS.text(), input.path.c_str());
    if (copied <= 0)
        return 0;
    writer.position += subfile.length;
    if (!pad_to_block(writer, subfile.length))
        return 0;
    std::string name = fat_entry_name(writer, subfile.name, subfile.name + 8);
    if (writer.rename_subfiles) {
        memcpy(subfile.written_name, writer.new_name, 8);
        subfile.written_name[8] = 0;
    }
    return add_fat_entries(writer, subfile.length, name.c_str());
}

template <class Input>
static auto cut_map_subfiles(Input& input, const MapEntry& map)
{
    size_t first = std::min<size_t>(map.first_subfile, input.subfiles.size());
    size_t count = std::min<size_t>(map.subfile_count, input.subfiles.size() - first);
    return std::span(input.subfiles.data() + first, count);
}

std::span<SubfileEntry> map_subfiles(InputFile& input, const MapEntry& map) { return cut_map_subfiles(input, map); }

std::span<const SubfileEntry> map_subfiles(const InputFile& input, const MapEntry& map)
{
    return cut_map_subfiles(input, map);
}

int copy_map_subfiles(InputFile& input, MapEntry& map, ImgWriter& writer, uint32_t kind_mask)
{
    if (task_options.nt_format && map.kind == FILE_MPC) {
        PackResult packed = dopisz_mape_ntk(input, map, writer, kind_mask);
        if (packed == PACK_DONE)
            return 1;
        log_message(dd_WCTNFW.text(), map.name);
        if (packed == PACK_FAILED)
            return 0;
        // Refused before anything was written: the map goes in unpacked,
        // which is not what was asked for.
        ++warning_count;
    }
    if (map.kind == FILE_NT) {
        if (task_options.remove_dem && map.has_dem) {
            log_message(dd_WDDNRF.text(), map.name);
            ++warning_count;
        }
        if (task_options.remove_nod && map.has_nod) {
            log_message(dd_WNDNRF.text(), map.name);
            ++warning_count;
        }
    }
    for (SubfileEntry& subfile : map_subfiles(input, map)) {
        if (((1u << subfile.kind) & kind_mask) && !copy_subfile(input, subfile, writer))
            return 0;
    }
    return 1;
}

// A single-file input goes in whole.
int copy_data_file(InputFile& input, const char* name11, ImgWriter& writer)
{
    uint32_t length = input.data_length;
    if (!copy_file_data(input, 0, length, writer.out, writer.position, writer.byte_sum))
        return 0;
    writer.position += length;
    if (!pad_to_block(writer, length))
        return 0;
    return add_fat_entries(writer, length, name11);
}

int make_fat_name_from_path(const InputFile& input, char out12[12], const char* extension)
{
    memset(out12, ' ', 11);
    out12[11] = 0;
    const std::string& path = input.path;
    // Only the last path component counts, so a '.' in a directory name
    // never puts a separator into a FAT name.
    size_t separator = path.find_last_of("\\/:");
    size_t base = separator == std::string::npos ? 0 : separator + 1;
    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && dot < base)
        dot = std::string::npos;
    if (extension && extension[0] != ' ' && extension[0] != 0) {
        for (int i = 0; i < 3 && extension[i]; ++i)
            out12[8 + i] = extension[i];
    } else if (dot != std::string::npos && dot + 1 < path.size()) {
        for (size_t i = 0; i < 3 && dot + 1 + i < path.size(); ++i)
            out12[8 + i] = path[dot + 1 + i];
    }
    for (size_t i = 0; i < 8 && base + i < path.size() && path[base + i] != '.'; ++i)
        out12[i] = path[base + i];
    return 1;
}

// The map number an 'L' record is generated with: the TRE map ID when it is
// a map number, else the map's name read as a number ("I" and hexadecimal
// digits, or decimal digits) when it is nothing but that number; 0 for none.
static uint32_t map_number_for_l_record(const MapEntry& map)
{
    if (map.tre_info && map.tre_info->map_id >= 1 && map.tre_info->map_id <= 99999999)
        return map.tre_info->map_id;
    const char* name = map.name;
    size_t length = strnlen(name, 8);
    bool hex = length > 0 && name[0] == 'I';
    size_t first = hex ? 1 : 0;
    if (first >= length)
        return 0;
    uint64_t value = 0;
    for (size_t i = first; i < length; ++i) {
        char c = name[i];
        int digit = c >= '0' && c <= '9'                ? c - '0'
                    : hex && c >= 'a' && c <= 'f'       ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F'       ? c - 'A' + 10
                                                        : -1;
        if (digit < 0)
            return 0;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    }
    return value <= UINT32_MAX ? static_cast<uint32_t>(value) : 0;
}

// The map's 'L' record into the MPS: its own, or for MPC and NT maps one
// generated from the task's IDs.
static void add_map_l_record(const InputFile& input, const MapEntry& map, ImgWriter& writer)
{
    if (map.mps_record) {
        ByteView record = mps_record_bytes(input, *map.mps_record);
        append_mps_bytes(writer, record.data(), record.size());
        return;
    }
    if (map.kind != FILE_MPC && map.kind != FILE_NT)
        return;
    uint32_t number = map_number_for_l_record(map);
    if (number)
        append_l_record(writer, static_cast<uint16_t>(task_options.product_id),
                        static_cast<uint16_t>(task_options.family_id), number, input_mapset_name(input));
}

static bool is_map_to_copy(const MapEntry& map, uint32_t file_kind_mask)
{
    return !map.family_skip && ((1u << map.kind) & file_kind_mask);
}

static bool has_maps_to_copy(const InputFile& input, uint32_t file_kind_mask)
{
    for (const MapEntry* map : input.maps)
        if (is_map_to_copy(*map, file_kind_mask))
            return true;
    return false;
}

static int copy_img_input(InputFile& input, uint32_t file_kind_mask, ImgWriter& writer)
{
    if (task_options.verbose)
        log_message(dd_FileST.text(), input.path.c_str());
    for (MapEntry* map : input.maps) {
        if (!is_map_to_copy(*map, file_kind_mask))
            continue;
        if (task_options.verbose)
            log_message(dd_MSFSFX.text(), map->name, format_u64_hex(writer.bytes_written), writer.fat_position,
                        map->subfile_count);
        uint32_t kinds = map->kind == FILE_MPC ? ~writer.excluded_kinds : ~0u;
        if (!copy_map_subfiles(input, *map, writer, kinds))
            return 0;
        add_map_l_record(input, *map, writer);
    }
    return 1;
}

static int copy_single_input(InputFile& input, ImgWriter& writer)
{
    char name[12];
    bool named_by_family = input.fid >= 1 && input.fid <= 0xFFFFFFE &&
                           (input.kind == FILE_TRF || input.kind == FILE_TYP || input.kind == FILE_TDB);
    if (named_by_family) {
        const char* extension = input.kind == FILE_TRF ? "TRF" : input.kind == FILE_TYP ? "TYP" : "TDB";
        snprintf(name, sizeof name, "I%07X%s", input.fid, extension);
    } else {
        const char* extension = "";
        if (input.kind == FILE_MMR)
            extension = "MMR";
        else if (input.kind == FILE_MD2)
            extension = "MD2";
        else if (input.kind == FILE_OTHER)
            extension = get_subfile_kind_name(input.subfile_kind);
        make_fat_name_from_path(input, name, extension);
    }
    if (task_options.verbose)
        log_message(dd_DSFSFX.text(), name, format_u64_hex(writer.bytes_written), writer.fat_position);
    if (!copy_data_file(input, name, writer))
        return 0;
    const TreInfo* tre = input.single_subfile.tre_info.get();
    if ((input.subfile_kind == SUB_TRE || input.subfile_kind == SUB_GMP) && tre && tre->map_id) {
        uint32_t fid = input.fid, pid = input.pid;
        if (pid == 0 && fid == 0) {
            fid = task_options.family_id;
            pid = task_options.product_id;
        }
        append_l_record(writer, static_cast<uint16_t>(pid), static_cast<uint16_t>(fid), tre->map_id,
                        std::string(name, 8));
    }
    return 1;
}

int copy_input_to_img(InputFile& input, uint32_t file_kind_mask, ImgWriter& writer)
{
    if (input.kind != FILE_IMG) {
        static constexpr uint32_t copied_kinds =
            1u << FILE_TRF | 1u << FILE_TYP | 1u << FILE_TDB | 1u << FILE_MMR | 1u << FILE_MD2 | 1u << FILE_OTHER;
        if (!((1u << input.kind) & file_kind_mask & copied_kinds))
            return 1;
    } else if (!has_maps_to_copy(input, file_kind_mask)) {
        // A join passes over every input once for each kind: an input is
        // opened only in the passes that take something from it.
        if (task_options.verbose)
            log_message(dd_FileST.text(), input.path.c_str());
        return 1;
    }
    if (!open_input_file(input, "rb"))
        return 0;
    writer.current_input = input.path.c_str();
    int result = input.kind == FILE_IMG ? copy_img_input(input, file_kind_mask, writer)
                                        : copy_single_input(input, writer);
    writer.current_input = nullptr;
    close_input_file(input);
    return result;
}

// ---------------------------------------------------------------- empty DEM

uint32_t count_dem_levels(const TreInfo& tre)
{
    uint32_t records = std::min<uint32_t>(tre.levels_size, tre.levels.size()) / 4;
    uint32_t levels = 0;
    while (levels < records && !(tre.levels[4 * (records - 1 - levels)] & 0x80))
        ++levels;
    return levels;
}

uint32_t empty_dem_size(uint32_t levels) { return 64 * levels + 37; }

std::vector<uint8_t> build_empty_dem(const TreInfo& tre, uint32_t levels)
{
    std::vector<uint8_t> dem(empty_dem_size(levels), 0);
    ByteSpan d(dem);
    ByteView tre_header(tre.header);
    d.put_u16(0x00, 37);
    d.put_bytes(0x02, "GARMIN DEM", 10);
    d.put_u8(0x0C, 1);
    if (tre_header.contains(0x0E, 7))
        d.put_bytes(0x0E, tre_header.data() + 0x0E, 7);
    d.put_u32(0x15, 1);
    d.put_u16(DemHeader::level_count, static_cast<uint16_t>(levels));
    d.put_u16(DemHeader::record_size, 60);
    d.put_u32(DemHeader::records_offset, 37 + 4 * levels);
    for (uint32_t i = 0; i < levels; ++i)
        d.put_u32(37 + 4 * i, 0x02000000);
    TreBounds b = tre_bounds(tre);
    for (uint32_t i = 0; i < levels; ++i) {
        uint32_t r = 37 + 4 * levels + 60 * i;
        d.put_u8(r + 0x01, static_cast<uint8_t>(i));
        d.put_u32(r + 0x02, 64);
        d.put_u32(r + 0x06, 64);
        d.put_u32(r + 0x0A, 2);
        d.put_u32(r + 0x0E, 2);
        d.put_u16(r + 0x1C, 16);
        d.put_u16(r + 0x1E, 4);
        d.put_u32(r + DemHeader::record_first, 37 + 4 * i);
        d.put_u32(r + DemHeader::record_second, 41 + 4 * i);
        d.put_u32(r + 0x28, static_cast<uint32_t>(b.west) << 8);
        d.put_u32(r + 0x2C, static_cast<uint32_t>(b.north) << 8);
        d.put_u32(r + 0x30, static_cast<uint32_t>((b.north + 2 - b.south) / 3) << 8);
        d.put_u32(r + 0x34, static_cast<uint32_t>((b.east + 2 - b.west) / 3) << 8);
    }
    return dem;
}

std::vector<uint8_t> build_empty_dem_for_map(const MapEntry& map)
{
    if (!map.tre_info)
        return {};
    uint32_t levels = count_dem_levels(*map.tre_info);
    return levels ? build_empty_dem(*map.tre_info, levels) : std::vector<uint8_t>{};
}

int zapisz_mape_emdem(InputFile&, MapEntry& map, ImgWriter& writer)
{
    if ((map.kind != FILE_MPC && map.kind != FILE_NT) || !map.tre_info)
        return 1;
    debug_message(DBG_DEM, "zapisz_mape_emdem\n");
    std::vector<uint8_t> dem = build_empty_dem_for_map(map);
    if (dem.empty()) {
        debug_message(DBG_DEM, "zapisz_mape_emdem brak levels\n");
        return 1;
    }
    if (!write_output_bytes(writer, dem.data(), dem.size()) || !pad_to_block(writer, dem.size()))
        return 0;
    std::string name = fat_entry_name(writer, map.name, "DEM");
    if (!add_fat_entries(writer, dem.size(), name.c_str())) {
        debug_message(DBG_DEM, "zapisz_mape_emdem blad fat\n");
        return 0;
    }
    map.has_dem = 1;
    map.dem_length = static_cast<uint32_t>(dem.size());
    return 1;
}
