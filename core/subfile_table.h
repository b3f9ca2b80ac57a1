// The subfile table of an IMG container: its subfiles found in the FAT, their
// block lists checked and their header records read.
#pragma once

#include "core/input_file.h"

// Builds `subfiles` (and the index and sorted FAT slots behind it) from the
// FAT slots that read_img_header made. 1 ok, 0 failed.
int read_subfile_table(InputFile& file);
