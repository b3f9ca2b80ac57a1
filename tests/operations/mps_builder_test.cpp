// MPS builder: generated records, the copy of input records by letter, the
// removal of repeated product records and the join's assembly order.
#include "operations/mps_builder.h"

#include <gtest/gtest.h>

#include "core/img_format.h"
#include "core/task_options.h"
#include "tests/support/host_capture.h"
#include "tests/support/subfile_images.h"

namespace {

std::string mps_of(const ImgWriter& writer) { return std::string(writer.mps_buffer.begin(), writer.mps_buffer.end()); }

void set_mps(ImgWriter& writer, const std::string& bytes) { writer.mps_buffer.assign(bytes.begin(), bytes.end()); }

// An input whose MPS holds the given records, each listed as the reader
// lists them.
std::unique_ptr<InputFile> input_with_records(const std::vector<std::string>& records, bool marine = false)
{
    auto input = std::make_unique<InputFile>();
    for (const std::string& r : records) {
        MpsRecordRef ref;
        ref.letter = static_cast<uint8_t>(r[0]);
        ref.record_offset = static_cast<uint32_t>(input->mps_buffer.size());
        ref.record_length = static_cast<uint32_t>(r.size());
        input->mps_records.push_back(ref);
        input->mps_buffer.insert(input->mps_buffer.end(), r.begin(), r.end());
    }
    input->mps_length = static_cast<uint32_t>(input->mps_buffer.size());
    input->is_marine = marine;
    return input;
}

class MpsBuilding : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
    }
    void TearDown() override { clear_task_options(task_options); }
    ImgWriter writer;
};

}  // namespace

TEST_F(MpsBuilding, GeneratedLRecordLayout)
{
    writer.mapset_name = "Set";
    append_l_record(writer, 2, 1101, 0x01020304, "Own");
    std::string expected = mps_record('L', std::string("\x02\x00\x4D\x04\x04\x03\x02\x01", 8) +
                                               std::string("Set\0Own\0Set\0", 12) +
                                               std::string("\x04\x03\x02\x01\0\0\0\0", 8));
    EXPECT_EQ(mps_of(writer), expected);
    // Its size is what the size plan counts for a missing 'L' record:
    // the input's name, twice the mapset name and 22 bytes.
    EXPECT_EQ(expected.size(), 3u + 2 * 3 + 22);
}

TEST_F(MpsBuilding, MapsetNamesAreCutAt50Bytes)
{
    writer.mapset_name = std::string(60, 'x');
    EXPECT_EQ(writer_mapset_name(writer), std::string(50, 'x'));
    InputFile input;
    input.header_buffer.assign(512, ' ');
    ByteSpan h(input.header_buffer);
    h.put_bytes(ImgHeader::mapset_name_1, "Twenty characters ab", 20);
    h.put_bytes(ImgHeader::mapset_name_2, "cd\x01\x1f", 4);
    EXPECT_EQ(input_mapset_name(input), "Twenty characters abcd");
    h.put_u8(ImgHeader::mapset_name_1 + 6, 0);
    EXPECT_EQ(input_mapset_name(input), "Twenty");
    EXPECT_EQ(input_mapset_name(InputFile{}), "");
}

TEST_F(MpsBuilding, CopyByLetter)
{
    auto input = input_with_records({mps_v_record("V"), mps_f_record(1, 10, "F"), mps_l_record(1, 10, 5, {"L"}),
                                     mps_record('D', "d"), mps_p_record(1, 10)});
    input->mps_records[3].letter = 0;  // a record the reader did not take
    copy_mps_records(*input, writer, 1, "F");
    EXPECT_EQ(mps_of(writer), mps_f_record(1, 10, "F"));
    writer.mps_buffer.clear();
    copy_mps_records(*input, writer, 0, "VLF");
    EXPECT_EQ(mps_of(writer), mps_p_record(1, 10));
}

