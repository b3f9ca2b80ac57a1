// Reading an input: IMG container or single subfile file.
//
// read_input_file is the one entry through which every task reads an input:
// it opens the file, learns its size, decides whether it is an IMG container
// or a single subfile or data file, and for a container keeps the header+FAT
// image (XOR undone) with one FatSlot per FAT entry before the subfile table
// is built from them.
#pragma once

#include <cstdint>

#include "core/byte_view.h"
#include "core/input_file.h"
#include "core/messages.h"

extern MessageText od_ReaFiS;
extern MessageText od_WHDGFS;
extern MessageText od_WHBSFS;
extern MessageText od_WHFFFS;
extern MessageText od_HLNEFS;
extern MessageText od_WHFSFS;
extern MessageText od_BDITSF;
extern MessageText od_BDILSF;
extern MessageText od_WFFSSF;
extern MessageText od_BlCTSF;
extern MessageText od_BDIYSF;
extern MessageText od_BDIBSF;
extern MessageText od_BDIRSF;
extern MessageText od_BDISSF;
extern MessageText od_MaAnEr;
extern MessageText od_MuDaMI;
extern MessageText od_NoMRFS;
extern MessageText od_WMRSDS;
extern MessageText od_FiTBFS;

// Reads an InputFile whose path is set and whose other fields are zero. 1 when
// it was read; 0 when not, with `status` telling where and one error counted.
int read_input_file(InputFile& file);
// Takes the file's size into `file_size`; the stream's position stays.
int read_file_size(InputFile& file);
// Reads and checks the header and the FAT area, or hands the file to
// recognise_single_file.
int read_img_header(InputFile& file);
// Classifies a file that is not a container by its name and first bytes;
// 1 recognised.
int recognise_single_file(InputFile& file, ByteView bytes);
// Fills `single_subfile` of a recognised single file and runs its header reader.
int describe_single_subfile(InputFile& file);
