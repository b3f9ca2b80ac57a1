// Small tests and cuts on file names that both programs share.
#pragma once

#include <string>

// The part of the path after its last '/'; without one, after its last '\';
// without one, after its last ':'; else the whole path. A null path gives "".
// The result points into the path.
const char* path_base_name(const char* path);

// 1 when the name holds a byte 1..31, '"', '*', '/', '?' or '\', which would
// make it unusable as a file name on one of the systems the outputs go to;
// ':', '<', '>' and '|' pass. A null name gives 0.
int contains_invalid_name_chars(const char* name);

// Makes a file name taken from file content (a FAT name, a map name) safe to
// create in the output directory: '/', '\', control bytes and DEL become
// '_', no ".." is left, and an empty name or "." becomes "_". Nothing named this
// way can reach outside the directory it is created in.
void sanitise_output_file_name(std::string& name);

// "NAME.EXT" of an 11-byte FAT name (8 name and 3 extension bytes), as the
// messages show a subfile.
std::string dotted_fat_name(const char* name11);
