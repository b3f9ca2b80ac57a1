// Map ID change: new map IDs for the maps of an IMG container, in every place
// that holds them (FAT names, TRE headers, MPS 'L' and 'M' records, the ID
// tables of MDR, TRF and MD2 subfiles), and the shift of every ID of a
// separate JCV file.
#pragma once

#include <cstdint>

#include "core/input_file.h"

// mode 1 sets the IDs from map_id, a running counter that each map offered a
// new ID raises by 1 (so numbering goes on across maps and files); mode 2
// adds map_id, mode 255 subtracts it. 1 done or nothing to do, 0 on a failure
// (then nothing of the file has changed).
int change_map_ids(InputFile& file, uint8_t mode, uint32_t& map_id);
// Adds delta (modulo 2^32) to every map ID of a separate JCV file; delta 0
// (setting IDs) is refused with a warning. 1 / 0.
int change_jcv_map_ids(InputFile& file, int32_t delta);
