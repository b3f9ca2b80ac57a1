// The Files tab: the columns a line shows for real and made-up files, the
// rules that cut drops and decode "file://" names, and, in the real
// window, adding, moving, removing, the selection handed to tasks, Info
// and Details against the console's report, drops and directory scans.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/files_tab.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Tile.H>

#include "core/codepage.h"
#include "core/host.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "gui/widgets.h"
#include "operations/task_bridge.h"
#include "tests/support/img_builder.h"
#include "tests/support/test_support.h"

namespace {

std::string columns_of(const std::string& path, int code_page = 0)
{
    std::string line = "@." + path;
    describe_file_columns(line, line.size(), code_page);
    return line.substr(2 + path.size());
}

// A file of exactly size bytes, holes and all.
void sparse_file(const std::string& path, off_t size)
{
    int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
}

// 512 bytes with text at an offset, for the kind rules.
std::string head_with(std::initializer_list<std::pair<size_t, std::string>> parts, size_t size = 512)
{
    std::string bytes(size, '\0');
    for (const auto& [offset, text] : parts)
        bytes.replace(offset, text.size(), text);
    return bytes;
}

std::vector<std::string> list_lines()
{
    std::vector<std::string> lines;
    for (int i = 1; i <= file_list->size(); ++i)
        lines.emplace_back(file_list->text(i));
    return lines;
}

std::vector<std::string> list_paths()
{
    std::vector<std::string> paths;
    for (int i = 1; i <= file_list->size(); ++i)
        paths.emplace_back(line_path(file_list->text(i)));
    return paths;
}

std::string selection()
{
    std::string marks;
    for (int i = 1; i <= file_list->size(); ++i)
        marks += file_list->selected(i) ? 'x' : '.';
    return marks;
}

TEST(FileColumns, RealFilesOfEveryKind)
{
    struct Case {
        const char* file;
        const char* columns;
    };
    const Case cases[] = {
        {"gmapsupp/west-1101-p1.img", "\t@f   19k\t@.Corpus West"},
        {"gmapsupp/many-60maps-3101.img", "\t@f  846k\t@.Corpus 60 maps"},
        {"damaged/valid-sig-dsdimg.img", "\t@f   19k\t@.Corpus West"},
        {"typ/west1101.typ", "\t@f  803\tTYP  FID=1101 PID=1 CP=1252"},
        {"mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.TRE", "\t@f  454\tsubfile TRE"},
        {"mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.NOD", "\t@f 1051\tsubfile NOD"},
        {"mapsource/gmapi/CorpusWest.gmap/corpwest_mdr/CORPWEST.SRT", "\t@f  912\tsubfile SRT"},
        {"mapsource/tdb/corpwest.tdb", "\t@f  671\tTDB  FID=1101 PID=1"},
        {"mapsource/tdb/corpwest.mdx", "\t@f   38\tother data"},
        {"no/such/file.img", "\t@f    0\topen error"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(columns_of(data_path(c.file)), c.columns) << c.file;
    }
    // The buffer is cut at the given length before the columns go on.
    std::string line = "@." + data_path("typ/west1101.typ") + "\tstale";
    describe_file_columns(line, line.size() - 6, 0);
    EXPECT_EQ(line, "@." + data_path("typ/west1101.typ") + "\t@f  803\tTYP  FID=1101 PID=1 CP=1252");
}

TEST(FileColumns, SizesRoundAtTheUnitBorders)
{
    struct Case {
        int64_t size;
        const char* column;
    };
    const Case cases[] = {
        {-5, "\t@f    0"},           {0, "\t@f    0"},
        {9999, "\t@f 9999"},         {10000, "\t@f   10k"},
        {10499, "\t@f   10k"},       {10500, "\t@f   11k"},
        {9999499, "\t@f 9999k"},     {9999500, "\t@f   10M"},
        {5000000000LL, "\t@f 5000M"}, {123456789012LL, "\t@f123457M"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(size_column(c.size), c.column) << c.size;

    // The same borders through real files: the size is taken by seeking.
    ScratchDir dir;
    for (off_t size : {off_t{9999}, off_t{9999499}, off_t{9999500}}) {
        std::string path = dir.file("sparse-" + std::to_string(size) + ".bin");
        sparse_file(path, size);
        EXPECT_EQ(columns_of(path), size_column(size) + "\tother data") << size;
    }
    std::string empty = dir.file("empty.img");
    write_file(empty, "");
    EXPECT_EQ(columns_of(empty), "\t@f    0\tread error");
}

TEST(FileColumns, XoredHeaderShowsTheSameDescription)
{
    // A real pair: the XOR-ed variant of the west map set and its original.
    EXPECT_EQ(columns_of(data_path("damaged/valid-xor-5a.img")), columns_of(data_path("gmapsupp/west-1101-p1.img")));

    ScratchDir dir;
    for (uint8_t key : {uint8_t{0}, uint8_t{0x5A}, uint8_t{0xA7}, uint8_t{0x47}}) {
        ImgSpec header;
        header.xor_byte = key;
        header.mapset_name_1 = "Alpha";
        header.mapset_name_2 = "Beta";
        std::string path = dir.file("x" + std::to_string(key) + ".img");
        ImgBuilder(header).write(path);
        std::string got = columns_of(path);
        EXPECT_EQ(got.substr(got.find("\t@.")), "\t@.Alpha               Beta") << int(key);
    }
}

TEST(FileColumns, KindRulesApplyInTheirOrder)
{
    ScratchDir dir;
    const std::string img_sig = "GARMIN";
    struct Case {
        const char* what;
        const char* name;
        std::string bytes;
        const char* kind;
    };
    const Case cases[] = {
        {"TYP before an IMG header", "a.img",
         head_with({{2, "GARMIN TYP"}, {0x10, "DSKIMG"}, {0x41, img_sig}, {0x49, "Name"}, {21, "\xE4\x04"},
                    {47, "\x4D\x04"}, {49, "\x02"}}),
         "TYP  FID=1101 PID=2 CP=1252"},
        {"TYP needs 51 bytes", "b.typ", head_with({{2, "GARMIN TYP"}}, 50), "other data"},
        {"TRF from 12 bytes", "c.bin", head_with({{2, "GARMIN TRF"}}, 12), "TRF"},
        {"MMR", "c.bin", head_with({{2, "GARMIN MMR"}}, 40), "MMR"},
        {"JCV", "c.bin", head_with({{2, "GARMIN JCV"}}), "JCV"},
        {"IMG before a subfile signature", "d.tre",
         head_with({{2, "GARMIN TRE"}, {0x10, "DSDIMG"}, {0x41, img_sig}, {0x49, "Map"}}), "@.Map"},
        {"IMG needs 512 bytes", "e.img", head_with({{0x10, "DSKIMG"}, {0x41, img_sig}}, 511), "other data"},
        {"IMG needs both signatures", "e.img", head_with({{0x10, "DSKIMX"}, {0x41, img_sig}}), "other data"},
        {"all-blank description", "f.img", head_with({{0x10, "DSKIMG"}, {0x41, img_sig}, {0x49, "   "}}), "@."},
        {"subfile before the TDB name", "g.tdb", head_with({{0, "P"}, {2, "GARMIN GMP"}}, 32), "subfile GMP"},
        {"subfile needs 32 bytes", "g.bin", head_with({{2, "GARMIN RGN"}}, 31), "other data"},
        {"MDR is the eighth subfile kind", "h.bin", head_with({{2, "GARMIN MDR"}}, 32), "subfile MDR"},
        {"TDB with P and 10 bytes", "i.TdB", head_with({{0, "P"}, {3, "\x07"}, {5, "\x39\x30"}}, 10),
         "TDB  FID=12345 PID=7"},
        {"TDB of 9 bytes", "j.tdb", head_with({{0, "P"}}, 9), "TDB"},
        {"TDB without P", "k.tdb", head_with({{0, "Q"}}, 20), "TDB"},
        {"MD2 by name only", "l.MD2", head_with({}, 5), "MD2"},
        {"name shorter than an extension", "md2", head_with({}, 5), "other data"},
    };
    for (const Case& c : cases) {
        std::string sub = dir.file(std::string(c.what).substr(0, 3) + std::to_string(&c - cases));
        mkdir(sub.c_str(), 0755);
        std::string path = sub + "/" + c.name;
        write_file(path, c.bytes);
        std::string got = columns_of(path);
        EXPECT_EQ(got.substr(got.find('\t', 1) + 1), c.kind) << c.what;
    }
}

TEST(FileColumns, DescriptionIsConvertedFromTheCodePage)
{
    ScratchDir dir;
    ImgSpec header;
    header.mapset_name_1 = "\xA3\xF3\x64\x9F";  // "Łódź" in code page 1250
    std::string path = dir.file("lodz.img");
    ImgBuilder(header).write(path);
    EXPECT_EQ(columns_of(path, 1250).substr(columns_of(path, 1250).find("\t@.")), "\t@.Łódź");
    EXPECT_EQ(columns_of(path, 1252).substr(columns_of(path, 1252).find("\t@.")), "\t@.£ódŸ");
    const int saved = language_default_code_page;
    language_default_code_page = 1250;
    EXPECT_EQ(columns_of(path, 0), columns_of(path, 1250));
    language_default_code_page = saved;
}

TEST(DropText, LinesAndFileNames)
{
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"file:///tmp/x%20y.img\r\nfile:///tmp/z.img\r\n", {"file:///tmp/x%20y.img", "file:///tmp/z.img"}},
        {"\r\n\r\n  /a b.img  \t\n\n\t/c.img", {"/a b.img", "/c.img"}},
        {std::string("/a.img\n/b.img\0/c.img\n", 21), {"/a.img", "/b.img"}},
        {"/\xC5\x81\xC3\xB3" "d\xC5\xBA.img\n", {"/Łódź.img"}},
        {"   \r\n\x01\x1f ", {}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cut_drop_text(c.text.data(), c.text.size()), c.lines) << c.text;
    // The length given bounds the walk, not a terminator.
    EXPECT_EQ(cut_drop_text("/a.img\n/b.img", 9), (std::vector<std::string>{"/a.img", "/b"}));

    const std::pair<const char*, const char*> decoded[] = {
        {"/tmp/x%20y.img", "/tmp/x y.img"}, {"%C5%81%c3%b3d%C5%BA", "Łódź"}, {"100%", "100%"},
        {"a%2", "a%2"},  {"a%zz%4", "a%zz%4"}, {"%2541", "%41"}, {"plain", "plain"},
    };
    for (const auto& [in, out] : decoded)
        EXPECT_EQ(percent_decode(in), out) << in;
}

using FilesTab = GuiTest;

TEST_F(FilesTab, LabelsInBothLanguagesAndShortcuts)
{
    start({"-P"});
    struct Case {
        Fl_Widget* widget;
        const char* english;
        const char* polish;
    };
    const Case cases[] = {
        {files_tab.add_files, "Add Files", "Dodaj pliki"},    {files_tab.add_directories, "Add Directories", "Dodaj katalogi"},
        {files_tab.info, "Info", "Info"},                      {files_tab.details, "Details", "Szczegóły"},
        {files_tab.help, "?", "?"},                            {files_tab.headers[0], "File name", "Nazwa pliku"},
        {files_tab.headers[1], "Size", "Rozmiar"},             {files_tab.headers[2], "Mapset", "Mapset"},
    };
    for (int english : {0, 1}) {
        english_texts = english;
        if (english)
            load_messages_gui_files(nullptr, 0, 0);
        for (const Case& c : cases)
            EXPECT_STREQ(c.widget->label(), english ? c.english : c.polish);
    }
    EXPECT_EQ(files_tab.add_files->shortcut(), FL_Insert);
    EXPECT_EQ(files_tab.select_all->shortcut(), FL_CTRL + 'a');
    EXPECT_EQ(files_tab.remove->shortcut(), FL_Delete);
    EXPECT_EQ(files_tab.remove->labelcolor(), fl_color_average(FL_WHITE, FL_BLACK, 0.5f));
    EXPECT_EQ(file_list->column_headers[0], files_tab.headers[0]);
    EXPECT_EQ(file_list->column_headers[1], files_tab.headers[1]);
}

TEST_F(FilesTab, HeaderBordersStopAtTheirLimitsAndRedrawTheList)
{
    start();
    // The widths are shared by every list; later tests expect them as built.
    const std::vector<int> kept(file_list_columns, file_list_columns + 4);
    auto drag = [this](Fl_Tile* tile, int from_x, int to_x) {
        settle();
        Fl::e_x = Fl::e_x_root = from_x;
        Fl::e_y = Fl::e_y_root = 85;
        tile->handle(FL_PUSH);
        Fl::e_x = Fl::e_x_root = to_x;
        tile->handle(FL_DRAG);
        tile->handle(FL_RELEASE);
    };
    struct Case {
        bool outer;
        int to_x;
        int name_width, size_width;
    };
    const Case cases[] = {
        {true, 50, 100, 70}, {true, 315, 310, 70}, {false, 330, 310, 55}, {false, 600, 310, 250},
        {false, 385, 310, 70}, {true, 700, 510, -1},  // the inner tile shares what is left
    };
    for (const Case& c : cases) {
        Fl_Tile* tile = c.outer ? files_tab.outer_tile : files_tab.inner_tile;
        Fl_Button* left = c.outer ? files_tab.headers[0] : files_tab.headers[1];
        drag(tile, left->x() + left->w(), c.to_x);
        EXPECT_EQ(files_tab.headers[0]->w(), c.name_width) << c.to_x;
        if (c.size_width >= 0) {
            EXPECT_EQ(files_tab.headers[1]->w(), c.size_width) << c.to_x;
        }
        EXPECT_EQ(files_tab.headers[2]->x() + files_tab.headers[2]->w(), 615) << c.to_x;
        EXPECT_TRUE(file_list->damage()) << c.to_x;
    }
    std::copy(kept.begin(), kept.end(), file_list_columns);
}

TEST_F(FilesTab, CommandLineFilesShowTheirColumns)
{
    const std::string img = data_path("gmapsupp/west-1101-p1.img");
    const std::string typ = data_path("typ/west1101.typ");
    start({"-E", img, typ});
    EXPECT_EQ(list_lines(), (std::vector<std::string>{"@." + img + "\t@f   19k\t@.Corpus West",
                                                       "@." + typ + "\t@f  803\tTYP  FID=1101 PID=1 CP=1252"}));
    EXPECT_TRUE(join_group->active());
}

TEST_F(FilesTab, DuplicatesSelectAndNamesAreComparedByteForByte)
{
    start();
    ScratchDir dir;
    const std::string a = dir.file("a.img"), upper = dir.file("A.img");
    write_file(a, "x");
    write_file(upper, "y");
    EXPECT_EQ(add_file(a.c_str(), -1), 1);
    EXPECT_EQ(add_file(upper.c_str(), -1), 1);
    file_list->deselect();
    EXPECT_EQ(add_file(a.c_str(), -1), 0);
    EXPECT_EQ(selection(), "x.");
    EXPECT_EQ(add_file(("file://" + a).c_str(), -1), 0);  // the same file by its URI
    EXPECT_EQ(add_file("dir\\b.img", -1), 1);              // a backslash is part of the name
    EXPECT_EQ(add_file("dir/b.img", -1), 1);
    // A listed path that is a prefix of another is not the other.
    EXPECT_EQ(add_file((a + "x").c_str(), -1), 1);
    EXPECT_EQ(list_paths(), (std::vector<std::string>{a, upper, "dir\\b.img", "dir/b.img", a + "x"}));
    // The length given is the path's, whatever follows it.
    EXPECT_EQ(add_file("dir/c.imgGARBAGE", 9), 1);
    EXPECT_EQ(list_paths().back(), "dir/c.img");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FilesTab, RefusedPaths)
{
    start();
    const std::string longest(1200, 'p');
    struct Case {
        std::string path;
        bool message;
    };
    const Case cases[] = {
        {"", false},
        {"file://", false},
        {std::string(1201, 'q'), false},
        {"file://" + std::string(1201, 'q'), false},
        {"a\tb.img", true},
        {"a\nb.img", true},
        {"a\x1f" "b.img", true},
        {"file:///tmp/a%09b.img", true},  // a tab only after decoding
        {std::string("a\0b", 3), true},
    };
    for (const Case& c : cases) {
        dialogs.messages.clear();
        EXPECT_EQ(add_file(c.path.data(), static_cast<int>(c.path.size())), 0) << c.path.substr(0, 20);
        EXPECT_EQ(dialogs.messages.size(), c.message ? 1u : 0u) << c.path.substr(0, 20);
    }
    EXPECT_EQ(file_list->size(), 0);
    dialogs.messages.clear();
    add_file("x\ty", -1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "A file name with a control character (tab, line end) cannot be listed:\nx?y");

    // 1200 bytes are listed, without columns from 1199 on.
    EXPECT_EQ(add_file(longest.c_str(), -1), 1);
    EXPECT_EQ(std::string(file_list->text(1)), "@." + longest);
    const std::string shorter(1198, 's');
    EXPECT_EQ(add_file(shorter.c_str(), -1), 1);
    EXPECT_EQ(std::string(file_list->text(2)), "@." + shorter + "\t@f    0\topen error");
}

TEST_F(FilesTab, MoveSelectAllAndRemove)
{
    start();
    struct Case {
        const char* selected;
        void (*move)();
        const char* order;
        const char* after;
    };
    const Case cases[] = {
        {"xx.x.", move_selected_up, "12435", "xxx.."},
        {".x.xx", move_selected_up, "21453", "x.xx."},
        {"x...x", move_selected_down, "21345", ".x..x"},
        {"..xxx", move_selected_down, "12345", "..xxx"},
        {"xx.x.", move_selected_down, "31254", ".xx.x"},
        {".....", move_selected_up, "12345", "....."},
        {"xxxxx", move_selected_down, "12345", "xxxxx"},
    };
    for (const Case& c : cases) {
        file_list->clear();
        for (int i = 1; i <= 5; ++i) {
            file_list->add(("@." + std::to_string(i)).c_str());
            file_list->select(i, c.selected[i - 1] == 'x');
        }
        c.move();
        std::string order;
        for (const std::string& p : list_paths())
            order += p;
        EXPECT_EQ(order, c.order) << c.selected;
        EXPECT_EQ(selection(), c.after) << c.selected;
    }

    // The buttons: Select all, Remove with and without a selection.
    file_list->clear();
    for (const char* p : {"/m/1.img", "/m/2.img", "/m/3.img"})
        add_file(p, -1);
    update_task_buttons();
    file_list->deselect();
    files_tab.remove->do_callback();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Select files to remove from list."}));
    EXPECT_EQ(file_list->size(), 3);
    files_tab.select_all->do_callback();
    EXPECT_EQ(selection(), "xxx");
    file_list->select(2, 0);
    files_tab.remove->do_callback();
    EXPECT_EQ(list_paths(), (std::vector<std::string>{"/m/2.img"}));
    EXPECT_TRUE(join_group->active());
    file_list->select(1);
    files_tab.remove->do_callback();
    EXPECT_EQ(file_list->size(), 0);
    EXPECT_FALSE(join_group->active());
    EXPECT_FALSE(change_group->active());
    files_tab.remove->do_callback();  // an empty list has nothing to ask about
    EXPECT_EQ(dialogs.messages.size(), 1u);

    // No task tab opens while a task runs.
    add_file("/m/4.img", -1);
    log_batching = 1;
    update_task_buttons();
    EXPECT_FALSE(split_group->active());
    log_batching = 0;
    update_task_buttons();
    EXPECT_TRUE(split_group->active());
}

TEST_F(FilesTab, SelectedFilesHoldAnyNumberOfLines)
{
    start();
    const int lines = 5000;
    for (int i = 0; i < lines; ++i)
        file_list->add(("@./maps/" + std::string(150, 'd') + "/" + std::to_string(i) + ".img\t@f    0\tother data").c_str());
    int count = -1;
    EXPECT_EQ(get_selected_files(&count, 1), nullptr);
    EXPECT_EQ(count, 0);
    select_all_files();
    file_list->select(17, 0);
    for (int selected_only : {0, 1}) {
        char** block = get_selected_files(&count, selected_only);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(count, selected_only ? lines - 1 : lines);
        int skipped = 0;
        for (int i = 0; i < count; ++i) {
            if (selected_only && i + skipped == 16)
                ++skipped;
            EXPECT_EQ(std::string(block[i]), "/maps/" + std::string(150, 'd') + "/" + std::to_string(i + skipped) + ".img");
        }
        gui_free(block);
    }
    // A single line counts as selected.
    file_list->clear();
    file_list->add("@./only.img\tx");
    char** one = get_selected_files(&count, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(one[0], "/only.img");
    EXPECT_EQ(selection(), "x");
    gui_free(one);
    file_list->clear();
    EXPECT_EQ(get_selected_files(&count, 0), nullptr);
    EXPECT_EQ(count, 0);
}

TEST_F(FilesTab, InfoAsksForASelectionAmongSeveralLines)
{
    const std::string a = data_path("single/plain/11000001.img"), b = data_path("single/plain/11000002.img");
    start({"-E", a, b});
    file_list->deselect();
    const std::string before = log_text();
    files_tab.info->do_callback();
    files_tab.details->do_callback();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Select files for info display.",
                                                           "Select files for detailed info display."}));
    EXPECT_EQ(log_text(), before);

    // One unselected line is taken as chosen.
    file_list->remove(2);
    file_list->deselect();
    files_tab.info->do_callback();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(log_text().find("File:\t\t" + a), std::string::npos);
    EXPECT_EQ(log_text().find(b), std::string::npos);

    file_list->clear();
    files_tab.details->do_callback();  // an empty list: nothing at all
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

// The report after the console's banner line, without the blank lines
// around it.
std::string trimmed(std::string text)
{
    size_t first = text.find_first_not_of('\n');
    size_t last = text.find_last_not_of('\n');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

TEST_F(FilesTab, InfoAndDetailsLogTheConsoleReport)
{
    const std::vector<std::string> files = {data_path("gmapsupp/west-1101-p1.img"), data_path("typ/west1101.typ"),
                                            data_path("damaged/valid-xor-5a.img")};
    std::vector<std::string> args = {"-E"};
    args.insert(args.end(), files.begin(), files.end());
    start(args);
    for (Fl_Button* button : {files_tab.info, files_tab.details}) {
        std::vector<std::string> twk_args = {"-E", "-i"};
        if (button == files_tab.details)
            twk_args.push_back("-v");
        twk_args.insert(twk_args.end(), files.begin(), files.end());
        RunResult console = run_twk(twk_args);
        ASSERT_EQ(console.exit_code, 0) << console.output;
        std::string expected = trimmed(console.output.substr(console.output.find('\n') + 1));
        ASSERT_FALSE(expected.empty());

        const size_t before = log_text().size();
        select_all_files();
        button->do_callback();
        // The task's frame: its separator line first, "End." last.
        std::string task = log_text().substr(before);
        const std::string separator = "\n" + std::string(68, '=') + "\n";
        ASSERT_EQ(task.find(separator), 0u) << task.substr(0, 200);
        const size_t end = task.rfind(EndTxt.text());
        ASSERT_NE(end, std::string::npos);
        ASSERT_EQ(end + strlen(EndTxt.text()), task.size());
        task = task.substr(separator.size(), end - separator.size());
        // Inside it, the window announces each file it reads, and its
        // detailed report ends with the map-ID check over all inputs (here
        // two files share their IDs, so it warns): the console has neither.
        std::string logged;
        std::istringstream lines(task);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("Reading file ", 0) != 0)
                logged += line + "\n";
        }
        logged = trimmed(logged);
        ASSERT_EQ(logged.substr(0, expected.size()), expected) << button->label() << "\n--- log:\n"
                                                               << logged << "\n--- twk:\n"
                                                               << expected;
        std::istringstream rest(logged.substr(expected.size()));
        for (std::string line; std::getline(rest, line);) {
            if (!line.empty() && line != trimmed(TWWRCB.text())) {
                EXPECT_EQ(line.substr(0, 3), "== ") << button->label() << ": " << line;
            }
        }
        EXPECT_EQ(logged.find("Out of memory"), std::string::npos);
    }
}

TEST_F(FilesTab, DropsAddEveryDecodedPath)
{
    start();
    add_file("/kept.img", -1);
    const std::string drop = "file:///tmp/x%20y.img\r\nfile:///tmp/z.img\r\n\r\n   /plain.img \r\n/kept.img";
    Fl::e_text = const_cast<char*>(drop.c_str());
    Fl::e_length = static_cast<int>(drop.size());
    file_list->handle(FL_PASTE);
    Fl::e_text = nullptr;
    Fl::e_length = 0;
    settle();
    EXPECT_EQ(list_paths(), (std::vector<std::string>{"/kept.img", "/tmp/x y.img", "/tmp/z.img", "/plain.img"}));
    // The earlier selection went; the dropped lines and the one dropped again are selected.
    EXPECT_EQ(selection(), "xxxx");
    EXPECT_EQ(file_list->pending_drop_count(), 0u);
    EXPECT_TRUE(write_group->active());
}

TEST_F(FilesTab, DirectoriesAddTheirMapFilesInNumericOrder)
{
    start();
    ScratchDir dir;
    for (const char* name : {"b10.IMG", "b9.img", "a.typ", "notes.txt", "x.Mps", "c.tdb", "t.trf", "m.MDR",
                             "g.gmp", "d.dem", "t.tre", "r.rgn", "l.lbl", "n.net", "n.nod", "s.srt", "img", ".img"})
        write_file(dir.file(name), "");
    mkdir(dir.file("sub.img").c_str(), 0755);
    EXPECT_EQ(add_directory((dir.path() + "/").c_str()), 15);
    const std::string base = dir.path() + "/";
    std::vector<std::string> expected;
    for (const char* name : {".img", "a.typ", "b9.img", "b10.IMG", "d.dem", "g.gmp", "l.lbl", "m.MDR", "n.net",
                             "n.nod", "r.rgn", "s.srt", "t.tre", "t.trf", "x.Mps"})
        expected.push_back(base + name);
    EXPECT_EQ(list_paths(), expected);
    EXPECT_EQ(add_directory(dir.path().c_str()), 0);  // all listed already
    EXPECT_EQ(add_directory("/no/such/dir"), 0);
    EXPECT_EQ(add_directory(""), 0);
}

TEST_F(FilesTab, ChoosersAddAndRememberTheirDirectory)
{
    start({"-E", "-i", "/start/here"});
    EXPECT_STREQ(dialog_start_dir, "/start/here");
    ScratchDir dir;
    write_file(dir.file("one.img"), "");
    write_file(dir.file("two.typ"), "");
    mkdir(dir.file("maps").c_str(), 0755);
    write_file(dir.file("maps/m.img"), "");

    dialogs.choices.push_back({{dir.file("one.img"), dir.file("two.typ")}, dir.path()});
    files_tab.add_files->do_callback();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.request_titles[0], "Input files");
    EXPECT_STREQ(dialogs.requests[0].filter, "All Files (*)\tMaps (*.img)\tTyp file (*.typ)");
    EXPECT_EQ(dialogs.requests[0].type, Fl_File_Chooser::MULTI);
    EXPECT_EQ(dialogs.request_directories[0], "/start/here");
    EXPECT_EQ(dialog_start_dir, dir.path());
    EXPECT_EQ(list_paths(), (std::vector<std::string>{dir.file("one.img"), dir.file("two.typ")}));

