// The test-support IMG builder, checked against real files of the corpus:
// rebuilt from their own subfiles, they must come out with the same FAT and
// the same data blocks; and the builder's XOR, checksum, multi-entry and
// moved-entry layouts against a FAT walk of its own.
#include "tests/support/img_builder.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/support/test_support.h"

namespace {

// A FAT entry as a plain walk of the file sees it.
struct WalkedEntry {
    uint8_t flag;
    std::string name11;
    uint32_t size;
    unsigned part;
    std::vector<uint16_t> blocks;  // up to the first 0xFFFF
};

struct WalkedFat {
    uint32_t first_fat = 0;
    uint32_t header_fat_size = 0;
    std::vector<WalkedEntry> entries;  // every entry of the header+FAT area
};

WalkedFat walk_fat(const std::string& file)
{
    WalkedFat fat;
    fat.first_fat = get_u8(file, 0x40) * 512;
    fat.header_fat_size = get_u32(file, fat.first_fat + 12);
    for (size_t at = fat.first_fat; at + 512 <= fat.header_fat_size; at += 512) {
        WalkedEntry e{static_cast<uint8_t>(get_u8(file, at)), file.substr(at + 1, 11), get_u32(file, at + 12),
                      get_u8(file, at + 0x11), {}};
        for (size_t slot = 0; slot < 240; ++slot) {
            uint16_t block = static_cast<uint16_t>(get_u16(file, at + 0x20 + 2 * slot));
            if (block == 0xFFFF)
                break;
            e.blocks.push_back(block);
        }
        fat.entries.push_back(e);
    }
    return fat;
}

struct WalkedSubfile {
    std::string name11;
    std::string bytes;
};

// The subfiles in FAT order, each read through the blocks of its parts.
std::vector<WalkedSubfile> walk_subfiles(const std::string& file, uint32_t block_size)
{
    WalkedFat fat = walk_fat(file);
    std::vector<WalkedSubfile> subfiles;
    const std::string blank(11, ' ');
    for (size_t i = 0; i < fat.entries.size(); ++i) {
        const WalkedEntry& first = fat.entries[i];
        if (first.flag != 1 || first.part != 0 || first.name11 == blank)
            continue;
        std::string bytes;
        for (size_t j = i; j < fat.entries.size(); ++j) {
            const WalkedEntry& e = fat.entries[j];
            if (e.flag != 1 || e.name11 != first.name11 || e.part != j - i)
                break;
            for (uint16_t block : e.blocks)
                bytes += file.substr(size_t(block) * block_size, block_size);
        }
        bytes.resize(first.size);
        subfiles.push_back({first.name11, bytes});
    }
    return subfiles;
}

uint8_t byte_sum(const std::string& bytes)
{
    return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u,
                                                [](unsigned sum, char c) { return sum + static_cast<uint8_t>(c); }));
}

std::string xored(std::string bytes, uint8_t x)
{
    for (char& c : bytes)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ x);
    return bytes;
}

}  // namespace

