// TYP correction of separate TYP files and of TYP subfiles, and the
// replacement of TYP subfiles by a TYP file of the list.
#include "operations/typ_fix.h"

#include <gtest/gtest.h>

#include "operations/inplace.h"
#include "tests/operations/inplace_support.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"

using namespace inplace_test;

namespace {

class TypFile : public InplaceTest {};

}  // namespace

TEST_F(TypFile, CodePageAloneChangesTwoBytesAndShowsTheOldIds)
{
    std::string path = copy("typ/west1101.typ");
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    task_options.typ_fix_flags = 4;
    task_options.typ_code_page = 1250;
    apply_file_changes(*file, nullptr);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x15, 0x16}}));
    EXPECT_EQ(ByteView(after).u16(0x15), 1250);
    EXPECT_EQ(take_log(), "TYP correction: file " + path + ", FID 1101, PID 1, CP 1250\n");
    EXPECT_EQ(file->data_code_page, 1250u);
    EXPECT_EQ(read(path)->data_code_page, 1250u);
}

TEST_F(TypFile, FamilyAndProductIds)
{
    std::string path = copy("typ/west1101-cp0.typ");
    std::vector<uint8_t> before = file_bytes(path);
    // -y 2201,3,1252: flags 7.
    task_options.typ_fix_flags = 7;
    task_options.typ_family_id = 2201;
    task_options.typ_product_id = 3;
    task_options.typ_code_page = 1252;
    apply_file_changes(*read(path), nullptr);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x15, 0x16}, {0x2F, 0x32}}));
    auto again = read(path);
    EXPECT_EQ(again->fid, 2201u);
    EXPECT_EQ(again->pid, 3u);
    EXPECT_EQ(again->data_code_page, 1252u);
    EXPECT_EQ(take_log(), "TYP correction: file " + path + ", FID 2201, PID 3, CP 1252\n");

    // -y 0,5: the product ID alone (flags 2).
    task_options.typ_fix_flags = 2;
    task_options.typ_family_id = 0;
    task_options.typ_product_id = 5;
    task_options.typ_code_page = 0;
    apply_file_changes(*read(path), nullptr);
    auto third = read(path);
    EXPECT_EQ(third->fid, 2201u);
    EXPECT_EQ(third->pid, 5u);
    EXPECT_EQ(take_log(), "TYP correction: file " + path + ", FID 2201, PID 5, CP 1252\n");
}

TEST_F(TypFile, AllNewValuesZeroWriteAndLogNothing)
{
    std::string path = copy("typ/cent1201.typ");
    std::vector<uint8_t> before = file_bytes(path);
    EXPECT_EQ(correct_typ_ids(*read(path), 7, 0, 0, 0, -1, -1), 1);
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(take_log(), "");
}

TEST_F(TypFile, TheFilterPicksTheFileByItsOwnIds)
{
    std::string path = copy("typ/west1101-fid9999.typ");
    std::vector<uint8_t> before = file_bytes(path);
    EXPECT_EQ(correct_typ_ids(*read(path), 4, 0, 0, 1250, 1101, -1), 1);
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(correct_typ_ids(*read(path), 4, 0, 0, 1250, 9999, 1), 1);
    EXPECT_NE(file_bytes(path), before);
    take_log();
}

TEST_F(TypFile, AFileShorterThanTheFieldsIsRefusedByName)
{
    // "GARMIN TYP" and 40 bytes: a TYP file, but the IDs at 0x2F do not fit.
    std::string bytes = typ_subfile(1252, 1, 1, 156, 200).substr(0, 40);
    std::string path = write("short.typ", bytes);
    auto file = read(path);
    ASSERT_EQ(file->kind, FILE_TYP);
    task_options.typ_fix_flags = 3;
    task_options.typ_family_id = 77;
    task_options.typ_product_id = 1;
    apply_file_changes(*file, nullptr);
    EXPECT_EQ(read_file(path), bytes);
    EXPECT_EQ(take_log(), "TYP file too short, file " + path + ".\n");
    EXPECT_EQ(error_count, 1);

    // The code page at 0x15 fits.
    error_count = 0;
    task_options.typ_fix_flags = 4;
    task_options.typ_code_page = 1250;
    apply_file_changes(*file, nullptr);
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(get_u16(read_file(path), 0x15), 1250u);
    EXPECT_EQ(read_file(path).size(), 40u);
    take_log();
}

