// Polish-format map writer: the rectangle objects of a ".mp" map source.
//
// A rectangle is one [POLYGON] section, or several side by side when the box
// is too wide for one (the compilers of the format mishandle polygons wider
// than about 180 degrees). Coordinates arrive as signed map units (2^24
// units = 360 degrees) and are written as degrees with seven decimals and
// '.' as the decimal sign, lines end in CRLF. The [IMG ID] header and the
// other sections of the file are the caller's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/input_file.h"

// How write_mp_rectangle treats the task's preview limits.
enum MpRectangleMode : int {
    MP_NO_LIMITS = 0,
    MP_LIMITS = 1,         // keep to limit_south .. limit_north, limit_west .. limit_east
    MP_LIMITS_STRIPS = 2,  // the same, and strips of at most 178 degrees
};

// Appends text formatted as printf does under the "C" locale (numbers with
// '.'), whatever locale the program runs in.
void append_c_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same, written to a file; 1 when it was written whole. Every line of a
// ".mp" file goes through it.
int write_mp_text(FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the box north/east/south/west (map units), widened by half a unit
// of a map of resolution bits on every side, as one or more [POLYGON]
// sections with the optional type and second lines, then an empty line.
// 1 when every byte was written, else 0.
int write_mp_rectangle(FILE* file, const char* type_line, const char* second_line, int32_t north, int32_t east,
                       int32_t south, int32_t west, int mode, int bits);

// One "Type=0x4a" rectangle per map of the input that has TRE information
// and lies inside the mapset area, labelled with the map's description and
// output file name. 1 when every byte was written, else 0.
int write_map_rectangles(const InputFile& input, FILE* file, int bits);
