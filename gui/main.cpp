// Tarnwick: the window program. For now it builds against FLTK and opens nothing.
#include <FL/Fl.H>

int main(int, char**)
{
    return Fl::version() > 0 ? 0 : 1;
}
