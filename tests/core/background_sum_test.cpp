// Byte sums on the worker thread: totals equal the bytes' own sum whatever
// the pieces and however sums interleave; an unreadable piece names its
// file; a sum dropped with pieces pending, or moved, stays sound.
#include "core/background_sum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/files.h"
#include "tests/support/test_support.h"

namespace {

class BackgroundSums : public ::testing::Test {
protected:
    void SetUp() override
    {
        bytes.resize(3 * copy_piece_limit + 12345);
        uint32_t seed = 99;
        for (auto& b : bytes) {
            seed = seed * 1103515245 + 12345;
            b = static_cast<char>(seed >> 16);
        }
        path = dir.file("input.bin");
        write_file(path, bytes);
        stream = fopen(path.c_str(), "rb");
        ASSERT_NE(stream, nullptr);
        source = std::make_shared<const SumSource>(stream, path);
        ASSERT_TRUE(source->reader.is_open());
    }
    void TearDown() override
    {
        if (stream)
            fclose(stream);
    }

    uint32_t plain_sum(uint64_t offset, uint64_t n) const { return sum_bytes(bytes.data() + offset, n); }

    ScratchDir dir;
    std::string bytes;
    std::string path;
    FILE* stream = nullptr;
    std::shared_ptr<const SumSource> source;
};

}  // namespace

// Many small pieces (many more than the queue holds), whole pieces, known
// sums and a second sum fed in between: each total is its own bytes' sum, and taking it
// starts the sum afresh.
TEST_F(BackgroundSums, TotalsEqualTheBytesWhateverThePieces)
{
    BackgroundSum first, second;
    uint32_t first_expected = 0, second_expected = 0;
    for (uint32_t i = 0; i < 700; ++i) {
        uint64_t at = (uint64_t(i) * 4099) % (bytes.size() - 3000);
        uint32_t n = 1 + (i * 37) % 2999;
        first.add_piece(source, at, n);
        first_expected += plain_sum(at, n);
        if (i % 3 == 0) {
            second.add_piece(source, at + 1, n);
            second_expected += plain_sum(at + 1, n);
        }
    }
    for (uint64_t at = 0; at + copy_piece_limit <= bytes.size(); at += copy_piece_limit) {
        second.add_piece(source, at, copy_piece_limit);
        second_expected += plain_sum(at, copy_piece_limit);
    }
    first.add(0x12345);
    first_expected += 0x12345;

    uint32_t total = 0;
    std::string failed;
    ASSERT_TRUE(first.take_total(total, failed));
    EXPECT_EQ(total, first_expected);
    ASSERT_TRUE(second.take_total(total, failed));
    EXPECT_EQ(total, second_expected);
    EXPECT_TRUE(failed.empty());

    ASSERT_TRUE(first.take_total(total, failed));
    EXPECT_EQ(total, 0u);
    first.add_piece(source, 10, 20);
    ASSERT_TRUE(first.take_total(total, failed));
    EXPECT_EQ(total, plain_sum(10, 20));
}

// The worker reads through its own descriptor: the input's stream may be
// closed before the total is taken.
TEST_F(BackgroundSums, InputClosedBeforeTheTotal)
{
    BackgroundSum sum;
    sum.add_piece(source, 0, copy_piece_limit);
    sum.add_piece(source, copy_piece_limit, 5000);
    fclose(stream);
    stream = nullptr;
    source.reset();
    uint32_t total = 0;
    std::string failed;
    ASSERT_TRUE(sum.take_total(total, failed));
    EXPECT_EQ(total, plain_sum(0, copy_piece_limit + 5000));
}

// A piece the file no longer holds fails that total only, and names the file.
TEST_F(BackgroundSums, UnreadablePieceNamesItsFile)
{
    BackgroundSum bad, good;
    bad.add_piece(source, 0, 100);
    bad.add_piece(source, bytes.size() - 10, 20);
    good.add_piece(source, 0, 100);
    uint32_t total = 0;
    std::string failed;
    EXPECT_FALSE(bad.take_total(total, failed));
    EXPECT_EQ(failed, path);
    failed.clear();
    ASSERT_TRUE(good.take_total(total, failed));
    EXPECT_EQ(total, plain_sum(0, 100));
    // Taking the total clears the failure with the rest.
    bad.add_piece(source, 0, 100);
    EXPECT_TRUE(bad.take_total(total, failed));
}

// A sum dropped with pieces queued waits for them; one moved carries its
// total, and one assigned over waits for what it had before taking the other's.
TEST_F(BackgroundSums, DroppedAndMovedSums)
{
    for (int i = 0; i < 20; ++i) {
        BackgroundSum dropped;
        dropped.add_piece(source, 0, copy_piece_limit);
        dropped.add_piece(source, 0, 100);
    }
    BackgroundSum original;
    original.add_piece(source, 0, copy_piece_limit);
    original.add(7);
    BackgroundSum moved(std::move(original));
    BackgroundSum target;
    target.add_piece(source, 5, 5);
    target = std::move(moved);
    uint32_t total = 0;
    std::string failed;
    ASSERT_TRUE(target.take_total(total, failed));
    EXPECT_EQ(total, plain_sum(0, copy_piece_limit) + 7);
}
