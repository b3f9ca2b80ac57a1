// TaskOptions: the one record that describes a task.
//
// Both front-ends fill it; the core reads options only from the global
// `task_options`. The console writes the global while it parses; the window
// program fills a record per tab and the task bridge copies it whole into
// the global at the start of each task, so nothing of one task's options
// survives into the next. Default state: every field zero, priority 255.
#pragma once

#include <cstdint>
#include <string>

struct TaskOptions {
    std::string output_file;       // output IMG of a join
    std::string mapset_name;       // mapset name of a join or change; map name of a split
    std::string compiler_path;     // external compiler (window program only)
    std::string output_path;       // output directory of a split
    std::string mapset_file_name;  // base name of a MapSource mapset's files
    std::string map_name;          // new map name

    uint8_t verbose = 0;
    uint8_t join_maps = 0;
    uint8_t split_mode = 0;  // 0 none, 1 maps, 2 MapSource, 3 by FID, 4 subfiles, 5 empty maps
    uint8_t show_info = 0;
    uint8_t write_changes = 0;
    uint8_t priority = 255;      // 0..254; 255 = unchanged
    uint8_t transparency = 0;    // 0 unchanged, 1 transparent, 255 not transparent
    uint8_t short_header = 0;
    uint8_t mapsource_split_a = 0;
    uint8_t mapsource_split_b = 0;
    uint8_t preview_limits = 0;
    uint8_t limit_longitude = 0;
    uint8_t id_flags = 0;        // bit 1 family_id, bit 2 product_id; a filter for changes
    uint8_t nt_format = 0;
    uint8_t create_tdb_v3 = 0;
    uint8_t remove_dem = 0;
    uint8_t remove_nod = 0;
    uint8_t map_id_mode = 0;     // 0 unchanged, 1 set, 2 "+", 255 "-"
    uint8_t announce_files = 0;
    uint8_t split_by_fid = 0;
    uint8_t no_mps = 0;
    uint8_t other_data = 0;
    uint8_t compiler_is_maptk = 0;
    uint8_t compiler_is_mkgmap = 0;
    uint8_t header_date_flags = 0;  // 1 now, 2 date given, 4 time given
    struct {
        uint16_t year = 0;
        uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    } header_date;
    uint8_t typ_fix_flags = 0;   // 1 typ_family_id, 2 typ_product_id, 4 typ_code_page
    uint8_t split_subfiles = 0;
    uint8_t create_split_list = 0;
    uint8_t label_case = 0;      // 0 unchanged, 1 upper, 2 lower, 3 words, 4 no accents
    uint8_t add_empty_dem = 0;
    uint8_t split_empty = 0;
    uint8_t marine_tdb = 0;
    uint8_t tre_param_flags = 0;
    uint8_t tre_params[4] = {0, 0, 0, 0};
    uint8_t version_flags = 0;   // 1 major, 2 minor, 4 Ms byte, 8 product code
    uint8_t version_bytes[3] = {0, 0, 0};
    char product_code[12] = {0};  // 0x20..0x5F, blank padded; not NUL-terminated
    uint8_t typ_only = 0;
    uint8_t replace_typ = 0;
    uint8_t mps_name = 0;        // 0 default, 1 "MAPSOURC.MPS", 2 "BLUCHART.MPS"
    uint8_t mps_id_flags = 0;
    uint32_t block_size = 0;     // KiB; 0 = chosen by the size planning
    uint32_t input_count = 0;
    uint32_t family_id = 0;
    uint32_t product_id = 0;
    uint32_t typ_family_id = 0;
    uint32_t typ_product_id = 0;
    uint32_t typ_code_page = 0;
    uint32_t mapset_code_page = 0;
    uint32_t map_id = 0;         // running counter while map IDs are set
    uint32_t mapset_name_result = 0;
    uint32_t map_name_result = 0;
    uint32_t code_page = 0;      // code page in force; 0 in the console
    uint32_t mps_family_id = 0;
    uint32_t mps_product_id = 0;
    int32_t limit_south = 0;     // map units, 360/2^24 degrees
    int32_t limit_north = 0;
    int32_t limit_east = 0;
    int32_t limit_west = 0;
    uint32_t split_result = 0;
};

extern TaskOptions task_options;

// Clears a record to its default state (every field zero, priority 255).
void clear_task_options(TaskOptions& options);
