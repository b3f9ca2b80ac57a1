// In-place changes of inputs: the driver that offers each file its changes,
// the family/product filter, and the changes of the IMG header and of the TRE
// headers. Map IDs, MPS records and labels, and TYP subfiles have modules of
// their own (map_id_change, names_labels, typ_fix); all of them print through
// the "gw_" message table defined here and write through InplaceStep
// (inplace_write.h), which keeps the whole-file byte sum.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_set>

#include "core/byte_view.h"
#include "core/files.h"
#include "core/input_file.h"
#include "core/map_list.h"
#include "core/messages.h"

extern MessageText gw_FSWMNS;
extern MessageText gw_NPTIMN;
extern MessageText gw_FSWMNM;
extern MessageText gw_FSWMNI;
extern MessageText gw_FSCFIS;
extern MessageText gw_MaSPUC;
extern MessageText gw_MSPUCR;
extern MessageText gw_WWNMIN;
extern MessageText gw_FatSST;
extern MessageText gw_TreXXT;
extern MessageText gw_SubfiS;
extern MessageText gw_MdrXXT;
extern MessageText gw_JcvXXT;
extern MessageText gw_TrfXXT;
extern MessageText gw_Md2XXT;
extern MessageText gw_WUSOMS;
extern MessageText gw_WoUSOS;
extern MessageText gw_DatMpS;
extern MessageText gw_ReHDFS;
extern MessageText gw_HMVUUU;
extern MessageText gw_WFMMSS;
extern MessageText gw_WrInMS;
extern MessageText gw_WrDaFi;
extern MessageText gw_TCFSFU;
extern MessageText gw_WMTSIF;
extern MessageText gw_MaSLaM;
extern MessageText gw_MaSLaF;
extern MessageText gw_MaSUnL;
extern MessageText gw_MaSCoN;
extern MessageText gw_MaSLaE;
extern MessageText gw_WCMIMS;
extern MessageText gw_WCMIMR;
extern MessageText gw_WCMIM2;
extern MessageText gw_WCMIST;
extern MessageText gw_WCMIJF;
extern MessageText gw_ECMIJF;
extern MessageText gw_WRMINM;
extern MessageText gw_MIDCla;
extern MessageText gw_MIDTwi;
extern MessageText gw_TypTwi;
extern MessageText gw_WNTFIL;
extern MessageText gw_MNPTWT;
extern MessageText gw_MaWrTF;
extern MessageText gw_WMPIFS;
extern MessageText gw_WTFWNR;
extern MessageText gw_TyFTSh;
extern MessageText gw_NoTreH;

// Match bits of the family/product filter.
enum : int {
    MATCH_DATA = 0x01,     // a data subfile's header record, or the data file itself
    MATCH_L_RECORD = 0x04,
    MATCH_P_RECORD = 0x08,
    MATCH_F_RECORD = 0x10,
    MATCH_ALL = 31,        // no filter at all
};

// Offers one file every change task_options asks for, in a fixed order.
// typ_sources is the task's input list, whose TYP files may replace TYP
// subfiles (null: none). Always 1; failures are logged where they happen.
int apply_file_changes(InputFile& input, InputList* typ_sources);

// Match bits of a file for a family ID and product ID (negative: any).
int zgodny_fid(const InputFile& file, int32_t fid, int32_t pid);
// The same for an IMG container, from its maps' header records and its MPS records.
int match_img_fid_pid(const InputFile& file, int32_t fid, int32_t pid);

// The header date, map version, MapSource flag and product code task_options
// asks for. 1 written or nothing to do, 0 on a failure.
int change_header_fields(InputFile& file);
// task_options.mapset_name into the IMG header (0x49 and 0x65). 1 / 0.
int write_mapset_name_to_header(InputFile& file);
// Priority, transparency and TRE parameters of every map that passes the
// filter (a lone TRE or GMP file: its own TRE header). 1 / 0.
int change_tre_bytes(InputFile& file);

// True when a value matches the wanted one of a filter (negative: any).
inline bool id_matches(int32_t wanted, uint32_t value) { return wanted < 0 || uint32_t(wanted) == value; }
// True when a map passes the family/product filter of task_options, taken
// from its MPS 'L' record (no filter: every map).
bool map_passes_filter(const InputFile& file, const MapEntry& map);
// The family and product ID of a map from its MPS 'L' record (0 and 0 when
// it has none of at least 7 bytes).
void get_map_family_product(const InputFile& file, const MapEntry& map, uint32_t& fid, uint32_t& pid);
// The TRE record a map points at, as the subfile that owns it holds it.
TreInfo* owned_tre_info(InputFile& file, const MapEntry& map);
// Stores a date in the IMG header: 0x39..0x3F, the month at 0x0A and the
// year - 1900 at 0x0B (255 from 2156 on).
void put_header_date(std::vector<uint8_t>& header, const CurrentTime& date);
// The MPS subfile of a container (its first subfile of the MPS map), or null.
SubfileEntry* find_mps_subfile(InputFile& file);
// The full names (11 bytes) of the FAT entries that the reader set aside as
// earlier copies of a first entry or of a part: names listed twice in the
// FAT. A change that renamed a subfile of such a name would leave the other
// copy under the old name, where it is read as a subfile of its own again,
// so the file is damage to it. Views into the FAT image.
std::unordered_set<std::string_view> names_listed_twice(const InputFile& file);
// FAT entries a subfile of length bytes takes: at least one.
uint32_t fat_entries_for(uint64_t length, uint32_t block_size);
// The text in a map's code page shown in the log encoding, cut to at most
// 50 bytes without splitting a character.
const char* display_name(uint32_t code_page, const char* text);
