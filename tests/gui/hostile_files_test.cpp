// Files that people edit or name, at their worst, in the running window:
// language and settings files the toolkit's reader cannot take (named in
// the log), FIFOs and folders given as files, a translated text that would
// print a gigabyte, and a task that runs out of memory.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include "gui/file_guard.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Multi_Browser.H>

#include "core/files.h"
#include "core/host.h"
#include "core/report.h"
#include "gui/files_tab.h"
#include "gui/join_tab.h"
#include "gui/languages.h"
#include "gui/log_window.h"
#include "gui/settings.h"
#include "gui/task_calls.h"
#include "gui/widgets.h"
#include "tests/support/test_support.h"

namespace {

std::string lang_text(const std::string& name, const std::string& groups)
{
    return prefs_header + "[.]\n\nProgram:Tarnwick\nLanguageName:" + name +
           "\nProgramCode:1031\nTranslation:Test\nCodePage:65001\n" + groups;
}

}  // namespace

// What the toolkit's reader would see, line by line.
TEST(PreferencesCheck, LinesTheReaderCannotTakeRefuseTheFile)
{
    using C = PreferencesCheck;
    const std::string long_name(120, 'g');
    struct Case {
        const char* what;
        std::string text;
        C check;
    };
    const Case cases[] = {
        {"a file written by the toolkit",
         prefs_header + "[.]\n\nVersion:9073\n\n[./GUI_Main]\n\nFilesT:   Files   \n", C::fine},
        {"a long value", prefs_header + "Path:" + std::string(1000, 'v') + "\n+" + std::string(900, 'w') + "\n",
         C::fine},
        {"a group of 99 bytes", prefs_header + "[./" + std::string(95, 'g') + "]\n", C::fine},
        {"a group of 100 bytes", prefs_header + "[./" + std::string(96, 'g') + "]\n", C::bad_line},
        {"a group outside the root", prefs_header + "[abc]\nPositionX:10\n", C::bad_line},
        {"a group that only starts like the root", prefs_header + "[.abc]\n", C::bad_line},
        {"a key of 100 bytes", prefs_header + std::string(100, 'k') + ":1\n", C::bad_line},
        {"a line of 100 bytes without a colon", prefs_header + std::string(100, 'k') + "\n", C::bad_line},
        {"a long comment", prefs_header + ";" + std::string(300, 'c') + "\n", C::fine},
        {"the header is skipped", "[" + long_name + "]\n\n\n", C::fine},
        {"a group in the tail of a value of over 1023 bytes",
         prefs_header + "Path:" + std::string(1018, 'v') + "[" + long_name + "]\n", C::bad_line},
        {"a key in the tail of a value of over 1023 bytes",
         prefs_header + "Path:" + std::string(1018, 'v') + long_name + "\n", C::bad_line},
        {"10000 lines", std::string(10000, '\n'), C::fine},
        {"10001 lines", std::string(10001, '\n'), C::too_large},
    };
    for (const Case& c : cases)
        EXPECT_EQ(check_preferences_text(c.text), c.check) << c.what;

    TempFolder folder;
    folder.write("big.lang", std::string(PREFERENCES_FILE_LIMIT + 1, '\n'));
    ASSERT_EQ(symlink("/dev/zero", folder.file("zero.lang").c_str()), 0);
    mkdir(folder.file("folder.lang").c_str(), 0700);
    const std::pair<const char*, C> files[] = {
        {"big.lang", C::too_large}, {"zero.lang", C::not_regular}, {"folder.lang", C::folder}, {"none.lang", C::missing}};
    for (const auto& [name, check] : files)
        EXPECT_EQ(check_preferences_file(folder.file(name)), check) << name;
}

namespace {

using HostileWindow = OptionsGuiTest;

}  // namespace

// Every refused file is one log line that names it; the language files
// that can stand are listed as before.
TEST_F(HostileWindow, RefusedFilesAreNamedInTheLogAtStart)
{
    program.write("good.lang", lang_text("Gut", "\n[./GUI_Main]\n\nEndTxt:\\nEnde.\\n\n"));
    program.write("long.lang", lang_text("Lang", "\n[./" + std::string(150, 'g') + "]\n\nEndTxt:x\n"));
    program.write("group.lang", lang_text("Gruppe", "\n[GUI_Main]\n\nEndTxt:x\n"));
    program.write("big.lang", lang_text("Gross", std::string(PREFERENCES_FILE_LIMIT, '\n')));
    program.write("Tarnwick.ini", prefs_header + "[./" + std::string(150, 'g') + "]\nPositionX:10\n");
    mkdir(program.file("folder.lang").c_str(), 0700);
    ASSERT_EQ(symlink("/dev/null", program.file("null.lang").c_str()), 0);

    start({"-E"});
    const std::string log = log_text();
    ASSERT_EQ(log.rfind("Program start.\n", 0), 0u) << log;
    const char* reason_line = "a group or key line of 100 bytes or more, or a malformed group";
    for (const std::string& line :
         {"Language file " + program.file("long.lang") + " refused (" + reason_line + "): its texts are not used.\n",
          "Language file " + program.file("group.lang") + " refused (" + reason_line + "): its texts are not used.\n",
          "Language file " + program.file("big.lang") +
              " refused (over 1 MiB or 10000 lines): its texts are not used.\n",
          "Language file " + program.file("null.lang") + " refused (not a regular file): its texts are not used.\n",
          "Settings file " + program.file("Tarnwick.ini") + " refused (" + reason_line + "), set aside as " +
              program.file("Tarnwick.ini.refused") + ": the settings start from their defaults.\n"}) {
        size_t at = log.find(line);
        EXPECT_NE(at, std::string::npos) << line << "\nin\n" << log;
        EXPECT_EQ(log.find(line, at + 1), std::string::npos) << line;
    }
    EXPECT_EQ(log.find("folder.lang"), std::string::npos);
    ASSERT_EQ(language_table.size(), 4u);
    EXPECT_EQ(language_table[3].name, "Gut");
    load_language(3);
    EXPECT_STREQ(EndTxt.text(), "\nEnde.\n");

    // A file refused later is logged at once, in the language in force.
    english_texts = 0;
    load_language(2);
    program.write("good.lang", lang_text("Gut", "\n[./" + std::string(150, 'g') + "]\n"));
    load_language(3);
    EXPECT_NE(log_text().find("Odrzucono plik języka " + program.file("good.lang") +
                              " (wiersz grupy lub klucza ma 100 bajtów lub więcej albo błędna grupa): jego teksty nie "
                              "są używane.\n"),
              std::string::npos)
        << log_text();
    load_language(1);
}

