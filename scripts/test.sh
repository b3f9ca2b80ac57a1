#!/bin/sh
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors, and runs every test (the window program's under a virtual X
# server), then the end-to-end run of the window program; builds the
# release variant with warnings as errors.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DFLTK_DIR=/usr/lib/fltk \
    -DTWK_SANITIZE=ON -DTWK_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
# The window program's tests need a display: one X server for the whole run.
(cd build-test && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)")
sh scripts/gui_e2e.sh build-test build-test/screenshots

# Release has warnings of its own (other inlining): none may pass either.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DFLTK_DIR=/usr/lib/fltk \
    -DTWK_WERROR=ON -DTWK_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
