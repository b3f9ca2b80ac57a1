// Reading an input: IMG container or single subfile file.
//
// The container test looks at no more than the first 8 KiB: "GARMIN" at 0x41
// (or its XOR-ed form, which gives away the XOR byte), then the signature.
// Everything else is a single file, classified by name and signature. The
// header+FAT area is taken from those first bytes when it lies inside them
// (else the rest is read in one piece) and kept with the XOR undone, trimmed
// after its last used entry when that saves more than a block. An input costs
// an open, the size from the file's status, one read of its start and the
// reads of the subfile headers, which the read window gathers into as few
// reads as their places allow.
#include "core/reader.h"

#include "core/file_names.h"

#include <strings.h>
#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>

#include "core/codepage.h"
#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/map_list.h"
#include "core/read_window.h"
#include "core/subfile_headers.h"
#include "core/subfile_table.h"
#include "core/task_options.h"
#include "platform/platform.h"

MessageText od_ReaFiS{"od_ReaFiS", "Reading file %s.\n", "Czytanie pliku %s.\n"};
MessageText od_WHDGFS{"od_WHDGFS", "Wrong header (DSKIMG GARMIN), file %s.\n",
                      "Błędny nagłówek (DSKIMG GARMIN), plik %s.\n"};
MessageText od_WHBSFS{"od_WHBSFS", "Wrong header (block size), file %s.\n",
                      "Błędny nagłówek (rozmiar bloku), plik %s.\n"};
MessageText od_WHFFFS{"od_WHFFFS", "Wrong header (first FAT), file %s.\n",
                      "Błędny nagłówek (pierwszy wpis FAT), plik %s.\n"};
MessageText od_HLNEFS{"od_HLNEFS", "Header length not even, file %s.\n",
                      "Długość nagłówka nie jest wielokrotnością bloku, plik %s.\n"};
MessageText od_WHFSFS{"od_WHFSFS", "Wrong header (fat size), file %s.\n", "Błędny nagłówek (rozmiar FAT), plik %s.\n"};
MessageText od_BDITSF{"od_BDITSF", "Bad data in TRE subfile, file %s.\n", "Błędne dane w podpliku TRE, plik %s.\n"};
MessageText od_BDILSF{"od_BDILSF", "Bad data in LBL subfile, file %s.\n", "Błędne dane w podpliku LBL, plik %s.\n"};
MessageText od_WFFSSF{"od_WFFSSF", "Wrong FAT for subfile %s, file %s.\n", "Błędna tablica FAT podpliku %s, plik %s.\n"};
MessageText od_BDIYSF{"od_BDIYSF", "== Warning: Bad data in TYP subfile, file %s.\n",
                      "== Ostrzeżenie: błędne dane w podpliku TYP, plik %s.\n"};
MessageText od_BDIBSF{"od_BDIBSF", "== Warning: Bad data in TDB subfile, file %s.\n",
                      "== Ostrzeżenie: błędne dane w podpliku TDB, plik %s.\n"};
MessageText od_BDIRSF{"od_BDIRSF", "== Warning: Bad data in TRF subfile, file %s.\n",
                      "== Ostrzeżenie: błędne dane w podpliku TRF, plik %s.\n"};
MessageText od_BDISSF{"od_BDISSF", "== Warning: Bad data in %s subfile, file %s.\n",
                      "== Ostrzeżenie: błędne dane w podpliku %s, plik %s.\n"};
MessageText od_MaAnEr{"od_MaAnEr", "Map analyse error.\n", "Błąd analizy map.\n"};
MessageText od_MuDaMI{"od_MuDaMI", "Multiple data MPS, ignored.\n", "Wiele podplików MPS, pominięte.\n"};
MessageText od_NoMRFS{"od_NoMRFS", "No MPS records, file %s.\n", "Brak rekordów MPS, plik %s.\n"};
MessageText od_WMRSDS{"od_WMRSDS", "Wrong MPS records size, file %s.\n", "Błędny rozmiar rekordów MPS, plik %s.\n"};
// A single-file input's length is kept in 32 bits: a longer file is refused
// rather than read short.
MessageText od_FiTBFS{"od_FiTBFS", "File too big (4 GiB or more), file %s.\n",
                      "Plik za duży (4 GiB lub więcej), plik %s.\n"};

