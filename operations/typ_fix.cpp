// TYP correction and replacement.
//
// A TYP header holds the code page at 0x15 and the family and product ID at
// 0x2F and 0x31; a device uses the styles only when these agree with the maps.
// Inside a container the writes keep the checksum byte like every in-place
// change; a separate TYP file has none.
#include "operations/typ_fix.h"

#include <cstring>
#include <string_view>

#include "core/file_names.h"
#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "operations/inplace.h"
#include "operations/inplace_write.h"
#include "operations/names_labels.h"
#include "core/task_options.h"

namespace {

constexpr uint32_t typ_code_page_at = 0x15;
constexpr uint32_t typ_ids_at = 0x2F;  // family ID, then product ID

// The values a correction leaves in force: the new ones its flags select,
// the old ones otherwise.
struct TypIds {
    uint32_t family_id;
    uint32_t product_id;
    uint32_t code_page;
};

TypIds corrected(uint8_t flags, const TypIds& wanted, const TypIds& old)
{
    return {(flags & 1) ? wanted.family_id : old.family_id, (flags & 2) ? wanted.product_id : old.product_id,
            (flags & 4) ? wanted.code_page : old.code_page};
}

// Writes the corrected fields through put (a subfile or the file itself).
template <class Put>
bool write_typ_fields(uint8_t flags, const TypIds& ids, Put put)
{
    if (flags & 4) {
        uint8_t cp[2];
        ByteSpan(cp, 2).put_u16(0, static_cast<uint16_t>(ids.code_page));
        if (!put(typ_code_page_at, cp, 2))
            return false;
    }
    if (flags & 3) {
        uint8_t bytes[4];
        ByteSpan(bytes, 4).put_u16(0, static_cast<uint16_t>(ids.family_id));
        ByteSpan(bytes, 4).put_u16(2, static_cast<uint16_t>(ids.product_id));
        if (!put(typ_ids_at, bytes, 4))
            return false;
    }
    return true;
}

// The TYP header record of a TYP map, as its subfile owns it.
SubfileEntry* typ_subfile_of(InputFile& file, const MapEntry& map)
{
    for (uint32_t i = 0; i < map.subfile_count; ++i) {
        uint64_t row = uint64_t(map.first_subfile) + i;
        if (row < file.subfiles.size() && file.subfiles[row].header_info &&
            file.subfiles[row].header_info.get() == map.header_info && file.subfiles[row].kind == SUB_TYP)
            return &file.subfiles[row];
    }
    return nullptr;
}

int correct_container(InputFile& file, uint8_t flags, const TypIds& wanted, int32_t fid, int32_t pid)
{
    const char* path = file.path.c_str();
    if (fid < 0 && pid < 0) {
        int count = 0;
        for (const MapEntry* map : file.maps)
            if (map->kind == FILE_TYP)
                ++count;
        if (count == 0)
            return 1;
        if (count > 1) {
            ++warning_count;
            log_message(gw_WMTSIF.text(), path);
            return 1;
        }
    }
    InplaceStep step(file, true);
    if (!step.open())
        return 0;
    for (MapEntry* map : file.maps) {
        SubfileEntry* subfile = map->kind == FILE_TYP ? typ_subfile_of(file, *map) : nullptr;
        if (!subfile)
            continue;
        HeaderInfo& info = *subfile->header_info;
        if (!id_matches(fid, info.family_id) || !id_matches(pid, info.product_id))
            continue;
        TypIds ids = corrected(flags, wanted, {info.family_id, info.product_id, info.code_page});
        bool written = write_typ_fields(flags, ids, [&](uint32_t at, const uint8_t* bytes, uint32_t n) {
            return step.put_subfile(subfile->fat_slot, at, bytes, n) != 0;
        });
        if (!written)
            return 0;
        info.family_id = ids.family_id;
        info.product_id = ids.product_id;
        info.code_page = ids.code_page;
        log_message(gw_TCFSFU.text(), path, ids.family_id, ids.product_id, ids.code_page);
    }
    return step.finish();
}

int correct_typ_file(InputFile& file, uint8_t flags, const TypIds& wanted, int32_t fid, int32_t pid)
{
    const char* path = file.path.c_str();
    if (!id_matches(fid, file.fid) || !id_matches(pid, file.pid))
        return 1;
    // The fields must lie inside the file: a write past its end would
    // lengthen it instead of correcting it.
    uint32_t needed = (flags & 3) ? typ_ids_at + 4 : (flags & 4) ? typ_code_page_at + 2 : 0;
    if (file.data_length < needed) {
        log_message(gw_TyFTSh.text(), path);
        return 0;
    }
    TypIds ids = corrected(flags, wanted, {file.fid, file.pid, file.data_code_page});
    InplaceStep step(file, false);
    if (!step.open())
        return 0;
    bool written = write_typ_fields(flags, ids, [&](uint32_t at, const uint8_t* bytes, uint32_t n) {
        return step.put_at(at, bytes, n) != 0;
    });
    if (!written || !step.finish())
        return 0;
    file.fid = ids.family_id;
    file.pid = ids.product_id;
    file.data_code_page = ids.code_page;
    if (HeaderInfo* info = file.single_subfile.header_info.get()) {
        info->family_id = ids.family_id;
        info->product_id = ids.product_id;
        info->code_page = ids.code_page;
    }
    log_message(gw_TCFSFU.text(), path, ids.family_id, ids.product_id, ids.code_page);
    refresh_file_list_row(path, static_cast<int>(file.data_code_page));
    return 1;
}

}  // namespace