TEST_F(MpsBuilding, RepeatedFamilyRecordsKeepTheFirst)
{
    std::string l = mps_l_record(1, 10, 5, {"map"});
    set_mps(writer, l + mps_f_record(1, 10, "first") + mps_f_record(2, 10, "other product") +
                        mps_f_record(1, 10, "second") + mps_f_record(1, 9, "other family"));
    ASSERT_EQ(korekcja_mps(writer), 1);
    EXPECT_EQ(mps_of(writer), l + mps_f_record(1, 10, "first") + mps_f_record(2, 10, "other product") +
                                  mps_f_record(1, 9, "other family"));
}

TEST_F(MpsBuilding, RepeatedProductRecordsGoToo)
{
    set_mps(writer, mps_p_record(1, 10) + mps_f_record(1, 10, "F") + mps_p_record(1, 10, {1, 2, 3}) +
                        mps_p_record(1, 11));
    ASSERT_EQ(korekcja_mps(writer), 1);
    EXPECT_EQ(mps_of(writer), mps_p_record(1, 10) + mps_f_record(1, 10, "F") + mps_p_record(1, 11));
}

TEST_F(MpsBuilding, OneRecordOfEachSortIsLeftAlone)
{
    std::string bytes = mps_v_record("V") + mps_p_record(1, 10) + mps_f_record(1, 10, "F");
    set_mps(writer, bytes);
    ASSERT_EQ(korekcja_mps(writer), 1);
    EXPECT_EQ(mps_of(writer), bytes);
    set_mps(writer, "F\x01");
    ASSERT_EQ(korekcja_mps(writer), 1);
    EXPECT_EQ(mps_of(writer), "F\x01");
}

TEST_F(MpsBuilding, ACutLastRecordStaysAsItIs)
{
    std::string cut = mps_f_record(1, 10, "cut").substr(0, 6);
    set_mps(writer, mps_f_record(1, 10, "a") + mps_f_record(1, 10, "b") + cut);
    test_debug_mask = DBG_JOIN;
    take_debug_log();
    ASSERT_EQ(korekcja_mps(writer), 1);
    test_debug_mask = 0;
    EXPECT_EQ(mps_of(writer), mps_f_record(1, 10, "a") + cut);
    std::string debug = take_debug_log();
    EXPECT_NE(debug.find("koryguj_mps: niezgodna dlugosc bloku mln 24, p29\n"), std::string::npos) << debug;
    EXPECT_NE(debug.find("korekcja_mps: powielone rekordy F 1\n"), std::string::npos) << debug;
}

TEST_F(MpsBuilding, JoinAssemblyOrder)
{
    task_options.family_id = 1101;
    task_options.product_id = 3;
    writer.mapset_name = "Set";
    std::string l = mps_l_record(3, 1101, 11000001, {"Set", "x", "Set"});
    set_mps(writer, l);
    InputList inputs;
    inputs.push_back(input_with_records({mps_f_record(3, 1101, "same IDs"), mps_l_record(1, 1, 7, {"L"}),
                                         mps_record('D', "dd"), mps_v_record("theirs")}));
    inputs.push_back(input_with_records({mps_f_record(1, 1201, "Central"), mps_record('M', "m")}, true));
    int marine = 0;
    ASSERT_EQ(assemble_join_mps(inputs, writer, marine), 1);
    EXPECT_EQ(marine, 1);
    EXPECT_EQ(take_log(), "Writing: data MPS\n");
    std::string p = mps_record('P', std::string("\x03\x00\x4D\x04\0\0\0\0\0\0", 10));
    EXPECT_EQ(mps_of(writer), l + mps_v_record("Set") + p + mps_f_record(3, 1101, "Set") +
                                  mps_f_record(1, 1201, "Central") + mps_record('D', "dd") + mps_record('M', "m"));
}

TEST_F(MpsBuilding, NoIdsNoGeneratedProductRecords)
{
    writer.mapset_name = "Set";
    InputList inputs;
    inputs.push_back(input_with_records({mps_f_record(1, 1201, "Central")}));
    int marine = 1;
    ASSERT_EQ(assemble_join_mps(inputs, writer, marine), 1);
    EXPECT_EQ(marine, 0);
    EXPECT_EQ(mps_of(writer), mps_v_record("Set") + mps_f_record(1, 1201, "Central"));
}
