// Split file copies and outline maps: the plain outputs of the split.
//
// Data maps of a container written as files of their own, single-file
// inputs copied whole, subfiles copied under their 8.3 names, and for the
// "empty maps" mode an outline map in the Polish text format plus a bounds
// list per input. Every name that comes from file content passes through
// sanitise_output_file_name before a file is created, so nothing is written
// outside the output directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/input_file.h"
#include "operations/split.h"

// Pieces in which the copies move their data.
constexpr uint32_t whole_file_copy_chunk = 0x800000;
constexpr uint32_t subfile_copy_chunk = 0x1000000;
constexpr uint32_t typ_copy_chunk = 0x100000;

// NAME.EXT from an 8-character name and a 3-character extension, each
// without its trailing bytes of 32 and below (the name keeps at least its
// first character), made safe as a file name.
std::string make_subfile_file_name(const char* name8, const char* extension3);

// Writes a data map (TYP, TRF, ...) of an open container as one file, in
// pieces of at most chunk bytes. 1 written, or the file could not be created
// (one error counted); 0 after a read or write failure (logged, not counted).
int write_data_map_file(InputFile& input, SplitRun& run, MapEntry& map, uint32_t chunk);
// Copies a single-file input whole under its base name, replacing a file of
// that name. 1 copied; 0 after a logged failure (not counted).
int copy_data_file_to_output(InputFile& input);
// Copies every subfile of a container to a file of its 8.3 name. A file
// that can't be created counts one error and the next goes on; a read or
// write failure counts one error and gives 0.
int copy_input_subfiles(InputFile& input, SplitRun& run);

// Writes "NAME.mp", an outline map of the map's bounds and levels. 1 written
// or nothing to write (no level records, or the last one inherited); 0 when
// the file could not be created or written (logged, not counted).
int write_outline_map(const TreInfo& tre, uint32_t code_page, const char* name8);
// Appends a map's lines to a bounds list. 0 when the stream is null or the
// lines could not be written.
int write_map_bounds_line(FILE* list, const TreInfo& tre, const char* name8);