// Two subfiles on one block: a write to one would change the other.
MessageText od_BlCTSF{"od_BlCTSF", "Block %u claimed by subfiles %s and %s, file damaged, file %s.\n",
                      "Blok %u zajęty przez podpliki %s i %s, plik uszkodzony, plik %s.\n"};

static MessageText* const od_table[] = {&od_ReaFiS, &od_WHDGFS, &od_WHBSFS, &od_WHFFFS, &od_HLNEFS, &od_WHFSFS,
                                        &od_BDITSF, &od_BDILSF, &od_WFFSSF, &od_BDIYSF, &od_BDIBSF, &od_BDIRSF,
                                        &od_BDISSF, &od_MaAnEr, &od_MuDaMI, &od_NoMRFS, &od_WMRSDS, &od_FiTBFS,
                                        &od_BlCTSF};

int load_messages_od(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(od_table, group, code_page, write);
}

// The container test reads at most this much of the file start. It holds the
// header+FAT area of a map tile of a dozen FAT entries; a larger area costs
// one more read. Each page more would cost every input its copy.
static constexpr uint32_t detection_size = 8192;
// A file shorter than this is never taken for a container.
static constexpr uint32_t min_container_size = 2048;
static constexpr uint64_t unknown_size = UINT64_MAX;

int read_file_size(InputFile& file)
{
    uint64_t length = 0;
    if (!platform::file_length(file.stream, length)) {
        report_seek_error(file.path.c_str());
        return 0;
    }
    file.file_size = length;
    return poll_stop_request() ? 0 : 1;
}

// The XOR byte of the container whose first bytes these are, or -1 when they
// are not those of an IMG container.
static int detect_container(ByteView head)
{
    if (head.size() < min_container_size)
        return -1;
    static const char garmin[] = "GARMIN";
    uint8_t x = 0;
    if (!head.matches(ImgHeader::garmin, garmin)) {
        x = head.u8(ImgHeader::garmin) ^ 'G';
        if (x == 0)
            return -1;
        for (uint32_t i = 1; i < ImgHeader::garmin_length; ++i)
            if ((head.u8(ImgHeader::garmin + i) ^ x) != garmin[i])
                return -1;
    }
    bool dskimg = true;
    bool dsdimg = true;
    for (uint32_t i = 0; i < ImgHeader::signature_length; ++i) {
        uint8_t c = head.u8(ImgHeader::signature + i) ^ x;
        dskimg = dskimg && c == "DSKIMG"[i];
        dsdimg = dsdimg && c == "DSDIMG"[i];
    }
    return dskimg || dsdimg ? x : -1;
}

// The offset of the header+FAT entry: where byte 0x40 points when an entry
// starts there, else the first found searching down from 4608 to 512.
static bool find_first_fat(ByteView head, uint32_t& first_fat)
{
    uint64_t n = head.size();
    uint64_t at = uint64_t(head.u8(ImgHeader::first_fat)) * ImgHeader::sector_size;
    if (at != 0 && at + FatEntry::size <= n && is_header_fat_entry(head, at)) {
        first_fat = static_cast<uint32_t>(at);
        return true;
    }
    if (n < 2 * ImgHeader::sector_size)
        return false;
    uint64_t start = n >= 5120 ? 4608 : (n - 512) / 512 * 512;
    for (at = start; at >= 512; at -= 512) {
        if (is_header_fat_entry(head, at)) {
            first_fat = static_cast<uint32_t>(at);
            return true;
        }
    }
    return false;
}

