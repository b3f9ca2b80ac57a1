#!/bin/sh
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors, and runs every test.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DFLTK_DIR=/usr/lib/fltk \
    -DTWK_SANITIZE=ON -DTWK_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j"$(nproc)"
