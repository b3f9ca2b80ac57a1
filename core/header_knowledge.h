// Subfile header knowledge: the section tables of TRE, LBL, RGN, NET and NOD
// headers, the measures taken over them, the check that a map's headers are
// of a length this program knows, and the debug traces of GMP and MDR headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/byte_view.h"
#include "core/input_file.h"
#include "core/messages.h"

extern MessageText nt_UnSHeF;

// Where a section descriptor of a TRE, LBL, RGN, NET or NOD header stands (a
// u32 section offset, then a u32 length), and the header length from which
// the header holds it.
struct SectionDescriptor {
    uint16_t offset;
    uint16_t min_length;
};
// The descriptors of a kind in header order; empty for other kinds.
std::span<const SectionDescriptor> section_descriptors(SubfileKind kind);
// The first TRE sections (levels, subdivisions, copyright, three overviews),
// whose data lies right behind the header: the lowest of them ends it.
constexpr size_t tre_leading_sections = 6;

// A section of a TRE, LBL, RGN, NET or NOD header: where its descriptor
// stands in the header, and the offset and length the descriptor gives.
struct HeaderSection {
    uint32_t descriptor;
    uint32_t offset;
    uint32_t length;
};
// The sections a header image holds (long enough for their descriptor, offset
// not 0), in the order of the kind's table.
std::vector<HeaderSection> present_sections(SubfileKind kind, ByteView header);

// The three measures of a TRE, LBL, RGN, NET or NOD header image (at least its
// header length long; bytes it lacks read as 0): the sum of the present
// sections' lengths, the largest section end, the lowest section offset.
// Headers too short for any section, and other kinds, give 0, h and h.
uint32_t section_length_sum(SubfileKind kind, ByteView header);
uint32_t section_extent(SubfileKind kind, ByteView header);
uint32_t lowest_section_offset(SubfileKind kind, ByteView header);

// 1 when the subfile's header is of a length this program knows (or of a kind
// that is not checked), 0 when it is longer or cannot be read.
int check_known_header_length(InputFile& input, const SubfileEntry& subfile);

// Debug traces of a GMP ("(07) NT") or MDR ("(10) MDR") header; subfile null
// for a single-file input. 1 at once when the category is off or the kind is
// another; 0 only when a read fails.
int dump_gmp_header(InputFile& input, const SubfileEntry* subfile);
int dump_mdr_header(InputFile& input, const SubfileEntry* subfile);