// The corpus maker lays out FAT and blocks just as the builder does: header
// entries first, then each subfile's entries in FAT order with its blocks
// following on. Rebuilt from the extracted subfiles, everything from the
// first FAT entry to the end of the file must be byte-identical.
TEST(ImgBuilder, RebuildsRealFilesWithTheSameFatAndBlocks)
{
    for (const char* name : {"single/plain/11000001.img", "single/all-elements/14000001.img",
                             "single/medium/15000001.img", "single/blocksize-16384/11000001.img",
                             "single/blocksize-65536/11000001.img", "gmapsupp/west-1101-p1.img",
                             "gmapsupp/many-60maps-3101.img"}) {
        SCOPED_TRACE(name);
        std::string real = read_file(data_path(name));
        ASSERT_GT(real.size(), 0x200u);
        uint32_t block = 512u << get_u8(real, 0x62);
        WalkedFat fat = walk_fat(real);

        ImgSpec spec;
        spec.block_size = block;
        spec.first_fat_sector = get_u8(real, 0x40);
        spec.version_major = static_cast<uint8_t>(get_u8(real, 0x08));
        spec.version_minor = static_cast<uint8_t>(get_u8(real, 0x09));
        spec.mapsource_flag = static_cast<uint8_t>(get_u8(real, 0x0E));
        spec.mapset_name_1 = real.substr(0x49, 20);
        spec.mapset_name_2 = real.substr(0x65, 30);
        // The minimal size is the builder's default; only a size that is not
        // whole blocks has to be given.
        if (fat.header_fat_size % block != 0)
            spec.header_fat_size = fat.header_fat_size;
        ImgBuilder b(spec);
        for (const WalkedSubfile& s : walk_subfiles(real, block))
            b.add_subfile(s.name11.substr(0, 8), s.name11.substr(8), s.bytes);
        std::string built = b.build();

        // The corpus maker adds a spare zero block after a subfile that
        // fills its last block exactly (medium/15000001.img).
        ASSERT_LE(built.size(), real.size());
        EXPECT_EQ(real.substr(built.size()), std::string(real.size() - built.size(), '\0'));
        EXPECT_EQ(b.layout().header_fat_size, fat.header_fat_size);
        EXPECT_TRUE(built.compare(fat.first_fat, std::string::npos, real, fat.first_fat, built.size() - fat.first_fat) == 0);
        // The header fields both makers fill the same way.
        for (auto [from, to] : {std::pair{0x08, 0x0C}, {0x10, 0x18}, {0x39, 0x5D}, {0x61, 0x63}, {0x65, 0x83},
                                {0x1FE, 0x200}})
            for (int at = from; at < to; ++at)
                EXPECT_EQ(get_u8(built, at), get_u8(real, at)) << "header byte " << at;
    }
}

TEST(ImgBuilder, XorTwinIsThePlainFileXored)
{
    ImgSpec spec;
    spec.xor_byte = 0xA7;
    ImgBuilder b(spec);
    b.add_subfile("11000001", "TRE", tre_subfile());
    b.add_subfile("11000001", "LBL", lbl_subfile());
    std::string plain = b.build_plain();
    std::string stored = b.build();
    EXPECT_EQ(stored, xored(plain, 0xA7));
    // The XOR byte reads as itself on disk and 0 once undone.
    EXPECT_EQ(get_u8(plain, 0), 0u);
    EXPECT_EQ(get_u8(stored, 0), 0xA7u);
    EXPECT_EQ(plain.substr(0x41, 6), "GARMIN");

    spec.xor_byte = 0;
    b.spec = spec;
    EXPECT_EQ(b.build(), plain);
}

TEST(ImgBuilder, ChecksumByteZeroesTheStoredByteSum)
{
    for (uint8_t x : {0x00, 0x5A}) {
        ImgSpec spec;
        spec.xor_byte = x;
        ImgBuilder b(spec);
        b.add_subfile("MAKEGMAP", "MPS", mps_v_record("Set"));
        b.add_subfile("WEST1101", "TYP", typ_subfile());
        b.set_header_byte(0x08, 3);  // edits come before the checksum
        b.set_checksum_zero();
        std::string stored = b.build();
        EXPECT_EQ(byte_sum(stored), 0) << int(x);
        EXPECT_EQ(get_u8(stored, 0x08) ^ x, 3u);
    }
}

