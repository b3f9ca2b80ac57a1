#!/bin/sh
# The window program's Files tab on a tile set: adding a folder of 2,300 map
# files, and Details of the 2,300-map file they join into, against
# `twk -i -v` of that file into a file. Medians of five paired runs.
#
#   sh bench/gui_run.sh [TILES]     (default 2300)
#
# Builds a release gui_bench in bench/work/build-gui; everything it makes
# stays under bench/work/ (git-ignored). Needs xvfb-run.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/bench/work
TILES=${1:-2300}
SOURCE=$ROOT/tests/data/single/medium/15000001.img

mkdir -p "$WORK"
echo "Building gui_bench and twk (release) in $WORK/build-gui ..."
cmake -S "$ROOT" -B "$WORK/build-gui" -DCMAKE_BUILD_TYPE=Release -DTWK_TESTS=OFF -DTWK_BENCH=ON \
    -DFLTK_DIR=/usr/lib/fltk >"$WORK/build-gui.log" 2>&1
cmake --build "$WORK/build-gui" -j4 --target gui_bench twk >>"$WORK/build-gui.log" 2>&1
TWK=$WORK/build-gui/twk
BENCH=$WORK/build-gui/gui_bench

tiles=$WORK/tiles-$TILES
if [ ! -f "$tiles/made" ]; then
    echo "Making $TILES tiles ..."
    rm -rf "$tiles"
    python3 "$ROOT/bench/make_maps.py" "$SOURCE" "$tiles" 30000001 "$TILES"
    "$TWK" -LicenseAcknowledge -j -m "Bench tiles" -f 2001,1 -o "$WORK/tiles-$TILES.img" "$tiles"/*.img >/dev/null
    touch "$tiles/made"
fi
joined=$WORK/tiles-$TILES.img

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$WORK/add.txt"
: >"$WORK/details.txt"
: >"$WORK/cli.txt"
: >"$WORK/ratio.txt"
for run in 1 2 3 4 5; do
    xvfb-run -a -s "-screen 0 1280x1024x24" "$BENCH" "$tiles" "$joined" >"$WORK/gui_bench.out"
    add=$(awk '$1 == "add" { print $2 }' "$WORK/gui_bench.out")
    lines=$(awk '$1 == "add" { print $3 }' "$WORK/gui_bench.out")
    details=$(awk '$1 == "details" { print $2 }' "$WORK/gui_bench.out")
    start=$(date +%s.%N)
    "$TWK" -LicenseAcknowledge -i -v "$joined" >"$WORK/report.txt"
    cli=$(awk "BEGIN { print $(date +%s.%N) - $start }")
    echo "$add" >>"$WORK/add.txt"
    echo "$details" >>"$WORK/details.txt"
    echo "$cli" >>"$WORK/cli.txt"
    awk "BEGIN { printf \"%.2f\n\", $details / $cli }" >>"$WORK/ratio.txt"
done
echo "Adding a folder of $lines map files: median $(median <"$WORK/add.txt") s" \
     "(runs $(sort -n "$WORK/add.txt" | tr '\n' ' '))"
echo "Details of the $TILES-map file into the log: median $(median <"$WORK/details.txt") s;" \
     "twk -i -v into a file: median $(median <"$WORK/cli.txt") s"
echo "Paired ratio Details / twk -i -v: median $(median <"$WORK/ratio.txt")" \
     "(range $(sort -n "$WORK/ratio.txt" | head -1) to $(sort -n "$WORK/ratio.txt" | tail -1))"
