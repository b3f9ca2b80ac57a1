#!/bin/sh
# Builds the libFuzzer target (clang, ASan, UBSan) and feeds arbitrary bytes
# to the reader and the report for the given seconds (default 600).
# New inputs go to build-fuzz/corpus (kept between runs), an input that
# crashes or hangs to build-fuzz/findings/; the exit code is then non-zero.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-600}
sh scripts/deps.sh
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTWK_FUZZ=ON -DTWK_TESTS=OFF -DTWK_GUI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_read

# Seeds: the small files of tests/data, each behind the mode byte that
# presents it under its own kind of name (see fuzz/fuzz_read.cpp).
seeds=build-fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds" build-fuzz/corpus build-fuzz/findings
find tests/data -type f -size -64k ! -name '*.md' ! -name '*.xml' | while read -r f; do
    case "$f" in
        *.img) mode=0 ;;
        *.typ) mode=1 ;;
        *.tdb) mode=9 ;;
        *) mode=43 ;;  # ".dat" with "other data": recognised by content, else raw
    esac
    { printf "\\$(printf '%03o' "$mode")"; cat "$f"; } >"$seeds/$(echo "$f" | tr / _)"
done

./build-fuzz/fuzz/fuzz_read -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix=build-fuzz/findings/ build-fuzz/corpus "$seeds"
