// Subfile header records and their readers.
//
// Every offset and length these readers use comes from the file: each is
// tested against the subfile length in 64 bits before anything is read, and
// every field is taken through ByteView, so a header that points outside what
// was read yields zeros or a rejected record, never a read past a buffer.
// Offsets inside a GMP are offsets in the GMP subfile, like those of a
// stand-alone subfile.
#include "core/subfile_headers.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "core/input_file.h"
#include "core/read_window.h"
#include "core/reader.h"

SubfileKind header_subfile_kind(const InputFile& file, const SubfileEntry* subfile)
{
    return subfile ? subfile->kind : file.subfile_kind;
}

uint32_t header_subfile_length(const InputFile& file, const SubfileEntry* subfile)
{
    return subfile ? subfile->length : file.data_length;
}

// While the input is being read its header bytes come from the read window;
// whatever the window cannot serve goes the usual way, which also says what
// is wrong.
int read_header_bytes(InputFile& file, const SubfileEntry* subfile, uint32_t offset, void* buffer, uint32_t n)
{
    if (subfile) {
        if (read_subfile_through_window(file, subfile->fat_slot, offset, buffer, n))
            return transfer_stopped() ? 0 : 1;
        return read_subfile_data(file, subfile->fat_slot, offset, buffer, n);
    }
    if (uint64_t(offset) + n > file.data_length) {
        log_message(fn_ReSEFS.text(), file.path.c_str());
        return 0;
    }
    if (read_file_through_window(file, offset, buffer, n))
        return transfer_stopped() ? 0 : 1;
    return read_file_at(file, buffer, offset, n);
}

// The row that owns the records: the one given, or the single file's own.
static SubfileEntry& owner_of(InputFile& file, SubfileEntry* subfile) { return subfile ? *subfile : file.single_subfile; }

static uint32_t fat_slot_of(const SubfileEntry* subfile) { return subfile ? subfile->fat_slot : 0; }

// Reads n bytes at offset into image, sized to them.
static bool read_image(InputFile& file, const SubfileEntry* subfile, uint64_t offset, uint64_t n,
                       std::vector<uint8_t>& image)
{
    if (!reserve_bytes(image, n))
        return false;
    return n == 0 || read_header_bytes(file, subfile, static_cast<uint32_t>(offset), image.data(),
                                       static_cast<uint32_t>(n));
}

// Where a TRE, LBL or DEM header lies: at the start of a subfile of its own
// kind, or at the offset a GMP header gives for its part, up to the next
// part's offset (or limit bytes when that is missing or lower; nothing when
// it is the same).
struct HeaderShape {
    SubfileKind kind;
    uint32_t gmp_min_length;    // a shorter GMP holds no such part
    uint32_t gmp_header_bytes;  // GMP header bytes read to find the part
    uint32_t field;             // the part's offset in the GMP header
    uint32_t end_field;         // the next part's offset (0: none)
    uint64_t limit;             // most header bytes read
    uint64_t min_bytes;         // fewer: nothing is kept
};

static const HeaderShape tre_shape{SUB_TRE, 49, 49, GmpHeader::tre, GmpHeader::rgn, 4096, 120};
static const HeaderShape lbl_shape{SUB_LBL, 34, 41, GmpHeader::lbl, GmpHeader::net, 1024, 184};
static const HeaderShape dem_shape{SUB_DEM, 49, 49, GmpHeader::dem, 0, 1024, 37};

struct HeaderPlace {
    uint64_t start = 0;
    uint64_t bytes = 0;
    std::vector<uint8_t> gmp;  // the GMP header bytes read, for a part of a GMP
};

