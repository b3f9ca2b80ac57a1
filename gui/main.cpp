// Tarnwick: the window program over the same core as twk.
#include <FL/Fl.H>

#include "gui/main_window.h"

int main(int argc, char** argv)
{
    gui_start(argc, argv);
    Fl::run();
    gui_finish();
    return 0;
}
