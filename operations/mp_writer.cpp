// Polish-format map writer: the rectangle objects of a ".mp" map source.
//
// Numbers are formatted under a "C" numeric locale of this thread's own, so
// a program (or a library it loads) that sets another LC_NUMERIC can never
// turn the decimal point into a comma, which the map compilers would not
// read.
#include "operations/mp_writer.h"

#include <clocale>
#include <cstdarg>
#include <locale.h>
#include <string>
#include <vector>

#include "core/coordinates.h"
#include "core/files.h"
#include "core/text_format.h"
#include "core/task_options.h"

namespace {

// Switches this thread to the "C" locale while it lives.
class CLocaleScope {
public:
    CLocaleScope()
    {
        static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        if (c_locale)
            saved_ = uselocale(c_locale);
    }
    ~CLocaleScope()
    {
        if (saved_)
            uselocale(saved_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t saved_ = static_cast<locale_t>(0);
};

double min_of(double a, double b) { return a < b ? a : b; }
double max_of(double a, double b) { return a > b ? a : b; }

// Borders of the strips a box of these edges is cut into, west to east.
std::vector<double> strip_borders(double west, double east, int mode)
{
    double h = east - west;
    if (mode == MP_LIMITS_STRIPS && h > 356) {
        double l = (h - 178) / 2;
        return {west, west + l, east - l, east};
    }
    if (mode == MP_LIMITS_STRIPS && h > 178)
        return {west, west + 178, east};
    if (h > 178.5)
        return {west, west + h / 3, east - h / 3, east};
    return {west, east};
}

// Appends the formatted text to out.
void append_c_vformat(std::string& out, const char* format, va_list args)
{
    CLocaleScope c_locale;
    append_vformat(out, format, args);
}

}  // namespace

void append_c_format(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_c_vformat(out, format, args);
    va_end(args);
}

int write_mp_text(FILE* file, const char* format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    append_c_vformat(text, format, args);
    va_end(args);
    return fwrite(text.data(), 1, text.size(), file) == text.size();
}

int write_mp_rectangle(FILE* file, const char* type_line, const char* second_line, int32_t north, int32_t east,
                       int32_t south, int32_t west, int mode, int bits)
{
    const TaskOptions& o = task_options;
    if (mode != MP_NO_LIMITS) {
        south = south > o.limit_south ? south : o.limit_south;
        north = north < o.limit_north ? north : o.limit_north;
        west = west > o.limit_west ? west : o.limit_west;
        east = east < o.limit_east ? east : o.limit_east;
    }
    double n = map_units_to_degrees(north);
    double e = map_units_to_degrees(east);
    double s = map_units_to_degrees(south);
    double w = map_units_to_degrees(west);
    clamp_latitude_up(n, bits);
    clamp_latitude_down(s, bits);
    clamp_longitude_up(e, bits);
    clamp_longitude_down(w, bits);
    if (mode != MP_NO_LIMITS && o.preview_limits && o.limit_longitude) {
        e = min_of(e, 178.5);
        w = max_of(w, -178.5);
        n = min_of(n, 89.5);
        s = max_of(s, -89.5);
    }

    const char* prefix = "";
    int ok = 1;
    std::vector<double> borders = strip_borders(w, e, mode);
    for (size_t i = 0; i + 1 < borders.size(); ++i) {
        double x0 = borders[i];
        double x1 = borders[i + 1];
        ok &= write_mp_text(file, "%s[POLYGON]\r\n", prefix);
        if (type_line)
            ok &= write_mp_text(file, "%s%s\r\n", prefix, type_line);
        if (second_line)
            ok &= write_mp_text(file, "%s%s\r\n", prefix, second_line);
        ok &= write_mp_text(file, "%sData0=(%1.7lf,%1.7lf),(%1.7lf,%1.7lf),(%1.7lf,%1.7lf),(%1.7lf,%1.7lf)\r\n",
                            prefix, s, x1, s, x0, n, x0, n, x1);
        ok &= write_mp_text(file, "%s[END]\r\n", prefix);
    }
    ok &= write_mp_text(file, "\r\n");
    return ok;
}

int write_map_rectangles(const InputFile& input, FILE* file, int bits)
{
    int mode = task_options.preview_limits ? MP_LIMITS_STRIPS : MP_NO_LIMITS;
    int ok = 1;
    for (const MapEntry* map : input.maps) {
        if (!map->tre_info || map->outside_area)
            continue;
        TreBounds b = read_tre_bounds(ByteView(map->tre_info->header));
        std::string label = "Label=" + map->description + "~[0x1d]" + map->output_file_name;
        ok &= write_mp_rectangle(file, "Type=0x4a", label.c_str(), b.north, b.east, b.south, b.west, mode, bits);
    }
    return ok;
}