// 1 with the place found, 0 when there is no such header to read, -1 when a
// read failed.
static int locate_header(InputFile& file, const SubfileEntry* subfile, const HeaderShape& shape, HeaderPlace& place)
{
    SubfileKind kind = header_subfile_kind(file, subfile);
    uint32_t length = header_subfile_length(file, subfile);
    place.start = 0;
    place.bytes = shape.limit;
    if (kind == SUB_GMP) {
        if (length < shape.gmp_min_length)
            return 0;
        // A GMP shorter than the header bytes wanted simply lacks the later
        // fields, which then read as 0.
        if (!read_image(file, subfile, 0, std::min(length, shape.gmp_header_bytes), place.gmp))
            return -1;
        ByteView gmp(place.gmp);
        place.start = gmp.u32(shape.field);
        if (place.start == 0)
            return 0;
        // A part that ends where it starts is empty: reading on would take
        // the next part's header for this one.
        uint64_t end = shape.end_field ? gmp.u32(shape.end_field) : 0;
        if (end >= place.start)
            place.bytes = std::min(end - place.start, shape.limit);
    } else if (kind != shape.kind) {
        return 0;
    }
    if (place.start >= length)
        return 0;
    place.bytes = std::min<uint64_t>(place.bytes, length - place.start);
    return place.bytes < shape.min_bytes ? 0 : 1;
}

// Finds a TRE, LBL or DEM header, makes its record with the fields every such
// record has and reads the header image into it. 1 started, 0 nothing to
// read, -1 a read failed.
template <class Info>
static int start_record(InputFile& file, SubfileEntry* subfile, const HeaderShape& shape,
                        uint32_t Info::*offset_field, HeaderPlace& place, std::unique_ptr<Info>& info)
{
    int found = locate_header(file, subfile, shape, place);
    if (found <= 0)
        return found;
    info = std::make_unique<Info>();
    info->fat_slot = fat_slot_of(subfile);
    info->subfile_length = header_subfile_length(file, subfile);
    (*info).*offset_field = static_cast<uint32_t>(place.start);
    return read_image(file, subfile, place.start, place.bytes, info->header) ? 1 : -1;
}

// ---------------------------------------------------------------- GMP

int read_gmp_header(InputFile& file, SubfileEntry* subfile)
{
    if (header_subfile_kind(file, subfile) != SUB_GMP)
        return 1;
    uint32_t length = header_subfile_length(file, subfile);
    if (length < 61)
        return 1;
    auto info = std::make_unique<GmpInfo>();
    info->fat_slot = fat_slot_of(subfile);
    info->subfile_length = length;
    if (!read_image(file, subfile, 0, std::min<uint32_t>(length, 1024), info->header))
        return 0;
    ByteView gmp(info->header);
    uint32_t h = gmp.u16(0);
    info->header_length = h;
    uint32_t tre = gmp.u32(GmpHeader::tre);
    if (tre > h)
        info->tre_gap = tre - h;

    uint64_t met = gmp.u32(GmpHeader::met);
    if (h > 60 && met != 0 && met + 21 < length) {
        if (!read_image(file, subfile, met, std::min<uint64_t>(length - met, 1024), info->met))
            return 0;
        if (ByteView(info->met).matches(2, "GARMIN MET"))
            info->met_kind = 2;
    } else if (h >= 57) {
        uint64_t further = gmp.u32(GmpHeader::further);
        if (further != 0 && further + 21 < length) {
            if (!read_image(file, subfile, further, std::min<uint64_t>(length - further, 1024), info->met))
                return 0;
            if (ByteView(info->met).matches(2, "GARMIN MET")) {
                info->part_kind = 2;
                info->met_kind = 1;
            } else {
                info->part_kind = 1;
            }
        }
    }
    owner_of(file, subfile).gmp_info = std::move(info);
    return 1;
}

// ---------------------------------------------------------------- TRE

