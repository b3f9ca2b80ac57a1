#!/bin/sh
# Builds a libFuzzer target (clang, ASan, UBSan) and runs it for the given
# seconds (default 600): `sh scripts/fuzz.sh [seconds] [read|write|copy]`.
#   read   arbitrary bytes to the reader and the report (fuzz_read, default)
#   write  arbitrary bytes as a file that `twk -w` changes in place, checked
#          for the byte sum and read back (fuzz_write)
#   copy   arbitrary bytes as a file that `twk` joins or splits; the input must
#          stay as it was, every IMG made must add up to 0 and read back
#          (fuzz_copy)
# New inputs go to build-fuzz/corpus-<target> (kept between runs), an input
# that crashes or hangs to build-fuzz/findings/; the exit code is then non-zero.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-600}
kind=${2:-read}
case "$kind" in
    read) target=fuzz_read; corpus=build-fuzz/corpus ;;
    write) target=fuzz_write; corpus=build-fuzz/corpus-write ;;
    copy) target=fuzz_copy; corpus=build-fuzz/corpus-copy ;;
    *) echo "usage: sh scripts/fuzz.sh [seconds] [read|write|copy]" >&2; exit 2 ;;
esac
sh scripts/deps.sh
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTWK_FUZZ=ON -DTWK_TESTS=OFF -DTWK_GUI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "$target"

byte() { printf "\\$(printf '%03o' "$1")"; }
# A value of fuzz_write: its length byte, then its text.
value() { byte "${#1}"; printf '%s' "$1"; }

# Seeds: the small files of tests/data, each behind the mode byte that
# presents it under its own kind of name (see fuzz/fuzz_read.cpp); for
# fuzz_write, once per change with a value the option accepts (see the
# change table of fuzz/fuzz_write.cpp), IMG files also under a filter; for
# fuzz_copy, once per task of fuzz/fuzz_copy.cpp's table, and beside a
# sound map for a few.
seeds=build-fuzz/seeds-$kind
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" build-fuzz/findings
find tests/data -type f -size -64k ! -name '*.md' ! -name '*.xml' | while read -r f; do
    case "$f" in
        *.img) mode=0 ;;
        *.typ) mode=1 ;;
        *.tdb) mode=9 ;;
        *) mode=43 ;;  # ".dat" with "other data": recognised by content, else raw
    esac
    name=$(echo "$f" | tr / _)
    if [ "$kind" = read ]; then
        { byte "$mode"; cat "$f"; } >"$seeds/$name"
        continue
    fi
    if [ "$kind" = copy ]; then
        for task in 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14; do
            { byte "$mode"; byte "$task"; cat "$f"; } >"$seeds/$name.$task"
        done
        # beside a sound map: the join, the NT packing, two splits
        size=$(wc -c <"$f")
        for task in 0 1 5 7; do
            { byte $((mode | 64)); byte "$task"; byte $((size % 256)); byte $((size / 256)); cat "$f";
              cat tests/data/single/plain/11000002.img; } >"$seeds/$name.two.$task"
        done
        continue
    fi
    # change index and value; the ones that only matter to IMG files are
    # left out for the others
    if [ "$mode" = 0 ]; then
        list="0: 1:2.5,7 2:20 3: 4: 5:1,1,2 6:+3 6:11000009 7:Fuzz_set 8:Fuzz_map 9:1101,1 10: 11: 12: 13:1101,1,1252 14: 15:abcdef 16: 134:-1 135:Fuzz 137:77,2"
    else
        list="0: 5:1,1,2 6:+3 13:1101,1,1252 14:"
    fi
    for item in $list; do
        change=${item%%:*}
        { byte "$mode"; byte "$change"; value "${item#*:}"; value "1101,1"; cat "$f"; } \
            >"$seeds/$name.$change"
    done
done

./build-fuzz/fuzz/"$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix=build-fuzz/findings/ "$corpus" "$seeds"
