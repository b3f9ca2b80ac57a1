// twk -w, run in-process: every option reaches its change, names
// given in UTF-8 go into the file's code page, a failed change exits with 4,
// a file the report refuses is left untouched, and mkgmap (when installed)
// still reads what was changed.
#include <gtest/gtest.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "core/img_format.h"
#include "tests/operations/inplace_support.h"
#include "tests/support/console_runner.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"

extern char** environ;

using namespace inplace_test;

namespace {

class WriteCommand : public InplaceTest {
protected:
    RunResult twk(std::vector<std::string> args, const std::string& lang = "C")
    {
        args.insert(args.begin(), "-LicenseAcknowledge");
        return run_twk_here(args, lang);
    }
    // The TRE header image of every map of a fresh read.
    std::vector<std::vector<uint8_t>> tre_headers(const std::string& path)
    {
        std::vector<std::vector<uint8_t>> headers;
        auto file = read(path);
        for (const MapEntry* map : file->maps)
            if (map->tre_info)
                headers.push_back(map->tre_info->header);
        return headers;
    }
    std::string header_name(const std::string& path)
    {
        auto file = read(path);
        std::string name(file->header_buffer.begin() + 0x49, file->header_buffer.begin() + 0x5D);
        return name + std::string(file->header_buffer.begin() + 0x65, file->header_buffer.begin() + 0x83);
    }
};

// Runs a program by name with arguments, output dropped; its exit code or -1.
int run_program(const std::vector<std::string>& args)
{
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (started != 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool mkgmap_installed() { return run_program({"sh", "-c", "command -v mkgmap"}) == 0; }

}  // namespace

TEST_F(WriteCommand, EveryOptionReachesItsChange)
{
    struct Case {
        std::vector<std::string> options;
        const char* source;
        std::function<void(const std::string& path)> check;
    };
    const Case cases[] = {
        {{"-h"}, "single/plain/11000001.img",
         [&](const std::string& p) { EXPECT_NE(ByteView(read(p)->header_buffer).u16(0x39), 2024); }},
        {{"-c", "3.5,1"}, "single/plain/11000001.img",
         [&](const std::string& p) {
             auto f = read(p);
             EXPECT_EQ(f->header_buffer[8], 3);
             EXPECT_EQ(f->header_buffer[9], 5);
             EXPECT_EQ(f->header_buffer[0x0E], 1);
         }},
        {{"-p", "20", "-t", "-q", "1,2,3"}, "gmapsupp/west-1101-p1.img",
         [&](const std::string& p) {
             for (const auto& h : tre_headers(p)) {
                 EXPECT_EQ(h[0x40], 20);
                 EXPECT_EQ(h[0x3F] & 2, 2);
                 EXPECT_EQ(h[0x43] * 100 + h[0x44] * 10 + h[0x45], 123);
             }
         }},
        {{"-n"}, "single/transp/11000001.img",
         [&](const std::string& p) { EXPECT_EQ(tre_headers(p).at(0)[0x3F] & 2, 0); }},
        {{"-e", "500"}, "gmapsupp/west-1101-p1.img",
         [&](const std::string& p) {
             auto f = read(p);
             EXPECT_EQ(f->maps.at(1)->map_number + f->maps.at(2)->map_number, 1001u);
         }},
        {{"-L"}, "single/route1252/11000001.img",
         [&](const std::string& p) { EXPECT_NE(read_file(p).find("CAF\xC9 M\xDCLLER"), std::string::npos); }},
        {{"-l"}, "single/route1252/11000001.img",
         [&](const std::string& p) { EXPECT_NE(read_file(p).find("caf\xE9 m\xFCller"), std::string::npos); }},
        {{"-1"}, "single/route1252/11000001.img",
         [&](const std::string& p) { EXPECT_NE(read_file(p).find("Bergbahn S\xFC" "d"), std::string::npos); }},
        {{"-m", "Korpus"}, "gmapsupp/west-1101-p1.img",
         [&](const std::string& p) {
             EXPECT_EQ(header_name(p), "Korpus" + std::string(44, ' '));
             EXPECT_EQ(mps_record(p, 'V').substr(3), std::string("Korpus\0\0", 8));
         }},
        {{"-r", "West"}, "gmapsupp/west-1101-p1.img",
         [&](const std::string& p) { EXPECT_EQ(mps_record(p, 'F').substr(7), std::string("West\0", 5)); }},
        {{"-z", "2201,3"}, "gmapsupp/west-1101-p1.img",
         [&](const std::string& p) { EXPECT_EQ(get_u16(mps_record(p, 'F'), 5), 2201u); }},
        {{"-y", "2201,3"}, "gmapsupp/west-1101-p1.img",
         [&](const std::string& p) {
             auto file = read(p);
             for (const MapEntry* m : file->maps) {
                 if (m->kind == FILE_TYP) {
                     EXPECT_EQ(m->header_info->family_id, 2201u);
                 }
             }
         }},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& o : c.options)
            shown += o + " ";
        SCOPED_TRACE(shown);
        std::string path = copy(c.source, "in.img");
        std::vector<uint8_t> before = file_bytes(path);
        std::vector<std::string> args{"-w"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(path);
        RunResult run = twk(args);
        EXPECT_EQ(run.exit_code, 0) << run.output;
        EXPECT_NE(file_bytes(path), before);
        EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
        c.check(path);
    }
}

TEST_F(WriteCommand, TheFilterAndTheTypReplacementOfTheList)
{
    std::string img = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(img);
    RunResult run = twk({"-w", "-f", "9999", "-p", "3", img});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "Write, FID mismatch, map skiped " + img + ".\n");
    EXPECT_EQ(file_bytes(img), before);

    std::string typ = write("west1101.typ", read_file(data_path("typ/west1101.typ")) + std::string(3000, '\x44'));
    run = twk({"-w", "-x", img, typ});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output, "Map " + img + ", writing typ file.\n");
    auto file = read(img);
    for (const SubfileEntry& s : file->subfiles) {
        if (s.kind == SUB_TYP) {
            EXPECT_EQ(subfile_bytes(*file, s), read_file(typ));
        }
    }
}