int read_tre_header(InputFile& file, SubfileEntry* subfile)
{
    HeaderPlace place;
    std::unique_ptr<TreInfo> info;
    int started = start_record(file, subfile, tre_shape, &TreInfo::tre_offset, place, info);
    if (started <= 0)
        return started < 0 ? 0 : 1;
    uint32_t length = info->subfile_length;
    bool gmp_part = !place.gmp.empty();
    ByteView gmp(place.gmp);
    info->gmp_part = gmp_part;
    info->has_dem = gmp.u32(GmpHeader::dem) != 0;
    info->has_nod = gmp.u32(GmpHeader::nod) != 0;
    ByteView tre(info->header);
    if (!tre.matches(2, "GARMIN TRE")) {
        log_message(od_BDITSF.text(), file.path.c_str());
        return 0;
    }
    uint32_t h = tre.u16(0);
    if (h < 116)
        return 1;
    if (h > 119)
        info->map_id = tre.u32(TreHeader::map_id);
    info->levels_offset = tre.u32(TreHeader::levels_offset);
    info->levels_size = tre.u32(TreHeader::levels_size);
    if (info->levels_offset > length || uint64_t(info->levels_offset) + info->levels_size > length ||
        info->levels_size > info->levels.size())
        return 1;
    if (info->levels_size &&
        !read_header_bytes(file, subfile, info->levels_offset, info->levels.data(), info->levels_size))
        return 0;

    if (gmp_part) {
        info->header_extent = info->bytes_read();
    } else {
        uint32_t extent = info->bytes_read();
        for (const SectionDescriptor& section : section_descriptors(SUB_TRE).first(tre_leading_sections))
            extent = std::min(extent, tre.u32(section.offset));
        info->header_extent = extent;
        // Nothing reads past the header and the texts after it: the rest of
        // what was read (often the whole subfile) is not kept.
        uint32_t kept = std::max(h, extent);
        if (kept < info->header.size()) {
            info->header.resize(kept);
            info->header.shrink_to_fit();
        }
    }
    // Levels run from the coarsest down; the top one is usually marked
    // inherited (bit 7), so the first level without the mark is the
    // coarsest that holds data of its own.
    for (uint32_t i = 0; i + 4 <= info->levels_size; i += 4) {
        if (!(info->levels[i] & 0x80)) {
            info->first_level_bits = info->levels[i + 1];
            break;
        }
    }
    owner_of(file, subfile).tre_info = std::move(info);
    return 1;
}

// ---------------------------------------------------------------- LBL

int read_lbl_header(InputFile& file, SubfileEntry* subfile)
{
    HeaderPlace place;
    std::unique_ptr<LblInfo> info;
    int started = start_record(file, subfile, lbl_shape, &LblInfo::lbl_offset, place, info);
    if (started <= 0)
        return started < 0 ? 0 : 1;
    uint32_t length = info->subfile_length;
    ByteView lbl(info->header);
    if (!lbl.matches(2, "GARMIN LBL")) {
        log_message(od_BDILSF.text(), file.path.c_str());
        return 0;
    }
    info->sort_offset = lbl.u32(0xB0);
    info->sort_length = lbl.u32(0xB4);
    if (info->sort_offset > length || uint64_t(info->sort_offset) + info->sort_length > length ||
        info->sort_length > 198)
        return 1;
    std::vector<uint8_t> sort;
    if (!read_image(file, subfile, info->sort_offset, info->sort_length, sort))
        return 0;
    // The descriptor ends at its first NUL, or with the section.
    info->sort_descriptor.assign(sort.begin(), std::find(sort.begin(), sort.end(), 0));
    info->code_page = lbl.u16(0xAA);
    if (info->code_page == 0)
        info->code_page = lbl.u16(0xAC);
    if (lbl.u16(0) >= 410 && lbl.size() >= 410) {
        static const uint32_t extra_fields[5] = {0x184, 0x188, 0x18C, 0x192, 0x196};
        for (int i = 0; i < 5; ++i)
            info->extra[i] = lbl.u32(extra_fields[i]);
    }
    // Every field wanted later is in the record now, but for the first bytes.
    if (info->header.size() > LblInfo::kept_header_bytes) {
        info->header.resize(LblInfo::kept_header_bytes);
        info->header.shrink_to_fit();
    }
    owner_of(file, subfile).lbl_info = std::move(info);
    return 1;
}

// ---------------------------------------------------------------- DEM

