// Files that people edit or name, at their worst, in the running window:
// language and settings files the toolkit's reader cannot take (named in
// the log), FIFOs and folders given as files, a window saved at the ends of
// the int range, a translated text that would print a gigabyte, and a task
// that runs out of memory.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/options_support.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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
    EXPECT_NE(log_text().find("Open error, file " + dir.file("fifo.img") + ".\n"), std::string::npos) << log_text();
    EXPECT_EQ(fifo.waiting(), 600);
}

TEST(SizeColumn, SizesAtTheTopOfTheRangeRoundWithoutOverflow)
{
    struct Case {
        int64_t size;
        const char* column;
    };
    const Case cases[] = {
        {9999499, "\t@f 9999k"},
        {9999500, "\t@f   10M"},
        {1499999, "\t@f 1500k"},
        {INT64_MAX - 499999, "\t@f9223372036854M"},
        {INT64_MAX, "\t@f9223372036855M"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(size_column(c.size), c.column) << c.size;
}

TEST_F(HostileFiles, AWindowSavedAtTheEndsOfTheIntRangeOpensOnTheScreen)
{
    start();
    for (int value : {INT_MAX, INT_MIN}) {
        PositionX = PositionY = PositionW = PositionH = value;
        place_main_window();
        int x, y, w, h;
        Fl::screen_work_area(x, y, w, h, 0, 0);
        EXPECT_GE(PositionX, x) << value;
        EXPECT_GE(PositionY, y) << value;
        EXPECT_LE(int64_t(PositionX) + PositionW, int64_t(x) + w) << value;
        EXPECT_LE(int64_t(PositionY) + PositionH, int64_t(y) + h) << value;
        EXPECT_EQ(main_window->w(), PositionW);
    }
}

