#!/bin/sh
# Time and peak memory of `twk -j`, `twk -i` and `twk -s` on a map set of at least
# 1 GiB, against `cp` of the same bytes.
#
#   sh bench/run.sh [MiB]      (default 1100)
#
# Builds a release twk in bench/work/build, makes copies of one fixture map
# under new map numbers (bench/make_maps.py), joins them with twk into parts
# of 100 maps, then measures, best of five runs each:
#   twk -j  joining all the parts into one IMG   vs  cp of the parts
#   twk -i  reporting on that IMG                vs  cp of that IMG
#   twk -s  splitting it into one IMG per map    vs  cp of that IMG
# Everything generated stays under bench/work/ (git-ignored).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/bench/work
SIZE_MIB=${1:-1100}
SOURCE=$ROOT/tests/data/single/medium/15000001.img
MAPS_PER_PART=100

mkdir -p "$WORK"
echo "Building twk (release) in $WORK/build ..."
cmake -S "$ROOT" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release -DTWK_GUI=OFF -DTWK_TESTS=OFF >"$WORK/build.log" 2>&1
cmake --build "$WORK/build" -j4 --target twk >>"$WORK/build.log" 2>&1
TWK=$WORK/build/twk

# The inputs, made once for a given size.
source_size=$(stat -c %s "$SOURCE")
map_count=$(( (SIZE_MIB * 1048576 + source_size - 1) / source_size ))
stamp=$WORK/parts/made-$SIZE_MIB
if [ ! -f "$stamp" ]; then
    echo "Making $map_count maps of $source_size bytes in parts of $MAPS_PER_PART ..."
    rm -rf "$WORK/parts" "$WORK/maps"
    mkdir -p "$WORK/parts"
    part=0
    number=20000001
    left=$map_count
    while [ "$left" -gt 0 ]; do
        n=$MAPS_PER_PART
        [ "$left" -lt "$n" ] && n=$left
        python3 "$ROOT/bench/make_maps.py" "$SOURCE" "$WORK/maps" "$number" "$n"
        part=$((part + 1))
        "$TWK" -LicenseAcknowledge -j -m "Bench part $part" -f 2001,1 -o "$WORK/parts/part$(printf %03d $part).img" \
            "$WORK"/maps/*.img >/dev/null
        rm -rf "$WORK/maps"
        number=$((number + n))
        left=$((left - n))
    done
    touch "$stamp"
fi

# best_of COMMAND...: runs it five times; sets SECONDS_BEST and KIB_BEST
# (peak resident memory of that run). An argument that starts with @OUT@
# names a place in a new, empty folder for each run (the split never
# overwrites its outputs, and a user's run writes into a fresh folder too);
# the folders go only after all the runs, so that no run pays for the file
# system's clean-up after the one before (ext4 also keeps freed inodes out of
# use for a few minutes and searches past them when it creates files: a run
# of this script right after another one finds the split slower, and cp not).
# The first run's folder is kept as $WORK/out/1 until the next best_of.
best_of() {
    SECONDS_BEST=
    KIB_BEST=
    rm -rf "$WORK/out"
    for run in 1 2 3 4 5; do
        out=$WORK/out/$run
        mkdir -p "$out"
        # Every run starts with nothing waiting to be written back, so no
        # run is slowed down by the writes of the ones before it.
        sync
        timed "$out" "$@"
        read -r seconds kib <"$WORK/time.txt"
        if [ -z "$SECONDS_BEST" ] || awk "BEGIN { exit !($seconds < $SECONDS_BEST) }"; then
            SECONDS_BEST=$seconds
            KIB_BEST=$kib
        fi
    done
}

# timed OUT COMMAND...: one timed run with @OUT@ replaced by OUT.
timed() {
    out=$1
    shift
    count=$#
    for arg; do
        case $arg in
            @OUT@*) arg=$out${arg#@OUT@} ;;
        esac
        set -- "$@" "$arg"
    done
    shift "$count"
    /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" >/dev/null
}

ratio() { awk "BEGIN { printf \"%.2f\", $1 / ($2 > 0 ? $2 : 0.01) }"; }

input_bytes=$(cat "$WORK"/parts/part*.img | wc -c)
echo "Inputs: $(ls "$WORK"/parts/part*.img | wc -l) parts, $input_bytes bytes, $map_count maps"

best_of cp "$WORK"/parts/part*.img @OUT@/
cp_seconds=$SECONDS_BEST cp_kib=$KIB_BEST

best_of "$TWK" -LicenseAcknowledge -j -m "Bench" -o @OUT@/joined.img "$WORK"/parts/part*.img
join_seconds=$SECONDS_BEST join_kib=$KIB_BEST
mv "$WORK/out/1/joined.img" "$WORK/joined.img"
rm -rf "$WORK/out"
joined_bytes=$(stat -c %s "$WORK/joined.img")

best_of cp "$WORK/joined.img" @OUT@/
cp2_seconds=$SECONDS_BEST cp2_kib=$KIB_BEST

best_of "$TWK" -LicenseAcknowledge -i "$WORK/joined.img"
info_seconds=$SECONDS_BEST info_kib=$KIB_BEST

best_of "$TWK" -LicenseAcknowledge -s -o @OUT@ "$WORK/joined.img"
split_seconds=$SECONDS_BEST split_kib=$KIB_BEST
split_files=$(ls "$WORK/out/1" | wc -l)
rm -rf "$WORK/out"

echo
echo "twk -j: $join_seconds s, $join_kib KiB peak   cp of the inputs ($input_bytes bytes): $cp_seconds s, $cp_kib KiB"
echo "        time ratio $(ratio "$join_seconds" "$cp_seconds"), memory ratio $(ratio "$join_kib" "$cp_kib")"
echo "twk -i: $info_seconds s, $info_kib KiB peak   cp of the output ($joined_bytes bytes): $cp2_seconds s, $cp2_kib KiB"
echo "        time ratio $(ratio "$info_seconds" "$cp2_seconds"), memory ratio $(ratio "$info_kib" "$cp2_kib")"
echo "twk -s: $split_seconds s, $split_kib KiB peak   cp of the output ($joined_bytes bytes): $cp2_seconds s, $cp2_kib KiB"
echo "        time ratio $(ratio "$split_seconds" "$cp2_seconds"), memory ratio $(ratio "$split_kib" "$cp2_kib"), $split_files files"