int read_dem_header(InputFile& file, SubfileEntry* subfile)
{
    HeaderPlace place;
    std::unique_ptr<DemInfo> info;
    int started = start_record(file, subfile, dem_shape, &DemInfo::dem_offset, place, info);
    if (started <= 0)
        return started < 0 ? 0 : 1;
    uint32_t length = info->subfile_length;
    ByteView dem(info->header);
    uint32_t count = dem.u16(DemHeader::level_count);
    uint32_t size = dem.u16(DemHeader::record_size);
    uint32_t records = dem.u32(DemHeader::records_offset);
    if (count != 0 && size != 0 && uint64_t(count) * size + records <= length) {
        info->level_count = count;
        info->level_record_size = size;
        info->level_records_offset = records;
        if (!read_image(file, subfile, records, std::min<uint32_t>(size, 100), info->first_level_record))
            return 0;
    }
    debug_message(DBG_DEM, "DEM naglowek %u, poziomy %u x %u od %x, plik %s\n", dem.u16(0), info->level_count,
                  info->level_record_size, info->level_records_offset, file.path.c_str());
    owner_of(file, subfile).dem_info = std::move(info);
    return 1;
}

// ---------------------------------------------------------------- data kinds

namespace {

// What each data kind's header must hold. A failed signature test demotes the
// subfile with the warning; a failed header-length test only drops the record.
struct DataHeaderRule {
    SubfileKind kind;
    uint32_t min_length;
    uint32_t image_limit;
    uint32_t signature_at;
    const char* signature;       // null: none
    uint32_t min_header_length;  // 0: none
    bool wide_header_length;     // the header length is a u32, not a u16
    const MessageText* warning;
    const char* warning_name;  // for the "%s" of od_BDISSF
};

const DataHeaderRule data_header_rules[] = {
    {SUB_TYP, 91, 1024, 2, "GARMIN TYP", 91, false, &od_BDIYSF, nullptr},
    {SUB_TDB, 13, 1024, 0, nullptr, 0, false, &od_BDIBSF, nullptr},
    {SUB_TRF, 73, 1024, 2, "GARMIN TRF", 73, false, &od_BDISSF, "TRF"},
    {SUB_MMR, 150, 1024, 2, "GARMIN MMR", 150, false, &od_BDISSF, "MMR"},
    {SUB_MD2, 236, 1024, 0, nullptr, 0, false, nullptr, nullptr},
    {SUB_MDR, 246, 2048, 0, nullptr, 0, false, nullptr, nullptr},
    {SUB_IDX, 33, 1024, 4, "ISM.IDX", 33, true, &od_BDISSF, "ISM"},
    {SUB_QSI, 18, 1024, 0, "QSI", 0, false, &od_BDISSF, "QSI"},
    {SUB_SID, 42, 1024, 0, "GARMIN SID", 0, false, &od_BDISSF, "SID"},
    {SUB_JCV, 108, 1024, 2, "GARMIN JCV", 0, false, &od_BDISSF, "JCV"},
};

// Fields a single-file input takes over from its record.
enum : unsigned { TAKE_FID = 1, TAKE_PID = 2, TAKE_CODE_PAGE = 4 };

// The TDB product record: 'P', its u16 length at 1, the IDs, the version at
// 7, two texts from 9; from version 400 on the code page lies 31 bytes past
// the second text's NUL and the record reaches 34 bytes past it.
bool check_tdb_header(ByteView tdb, HeaderInfo& info)
{
    if (tdb.u8(0) != 'P')
        return false;
    uint64_t record_end = uint64_t(tdb.u16(1)) + 3;
    if (record_end > tdb.size())
        return false;
    info.product_id = tdb.u16(3);
    info.family_id = tdb.u16(5);
    if (tdb.u16(7) < 400)
        return true;
    const char* text = reinterpret_cast<const char*>(tdb.data());
    int end = static_cast<int>(record_end);
    int first = get_terminated_length(text, 9, end);
    if (first < 0)
        return false;
    int second_start = 9 + first + 1 + 2;
    int second = get_terminated_length(text, second_start, end);
    if (second < 0)
        return false;
    uint64_t q = uint64_t(second_start) + second;
    if (record_end <= q + 33)
        return false;
    info.code_page = tdb.u16(q + 31);
    return true;
}

// Takes a checked header's fields; the result says which ones a single-file
// input copies.
unsigned take_data_fields(SubfileKind kind, ByteView header, HeaderInfo& info)
{
    switch (kind) {
    case SUB_TYP:
        info.code_page = header.u16(0x15);
        info.family_id = header.u16(0x2F);
        info.product_id = header.u16(0x31);
        return TAKE_FID | TAKE_PID | TAKE_CODE_PAGE;
    case SUB_TDB:
        return TAKE_FID | TAKE_PID | TAKE_CODE_PAGE;
    case SUB_TRF:
        info.code_page = header.u16(0x27);
        return TAKE_CODE_PAGE;
    case SUB_MMR:
        info.code_page = header.u16(0x8C);
        return TAKE_CODE_PAGE;
    case SUB_MDR:
        info.code_page = header.u16(0x15);
        return TAKE_CODE_PAGE;
    case SUB_QSI:
        info.family_id = header.u16(0x10);
        return TAKE_FID;
    case SUB_JCV: {
        uint64_t p = header.u32(0x5E);
        if (header.u16(0x62) > 7 && p + 8 < header.size()) {
            info.jcv_values[0] = header.u32(p);
            info.jcv_values[1] = header.u32(p + 4);
        }
        return 0;
    }
    default:
        return 0;
    }
}

int read_data_header(InputFile& file, SubfileEntry* subfile, SubfileKind kind)
{
    if (header_subfile_kind(file, subfile) != kind)
        return 1;
    const DataHeaderRule* rule = nullptr;
    for (const DataHeaderRule& r : data_header_rules)
        if (r.kind == kind)
            rule = &r;
    uint32_t length = header_subfile_length(file, subfile);
    if (!rule || length < rule->min_length)
        return 1;

    auto info = std::make_unique<HeaderInfo>();
    info->fat_slot = fat_slot_of(subfile);
    info->subfile_length = length;
    info->kind = kind;
    if (!read_image(file, subfile, 0, std::min(length, rule->image_limit), info->header))
        return 0;
    ByteView header(info->header);
    bool good = kind == SUB_TDB ? check_tdb_header(header, *info)
                                : !rule->signature || header.matches(rule->signature_at, rule->signature);
    if (!good) {
        if (rule->warning_name)
            log_message(rule->warning->text(), rule->warning_name, file.path.c_str());
        else
            log_message(rule->warning->text(), file.path.c_str());
        ++warning_count;
        SubfileEntry& owner = owner_of(file, subfile);
        owner.kind = SUB_OTHER;
        owner.bad_data = 1;
        if (!subfile)
            file.subfile_kind = SUB_OTHER;
        return 1;
    }
    uint32_t header_length = rule->wide_header_length ? header.u32(0) : header.u16(0);
    if (header_length < rule->min_header_length)
        return 1;
    unsigned taken = take_data_fields(kind, header, *info);
    if (!subfile) {
        if (taken & TAKE_FID)
            file.fid = info->family_id;
        if (taken & TAKE_PID)
            file.pid = info->product_id;
        if (taken & TAKE_CODE_PAGE)
            file.data_code_page = info->code_page;
    }
    owner_of(file, subfile).header_info = std::move(info);
    return 1;
}

}  // namespace

int read_typ_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_TYP); }
int read_tdb_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_TDB); }
int read_trf_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_TRF); }
int read_mmr_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_MMR); }
int read_md2_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_MD2); }
int read_mdr_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_MDR); }
int read_idx_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_IDX); }
int read_qsi_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_QSI); }
int read_sid_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_SID); }
int read_jcv_header(InputFile& file, SubfileEntry* subfile) { return read_data_header(file, subfile, SUB_JCV); }

int read_other_header(InputFile& file, SubfileEntry* subfile)
{
    switch (header_subfile_kind(file, subfile)) {
    case SUB_TYP: return read_typ_header(file, subfile);
    case SUB_TDB: return read_tdb_header(file, subfile);
    case SUB_TRF: return read_trf_header(file, subfile);
    case SUB_MMR: return read_mmr_header(file, subfile);
    case SUB_MD2: return read_md2_header(file, subfile);
    case SUB_MDR: return read_mdr_header(file, subfile);
    case SUB_IDX: return read_idx_header(file, subfile);
    case SUB_QSI: return read_qsi_header(file, subfile);
    case SUB_SID: return read_sid_header(file, subfile);
    case SUB_JCV: return read_jcv_header(file, subfile);
    default: return 1;
    }
}