TEST_F(WriteCommand, NamesGoIntoTheCodePageOfEachFile)
{
    std::string central = copy("gmapsupp/central-1201-p2.img");  // code page 1250
    RunResult run = twk({"-w", "-m", "Zestaw Łódź", central});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output, "File " + central + " write mapset name [Zestaw Łódź] into MPS subfile.\nFile " + central +
                              " write mapset name [Zestaw Łódź] into header.\n");
    EXPECT_EQ(header_name(central).substr(0, 11), "Zestaw \xA3\xF3" "d\x9F");

    // Greek has no place in code page 1252: nothing of any file changes.
    std::string west = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> west_before = file_bytes(west);
    std::vector<uint8_t> central_before = file_bytes(central);
    run = twk({"-w", "-r", "Δέλτα", central, west});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "Map name characters don't match code page 1250, file " + central +
                              ".\nMap name characters don't match code page 1252, file " + west + ".\n");
    EXPECT_EQ(file_bytes(west), west_before);
    EXPECT_EQ(file_bytes(central), central_before);

    run = twk({"-w", "-m", "Δέλτα", west}, "pl_PL.UTF-8");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "Znaki nazwy zestawu map nie pasują do strony kodowej 1252, plik " + west + ".\n");
}

TEST_F(WriteCommand, AFailedChangeExitsWithFour)
{
    // A TYP file too short for its IDs.
    std::string bytes = typ_subfile(1252, 1, 1, 156, 200).substr(0, 40);
    std::string typ = write("short.typ", bytes);
    RunResult run = twk({"-w", "-y", "77,1", typ});
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_EQ(run.output, "TYP file too short, file " + typ + ".\n");
    EXPECT_EQ(read_file(typ), bytes);

    run = twk({"-w", "-y", "77,1", typ}, "pl_PL.UTF-8");
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_EQ(run.output, "Plik TYP za krótki, plik " + typ + ".\n");
}

