// The Polish-format rectangles: section layout, the half-unit widening and
// its clamps, the preview limits, the strips of wide boxes, the sign rule of
// TRE bounds and the decimal point.
#include "operations/mp_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/files.h"
#include "operations/task_options.h"
#include "tests/core/built_inputs.h"
#include "tests/support/subfile_images.h"

namespace {

// Map units of a number of degrees (exact for the multiples used here).
int32_t units(double degrees) { return static_cast<int32_t>(degrees * 16777216.0 / 360.0); }

// What the writer wrote into a memory stream.
class MemoryFile {
public:
    MemoryFile() : file_(open_memstream(&data_, &size_)) {}
    ~MemoryFile()
    {
        if (file_)
            fclose(file_);
        free(data_);
    }
    FILE* get() const { return file_; }
    std::string text()
    {
        fflush(file_);
        return std::string(data_, size_);
    }

private:
    char* data_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

using Corners = std::array<double, 8>;  // lat, lon of four corners

// The corners of every Data0 line, in order.
std::vector<Corners> data_lines(const std::string& text)
{
    std::vector<Corners> lines;
    size_t at = 0;
    while ((at = text.find("Data0=", at)) != std::string::npos) {
        Corners c{};
        EXPECT_EQ(sscanf(text.c_str() + at, "Data0=(%lf,%lf),(%lf,%lf),(%lf,%lf),(%lf,%lf)", &c[0], &c[1], &c[2],
                         &c[3], &c[4], &c[5], &c[6], &c[7]),
                  8);
        lines.push_back(c);
        ++at;
    }
    return lines;
}

// Width in degrees of each section (east corner minus west corner).
std::vector<double> widths(const std::string& text)
{
    std::vector<double> w;
    for (const Corners& c : data_lines(text))
        w.push_back(c[1] - c[3]);
    return w;
}

class MpWriter : public BuiltInputs {
protected:
    // Limits that keep any box: the whole map-unit range.
    void open_limits()
    {
        task_options.limit_south = -0x800000;
        task_options.limit_north = 0x800000;
        task_options.limit_west = -0x800000;
        task_options.limit_east = 0x800000;
    }

    MemoryFile out;
};

}  // namespace

TEST_F(MpWriter, OneSectionWithItsLinesAndHalfUnitMargins)
{
    // bits 18: a unit is 360 / 2^18 = 0.001373291015625 degrees.
    ASSERT_EQ(write_mp_rectangle(out.get(), "Type=0x4a", "Label=A~[0x1d]B", units(45), units(22.5), units(22.5), 0,
                                 MP_NO_LIMITS, 18),
              1);
    EXPECT_EQ(out.text(),
              "[POLYGON]\r\n"
              "Type=0x4a\r\n"
              "Label=A~[0x1d]B\r\n"
              "Data0=(22.4993134,22.5006866),(22.4993134,-0.0006866),(45.0006866,-0.0006866),(45.0006866,22.5006866)\r\n"
              "[END]\r\n"
              "\r\n");
}

TEST_F(MpWriter, WithoutTypeAndSecondLineOnlyTheDataLine)
{
    ASSERT_EQ(write_mp_rectangle(out.get(), nullptr, nullptr, units(10), units(10), 0, 0, MP_NO_LIMITS, 24), 1);
    std::string text = out.text();
    EXPECT_EQ(text.substr(0, 17), "[POLYGON]\r\nData0=");
    EXPECT_EQ(text.substr(text.size() - 11), "\r\n[END]\r\n\r\n");
    EXPECT_EQ(data_lines(text).size(), 1u);
}

TEST_F(MpWriter, WideBoxesAreCutIntoStrips)
{
    {
        // 200 degrees without limits: three equal strips.
        MemoryFile f;
        write_mp_rectangle(f.get(), nullptr, nullptr, units(10), units(100), 0, units(-100), MP_NO_LIMITS, 24);
        std::vector<double> w = widths(f.text());
        ASSERT_EQ(w.size(), 3u);
        for (double x : w)
            EXPECT_NEAR(x, 200.0 / 3, 1e-4);
    }
    open_limits();
    {
        // The same with mode 2: 178 degrees, then the rest.
        MemoryFile f;
        write_mp_rectangle(f.get(), nullptr, nullptr, units(10), units(100), 0, units(-100), MP_LIMITS_STRIPS, 24);
        std::vector<double> w = widths(f.text());
        ASSERT_EQ(w.size(), 2u);
        EXPECT_NEAR(w[0], 178, 1e-6);
        EXPECT_NEAR(w[1], 22, 1e-4);
    }
    {
        // 358 degrees with mode 2: 90, 178 and 90.
        MemoryFile f;
        write_mp_rectangle(f.get(), nullptr, nullptr, units(10), units(179), 0, units(-179), MP_LIMITS_STRIPS, 24);
        std::vector<Corners> lines = data_lines(f.text());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NEAR(lines[0][1] - lines[0][3], 90, 1e-4);
        EXPECT_NEAR(lines[1][1] - lines[1][3], 178, 1e-6);
        EXPECT_NEAR(lines[2][1] - lines[2][3], 90, 1e-4);
        // West to east, each strip starting where the one before ended.
        EXPECT_DOUBLE_EQ(lines[0][1], lines[1][3]);
        EXPECT_DOUBLE_EQ(lines[1][1], lines[2][3]);
    }
}

TEST_F(MpWriter, ExactlyOneHundredSeventyEightAndAHalfDegreesIsOneSection)
{
    // With bits 23 half a unit is one map unit, so a west edge of one unit
    // lands on 0 exactly, and the longitude limit puts the east edge on 178.5.
    open_limits();
    task_options.preview_limits = 1;
    task_options.limit_longitude = 1;
    MemoryFile one;
    write_mp_rectangle(one.get(), nullptr, nullptr, units(10), units(179.5), 0, 1, MP_LIMITS, 23);
    std::vector<Corners> lines = data_lines(one.text());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][3], 0.0);
    EXPECT_EQ(lines[0][1], 178.5);
    // One unit further west is wider than 178.5: three strips.
    MemoryFile three;
    write_mp_rectangle(three.get(), nullptr, nullptr, units(10), units(179.5), 0, 0, MP_LIMITS, 23);
    EXPECT_EQ(data_lines(three.text()).size(), 3u);
}

