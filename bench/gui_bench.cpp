// Times the window program's two heavy Files-tab actions in the real window:
// adding a folder of map files, and Details (the verbose report) of one file
// into the log. Run under a display (bench/gui_run.sh uses xvfb-run).
//
//   gui_bench FOLDER FILE     prints "add SECONDS LINES" and "details SECONDS BYTES"
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <FL/Fl.H>
#include <FL/Fl_Multi_Browser.H>
#include <FL/Fl_Text_Buffer.H>

#include "gui/files_tab.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "gui/widgets.h"

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: gui_bench FOLDER FILE\n");
        return 1;
    }
    char name[] = "gui_bench";
    char english[] = "-E";
    char* args[] = {name, english, nullptr};
    gui_start(2, args);
    Fl::check();

    auto start = std::chrono::steady_clock::now();
    int added = add_directory(argv[1]);
    Fl::check();
    printf("add %.3f %d\n", seconds_since(start), added);

    file_list->clear();
    add_file(argv[2], -1);
    Fl::check();
    int before = log_buffer->length();
    start = std::chrono::steady_clock::now();
    wyswietl_info(1);
    printf("details %.3f %d\n", seconds_since(start), log_buffer->length() - before);
    gui_finish();
    return 0;
}