// A change whose write fails (a file-size limit fails it as a full disk
// would) is undone, and the lines that tell a map's new labels or priority
// are not printed: the write error says what happened.
TEST_F(WriteCommand, AChangeThatIsUndoneIsNotToldAsMade)
{
    struct Case {
        std::vector<std::string> options;
        std::string untrue;
    } cases[] = {
        {{"-L"}, " labels modified.\n"},
        {{"-p", "5"}, " priority "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0]);
        std::string path = copy("gmapsupp/west-1101-p1.img", "limited.img");
        std::vector<uint8_t> before = file_bytes(path);
        std::vector<std::string> args{"-LicenseAcknowledge", "-w", "-v"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(path);
        RunResult run = run_with_file_size_limit(16, [&](std::string& text) {
            // A process of its own: a forked copy of this one would lack its threads.
            RunResult changed = run_twk(args);
            text = changed.output;
            return changed.exit_code;
        });
        EXPECT_EQ(run.exit_code, 4) << run.output;
        EXPECT_EQ(run.output.find(c.untrue), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Write error, file " + path + " (File too large).\n"), std::string::npos)
            << run.output;
        EXPECT_EQ(file_bytes(path), before);
    }
}

// A lone TRE file cut short has no header to change: the run says so and
// fails, whether or not the report reads the file whole too.
TEST_F(WriteCommand, ALoneTreFileWithoutItsHeaderIsAFailure)
{
    std::string whole = read_file(data_path("mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.TRE"));
    std::string path = write("cut.TRE", whole.substr(0, 40));
    struct Case {
        std::vector<std::string> options;
        std::string lang, output;
    } cases[] = {
        {{"-w", "-p", "5"}, "C", "TRE header missing or damaged, no changes made, file " + path + ".\n"},
        {{"-w", "-t"}, "pl_PL.UTF-8",
         "Brak nagłówka TRE albo jest uszkodzony, nie wprowadzono zmian, plik " + path + ".\n"},
    };
    for (Case& c : cases) {
        c.options.push_back(path);
        RunResult run = twk(c.options, c.lang);
        EXPECT_EQ(run.exit_code, 4);
        EXPECT_EQ(run.output, c.output);
        c.options.insert(c.options.begin(), "-i");
        run = twk(c.options, c.lang);
        EXPECT_EQ(run.exit_code, 4);
        EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
        EXPECT_EQ(read_file(path), whole.substr(0, 40));
    }
}

TEST_F(WriteCommand, MkgmapReadsTheChangedFile)
{
    if (!mkgmap_installed())
        GTEST_SKIP() << "mkgmap is not installed";
    std::string img = copy("gmapsupp/west-1101-p1.img");
    std::string typ = write("west1101.typ", read_file(data_path("typ/west1101.typ")) + std::string(3000, '\x44'));
    RunResult run = twk({"-w", "-e", "500", "-m", "Korpus Tarnwick", "-r", "Westen", "-p", "22", "-L", "-c",
                         "2.10,1", "-x", img, typ});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    std::string out = dir.file("mkgmap");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(run_program({"mkgmap", "--output-dir=" + out, "--no-tdbfile", "--gmapsupp", img}), 0);
    auto result = read(out + "/gmapsupp.img");
    std::vector<uint32_t> numbers;
    for (const MapEntry* map : result->maps)
        if (map->tre_info)
            numbers.push_back(map->map_number);
    EXPECT_EQ(numbers, (std::vector<uint32_t>{500, 501}));
    EXPECT_NE(read_file(out + "/gmapsupp.img").find(std::string(3000, '\x44')), std::string::npos);
    EXPECT_NE(read_file(out + "/gmapsupp.img").find("CAF\xC9 M\xDCLLER"), std::string::npos);
}

TEST_F(WriteCommand, ANewMapIdThatAnotherFamilyHoldsIsRefused)
{
    std::string img = copy("gmapsupp/mixed-3families.img");
    std::string bytes = read_file(img);
    RunResult run = twk({"-w", "-f", "1201", "-e", "11000001", img});
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_EQ(read_file(img), bytes);
    EXPECT_NE(run.output.find("Error: new name 11000001 of map 12000001 clashes with subfile 11000001."),
              std::string::npos)
        << run.output;

    run = twk({"-w", "-f", "1201", "-e", "11000001", img}, "pl_PL.UTF-8");
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_NE(run.output.find("Błąd: nowa nazwa 11000001 mapy 12000001 koliduje z podplikiem 11000001."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(read_file(img), bytes);
}

TEST_F(WriteCommand, AFileWithABlockOfTwoSubfilesIsLeftAlone)
{
    // Map 6's LBL claims the block of map 5's LBL: a label change of one
    // would rewrite the other's header.
    ImgBuilder b;
    b.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
    int lbl5 = b.add_subfile("00000005", "LBL", lbl_subfile());
    b.add_subfile("00000006", "TRE", tre_subfile({.map_id = 6}));
    int lbl6 = b.add_subfile("00000006", "LBL", lbl_subfile());
    b.set_fat_block(lbl6, 0, 0, static_cast<uint16_t>(b.layout().first_block[lbl5]));
    std::string img = write("cross.img", b.build());
    std::string bytes = read_file(img);
    std::string message = "Block " + std::to_string(b.layout().first_block[lbl5]) +
                          " claimed by subfiles 00000005.LBL and 00000006.LBL, file damaged, file " + img + ".\n";

    RunResult run = twk({"-w", "-L", img});
    EXPECT_NE(run.exit_code, 0);
    EXPECT_EQ(read_file(img), bytes);
    EXPECT_NE(run.output.find(message), std::string::npos) << run.output;

    run = twk({"-i", img});
    EXPECT_NE(run.exit_code, 0);
    EXPECT_NE(run.output.find(message), std::string::npos) << run.output;

    run = twk({"-i", img}, "pl_PL.UTF-8");
    EXPECT_NE(run.output.find("Blok " + std::to_string(b.layout().first_block[lbl5]) +
                              " zajęty przez podpliki 00000005.LBL i 00000006.LBL, plik uszkodzony, plik " + img),
              std::string::npos)
        << run.output;
}

// A FAT entry listed twice (11000001.LBL): the map-ID change, which would
// rename the copy the reader takes and leave the other under the old name,
// refuses the file untouched; the changes that rename nothing go ahead; twk -i
// reads every file -w leaves. The file as it is and stored XOR-ed.
TEST_F(WriteCommand, AFatEntryListedTwiceRefusesOnlyTheMapIdChange)
{
    std::string plain = read_file(data_path("damaged/fat-duplicate-entry.img"));
    std::string xored = plain;
    for (char& c : xored)
        c = static_cast<char>(c ^ 0x5A);  // byte 0, the XOR byte, becomes 0x5A
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"plain.img", plain}, {"xored.img", xored}}) {
        SCOPED_TRACE(name);
        std::string img = write(name, bytes);
        RunResult run = twk({"-i", img});
        EXPECT_EQ(run.exit_code, 0) << run.output;

        for (const auto& [lang, refusal] : {
                 std::pair<std::string, std::string>{"C", "Error: FAT entry of subfile 11000001.LBL is listed twice, "
                                                          "map IDs not changed, file " + img + ".\n"},
                 {"pl_PL.UTF-8", "Błąd: wpis FAT podpliku 11000001.LBL występuje dwukrotnie, nie zmieniono ID map, "
                                 "plik " + img + ".\n"}}) {
            run = twk({"-w", "-e", "11000005", img}, lang);
            EXPECT_EQ(run.exit_code, 4);
            EXPECT_EQ(read_file(img), bytes);
            EXPECT_NE(run.output.find(refusal), std::string::npos) << run.output;
        }

        for (const std::vector<std::string>& change :
             {std::vector<std::string>{"-L"}, {"-p", "5"}, {"-m", "Nowa"}}) {
            SCOPED_TRACE(change.front());
            write(name, bytes);
            std::vector<std::string> args{"-w"};
            args.insert(args.end(), change.begin(), change.end());
            args.push_back(img);
            run = twk(args);
            EXPECT_EQ(run.exit_code, 0) << run.output;
            EXPECT_NE(read_file(img), bytes);
            run = twk({"-i", img});
            EXPECT_EQ(run.exit_code, 0) << run.output;
            EXPECT_EQ(run.output.find("damaged"), std::string::npos) << run.output;
        }
    }
}