int correct_typ_ids(InputFile& file, uint8_t flags, uint32_t family_id, uint32_t product_id, uint32_t code_page,
                    int32_t fid, int32_t pid)
{
    if (family_id == 0 && product_id == 0 && code_page == 0)
        return 1;
    TypIds wanted{family_id, product_id, code_page};
    if (file.kind == FILE_IMG)
        return correct_container(file, flags, wanted, fid, pid);
    if (file.kind == FILE_TYP)
        return correct_typ_file(file, flags, wanted, fid, pid);
    return 1;
}

int write_typ_subfile(InputFile& img, uint32_t family_id, uint32_t product_id, const char* name11,
                      const std::vector<uint8_t>& data)
{
    SubfileEntry* subfile = nullptr;
    for (SubfileEntry& s : img.subfiles) {
        if (s.kind == SUB_TYP && s.header_info && s.header_info->family_id == family_id &&
            s.header_info->product_id == product_id) {
            subfile = &s;
            break;
        }
    }
    if (!subfile)
        return -1;
    const char* path = img.path.c_str();
    if (memcmp(subfile->name, name11, FatEntry::full_name_length) != 0 &&
        names_listed_twice(img).count(std::string_view(subfile->name, FatEntry::full_name_length))) {
        log_message(gw_TypTwi.text(), dotted_fat_name(subfile->name).c_str(), path);
        return 0;
    }
    uint32_t n = static_cast<uint32_t>(data.size());
    InplaceStep step(img, true);
    if (!step.open())
        return 0;
    uint32_t old_length = subfile->declared_length;
    int pad = 0;
    if (!grow_subfile_fat(img, *subfile, n, name11, pad)) {
        log_message(gw_MNPTWT.text(), path);
        ++error_count;
        return -1;
    }
    put_header_date(img.header_buffer, current_time);
    log_message(gw_MaWrTF.text(), path);
    if (!write_resized_subfile(step, img, *subfile, old_length, data.data(), n, pad) ||
        !step.put_header(0, ImgHeader::size) || !step.finish())
        return 0;
    if (subfile->header_info) {
        subfile->header_info->subfile_length = n;
        if (n >= typ_code_page_at + 2)
            subfile->header_info->code_page = ByteView(data).u16(typ_code_page_at);
    }
    return 1;
}

int replace_typ_subfiles(InputFile& file, InputList* list, int32_t fid, int32_t pid)
{
    if (file.kind != FILE_TYP || !id_matches(fid, file.fid) || !id_matches(pid, file.pid))
        return 1;
    if (!list) {
        ++warning_count;
        log_message(gw_WTFWNR.text());
        return 1;
    }
    std::vector<uint8_t> data;
    int result = 1;
    int replaced = 0;
    for (auto& input : *list) {
        InputFile& img = *input;
        if (img.kind != FILE_IMG || img.status != READ_OK ||
            !match_img_fid_pid(img, static_cast<int32_t>(file.fid), static_cast<int32_t>(file.pid)))
            continue;
        if (data.empty()) {
            bool read = open_input_file(file, "rb") && reserve_bytes(data, file.data_length) &&
                        read_file_at(file, data.data(), 0, file.data_length);
            close_input_file(file);
            if (!read || data.empty()) {
                result = 0;
                break;
            }
        }
        int written = write_typ_subfile(img, file.fid, file.pid, file.single_subfile.name, data);
        if (written == 1)
            ++replaced;
        else if (written == 0)
            ++error_count;
    }
    if (!replaced) {
        ++warning_count;
        log_message(gw_WTFWNR.text());
    }
    return result;
}