TEST_F(MpWriter, LimitsAreMapUnitsThenDegreeLimitsWithLongitudeLimit)
{
    task_options.limit_south = units(-10);
    task_options.limit_north = units(20);
    task_options.limit_west = units(-30);
    task_options.limit_east = units(40);
    task_options.preview_limits = 1;
    write_mp_rectangle(out.get(), nullptr, nullptr, units(80), units(170), units(-80), units(-170), MP_LIMITS, 24);
    std::vector<Corners> lines = data_lines(out.text());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0][0], -10, 1e-4);  // south
    EXPECT_NEAR(lines[0][4], 20, 1e-4);   // north
    EXPECT_NEAR(lines[0][3], -30, 1e-4);  // west
    EXPECT_NEAR(lines[0][1], 40, 1e-4);   // east
    // Still widened by half a unit.
    EXPECT_LT(lines[0][0], units(-10) * 360.0 / 16777216.0);
    EXPECT_GT(lines[0][1], units(40) * 360.0 / 16777216.0);

    // Mode 0 ignores the limits; the degree limits need mode, preview
    // limits and the longitude limit together.
    MemoryFile plain;
    write_mp_rectangle(plain.get(), nullptr, nullptr, units(80), units(170), units(-80), units(-170), MP_NO_LIMITS, 24);
    EXPECT_NEAR(data_lines(plain.text())[0][4], 80, 1e-4);
    open_limits();
    task_options.limit_longitude = 1;
    MemoryFile degrees;
    write_mp_rectangle(degrees.get(), nullptr, nullptr, units(89.9), units(179.9), units(-89.9), units(-179.9),
                       MP_LIMITS, 24);
    std::vector<Corners> strips = data_lines(degrees.text());
    ASSERT_EQ(strips.size(), 3u);  // 357 degrees in mode 1: three equal strips
    EXPECT_EQ(strips[0][4], 89.5);
    EXPECT_EQ(strips[0][0], -89.5);
    EXPECT_EQ(strips[0][3], -178.5);
    EXPECT_EQ(strips[2][1], 178.5);
}

