// Map ID change: separate JCV files, and the map IDs of containers in every
// place that holds them.
#include "operations/map_id_change.h"

#include <gtest/gtest.h>

#include "core/img_format.h"
#include "operations/inplace.h"
#include "tests/operations/inplace_support.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"

using namespace inplace_test;

namespace {

class JcvFile : public InplaceTest {};

// A JCV file whose ID section (offset 33, record size 37, length 39) holds
// records of record_size bytes starting with the given IDs; length_field
// other than 0 overrides the section length.
std::string jcv_file(const std::vector<uint32_t>& ids, uint16_t record_size = 8, uint32_t length_field = 0)
{
    std::string bytes = jcv_subfile();
    uint32_t offset = static_cast<uint32_t>(bytes.size());
    for (uint32_t id : ids) {
        std::string record(std::max<size_t>(record_size, 4), '\x55');
        put_u32(record, 0, id);
        record.resize(record_size);
        bytes += record;
    }
    put_u32(bytes, 33, offset);
    put_u16(bytes, 37, record_size);
    put_u32(bytes, 39, length_field ? length_field : static_cast<uint32_t>(ids.size() * record_size));
    return bytes;
}

}  // namespace

TEST_F(JcvFile, EveryIdIsShiftedAndNothingElseChanges)
{
    std::string bytes = jcv_file({11000001, 11000002, 5});
    std::string path = write("a.jcv", bytes);
    auto file = read(path);
    ASSERT_EQ(file->kind, FILE_JCV);
    task_options.map_id_mode = 255;
    task_options.map_id = 10;
    task_options.verbose = 1;
    apply_file_changes(*file, nullptr);
    std::string after = read_file(path);
    size_t section = get_u32(bytes, 33);
    EXPECT_EQ(get_u32(after, section), 11000001u - 10);
    EXPECT_EQ(get_u32(after, section + 8), 11000002u - 10);
    EXPECT_EQ(get_u32(after, section + 16), uint32_t(5 - 10));  // no range check: it wraps
    std::vector<uint8_t> a(bytes.begin(), bytes.end()), b(after.begin(), after.end());
    EXPECT_TRUE(only_in(changed_offsets(a, b), {{section, section + 3}, {section + 8, section + 11},
                                                {section + 16, section + 19}}));
    EXPECT_EQ(take_log(), "Write: data file " + path +
                              ".\n  JCV 00A7D8C1 -> 00A7D8B7\n  JCV 00A7D8C2 -> 00A7D8B8\n  JCV 00000005 -> FFFFFFFB\n");
    EXPECT_EQ(file->stream, nullptr);
}

TEST_F(JcvFile, SettingIdsIsRefusedWithAWarning)
{
    std::string bytes = jcv_file({1, 2});
    std::string path = write("a.jcv", bytes);
    task_options.map_id_mode = 1;
    task_options.map_id = 100;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(read_file(path), bytes);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(take_log(),
              "\n== Warning: Changing MID in JCV file is unsupported, file " + path + ".\n== no changes made.\n\n");
}

TEST_F(JcvFile, ASectionTheFileCannotHoldIsRefusedBeforeAnyWrite)
{
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"section past the end", jcv_file({1, 2}, 8, 64)},
        {"record size below 4", jcv_file({1, 2}, 3)},
        {"no records", jcv_file({}, 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = write("b.jcv", c.bytes);
        auto file = read(path);
        error_count = 0;
        task_options.map_id_mode = 2;
        task_options.map_id = 1;
        apply_file_changes(*file, nullptr);
        EXPECT_EQ(read_file(path), c.bytes);
        EXPECT_EQ(take_log(), "Error changing MID in JCV, file " + path + ".\n");
        EXPECT_EQ(error_count, 1);
        EXPECT_EQ(file->stream, nullptr);
    }
}

TEST_F(JcvFile, ALastRecordTooShortForAnIdIsLeftAlone)
{
    // Records of 6 bytes over 15 bytes: two whole records and 3 bytes.
    std::string bytes = jcv_file({7, 8, 9}, 6, 15);
    std::string path = write("c.jcv", bytes);
    EXPECT_EQ(change_jcv_map_ids(*read(path), 1), 1);
    std::string after = read_file(path);
    size_t section = get_u32(bytes, 33);
    EXPECT_EQ(get_u32(after, section), 8u);
    EXPECT_EQ(get_u32(after, section + 6), 9u);
    EXPECT_EQ(after.substr(section + 12), bytes.substr(section + 12));
}