// A text whose width would make every message a gigabyte stays English.
TEST_F(HostileWindow, ATranslatedWidthTheEnglishLacksIsRefused)
{
    program.write("wide.lang", lang_text("Breit", "\n[./twk_all]\n\ndp_FiFoEI:File format errors (%999999999i)\\n\n"
                                                   "fn_OpErFS:Datei %s nicht offen.\\n\n"));
    start({"-E"});
    ASSERT_EQ(language_table.size(), 4u);
    load_language(3);
    EXPECT_STREQ(dp_FiFoEI.text(), "File format errors (%i)\n");
    EXPECT_STREQ(fn_OpErFS.text(), "Datei %s nicht offen.\n");
    load_language(1);
}

namespace {

class HostileFiles : public GuiTest {};

// A FIFO with bytes waiting and a writer: a reader would not block on it,
// so a listing that reads it shows what it read instead of "open error".
class HeldFifo {
public:
    explicit HeldFifo(const std::string& path)
    {
        mkfifo(path.c_str(), 0600);
        fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK);
        std::string bytes(600, 'x');
        if (fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        }
    }
    ~HeldFifo()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    HeldFifo(const HeldFifo&) = delete;
    HeldFifo& operator=(const HeldFifo&) = delete;
    int waiting() const
    {
        int n = -1;
        ioctl(fd_, FIONREAD, &n);
        return n;
    }

private:
    int fd_ = -1;
};

}  // namespace

// Only regular files are read: a folder or a FIFO given as a file is a
// line of its own with "open error", no size is worked out for it, and a
// task on it fails to open it instead of waiting.
TEST_F(HostileFiles, AFolderOrAFifoGivenAsAFileIsAnOpenErrorLine)
{
    start();
    ScratchDir dir;
    HeldFifo fifo(dir.file("fifo.img"));
    ASSERT_EQ(fifo.waiting(), 600);
    for (const std::string& path : {dir.path(), dir.file("fifo.img")}) {
        ASSERT_EQ(add_file(path.c_str(), -1), 1) << path;
        ASSERT_EQ(std::string(file_list->text(file_list->size())), "@." + path + "\t@f    0\topen error");
    }
    EXPECT_EQ(fifo.waiting(), 600);

    file_list->deselect();
    file_list->select(2);
    wyswietl_info(0);
    const std::string refused = "Open error, file " + dir.file("fifo.img") + " (not a regular file).\n";
    EXPECT_NE(log_text().find(refused), std::string::npos) << log_text();
    EXPECT_EQ(fifo.waiting(), 600);
}

TEST(SizeColumn, SizesAtTheTopOfTheRangeRoundWithoutOverflow)
{
    struct Case {
        int64_t size;
        const char* column;
    };
    const Case cases[] = {
        {9999500, "\t@f   10M"},
        {INT64_MAX - 500000, "\t@f9223372036854M"},
        {INT64_MAX, "\t@f9223372036855M"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(size_column(c.size), c.column) << c.size;
}

namespace {

void out_of_memory(const TaskOptions&, int, const char* const*) { throw std::bad_alloc(); }

}  // namespace

// A task that runs out of memory ends at the task frame with the core's
// message and one error; the window goes on and runs the next task.
TEST_F(HostileFiles, ATaskThatRunsOutOfMemoryEndsAndTheWindowGoesOn)
{
    start();
    ASSERT_EQ(add_file(data_path("gmapsupp/west-1101-p1.img").c_str(), -1), 1);
    update_task_buttons();
    ScratchDir out;
    join_tab.output_file->value(out.file("joined.img").c_str());
    struct Case {
        const char* what;
        void (**slot)(const TaskOptions&, int, const char* const*);
        void (*run)();
    };
    const Case cases[] = {
        {"Info", &task_calls.info, [] { wyswietl_info(0); }},
        {"Join", &task_calls.join, [] { join_tab.buttons.all->do_callback(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        *c.slot = out_of_memory;
        clear_log();
        error_count = 0;
        c.run();
        settle();
        const std::string log = log_text();
        EXPECT_NE(log.find("Out of memory.\n\nEnd.\n"), std::string::npos) << log;
        EXPECT_EQ(error_count, 1);
        EXPECT_TRUE(main_window->shown());
        EXPECT_TRUE(files_group->active());
        EXPECT_TRUE(join_group->active());
        EXPECT_FALSE(log_batching);
        reset_task_calls();
    }
    clear_log();
    wyswietl_info(0);
    EXPECT_NE(log_text().find("Corpus West"), std::string::npos);
    EXPECT_EQ(log_text().find("Out of memory"), std::string::npos);
}
