#!/bin/sh
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors, and runs every test (the window program's under a virtual X
# server) with the end-to-end run of the window program beside them; builds
# the release variant with warnings as errors.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DFLTK_DIR=/usr/lib/fltk \
    -DTWK_SANITIZE=ON -DTWK_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)" --target twk Tarnwick

# The end-to-end run drives the real window on an X server of its own and
# spends most of its time waiting for it, so it runs beside the tests' build,
# the tests and the release build, which yield the processors to the window
# it drives; its output comes after theirs.
sh scripts/gui_e2e.sh build-test build-test/screenshots >build-test/gui_e2e.log 2>&1 &
e2e=$!
e2e_result() {
    status=0
    wait "$e2e" || status=$?
    cat build-test/gui_e2e.log
    return "$status"
}
if ! nice -n 15 cmake --build build-test -j"$(nproc)"; then
    e2e_result || true
    exit 1
fi
# The window program's tests need a display: one X server for the whole run.
if (cd build-test && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)") \
        >build-test/ctest.log 2>&1; then
    tests_status=0
else
    tests_status=$?
fi
cat build-test/ctest.log
# Here every test must run: a display and mkgmap are there, so a skipped
# test is one that did not do its work.
if grep -q "tests did not run" build-test/ctest.log; then
    echo "test.sh: tests were skipped:" >&2
    grep -h "^Skipped: " build-test/Testing/Temporary/LastTest.log >&2 || true
    tests_status=1
fi
if [ "$tests_status" -ne 0 ]; then
    e2e_result || true
    exit 1
fi

# Release has warnings of its own (other inlining): none may pass either.
if ! { cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DFLTK_DIR=/usr/lib/fltk \
        -DTWK_WERROR=ON -DTWK_TESTS=OFF >/dev/null &&
       nice -n 15 cmake --build build-release -j"$(nproc)"; }; then
    e2e_result || true
    exit 1
fi
e2e_result
