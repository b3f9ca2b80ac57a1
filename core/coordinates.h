// Map bounds as a TRE header stores them: four 24-bit values in map units
// (2^24 units = 360 degrees), and the one rule that gives them their sign.
//
// The north and east values are upper edges: 0x800000 there is +180 degrees,
// so they only turn negative above it. The south and west values are lower
// edges and take bit 23 as their sign, so 0x800000 there is -180 degrees.
// Every reader of TRE bounds (the report, the split's area test, the preview
// and outline maps) goes through these functions so that they all agree.
#pragma once

#include <cstdint>

#include "core/byte_view.h"

// Where the bounds lie in a TRE header.
struct TreBoundsField {
    static constexpr uint32_t north = 0x15;
    static constexpr uint32_t east = 0x18;
    static constexpr uint32_t south = 0x1B;
    static constexpr uint32_t west = 0x1E;
};

// Signed map units.
struct TreBounds {
    int32_t north = 0;
    int32_t east = 0;
    int32_t south = 0;
    int32_t west = 0;
};

// An upper edge (north, east): negative only above 0x800000.
inline int32_t upper_edge_units(uint32_t raw)
{
    raw &= 0xFFFFFF;
    return raw > 0x800000 ? static_cast<int32_t>(raw) - 0x1000000 : static_cast<int32_t>(raw);
}

// A lower edge (south, west): bit 23 is the sign.
inline int32_t lower_edge_units(uint32_t raw)
{
    raw &= 0xFFFFFF;
    return raw >= 0x800000 ? static_cast<int32_t>(raw) - 0x1000000 : static_cast<int32_t>(raw);
}

// The bounds of a TRE header image; a header too short for them gives zeros.
inline TreBounds read_tre_bounds(ByteView tre_header)
{
    TreBounds b;
    b.north = upper_edge_units(tre_header.u24(TreBoundsField::north));
    b.east = upper_edge_units(tre_header.u24(TreBoundsField::east));
    b.south = lower_edge_units(tre_header.u24(TreBoundsField::south));
    b.west = lower_edge_units(tre_header.u24(TreBoundsField::west));
    return b;
}

inline double map_units_to_degrees(int32_t units) { return units * (360.0 / 16777216.0); }
