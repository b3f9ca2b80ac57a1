// GMP packing: the TRE, RGN, LBL, NET, NOD and DEM subfiles of one MPC map
// written as one GMP subfile that holds all their headers one after the
// other, followed by all their data, with every section offset inside the
// headers moved to where its data now lies.
//
// Everything is checked and moved in the parts' own buffers before the
// first byte is written, so a map that cannot be packed leaves the output
// untouched and may still be copied unpacked.
#pragma once

#include <cstdint>
#include <vector>

#include "core/byte_view.h"
#include "core/input_file.h"
#include "operations/img_writer.h"

enum PackResult {
    PACK_FAILED = 0,   // the map can't be packed as the options ask, or a transfer failed
    PACK_DONE = 1,
    PACK_REFUSED = 2,  // a header does not fit its subfile or lacks its signature, or offsets
                       // would wrap; nothing written
};

// Packs the map's parts whose SubfileKind bit is in kind_mask, appends the
// GMP at the writer's position and enters it under the TRE's name + "GMP".
PackResult dopisz_mape_ntk(InputFile& input, MapEntry& map, ImgWriter& writer, uint32_t kind_mask);
// The MPC maps of the inputs whose packing will be refused, found before the
// output is planned, so the plan holds them as the parts they are copied as.
// Reads every map's parts. 0, after "Conversion to NT format wasn't done"
// and the cause, when a map can't be packed nor copied unpacked.
int find_unpacked_maps(InputList& inputs, uint32_t kind_mask, std::vector<const MapEntry*>& unpacked);

// Move the section offsets of a header image by delta, each only when the
// declared header length holds it and it is not 0. 1 moved; 0 after
// "Unknown %s header format." when the header is longer than these movers
// know; -1 (no message) when an offset would pass 32 bits.
int move_tre_offsets(ByteSpan header, uint32_t delta);
int move_rgn_offsets(ByteSpan header, uint32_t delta);
int move_lbl_offsets(ByteSpan header, uint32_t delta);
int move_net_offsets(ByteSpan header, uint32_t delta);
int move_nod_offsets(ByteSpan header, uint32_t delta);
