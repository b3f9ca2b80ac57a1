// The map-ID list: the map numbers of all maps of all inputs, and the
// warning for each number that more than one map holds. It only warns; the
// task that asked goes on either way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/input_file.h"
#include "core/messages.h"

extern MessageText mp_WRMINM;
extern MessageText mp_FileST;

// One map with a non-zero map number.
struct MapIdEntry {
    uint32_t map_id = 0;
    uint32_t second_value = 0;       // the split's own number for the map; 0 for maps as read
    const char* file_name = nullptr;  // the InputFile's path (not owned)
    MapEntry* map = nullptr;
    InputFile* file = nullptr;
};

// Gathers the numbered maps of every input, in list order and within a file
// in map order, and warns about repeated numbers. 1, also when no map has a
// number; 0 when the table cannot be allocated.
int collect_map_ids(const InputList& inputs);
// Sorts the table by map ID (equal IDs keep their order) and logs one
// warning per pair of neighbours with one ID.
void warn_repeated_map_ids(MapIdEntry* entries, size_t count);