TEST_F(MpWriter, EdgesAtTheAntimeridianAreClamped)
{
    // The whole longitude range; the latitudes beyond the pole.
    write_mp_rectangle(out.get(), nullptr, nullptr, 0x400000, 0x800000, -0x400000, -0x800000, MP_NO_LIMITS, 24);
    std::vector<Corners> lines = data_lines(out.text());
    ASSERT_EQ(lines.size(), 3u);
    double u = 360.0 / 16777216.0;
    double k = 45.0 / 4194304.0;
    EXPECT_NEAR(lines[0][3], -(180 - (u - k)), 6e-8);
    EXPECT_NEAR(lines[2][1], 180 - (u + k), 6e-8);
    EXPECT_NEAR(lines[0][4], 90 - (u + k), 6e-8);
    EXPECT_NEAR(lines[0][0], -(90 - (u + k)), 6e-8);
}

TEST_F(MpWriter, DecimalPointWhateverTheNumericLocale)
{
    const char* saved = setlocale(LC_NUMERIC, nullptr);
    std::string old = saved ? saved : "C";
    const char* comma = nullptr;
    for (const char* name : {"pl_PL.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "pl_PL", "de_DE"})
        if (setlocale(LC_NUMERIC, name)) {
            comma = name;
            break;
        }
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    write_mp_rectangle(out.get(), nullptr, nullptr, units(45), units(22.5), units(22.5), 0, MP_NO_LIMITS, 18);
    setlocale(LC_NUMERIC, old.c_str());
    EXPECT_NE(out.text().find("Data0=(22.4993134,22.5006866),"), std::string::npos);
}

TEST_F(MpWriter, AFailedWriteIsReported)
{
    FILE* read_only = fopen(data_path("single/plain/11000001.img").c_str(), "rb");
    ASSERT_NE(read_only, nullptr);
    EXPECT_EQ(write_mp_rectangle(read_only, "Type=0x4b", nullptr, 10, 10, 0, 0, MP_NO_LIMITS, 24), 0);
    fclose(read_only);
}

TEST_F(MpWriter, MapRectanglesTakeTheSignedTreBoundsOfEachMapInside)
{
    // South and west with bit 23 set are negative; north and east only above
    // 0x800000.
    TreInfo west_map;
    std::string tre = tre_subfile({.north = 0x100000, .east = 0x080000, .south = 0xF00000, .west = 0xF80000});
    west_map.header.assign(tre.begin(), tre.begin() + 188);
    TreInfo outside;
    outside.header = west_map.header;

    InputFile input;
    input.map_block.resize(3);
    MapEntry& a = input.map_block[0];
    a.tre_info = &west_map;
    a.description = "Roads";
    a.output_file_name = "00001234";
    MapEntry& b = input.map_block[1];  // a data map: no TRE information
    b.description = "TYP";
    MapEntry& c = input.map_block[2];
    c.tre_info = &outside;
    c.outside_area = 1;
    c.description = "Far away";
    for (MapEntry& m : input.map_block)
        input.maps.push_back(&m);

    ASSERT_EQ(write_map_rectangles(input, out.get(), 24), 1);
    std::string text = out.text();
    EXPECT_EQ(text.find("Far away"), std::string::npos);
    EXPECT_EQ(text.find("TYP"), std::string::npos);
    EXPECT_NE(text.find("[POLYGON]\r\nType=0x4a\r\nLabel=Roads~[0x1d]00001234\r\n"), std::string::npos);
    std::vector<Corners> lines = data_lines(text);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0][0], -22.5, 1e-4);  // south 0xF00000
    EXPECT_NEAR(lines[0][3], -11.25, 1e-4);  // west 0xF80000
    EXPECT_NEAR(lines[0][4], 22.5, 1e-4);
    EXPECT_NEAR(lines[0][1], 11.25, 1e-4);

    // With preview limits the maps are cut to them, in strips of mode 2.
    task_options.preview_limits = 1;
    task_options.limit_south = units(-10);
    task_options.limit_north = units(10);
    task_options.limit_west = units(-5);
    task_options.limit_east = units(5);
    MemoryFile limited;
    write_map_rectangles(input, limited.get(), 24);
    std::vector<Corners> cut = data_lines(limited.text());
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_NEAR(cut[0][0], -10, 1e-4);
    EXPECT_NEAR(cut[0][1], 5, 1e-4);
}
