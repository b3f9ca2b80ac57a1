// Names, labels and family IDs of an IMG container: the MPS records' IDs and
// names, the case of every map's labels, and a subfile's new length inside
// the existing file (shared with the TYP replacement).
#pragma once

#include <cstdint>

#include "core/input_file.h"

class InplaceStep;

// Carries out the requests on the MPS records: the mapset name
// (task_options.mapset_name) into the 'V' record, the map name
// (task_options.map_name) into the one 'F' record that matches fid and pid
// (negative: any), new family and product IDs (task_options.mps_id_flags)
// into the matching 'F', 'L' and 'P' records. 1 done or nothing to do, 0 when
// the file has no MPS data or a write failed.
int zmien_mps(InputFile& file, bool mapset_name, bool map_name, bool ids, int32_t fid, int32_t pid);

// Rewrites the label texts of every map that passes the family/product
// filter: 1 upper case, 2 lower case, 3 capitalised words, 4 no accents.
// 1 done, 0 when the change ended on a failure.
int change_label_case(InputFile& file, int mode);

// Gives a subfile a new length inside the file: FAT entries given up by a
// shorter subfile are cleared, a longer one takes the free entries that follow
// its own and the lowest free blocks (the file grows when they lie past its
// end; pad is then set). Every entry gets name11 (8 name and 3 extension
// characters). Changes only the InputFile; 0, with nothing changed, when the
// subfile is damaged or there is no free entry or block.
int grow_subfile_fat(InputFile& file, SubfileEntry& subfile, uint32_t new_length, const char* name11, int& pad);

// Writes a subfile that grow_subfile_fat gave a new length: the file
// lengthened when pad is set (and header byte 0x63 with it), every FAT entry
// of the old or the new length, whichever is more, then the data from
// offset 0. 1 / 0.
int write_resized_subfile(InplaceStep& step, InputFile& file, const SubfileEntry& subfile, uint32_t old_length,
                          const uint8_t* data, uint32_t n, int pad);
