// MPS builder: the MPS subfile of a written IMG, gathered in the writer's
// mps_buffer while maps are copied ('L' records) and at the end of a join
// ('V', 'P', 'F' and the inputs' own records), with duplicated product
// records removed.
//
// A record is a letter, a u16 payload length n and n payload bytes, back to
// back with no terminator. The buffer grows with every record appended;
// nothing is ever written past its end.
#pragma once

#include <cstdint>
#include <string>

#include "core/byte_view.h"
#include "core/input_file.h"
#include "operations/img_writer.h"

// Longest mapset name written into a header or a record.
constexpr size_t max_mapset_name = 50;

// The input's own mapset name: header bytes 0x49..0x5C followed by
// 0x65..0x82, without its trailing bytes of value 32 or below.
std::string input_mapset_name(const InputFile& input);
// The writer's mapset name cut to max_mapset_name bytes.
std::string writer_mapset_name(const ImgWriter& writer);

// Appends one record; a payload longer than a u16 length can say is cut.
void append_mps_record(ImgWriter& writer, char letter, const std::string& payload);
// Appends n bytes of a record copied as it stands.
void append_mps_bytes(ImgWriter& writer, const uint8_t* bytes, size_t n);
// A generated 'L' record: IDs, map number, the writer's mapset name, text b,
// the mapset name again, the map number and a zero.
void append_l_record(ImgWriter& writer, uint16_t product_id, uint16_t family_id, uint32_t map_number,
                     const std::string& text_b);

// Appends the input's records whose letter is in letters (include 1), or
// whose letter is neither 0 nor in letters (include 0). Always 1.
int copy_mps_records(const InputFile& input, ImgWriter& writer, int include, const char* letters);
// Orders two whole records by family ID (u16 at 5), then product ID (u16
// at 3); -1, 0, 1. Bytes a short record lacks count as 0.
int compare_mps_fid_pid(ByteView a, ByteView b);
// Removes 'F' and 'P' records whose family and product IDs repeat those of
// an earlier record of the same letter; the first of each group stays. 0
// after "Out of memory." when its work tables can't be had.
int korekcja_mps(ImgWriter& writer);
// The join's MPS after its 'L' records: 'V', with IDs 'P' and 'F', the
// inputs' 'F' records, their other records but 'V' and 'L', the correction.
// marine is set when an input's MPS is a marine one.
int assemble_join_mps(const InputList& inputs, ImgWriter& writer, int& marine);