// One FatSlot per FAT entry from fat_offset, each standing for itself.
static bool make_fat_slots(InputFile& file)
{
    try {
        file.fat_slots.assign(file.fat_entry_count, FatSlot{});
    } catch (const std::bad_alloc&) {
        log_message(fn_OuOfMe.text());
        return false;
    }
    for (uint32_t i = 0; i < file.fat_entry_count; ++i) {
        FatSlot& slot = file.fat_slots[i];
        slot.entry_offset = file.fat_offset + i * FatEntry::size;
        slot.name_entry = slot.entry_offset;
    }
    return true;
}

// Reads the header+FAT area of a container whose first bytes (XOR undone)
// are head, and fills the header and FAT fields.
static int read_container_header(InputFile& file, ByteView head)
{
    const char* path = file.path.c_str();
    uint8_t base = head.u8(ImgHeader::block_base);
    uint8_t exponent = head.u8(ImgHeader::block_exponent);
    if (base != ImgHeader::block_base_value || exponent > ImgHeader::max_block_exponent) {
        log_message(od_WHBSFS.text(), path);
        return 0;
    }
    file.block_size = 512u << exponent;

    uint32_t first_fat = 0;
    if (!find_first_fat(head, first_fat)) {
        log_message(od_WHFFFS.text(), path);
        return 0;
    }
    file.first_fat_offset = first_fat;

    uint64_t h = head.u32(first_fat + FatEntry::subfile_size);
    if (h % file.block_size != 0 && task_options.verbose)
        log_message(od_HLNEFS.text(), path);
    if (file.file_size == unknown_size || h > file.file_size || h < uint64_t(first_fat) + 2 * FatEntry::size) {
        log_message(od_WHFSFS.text(), path);
        return 0;
    }

    // The area usually lies inside the first bytes already read; the rest of
    // a longer one is read after them in one piece.
    if (!reserve_bytes(file.header_buffer, h))
        return 0;
    uint64_t have = std::min<uint64_t>(head.size(), h);
    memcpy(file.header_buffer.data(), head.data(), have);
    if (have < h) {
        uint32_t rest = static_cast<uint32_t>(h - have);
        if (!platform::read_at(file.stream, have, file.header_buffer.data() + have, rest)) {
            report_read_error(path);
            return 0;
        }
        if (file.xor_mask)
            xor_buffer(file.header_buffer.data() + have, rest, file.xor_mask);
    }
    ByteView area(file.header_buffer);

    // Entries with a blank name after the header+FAT entry continue it; the
    // subfiles' FAT starts at the first named one.
    uint64_t fat_offset = first_fat + FatEntry::size;
    while (fat_offset + FatEntry::size <= h && has_blank_fat_name(area, fat_offset))
        fat_offset += FatEntry::size;
    file.fat_offset = static_cast<uint32_t>(fat_offset);
    file.header_blocks = static_cast<uint32_t>((h + file.block_size - 1) / file.block_size);
    uint64_t total = (file.file_size + file.block_size - 1) / file.block_size;
    file.total_blocks = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));

    // Free entries after the last used one are dropped when they make up
    // more than a block.
    uint64_t trimmed = fat_offset + FatEntry::size;
    for (uint64_t entry = fat_offset; entry + FatEntry::size <= h; entry += FatEntry::size)
        if (area.u8(entry + FatEntry::flag) != 0)
            trimmed = entry + FatEntry::size;
    if (h > trimmed + file.block_size) {
        h = trimmed;
        file.header_buffer.resize(h);
        file.header_buffer.shrink_to_fit();
    }
    file.header_length = file.fat_end = static_cast<uint32_t>(h);
    file.fat_entry_count = static_cast<uint32_t>((h - fat_offset) / FatEntry::size);
    if (!make_fat_slots(file))
        return 0;
    debug_message(DBG_READ, "naglowek %u, FAT od %x, wpisow %u, blok %u\n", file.header_length, file.fat_offset,
                  file.fat_entry_count, file.block_size);
    return poll_stop_request() ? 0 : 1;
}