namespace {

class TypSubfile : public InplaceTest {
protected:
    // The bytes of the container's TYP subfile of a family, from a fresh read.
    std::string typ_bytes(const std::string& path, uint32_t family_id)
    {
        auto file = read(path);
        for (const SubfileEntry& s : file->subfiles) {
            if (s.kind != SUB_TYP || !s.header_info || s.header_info->family_id != family_id)
                continue;
            return subfile_bytes(*file, s);
        }
        return "";
    }
    // Runs the TYP replacement of a list of the container and a TYP file.
    void replace(const std::string& img, const std::string& typ)
    {
        InputList list;
        list.push_back(read(img));
        list.push_back(read(typ));
        task_options.replace_typ = 1;
        for (auto& input : list)
            apply_file_changes(*input, &list);
    }
};

}  // namespace

TEST_F(TypSubfile, TheOneTypSubfileIsCorrected)
{
    std::string path = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(path);
    std::string typ = typ_bytes(path, 1101);
    task_options.typ_fix_flags = 3;
    task_options.typ_family_id = 2201;
    task_options.typ_product_id = 3;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(take_log(), "TYP correction: file " + path + ", FID 2201, PID 3, CP 1252\n");
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(content_sum(after), content_sum(before));
    std::string now = typ_bytes(path, 2201);
    ASSERT_EQ(now.size(), typ.size());
    EXPECT_EQ(get_u16(now, 0x2F), 2201u);
    EXPECT_EQ(get_u16(now, 0x31), 3u);
    put_u16(typ, 0x2F, 2201);
    put_u16(typ, 0x31, 3);
    EXPECT_EQ(now, typ);
    // Four TYP bytes and the checksum byte.
    EXPECT_LE(changed_offsets(before, after).size(), 5u);
}

TEST_F(TypSubfile, TwoTypSubfilesNeedAFilter)
{
    std::string path = copy("gmapsupp/mixed-3families.img");
    std::vector<uint8_t> before = file_bytes(path);
    task_options.typ_fix_flags = 4;
    task_options.typ_code_page = 1257;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(take_log(), "\n== Warning: multiple TYP subfile in file " + path + ".\n== no changes made.\n\n");

    task_options.id_flags = 1;
    task_options.family_id = 1201;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(take_log(), "TYP correction: file " + path + ", FID 1201, PID 2, CP 1257\n");
    EXPECT_EQ(get_u16(typ_bytes(path, 1201), 0x15), 1257u);
    EXPECT_EQ(get_u16(typ_bytes(path, 1101), 0x15), 1252u);
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
}

