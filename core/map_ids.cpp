// The map-ID list.
//
// An ID held by n maps gives n - 1 warnings, one per neighbouring pair after
// the sort; the sort is stable, so the files of one ID are named in the
// order the inputs were given.
#include "core/map_ids.h"

#include <algorithm>
#include <vector>

#include "core/files.h"
#include "core/host.h"

MessageText mp_WRMINM{"mp_WRMINM", "\n== Warning: repeated map ID number.\n== Map ID %u (%X)",
                      "\n== Ostrzeżenie: powtórzony numer ID mapy.\n== ID mapy %u (%X)"};
MessageText mp_FileST{"mp_FileST", ", file %s", ", plik %s"};

static MessageText* const mp_table[] = {&mp_WRMINM, &mp_FileST};

int load_messages_mp(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(mp_table, group, code_page, write);
}

void warn_repeated_map_ids(MapIdEntry* entries, size_t count)
{
    if (!entries || count < 2)
        return;
    std::stable_sort(entries, entries + count,
                     [](const MapIdEntry& a, const MapIdEntry& b) { return a.map_id < b.map_id; });
    for (size_t i = 0; i + 1 < count; ++i) {
        const MapIdEntry& first = entries[i];
        const MapIdEntry& second = entries[i + 1];
        if (first.map_id != second.map_id)
            continue;
        ++warning_count;
        log_message(mp_WRMINM.text(), first.map_id, first.map_id);
        if (first.file_name)
            log_message(mp_FileST.text(), first.file_name);
        // Two maps of one file share its path string: it is named once.
        if (second.file_name && second.file_name != first.file_name)
            log_message(mp_FileST.text(), second.file_name);
        log_message(".\n\n");
    }
}

int collect_map_ids(const InputList& inputs)
{
    size_t count = 0;
    for (const auto& input : inputs)
        if (input)
            for (const MapEntry* map : input->maps)
                count += map->map_number != 0;
    if (count == 0)
        return 1;
    std::vector<MapIdEntry> entries;
    if (!resize_rows(entries, count))
        return 0;
    size_t n = 0;
    for (const auto& input : inputs) {
        if (!input)
            continue;
        for (MapEntry* map : input->maps)
            if (map->map_number != 0)
                entries[n++] = {map->map_number, map->output_number, input->path.c_str(), map, input.get()};
    }
    warn_repeated_map_ids(entries.data(), n);
    return 1;
}
