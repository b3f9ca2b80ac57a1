#!/bin/sh
# Time and peak memory of `twk -j`, `twk -i` and `twk -s` on a map set of at least
# 1 GiB, against `cp` of the same bytes.
#
#   sh bench/run.sh [MiB]      (default 1100)
#
# Builds a release twk in bench/work/build, makes copies of one fixture map
# under new map numbers (bench/make_maps.py), joins them with twk into parts
# of 100 maps, then measures RUNS (default 7) paired runs each (the two
# commands back to back, in turns which goes first; bench/lib.sh):
#   twk -j  joining all the parts into one IMG   vs  cp of the parts
#                                                 and cat of them into one file
#   bench/read_sum_write.c of the parts (read, byte sum, write: the floor
#   of any join)                                  vs  the same cat
#   twk -i  reporting on that IMG                vs  cp of that IMG
#   twk -s  splitting it into one IMG per map    vs  cp of that IMG
# and prints the median ratio twk/cp with its range over the pairs, the
# median seconds of each side and the peak memory of one more run of each.
# Everything generated stays under bench/work/ (git-ignored).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/bench/work
. "$ROOT/bench/lib.sh"
SIZE_MIB=${1:-1100}
RUNS=${RUNS:-7}
SOURCE=$ROOT/tests/data/single/medium/15000001.img
MAPS_PER_PART=100

build_twk
cc -O2 -o "$WORK/read_sum_write" "$ROOT/bench/read_sum_write.c"
FLOOR=$WORK/read_sum_write

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

# The sides of the pairs; $1 is the run's own, empty folder.
join_twk() { run "$TWK" -LicenseAcknowledge -j -m "Bench" -o "$1/joined.img" "$WORK"/parts/part*.img; }
copy_parts() { run cp "$WORK"/parts/part*.img "$1"/; }
cat_parts() { cat "$WORK"/parts/part*.img >"$1/cat.img"; }
floor_parts() { run "$FLOOR" "$1/floor.img" "$WORK"/parts/part*.img; }
info_twk() { run "$TWK" -LicenseAcknowledge -i "$WORK/joined.img"; }
split_twk() { run "$TWK" -LicenseAcknowledge -s -o "$1" "$WORK/joined.img"; }
copy_joined() { run cp "$WORK/joined.img" "$1"/; }

input_bytes=$(cat "$WORK"/parts/part*.img | wc -c)
echo "Inputs: $(ls "$WORK"/parts/part*.img | wc -l) parts, $input_bytes bytes, $map_count maps; $RUNS pairs a case"
echo

# Each pair's outputs go before the next: large files kept for all the pairs
# would fill the page cache and make the later runs pay for its write-back.
# These come first for the same reason: the pairs against cp below keep
# every output (a dozen gigabytes) until their last run.
PAIR_CLEAN=1
paired join-cat "$RUNS" join_twk cat_parts
show_pair "twk -j of the parts / cat of the parts into one file" "twk -j" "cat"
paired floor "$RUNS" floor_parts cat_parts
PAIR_CLEAN=
rm -rf "$WORK/out"
show_pair "    floor: read_sum_write of the parts / cat of them" "read_sum_write" "cat"

paired join "$RUNS" join_twk copy_parts
mv "$WORK/out/1a/joined.img" "$WORK/joined.img"
rm -rf "$WORK/out"
joined_bytes=$(stat -c %s "$WORK/joined.img")
show_pair "twk -j of the parts / cp of the parts ($input_bytes bytes)" "twk -j" "cp"
echo "    peak memory $(peak_mib join_twk) MiB twk -j, $(peak_mib copy_parts) MiB cp"

paired info "$RUNS" info_twk copy_joined
rm -rf "$WORK/out"
show_pair "twk -i of the joined file / cp of it ($joined_bytes bytes)" "twk -i" "cp"
echo "    peak memory $(peak_mib info_twk) MiB twk -i, $(peak_mib copy_joined) MiB cp"

paired split "$RUNS" split_twk copy_joined
split_files=$(ls "$WORK/out/1a" | wc -l)
rm -rf "$WORK/out"
show_pair "twk -s of the joined file ($split_files files) / cp of it" "twk -s" "cp"
echo "    peak memory $(peak_mib split_twk) MiB twk -s"
