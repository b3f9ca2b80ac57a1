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
