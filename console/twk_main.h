// twk's whole run, from the command line to the exit code.
#pragma once

// Everything main does: version, language, options, the one command. The
// program's main is this and nothing else, so the tests run the same thing
// inside their own process.
int twk_main(int argc, char** argv);
