// The map-ID list: repeated map numbers within a file and across files,
// the unsigned order of the IDs, and the cases that must stay silent.
#include "core/map_ids.h"

#include <gtest/gtest.h>

#include "tests/core/built_inputs.h"

namespace {

class MapIds : public BuiltInputs {
protected:
    InputFile& add(const std::string& p)
    {
        InputFile& file = add_input_file(inputs, p);
        EXPECT_EQ(read_path(file, p), 1);
        return file;
    }
    static std::string warning(uint32_t id, const char* hex, const std::vector<std::string>& files)
    {
        std::string text = "\n== Warning: repeated map ID number.\n== Map ID " + std::to_string(id) + " (" + hex + ")";
        for (const std::string& f : files)
            text += ", file " + f;
        return text + ".\n\n";
    }

    InputList inputs;
};

}  // namespace

TEST_F(MapIds, NothingNumberedIsNoWarning)
{
    EXPECT_EQ(collect_map_ids(inputs), 1);
    add(data_path("typ/west1101.typ"));  // a data file has no maps
    ImgBuilder b;
    b.add_subfile("NONUMBER", "RGN", common_header("RGN", 125, 200));
    b.add_subfile("OTHERSET", "TYP", typ_subfile());
    path = dir.file("none.img");
    b.write(path);
    add(path);
    EXPECT_EQ(collect_map_ids(inputs), 1);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(warning_count, 0);
}

TEST_F(MapIds, TwoMapsOfOneFileNameItOnce)
{
    ImgBuilder b;
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 12345}));
    b.add_subfile("00000002", "TRE", tre_subfile({.map_id = 12345}));
    b.add_subfile("00000003", "TRE", tre_subfile({.map_id = 54321}));
    path = dir.file("twice.img");
    b.write(path);
    add(path);
    EXPECT_EQ(collect_map_ids(inputs), 1);
    EXPECT_EQ(take_log(), warning(12345, "3039", {path}));
    EXPECT_EQ(warning_count, 1);
}

TEST_F(MapIds, OneIdInTwoFilesNamesBothInListOrder)
{
    std::string west = data_path("gmapsupp/west-1101-p1.img");
    std::string index = data_path("gmapsupp/index-1101-p1.img");
    add(west);
    add(index);
    add(data_path("gmapsupp/central-1201-p2.img"));
    EXPECT_EQ(collect_map_ids(inputs), 1);
    EXPECT_EQ(take_log(), warning(11000001, "A7D8C1", {west, index}) + warning(11000002, "A7D8C2", {west, index}));
    EXPECT_EQ(warning_count, 2);
}

TEST(MapIdWarnings, IdsSortAsUnsignedAndEqualOnesKeepTheirOrder)
{
    error_count = warning_count = 0;
    take_log();
    // Two inputs of the same name are still two files.
    const char a[] = "a.img", b[] = "b.img", c[] = "c.img", same_as_c[] = "c.img";
    MapIdEntry entries[] = {
        {0x80000000u, 0, a, nullptr, nullptr}, {1, 0, c, nullptr, nullptr},
        {0x80000000u, 0, b, nullptr, nullptr}, {1, 0, same_as_c, nullptr, nullptr},
        {1, 0, nullptr, nullptr, nullptr},
    };
    warn_repeated_map_ids(entries, std::size(entries));
    EXPECT_EQ(take_log(),
              "\n== Warning: repeated map ID number.\n== Map ID 1 (1), file c.img, file c.img.\n\n"
              "\n== Warning: repeated map ID number.\n== Map ID 1 (1), file c.img.\n\n"
              "\n== Warning: repeated map ID number.\n== Map ID 2147483648 (80000000), file a.img, file b.img.\n\n");
    EXPECT_EQ(warning_count, 3);

    // One entry, or none, says nothing.
    warn_repeated_map_ids(entries, 1);
    warn_repeated_map_ids(nullptr, 5);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(warning_count, 3);
}

TEST(MapIdWarnings, PolishTexts)
{
    english_texts = 0;
    load_messages_mp(nullptr, 0, 0);
    EXPECT_STREQ(mp_WRMINM.text(), "\n== Ostrzeżenie: powtórzony numer ID mapy.\n== ID mapy %u (%X)");
    EXPECT_STREQ(mp_FileST.text(), ", plik %s");
    english_texts = 1;
    load_messages_mp(nullptr, 0, 0);
    EXPECT_STREQ(mp_FileST.text(), ", file %s");
    EXPECT_EQ(mp_WRMINM.max_size(), 168u);
    EXPECT_EQ(mp_FileST.max_size(), 78u);
}
