// twk: the command-line front-end of the core.
#include "console/twk_main.h"

int main(int argc, char** argv) { return twk_main(argc, argv); }