// 241 blocks need two entries: part 0 lists 240 blocks and the size, part 1
// the last block, size 0, the rest 0xFFFF. Moved after a free entry and
// another subfile, part 1 keeps its blocks.
TEST(ImgBuilder, MultiEntrySubfilesAndMovedContinuations)
{
    ImgBuilder b;
    std::string big(240 * 512 + 1, 'x');
    int rgn = b.add_subfile("14000001", "RGN", big);
    size_t free_row = b.add_free_entry();
    int tre = b.add_subfile("14000001", "TRE", tre_subfile());
    ASSERT_EQ(b.part_count(rgn), 2u);
    b.move_fat_row(b.fat_row(rgn, 1), b.fat_row_count() - 1);
    EXPECT_EQ(b.fat_row(rgn, 1), 3u);
    EXPECT_EQ(b.fat_row(tre, 0), 2u);
    EXPECT_EQ(free_row, 2u);

    std::string file = b.build();
    WalkedFat fat = walk_fat(file);
    // Header+FAT: 1024 + 5 entries = 3584 bytes, 7 blocks, one header entry.
    ASSERT_EQ(fat.header_fat_size, 3584u);
    ASSERT_EQ(fat.entries.size(), 5u);
    EXPECT_EQ(fat.entries[0].blocks, (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 6}));
    const WalkedEntry& part0 = fat.entries[1];
    EXPECT_EQ(part0.name11, "14000001RGN");
    EXPECT_EQ(part0.size, big.size());
    EXPECT_EQ(part0.part, 0u);
    ASSERT_EQ(part0.blocks.size(), 240u);
    EXPECT_EQ(part0.blocks.front(), 7);
    EXPECT_EQ(part0.blocks.back(), 246);
    EXPECT_EQ(file.substr(fat.first_fat + 1024, 512), std::string(512, '\0'));  // the free entry
    EXPECT_EQ(fat.entries[3].name11, "14000001TRE");
    EXPECT_EQ(fat.entries[3].blocks, (std::vector<uint16_t>{248}));
    const WalkedEntry& part1 = fat.entries[4];
    EXPECT_EQ(part1.name11, "14000001RGN");
    EXPECT_EQ(part1.size, 0u);
    EXPECT_EQ(part1.part, 1u);
    EXPECT_EQ(part1.blocks, (std::vector<uint16_t>{247}));
    EXPECT_EQ(file.size(), 249u * 512);
    EXPECT_EQ(file.substr(247 * 512, 1), "x");
}

// A header+FAT area of more than 240 blocks is described by several
// blank-named entries, parts 0, 1, ...
TEST(ImgBuilder, LargeHeaderAreaTakesSeveralEntries)
{
    ImgBuilder b;
    for (int i = 0; i < 300; ++i)
        b.add_free_entry();
    b.add_subfile("00000001", "TRE", tre_subfile());
    ImgLayout l = b.layout();
    // 1024 + 512 * (2 + 301) = 156160 bytes = 305 blocks.
    EXPECT_EQ(l.header_entries, 2u);
    EXPECT_EQ(l.header_fat_size, 156160u);
    WalkedFat fat = walk_fat(b.build());
    EXPECT_EQ(fat.entries[1].name11, std::string(11, ' '));
    EXPECT_EQ(fat.entries[1].part, 1u);
    EXPECT_EQ(fat.entries[1].size, 0u);
    EXPECT_EQ(fat.entries[1].blocks.front(), 240);
    EXPECT_EQ(fat.entries[1].blocks.back(), 304);
    EXPECT_EQ(fat.entries.back().blocks, (std::vector<uint16_t>{305}));

    ImgSpec small;
    small.header_fat_size = 1536;  // the header entry only: no room for the TRE
    ImgBuilder tight(small);
    tight.add_subfile("00000001", "TRE", tre_subfile());
    EXPECT_THROW(tight.build(), std::invalid_argument);
}

