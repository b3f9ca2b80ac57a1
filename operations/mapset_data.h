// MapSource installation data: what the desktop map program needs, beside
// the maps of a split for MapSource, to list them as one mapset.
//
// Written at the end of such a split from the maps as the split left them
// (their output names and numbers, descriptions, area marks, renamed
// subfiles and added DEMs) and the inputs' MPS records: the preview map
// source "NAME.mp", an empty DEM for the preview when every map has one,
// the product description "NAME.tdb", the map index "NAME.mdx", and
// "install.bat" and "uninstall.bat", which enter and remove the mapset's
// registry keys. NAME is the task's mapset_file_name, "mapset" when empty.
#pragma once

#include "core/input_file.h"
#include "core/messages.h"

extern MessageText pl_WriFiS;
extern MessageText pl_MuCPUU;
extern MessageText pl_WoMPII;
extern MessageText pl_MPIICD;
extern MessageText pl_FiMCTD;
extern MessageText pl_MNMCTA;
extern MessageText pl_MNCDCP;
extern MessageText pl_TBWIMF;
extern MessageText pl_MapTxt;
extern MessageText pl_FidTxt;
extern MessageText pl_PidTxt;
extern MessageText pl_PETCOC;
extern MessageText pl_CoPrMa;
extern MessageText pl_FilMis;
extern MessageText pl_AboIns;
extern MessageText pl_AdReKe;
extern MessageText pl_TBWUMF;
extern MessageText pl_WBaFCR;

// The preview map's ID when no ID next to the maps' numbers can be had.
constexpr uint32_t no_preview_map_id = 99999999;

// Writes every file of the installation data into the output directory,
// replacing files of the same names. Leaves the preview map's ID in
// task_options.split_result. 1 when all were written; 0 with one error
// counted for each refusal (ambiguous or missing family, missing mapset
// name: then nothing is written) and each file that could not be written.
int write_mapsource_install_data(InputList& inputs);
// The refusals of write_mapsource_install_data alone, which depend on the
// inputs' MPS records and the options, not on what the split writes: a
// split for MapSource asks first, so that a run that could not end in a
// mapset writes no map at all. 1 when none applies; 0 after the refusal's
// message, with one error counted. Warnings are left to the writer.
int check_mapsource_install_data(const InputList& inputs);