TEST_F(TypSubfile, ReplacedByTheSameSizeABiggerAndASmallerTyp)
{
    std::string original = read_file(data_path("typ/west1101.typ"));
    struct Case {
        const char* what;
        std::string typ;
    } cases[] = {
        {"same size", original.substr(0, 700) + std::string(original.size() - 700, '\x11')},
        {"10 KiB bigger", original + std::string(10240, '\x22')},
        {"smaller", original.substr(0, 200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string img = copy("gmapsupp/west-1101-p1.img");
        std::vector<uint8_t> before = file_bytes(img);
        std::string typ = write("west1101.typ", c.typ);
        replace(img, typ);
        EXPECT_EQ(take_log(), "Map " + img + ", writing typ file.\n");
        EXPECT_EQ(warning_count + error_count, 0);
        std::vector<uint8_t> after = file_bytes(img);
        EXPECT_EQ(content_sum(after), content_sum(before));
        EXPECT_EQ(after.size() % 512, 0u);
        EXPECT_GE(after.size(), before.size());
        EXPECT_EQ(typ_bytes(img, 1101), c.typ);
        auto again = read(img);
        EXPECT_EQ(ByteView(again->header_buffer).u16(0x39), 2025);
        for (const SubfileEntry& s : again->subfiles) {
            EXPECT_EQ(s.flags, 0) << s.name;
            if (s.kind == SUB_TYP) {
                EXPECT_EQ(std::string(s.name, 11), "west1101TYP");  // the TYP file's own name
            }
        }
    }
}

TEST_F(TypSubfile, NoRoomAndNoMatchLeaveTheContainer)
{
    std::string img = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(img);
    // Over 240 blocks: a second FAT entry, and the container has none free.
    std::string big = read_file(data_path("typ/west1101.typ")) + std::string(130000, '\x33');
    replace(img, write("west1101.typ", big));
    EXPECT_EQ(take_log(), "Map " + img + ", no place to write typ file.\n\n== Warning: typ file was not replaced.\n\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(file_bytes(img), before);

    error_count = warning_count = 0;
    replace(img, copy("typ/west1101-fid9999.typ"));
    EXPECT_EQ(take_log(), "\n== Warning: typ file was not replaced.\n\n");
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(file_bytes(img), before);
}

TEST_F(TypSubfile, ABuiltContainerWithAFreeEntryTakesABigTyp)
{
    for (uint8_t x : {uint8_t(0), uint8_t(0x5A)}) {
        SCOPED_TRACE(int(x));
        ImgBuilder b({.xor_byte = x});
        b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
        b.add_subfile("OLD_TYP1", "TYP", typ_subfile(1252, 55, 6));
        b.add_free_entry();
        std::string img = write("c.img", b.build());
        std::vector<uint8_t> before = file_bytes(img);
        std::string typ = typ_subfile(1250, 55, 6, 156, 130000);
        replace(img, write("new55.typ", typ));
        EXPECT_EQ(take_log(), "Map " + img + ", writing typ file.\n");
        std::vector<uint8_t> after = file_bytes(img);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        EXPECT_EQ(typ_bytes(img, 55), typ);
        auto again = read(img);
        for (const SubfileEntry& s : again->subfiles) {
            if (s.kind == SUB_TYP) {
                EXPECT_EQ(std::string(s.name, 11), "new55   TYP");
                EXPECT_EQ(s.header_info->code_page, 1250u);
            }
        }
    }
}

// The TYP subfile's FAT entry listed twice: a replacement that would rename
// it (and leave the other copy under the old name, sharing its blocks) is
// refused untouched; one that keeps the name goes ahead, and the file reads
// back whole.
TEST_F(TypSubfile, ARenameOfATypEntryListedTwiceIsRefused)
{
    for (uint8_t x : {uint8_t(0), uint8_t(0x5A)}) {
        SCOPED_TRACE(int(x));
        ImgBuilder b({.xor_byte = x});
        b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
        int typ = b.add_subfile("OLD_TYP1", "TYP", typ_subfile(1252, 55, 6));
        size_t copy_row = b.add_free_entry();
        b.copy_fat_row(b.fat_row(typ, 0), copy_row);
        std::string img = write("c.img", b.build());
        std::vector<uint8_t> before = file_bytes(img);
        std::string typ_data = typ_subfile(1250, 55, 6, 156, 2000);

        replace(img, write("new55.typ", typ_data));
        EXPECT_EQ(file_bytes(img), before);
        EXPECT_EQ(error_count, 1);
        EXPECT_EQ(take_log(), "Error: FAT entry of subfile OLD_TYP1.TYP is listed twice, TYP subfile not replaced, "
                              "file " + img + ".\n\n== Warning: typ file was not replaced.\n\n");

        error_count = 0;
        replace(img, write("OLD_TYP1.typ", typ_data));
        EXPECT_EQ(error_count, 0);
        EXPECT_EQ(take_log(), "Map " + img + ", writing typ file.\n");
        EXPECT_EQ(content_sum(file_bytes(img), x), content_sum(before, x));
        EXPECT_EQ(typ_bytes(img, 55), typ_data);
    }
}

TEST_F(TypSubfile, AXoredContainerTakesABiggerTyp)
{
    std::string img = copy("damaged/valid-xor-5a.img");  // the west map set, XOR 0x5A
    std::vector<uint8_t> before = file_bytes(img);
    std::string typ = read_file(data_path("typ/west1101.typ")) + std::string(5000, '\x66');
    replace(img, write("west1101.typ", typ));
    EXPECT_EQ(take_log(), "Map " + img + ", writing typ file.\n");
    std::vector<uint8_t> after = file_bytes(img);
    EXPECT_GT(after.size(), before.size());
    EXPECT_EQ(content_sum(after, 0x5A), content_sum(before, 0x5A));
    EXPECT_EQ(typ_bytes(img, 1101), typ);
}
