// The Polish-format rectangles: section layout, half-unit margins and their
// clamps, the preview limits, the strips of wide boxes, the sign rule of
// TRE bounds and the decimal point.
#include "operations/mp_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/task_options.h"
#include "tests/core/built_inputs.h"
#include "tests/support/test_support.h"

namespace {

int32_t units(double degrees) { return static_cast<int32_t>(degrees * 16777216.0 / 360.0); }

using Corners = std::array<double, 8>;  // latitude, longitude of four corners

// The corners of every Data0 line, in order.
std::vector<Corners> data_lines(const std::string& text)
{
    std::vector<Corners> lines;
    for (size_t at = text.find("Data0="); at != std::string::npos; at = text.find("Data0=", at + 1)) {
        Corners c{};
        EXPECT_EQ(sscanf(text.c_str() + at, "Data0=(%lf,%lf),(%lf,%lf),(%lf,%lf),(%lf,%lf)", &c[0], &c[1], &c[2],
                         &c[3], &c[4], &c[5], &c[6], &c[7]),
                  8);
        lines.push_back(c);
    }
    return lines;
}

class MpWriter : public BuiltInputs {
protected:
    // What the writer wrote, through a memory stream.
    template <class Write>
    std::string written(Write write)
    {
        char* data = nullptr;
        size_t size = 0;
        FILE* f = open_memstream(&data, &size);
        EXPECT_EQ(write(f), 1);
        fclose(f);
        std::string text(data, size);
        free(data);
        return text;
    }
    std::string rectangle(double north, double east, double south, double west, int mode, int bits = 24,
                          const char* type = nullptr, const char* second = nullptr)
    {
        return written([&](FILE* f) {
            return write_mp_rectangle(f, type, second, units(north), units(east), units(south), units(west), mode,
                                      bits);
        });
    }
    void open_limits()
    {
        task_options.limit_south = task_options.limit_west = -0x800000;
        task_options.limit_north = task_options.limit_east = 0x800000;
    }
};

}  // namespace

TEST_F(MpWriter, SectionLayoutWithHalfUnitMargins)
{
    // bits 18: half a unit is 0.0006866455078125 degrees.
    EXPECT_EQ(rectangle(45, 22.5, 22.5, 0, MP_NO_LIMITS, 18, "Type=0x4a", "Label=A~[0x1d]B"),
              "[POLYGON]\r\nType=0x4a\r\nLabel=A~[0x1d]B\r\n"
              "Data0=(22.4993134,22.5006866),(22.4993134,-0.0006866),(45.0006866,-0.0006866),(45.0006866,22.5006866)\r\n"
              "[END]\r\n\r\n");
    // Without type and second line a section holds only the Data0 line.
    std::string bare = rectangle(10, 10, 0, 0, MP_NO_LIMITS);
    EXPECT_EQ(bare.substr(0, 17), "[POLYGON]\r\nData0=");
    EXPECT_EQ(bare.substr(bare.size() - 11), "\r\n[END]\r\n\r\n");
}

TEST_F(MpWriter, WideBoxesAreCutIntoStrips)
{
    open_limits();
    struct Case {
        double west, east;
        int mode;
        std::vector<double> widths;
    };
    const Case cases[] = {
        {-100, 100, MP_NO_LIMITS, {200.0 / 3, 200.0 / 3, 200.0 / 3}},
        {-100, 100, MP_LIMITS_STRIPS, {178, 22}},
        {-179, 179, MP_LIMITS_STRIPS, {90, 178, 90}},
        {-50, 50, MP_LIMITS_STRIPS, {100}},
    };
    for (const Case& c : cases) {
        std::vector<Corners> lines = data_lines(rectangle(10, c.east, 0, c.west, c.mode));
        ASSERT_EQ(lines.size(), c.widths.size()) << c.west << " mode " << c.mode;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_NEAR(lines[i][1] - lines[i][3], c.widths[i], 1e-4);
            if (i) {  // west to east, each strip starting where the one before ended
                EXPECT_DOUBLE_EQ(lines[i][3], lines[i - 1][1]);
            }
        }
    }
    // Exactly 178.5 degrees is one section. With bits 23 half a unit is one
    // map unit, so a west edge of one unit lands on 0, and the longitude
    // limit puts the east edge on 178.5; one unit more is three sections.
    task_options.preview_limits = 1;
    task_options.limit_longitude = 1;
    auto strips = [&](int32_t west) {
        return data_lines(written([&](FILE* f) {
                   return write_mp_rectangle(f, nullptr, nullptr, units(10), units(179.5), 0, west, MP_LIMITS, 23);
               }))
            .size();
    };
    EXPECT_EQ(strips(1), 1u);
    EXPECT_EQ(strips(0), 3u);
}

