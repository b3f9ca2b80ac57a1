// The information report of one input: the file, its IMG header, mapset
// name and FAT geometry, the subfile table with the details of each header,
// the map table, a single file's data line and the MPS records, written into
// the log.
#pragma once

#include <cstdint>
#include <string>

#include "core/input_file.h"
#include "core/messages.h"

extern MessageText dp_LenTxt;
extern MessageText dp_MapTxt;
extern MessageText dp_Region;
extern MessageText dp_DateTx;
extern MessageText dp_Transp;
extern MessageText dp_Signed;
extern MessageText dp_CPText;
extern MessageText dp_FidTxt;
extern MessageText dp_PidTxt;
extern MessageText dp_NameTx;
extern MessageText dp_Priori;
extern MessageText dp_Parame;
extern MessageText dp_Levels;
extern MessageText dp_ZoomTx;
extern MessageText dp_DemLay;
extern MessageText dp_FiSLeS;
extern MessageText dp_FiFoEI;
extern MessageText dp_Header;
extern MessageText dp_Mapset;
extern MessageText dp_FXXXBU;
extern MessageText dp_MaUSFU;
extern MessageText dp_SuFiFL;
extern MessageText dp_MLSFCP;
extern MessageText dp_DatMps;
extern MessageText dp_DaSLeU;
extern MessageText dp_Bitmap;
extern MessageText dp_SizeTx;
extern MessageText dp_PicSiz;

// Writes the report of an input already read by read_input_file (also one
// whose reading failed: it shows what was read). 1 when complete, -1 when
// Stop was requested; what was written up to then stays in the log.
// task_options.verbose adds the FAT lines, the subfile table and the
// detail lines.
int print_info_report(const InputFile& input);

// The same report appended to text instead of the log (nothing is logged):
// for a caller that writes it later, as twk does with the reports of a
// report alone after all its files were read.
int append_info_report(const InputFile& input, std::string& text);

// Three-character name of a FileKind (" ??" for a value without one).
const char* get_file_kind_name(uint32_t kind);