    dialogs.choices.push_back({{dir.file("maps")}, std::string(1022, 'd')});
    files_tab.add_directories->do_callback();
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.request_titles[1], "Input directories");
    EXPECT_EQ(dialogs.requests[1].type, Fl_File_Chooser::MULTI | Fl_File_Chooser::DIRECTORY);
    EXPECT_EQ(dialog_start_dir, dir.path());  // 1022 bytes are too long to keep
    EXPECT_EQ(list_paths().back(), dir.file("maps/m.img"));
    EXPECT_EQ(selection(), "..x");

    files_tab.add_files->do_callback();  // cancelled: nothing changes
    EXPECT_EQ(file_list->size(), 3);
    EXPECT_EQ(dialog_start_dir, dir.path());
    dialog_start_dir[0] = '\0';  // it lives for the process, past this test
}

TEST_F(FilesTab, RefreshRebuildsOnlyTheLineOfTheSamePath)
{
    start();
    ScratchDir dir;
    ImgSpec header;
    header.mapset_name_1 = "\xA3\xF3\x64\x9F";
    const std::string path = dir.file("Lodz.img");
    ImgBuilder(header).write(path);
    add_file(path.c_str(), -1);
    const std::string first = file_list->text(1);
    EXPECT_NE(first.find("\t@.£ódŸ"), std::string::npos);

    std::string other_case = dir.file("LODZ.img");
    refresh_file_list_row(other_case.c_str(), 1250);
    refresh_file_list_row(path.substr(0, path.size() - 1).c_str(), 1250);
    refresh_file_list_row("", 1250);
    EXPECT_EQ(std::string(file_list->text(1)), first);

    refresh_file_list_row(path.c_str(), 1250);
    EXPECT_EQ(std::string(file_list->text(1)), "@." + path + columns_of(path, 1250));
    EXPECT_NE(std::string(file_list->text(1)).find("\t@.Łódź"), std::string::npos);
}

TEST_F(FilesTab, AboutNamesTheProgramAndTheToolkit)
{
    start();
    files_tab.about->do_callback();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const std::string& text = dialogs.messages[0];
    EXPECT_EQ(text.substr(0, text.find('\n')), std::string("Tarnwick ") + version_text);
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), "Interface build with C++ GUI toolkit FLTK v1.3.");
}

TEST_F(FilesTab, AFolderOfThousandsOfMapsAddsQuickly)
{
    start();
    ScratchDir dir;
    const std::string header = read_file(data_path("gmapsupp/west-1101-p1.img")).substr(0, 1024);
    const int files = 2300;
    for (int i = 0; i < files; ++i)
        write_file(dir.file("map" + std::to_string(10000000 + i) + ".img"), header);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(add_directory(dir.path().c_str()), files);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(std::string(file_list->text(files)), "@." + dir.file("map10002299.img") + "\t@f 1024\t@.Corpus West");
}

}  // namespace
