// TYP correction and replacement: new family ID, product ID and code page in
// the TYP subfiles of a container or in a separate TYP file, and a separate
// TYP file of the task's list put in place of the matching TYP subfiles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/input_file.h"

// flags: 1 family ID, 2 product ID, 4 code page. fid and pid select the TYP
// subfiles or file (negative: any). 1 done or nothing to do, 0 on a failure.
int correct_typ_ids(InputFile& file, uint8_t flags, uint32_t family_id, uint32_t product_id, uint32_t code_page,
                     int32_t fid, int32_t pid);
// When file is a separate TYP file that passes the filter: its contents
// replace the TYP subfile of the same family and product in every container
// of the list. 1, or 0 when the TYP file could not be read.
int replace_typ_subfiles(InputFile& file, InputList* list, int32_t fid, int32_t pid);
// Replaces the container's first TYP subfile of that family and product by
// data, named name11 (8 name and 3 extension characters). 1 written, 0 on a
// failure, -1 when there is no such subfile or no room for the data.
int write_typ_subfile(InputFile& img, uint32_t family_id, uint32_t product_id, const char* name11,
                      const std::vector<uint8_t>& data);