int read_img_header(InputFile& file)
{
    const char* path = file.path.c_str();
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(file.file_size, detection_size));
    ByteView head = fill_read_window(file, 0, n);
    if (head.size() != n) {
        report_read_error(path);
        return 0;
    }
    int x = detect_container(head);
    if (x >= 0) {
        // The XOR byte is only believed once the signature has confirmed it:
        // a single file must never be read through a mask.
        file.xor_mask = uint32_t(x) * 0x01010101u;
        return read_container_header(file, unmask_read_window(file));
    }
    // The window holds the bytes as they are; a mask set on the file before
    // would make them differ from what its reads give.
    if (file.xor_mask)
        release_read_window(file);
    if (!recognise_single_file(file, head)) {
        log_message(od_WHDGFS.text(), path);
        return 0;
    }
    if (file.file_size > UINT32_MAX) {
        log_message(od_FiTBFS.text(), path);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- single files

int recognise_single_file(InputFile& file, ByteView bytes)
{
    const std::string& path = file.path;
    if (path.size() < 4)
        return 0;
    const char* extension = path.c_str() + path.size() - 4;
    auto has_extension = [extension](const char* wanted) { return strcasecmp(extension, wanted) == 0; };
    auto take = [&file](FileKind kind, SubfileKind subfile_kind) {
        file.kind = kind;
        file.subfile_kind = subfile_kind;
        file.data_length = static_cast<uint32_t>(file.file_size);
        return 1;
    };
    size_t n = bytes.size();
    uint32_t header_length = bytes.u16(0);

    if (has_extension(".typ") && n >= 18 && bytes.matches(2, "GARMIN TYP")) {
        if (n >= 51 && header_length >= 51) {
            file.data_code_page = bytes.u16(21);
            file.fid = bytes.u16(47);
            file.pid = bytes.u16(49);
        }
        return take(FILE_TYP, SUB_TYP);
    }
    if (has_extension(".trf") && n >= 18 && bytes.matches(2, "GARMIN TRF")) {
        if (n >= 41 && header_length >= 41)
            file.data_code_page = bytes.u16(39);
        return take(FILE_TRF, SUB_TRF);
    }
    if (has_extension(".mmr") && n >= 18 && bytes.matches(2, "GARMIN MMR")) {
        if (n >= 142 && header_length >= 142)
            file.data_code_page = bytes.u16(140);
        return take(FILE_MMR, SUB_MMR);
    }
    if (has_extension(".md2") && bytes.contains(0, 4) && bytes.u32(0) == 236)
        return take(FILE_MD2, SUB_MD2);
    if (has_extension(".idx") && n >= 53 && bytes.matches(4, "ISM.IDX"))
        return take(FILE_ISM, SUB_IDX);
    if (has_extension(".qsi") && n >= 17 && bytes.matches(0, "QSI"))
        return take(FILE_QSI, SUB_QSI);
    if (has_extension(".sid") && n >= 17 && bytes.matches(0, "GARMIN SID"))
        return take(FILE_SID, SUB_SID);
    if (has_extension(".jcv") && n >= 18 && bytes.matches(2, "GARMIN JCV"))
        return take(FILE_JCV, SUB_JCV);

    static const struct {
        const char* signature;
        SubfileKind kind;
    } subfile_signatures[] = {
        {"GARMIN TRE", SUB_TRE}, {"GARMIN RGN", SUB_RGN}, {"GARMIN LBL", SUB_LBL}, {"GARMIN NET", SUB_NET},
        {"GARMIN NOD", SUB_NOD}, {"GARMIN DEM", SUB_DEM}, {"GARMIN GMP", SUB_GMP}, {"GARMIN MDR", SUB_MDR},
        {"GARMIN SRT", SUB_SRT}, {"GARMIN MMR", SUB_MMR},
    };
    if (n >= 32)
        for (const auto& s : subfile_signatures)
            if (bytes.matches(2, s.signature))
                return take(FILE_OTHER, s.kind);

    if (has_extension(".tdb") && n >= 9 && bytes.u8(0) == 'P') {
        file.fid = bytes.u16(5);
        file.pid = bytes.u16(3);
        return take(FILE_TDB, SUB_TDB);
    }
    if (task_options.other_data)
        return take(FILE_OTHER, SUB_NONE);
    return 0;
}

// A part of a single file that can't be read leaves the other parts worth
// knowing, so one failed reader does not stop the next; the result still
// says that one failed.
static int run_every_reader(InputFile& file, std::initializer_list<int (*)(InputFile&, SubfileEntry*)> readers)
{
    int all_read = 1;
    for (auto reader : readers)
        all_read &= reader(file, nullptr);
    return all_read;
}

int describe_single_subfile(InputFile& file)
{
    SubfileEntry& subfile = file.single_subfile;
    subfile.kind = file.subfile_kind;
    subfile.length = file.data_length;
    subfile.fat_slot = 0;
    const char* base = path_base_name(file.path.c_str());
    for (int i = 0; i < 8; ++i)
        subfile.name[i] = ' ';
    for (int i = 0; i < 8 && base[i] != '.' && static_cast<uint8_t>(base[i]) >= 32; ++i)
        subfile.name[i] = base[i];
    const char* kind_name = get_subfile_kind_name(file.subfile_kind);
    for (int i = 0; i < 3; ++i)
        subfile.name[8 + i] = kind_name[i];
    subfile.name[11] = 0;

    switch (file.subfile_kind) {
    case SUB_MDR:
        dump_mdr_header(file, nullptr);
        return read_mdr_header(file, nullptr);
    case SUB_TYP:
    case SUB_TDB:
    case SUB_TRF:
    case SUB_MMR:
    case SUB_MD2:
    case SUB_IDX:
    case SUB_QSI:
    case SUB_SID:
    case SUB_JCV:
        return read_other_header(file, nullptr);
    case SUB_TRE:
    case SUB_LBL:
    case SUB_DEM:
        return run_every_reader(file, {read_tre_header, read_lbl_header, read_dem_header});
    case SUB_GMP:
        dump_gmp_header(file, nullptr);
        return run_every_reader(file, {read_gmp_header, read_tre_header, read_lbl_header, read_dem_header});
    default:
        return 1;
    }
}

// ---------------------------------------------------------------- the whole read

static int fail_read(InputFile& file, ReadStatus status)
{
    file.status = status;
    ++error_count;
    close_input_file(file);
    return 0;
}

int read_input_file(InputFile& file)
{
    const char* path = file.path.c_str();
    if (task_options.announce_files)
        log_message(od_ReaFiS.text(), path);
    debug_message(DBG_READ, "czytanie pliku %s\n", path);
    ReadWindowScope window(file);
    if (!open_input_file(file, "rb"))
        return fail_read(file, READ_OPEN_FAILED);
    if (!read_file_size(file))
        return fail_read(file, READ_SIZE_FAILED);
    if (!read_img_header(file))
        return fail_read(file, READ_HEADER_BAD);
    if (file.kind == FILE_IMG) {
        if (!read_subfile_table(file))
            return fail_read(file, READ_SUBFILES_BAD);
        if (!build_map_list(file))
            return fail_read(file, READ_MAPS_BAD);
        if (!czytaj_mpsr(file))
            return fail_read(file, READ_MPS_FAILED);
        if (!analizuj_mpsr(file))
            return fail_read(file, READ_MPS_ANALYSIS_FAILED);
        choose_file_code_page(file);
    } else if (file.subfile_kind != SUB_NONE && !describe_single_subfile(file)) {
        // The header readers have said what went wrong; the file stays
        // usable as data, but the task must not end as if nothing happened.
        ++error_count;
    }
    close_input_file(file);

    if (file.header_length && !file.header_buffer.empty() && file.code_page != file.previous_code_page) {
        if (static_cast<int>(file.code_page) != language_default_code_page)
            refresh_file_list_row(path, static_cast<int>(file.code_page));
        file.previous_code_page = file.code_page;
    }
    return 1;
}
