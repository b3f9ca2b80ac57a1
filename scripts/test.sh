#!/bin/sh
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors, and runs every test; then runs the tests that copy subfiles (and
# so use the byte-sum thread) once more under ThreadSanitizer.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DFLTK_DIR=/usr/lib/fltk \
    -DTWK_SANITIZE=ON -DTWK_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
(cd build-test && ctest --output-on-failure -j"$(nproc)")

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTWK_GUI=OFF -DTWK_TSAN=ON -DTWK_WERROR=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" --target unit_tests twk
TSAN_OPTIONS=halt_on_error=1 ./build-tsan/tests/unit_tests \
    --gtest_filter='BackgroundSums.*:Join*:Split*:ImgWriting.*:Gmp*'