// Each damage edit changes exactly the bytes it names.
TEST(ImgBuilder, DamageEditsTouchOnlyTheirField)
{
    ImgBuilder b;
    int rgn = b.add_subfile("11000001", "RGN", std::string(1500, 'r'));
    int lbl = b.add_subfile("11000001", "LBL", lbl_subfile());
    const std::string sound = b.build();
    ImgLayout l = b.layout();
    size_t rgn_entry = l.entry_offset(rgn, 0);
    size_t lbl_entry = l.entry_offset(lbl, 0);

    auto changed = [&sound](const std::string& damaged) {
        std::vector<size_t> at;
        for (size_t i = 0; i < sound.size(); ++i)
            if (sound[i] != damaged[i])
                at.push_back(i);
        return at;
    };
    ImgBuilder d = b;
    d.set_fat_block(rgn, 0, 1, 0xFFFF);
    EXPECT_EQ(changed(d.build()), (std::vector<size_t>{rgn_entry + 0x22, rgn_entry + 0x23}));
    d = b;
    d.set_fat_size(lbl, 0x12345678);
    std::string damaged = d.build();
    EXPECT_EQ(get_u32(damaged, lbl_entry + 0x0C), 0x12345678u);
    EXPECT_EQ(changed(damaged).size(), 4u);
    d = b;
    d.set_fat_part_number(lbl, 0, 2);
    d.set_fat_flag(rgn, 0, 0);
    EXPECT_EQ(changed(d.build()), (std::vector<size_t>{rgn_entry, lbl_entry + 0x11}));
    d = b;
    d.copy_fat_row(b.fat_row(rgn, 0), b.fat_row(lbl, 0));
    damaged = d.build();
    EXPECT_EQ(damaged.substr(lbl_entry, 512), sound.substr(rgn_entry, 512));
    d = b;
    d.set_fat_name(lbl, 0, "11000001", "RGN");
    EXPECT_EQ(d.build().substr(lbl_entry + 1, 11), "11000001RGN");
}

TEST(ImgBuilder, HeaderTemplate)
{
    ImgSpec spec;
    spec.block_size = 2048;
    spec.signature = "DSDIMG";
    spec.first_fat_sector = 8;
    spec.product_code = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ImgBuilder b(spec);
    b.add_subfile("00000001", "TRE", tre_subfile());
    std::string file = b.build();
    EXPECT_EQ(file.substr(0x10, 6), "DSDIMG");
    EXPECT_EQ(get_u8(file, 0x40), 8u);
    EXPECT_EQ(get_u8(file, 0x61), 9u);
    EXPECT_EQ(get_u8(file, 0x62), 2u);
    EXPECT_EQ(file.substr(0x30, 9), std::string("\1\2\3\4\5\6\7\10\11"));
    // 4096 + 2 entries = 5120 bytes, three blocks; one data block.
    EXPECT_EQ(b.layout().header_fat_size, 6144u);
    EXPECT_EQ(file.size(), 4u * 2048);
    EXPECT_EQ(file.substr(0x49, 20), std::string(20, ' '));
    // A small file: 16 heads, 8 sectors, 128 sectors per cylinder, one cylinder.
    EXPECT_EQ(get_u16(file, 0x18), 8u);
    EXPECT_EQ(get_u16(file, 0x1A), 16u);
    EXPECT_EQ(get_u16(file, 0x1C), 1u);
    EXPECT_EQ(get_u32(file, 0x1CA), 128u);
    EXPECT_EQ(get_u16(file, 0x63), 128u >> 2);
    EXPECT_EQ(get_u16(file, 0x1FE), 0xAA55u);
}