TEST_F(MpWriter, LimitsInMapUnitsThenInDegreesAndTheClamps)
{
    task_options.limit_south = units(-10);
    task_options.limit_north = units(20);
    task_options.limit_west = units(-30);
    task_options.limit_east = units(40);
    Corners c = data_lines(rectangle(80, 170, -80, -170, MP_LIMITS))[0];
    EXPECT_NEAR(c[0], -10, 1e-4);
    EXPECT_NEAR(c[4], 20, 1e-4);
    EXPECT_NEAR(c[3], -30, 1e-4);
    EXPECT_NEAR(c[1], 40, 1e-4);
    EXPECT_NEAR(data_lines(rectangle(80, 170, -80, -170, MP_NO_LIMITS))[0][4], 80, 1e-4);

    // The degree limits need preview limits and the longitude limit too.
    open_limits();
    task_options.preview_limits = 1;
    task_options.limit_longitude = 1;
    std::vector<Corners> s = data_lines(rectangle(89.9, 179.9, -89.9, -179.9, MP_LIMITS));
    EXPECT_EQ(s.front()[4], 89.5);
    EXPECT_EQ(s.front()[0], -89.5);
    EXPECT_EQ(s.front()[3], -178.5);
    EXPECT_EQ(s.back()[1], 178.5);

    // Beyond the poles and the antimeridian the clamps hold the edges, the
    // west edge with the margin on the other side.
    double u = 360.0 / 16777216.0;
    double k = 45.0 / 4194304.0;
    s = data_lines(rectangle(90, 180, -90, -180, MP_NO_LIMITS));
    EXPECT_NEAR(s.front()[3], -(180 - (u - k)), 6e-8);
    EXPECT_NEAR(s.back()[1], 180 - (u + k), 6e-8);
    EXPECT_NEAR(s.front()[4], 90 - (u + k), 6e-8);
    EXPECT_NEAR(s.front()[0], -(90 - (u + k)), 6e-8);
}

TEST_F(MpWriter, DecimalPointWhateverTheNumericLocale)
{
    // A locale with a decimal comma, made here from the system's locale
    // sources: no machine needs to have one installed.
    ScratchDir locales;
    RunResult made = run_program("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.file("de_DE.UTF-8")});
    ASSERT_EQ(made.exit_code, 0) << made.output;
    std::optional<std::string> old_path;
    if (const char* path = getenv("LOCPATH"))
        old_path = path;
    setenv("LOCPATH", locales.path().c_str(), 1);
    std::string old = setlocale(LC_NUMERIC, nullptr);
    bool comma = setlocale(LC_NUMERIC, "de_DE.UTF-8") && std::string(localeconv()->decimal_point) == ",";
    std::string text = comma ? rectangle(45, 22.5, 22.5, 0, MP_NO_LIMITS, 18) : std::string();
    setlocale(LC_NUMERIC, old.c_str());
    if (old_path)
        setenv("LOCPATH", old_path->c_str(), 1);
    else
        unsetenv("LOCPATH");
    ASSERT_TRUE(comma);
    EXPECT_NE(text.find("Data0=(22.4993134,22.5006866),"), std::string::npos);
}

TEST_F(MpWriter, MapRectanglesTakeTheSignedTreBoundsOfEachMapInside)
{
    // South and west with bit 23 set are negative.
    std::string tre = tre_subfile({.north = 0x100000, .east = 0x080000, .south = 0xF00000, .west = 0xF80000});
    TreInfo info;
    info.header.assign(tre.begin(), tre.begin() + 188);
    InputFile input;
    input.map_block.resize(3);
    MapEntry& inside = input.map_block[0];
    inside.tre_info = &info;
    inside.description = "Roads";
    inside.output_file_name = "00001234";
    input.map_block[1].description = "TYP";  // a data map: no TRE information
    input.map_block[2].tre_info = &info;
    input.map_block[2].outside_area = 1;
    input.map_block[2].description = "Far away";
    for (MapEntry& m : input.map_block)
        input.maps.push_back(&m);

    std::string text = written([&](FILE* f) { return write_map_rectangles(input, f, 24); });
    EXPECT_EQ(text.find("Far away"), std::string::npos);
    EXPECT_EQ(text.find("TYP"), std::string::npos);
    EXPECT_NE(text.find("[POLYGON]\r\nType=0x4a\r\nLabel=Roads~[0x1d]00001234\r\n"), std::string::npos);
    std::vector<Corners> lines = data_lines(text);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0][0], -22.5, 1e-4);
    EXPECT_NEAR(lines[0][3], -11.25, 1e-4);
    EXPECT_NEAR(lines[0][4], 22.5, 1e-4);
    EXPECT_NEAR(lines[0][1], 11.25, 1e-4);

    // With preview limits the maps keep to them.
    task_options.preview_limits = 1;
    task_options.limit_south = units(-10);
    task_options.limit_north = units(10);
    task_options.limit_west = units(-5);
    task_options.limit_east = units(5);
    lines = data_lines(written([&](FILE* f) { return write_map_rectangles(input, f, 24); }));
    EXPECT_NEAR(lines[0][0], -10, 1e-4);
    EXPECT_NEAR(lines[0][1], 5, 1e-4);
}