// A file that the report refuses is refused by every change, whatever the
// change touches, and stays byte for byte as it was: a file cut inside a
// map's LBL and a map whose LBL lost its signature, plain and scrambled.
TEST_F(WriteCommand, EveryChangeRefusesAFileTheReportRefuses)
{
    struct Damage {
        std::string name;
        std::string bytes;
        const char* message;  // followed by the file's path
    };
    std::vector<Damage> damages;
    for (uint8_t xor_byte : {uint8_t(0), uint8_t(0xA7)}) {
        std::string suffix = xor_byte ? "-xor" : "";
        // The LBL runs over two blocks; the file ends a few bytes into it.
        ImgBuilder cut({.xor_byte = xor_byte});
        cut.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
        int lbl = cut.add_subfile("00000005", "LBL", lbl_subfile({.total_length = 700}));
        damages.push_back({"cut" + suffix, cut.build().substr(0, cut.layout().data_offset(lbl) + 16),
                           "Read error, file "});
        ImgBuilder unsigned_lbl({.xor_byte = xor_byte});
        unsigned_lbl.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
        std::string label = lbl_subfile();
        put_text(label, 2, "GARMIN XYZ");
        unsigned_lbl.add_subfile("00000005", "LBL", label);
        damages.push_back({"unsigned" + suffix, unsigned_lbl.build(), "Bad data in LBL subfile, file "});
    }
    // A map of the test data cut in the same place.
    damages.push_back({"data-cut", read_file(data_path("single/plain/11000001.img")).substr(0, 4624),
                       "Read error, file "});

    std::string typ = write("west1101.typ", read_file(data_path("typ/west1101.typ")));
    const std::vector<std::vector<std::string>> changes = {
        {"-p", "3"},      {"-e", "+1"},   {"-e", "500"},   {"-h"},           {"-c", "3.5,1"},  {"-t"},
        {"-n"},           {"-L"},         {"-l"},          {"-1"},           {"-m", "Korpus"}, {"-r", "West"},
        {"-q", "1,2,3"},  {"-y", "2201,3"}, {"-z", "2201,3"}, {"-f", "0", "-p", "3"}, {"-x"},
    };
    for (const Damage& damage : damages) {
        std::string img = write(damage.name + ".img", damage.bytes);
        std::string expected = damage.message + img + ".\n";
        RunResult report = twk({"-i", img});
        EXPECT_EQ(report.exit_code, 2) << damage.name;
        EXPECT_NE(report.output.find(expected), std::string::npos) << damage.name << "\n" << report.output;
        for (const std::vector<std::string>& change : changes) {
            std::vector<std::string> args{"-w"};
            args.insert(args.end(), change.begin(), change.end());
            args.push_back(img);
            if (change.front() == "-x")
                args.push_back(typ);
            SCOPED_TRACE(damage.name + " " + change.front());
            RunResult run = twk(args);
            EXPECT_EQ(run.exit_code, 2) << run.output;
            EXPECT_NE(run.output.find(expected), std::string::npos) << run.output;
            EXPECT_TRUE(read_file(img) == damage.bytes);
        }
    }
    EXPECT_EQ(read_file(typ), read_file(data_path("typ/west1101.typ")));
}

TEST_F(WriteCommand, ReplacingTypWithoutATypFileSaysSo)
{
    std::string img = copy("gmapsupp/west-1101-p1.img");
    std::string bytes = read_file(img);
    RunResult run = twk({"-w", "-x", img});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "== Warning: no TYP file in the list, no TYP subfile replaced.\n\n"
                          "There were warnings, result can be faulty.\n");
    EXPECT_EQ(read_file(img), bytes);

    run = twk({"-w", "-x", img}, "pl_PL.UTF-8");
    EXPECT_EQ(run.output.substr(0, run.output.find('\n') + 1),
              "== Ostrzeżenie: brak pliku TYP na liście, nie zastąpiono żadnego podpliku TYP.\n");
}