// The content builders against the headers the corpus maker wrote.
TEST(SubfileImages, MatchRealHeadersAndRecords)
{
    std::string west = read_file(data_path("gmapsupp/west-1101-p1.img"));
    std::vector<WalkedSubfile> subfiles = walk_subfiles(west, 512);
    auto find = [&subfiles](const std::string& name11) {
        for (const WalkedSubfile& s : subfiles)
            if (s.name11 == name11)
                return s.bytes;
        return std::string();
    };

    std::string mps = mps_l_record(1, 1101, 11000001, {"Corpus West Series", "Corpus West", "Tarnbuehl"}) +
                      mps_l_record(1, 1101, 11000002, {"Corpus West Series", "Corpus West", "Tarnbuehl"}) +
                      mps_f_record(1, 1101, "Corpus West") + mps_v_record("OSM map set");
    EXPECT_EQ(mps, find("MAKEGMAPMPS"));

    std::string real_tre = find("11000001TRE");
    std::string tre = tre_subfile();
    for (size_t at : {0x00, 0x02, 0x0C, 0x15, 0x18, 0x1B, 0x1E, 0x25, 0x3F, 0x40, 0x43, 0x44, 0x45})
        EXPECT_EQ(get_u8(tre, at), get_u8(real_tre, at)) << "TRE byte " << at;
    EXPECT_EQ(tre.substr(tre.size() - 16), real_tre.substr(get_u32(real_tre, 0x21), 16));  // the levels

    std::string real_lbl = find("11000001LBL");
    std::string lbl = lbl_subfile();
    for (size_t at : {0x00, 0xAA, 0xAC})
        EXPECT_EQ(get_u16(lbl, at), get_u16(real_lbl, at)) << "LBL field " << at;
    for (size_t at : {0x15, 0xB0, 0xB4})  // labels and sort descriptor right after the header
        EXPECT_EQ(get_u32(lbl, at), get_u32(real_lbl, at)) << "LBL field " << at;
    EXPECT_EQ(get_u8(lbl, 0x1E), get_u8(real_lbl, 0x1E));

    std::string real_typ = read_file(data_path("typ/west1101.typ"));
    std::string typ = typ_subfile(1252, 1101, 1);
    EXPECT_EQ(typ.substr(0, 0x17), real_typ.substr(0, 0x17));
    EXPECT_EQ(typ.substr(0x2F, 4), real_typ.substr(0x2F, 4));

    std::string real_tdb = read_file(data_path("mapsource/tdb/corpwest.tdb"));
    TdbSpec t;
    t.fid = 1101;
    t.series = "Corpus West Series";
    t.family = "CorpusWest";
    std::string tdb = tdb_file(t);
    ASSERT_EQ(tdb.size(), get_u16(real_tdb, 1) + 3u);
    EXPECT_EQ(tdb.substr(0, 0x29), real_tdb.substr(0, 0x29));
    EXPECT_EQ(tdb.substr(0x28 + 31, 2), real_tdb.substr(0x28 + 31, 2));
}

// In a GMP, every part's section offsets count from the GMP's start.
TEST(SubfileImages, GmpPartsAreRebased)
{
    std::string gmp = gmp_subfile({.dem = DemSpec{}, .met = common_header("MET", 30)});
    uint32_t tre = get_u32(gmp, 0x19), rgn = get_u32(gmp, 0x1D), lbl = get_u32(gmp, 0x21), dem = get_u32(gmp, 0x2D);
    EXPECT_EQ(tre, 61u);
    EXPECT_EQ(gmp.substr(tre + 2, 10), "GARMIN TRE");
    EXPECT_EQ(gmp.substr(rgn + 2, 10), "GARMIN RGN");
    EXPECT_EQ(gmp.substr(lbl + 2, 10), "GARMIN LBL");
    EXPECT_EQ(gmp.substr(dem + 2, 10), "GARMIN DEM");
    EXPECT_EQ(gmp.substr(get_u32(gmp, 0x39) + 2, 10), "GARMIN MET");
    EXPECT_EQ(get_u32(gmp, 0x25), 0u);  // no NET
    EXPECT_EQ(get_u32(gmp, tre + 0x21), tre + 188);  // levels right after the TRE header
    EXPECT_EQ(gmp.substr(get_u32(gmp, lbl + 0xB0), 22), std::string("Western European sort") + '\0');
    EXPECT_EQ(get_u32(gmp, dem + 0x21), dem + 41);
    EXPECT_EQ(rgn - tre, tre_subfile().size());
}
