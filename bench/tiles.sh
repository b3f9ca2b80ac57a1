#!/bin/sh
# twk on a tile set: many small single-map files (2,300 unless told), each
# command against the plainest program that moves or reads the same bytes.
#
#   sh bench/tiles.sh [--scale | --scale-only] [TILES]
#
# Builds a release twk in bench/work/build and bench/open_read_loop.c beside
# it, makes TILES copies of one test map under map numbers from 30000001
# (bench/make_maps.py, once, into bench/work/tiles-TILES/) and joins them
# into bench/work/tiles-TILES.img (family 2001, product 1) with the twk under
# test. Then RUNS (default 7) paired runs of each of:
#   a. twk -j of the tiles                vs  cat of the tiles into one file
#      and, as a floor, bench/read_sum_write.c of the tiles (read, byte
#      sum, write: what any join must do) against the same cat
#   b. twk -s of the joined file          vs  cp of the tiles into a folder
#   c. twk -S of the joined file          vs  the same cp
#   d. twk -i of the tiles                vs  open_read_loop of the tiles
#   e. twk -w -e +1 of a joined copy      vs  twk -i of the joined file
# (b and c each wait a minute first, see settle in bench/lib.sh; d and e,
# whose runs take some tens of milliseconds and whose ratios swing by a
# third from pair to pair on a busy VM, take QUICK_RUNS pairs, by default
# five times RUNS) and prints for each the median ratio twk/other with its range over the
# pairs and the median seconds of each side; then the peak memory of the join
# and of -w -e +1, and whether twk -j of 50 tiles starts any threads (strace);
# it exits with 1 if it does.
#
# --scale (or SCALE=1) also makes five times the tiles and prints how join
# and -i grow: the medians of SCALE_RUNS (default 3) paired runs of the
# large set against the small one (SCALE_INFO_RUNS for -i, five times as
# many unless set: a pair of them takes a tenth of a second, and three gave
# medians from 5.0 to 6.6 over one build), and the same pairs of `cat` of
# the tiles into one file for the machine's own step. Those joins write into
# /dev/shm when it has room for the large output (SCALE_OUT=disk: into
# bench/work/out), so that the disk's write-back stays out of the step. Its tiles,
# joined file and outputs are removed afterwards, also when a run fails;
# they take about 6 times the large tiles' bytes at the most (5.8 GiB of
# tiles join into 14 GiB, and each pair writes one of those and a small
# one), which it checks for first.
# --scale-only (or SCALE=only) skips a-f and the thread check.
#
# As root, where the kernel reports free pages to a VM host, freed pages are
# kept from the host for the whole run (HOLD_FREE=0: not), see hold_param below.
#
# Everything else it makes stays under bench/work/ (git-ignored).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/bench/work
. "$ROOT/bench/lib.sh"

SCALE=${SCALE:-0}
case ${1:-} in
    --scale) SCALE=1; shift ;;
    --scale-only) SCALE=only; shift ;;
    -*) echo "usage: sh bench/tiles.sh [--scale | --scale-only] [TILES]" >&2; exit 2 ;;
esac
TILES=${1:-2300}
RUNS=${RUNS:-7}
SCALE_RUNS=${SCALE_RUNS:-3}
SCALE_INFO_RUNS=${SCALE_INFO_RUNS:-$((SCALE_RUNS * 5))}
QUICK_RUNS=${QUICK_RUNS:-$((RUNS * 5))}
SOURCE=$ROOT/tests/data/single/medium/15000001.img
FIRST_NUMBER=30000001

# This VM can hand every freed page back to its host at once (free page
# reporting, min_free_ms 0), and the host backs it again when it is next
# used, at a cost per byte that changes from minute to minute and falls on
# whichever side of a pair writes: the same build's join ratio moved between
# 1.1 and 1.8 from one series to the next, and the floor's between 0.9 and
# 2.6. As root, where the kernel has page_reporting's min_free_ms,
# HOLD_FREE=1 (the default) keeps freed pages for a minute while this runs;
# release_free puts the old value back, once, however the run ends.
hold_param=/sys/module/page_reporting/parameters/min_free_ms
held=
release_free() {
    if [ -n "$held" ]; then
        echo "$held" >"$hold_param"
        held=
    fi
}
if [ "${HOLD_FREE:-${SCALE_HOLD_FREE:-1}}" = 1 ] && [ -w "$hold_param" ]; then
    held=$(cat "$hold_param")
    echo 60000 >"$hold_param"
    trap 'release_free' EXIT
    trap 'exit 130' INT TERM
    echo "Freed pages kept from the host while this runs (min_free_ms 60000, was $held)."
fi

build_twk
cc -O2 -o "$WORK/open_read_loop" "$ROOT/bench/open_read_loop.c"
LOOP=$WORK/open_read_loop
cc -O2 -o "$WORK/read_sum_write" "$ROOT/bench/read_sum_write.c"
FLOOR=$WORK/read_sum_write

# make_tiles COUNT: the tiles in $WORK/tiles-COUNT, made once (the file
# `made` in there says they are complete; bench/gui_run.sh uses the same).
make_tiles() {
    if [ ! -f "$WORK/tiles-$1/made" ]; then
        echo "Making $1 tiles in $WORK/tiles-$1 ..."
        rm -rf "$WORK/tiles-$1"
        python3 "$ROOT/bench/make_maps.py" "$SOURCE" "$WORK/tiles-$1" "$FIRST_NUMBER" "$1"
        touch "$WORK/tiles-$1/made"
    fi
}

# join_tiles COUNT: $WORK/tiles-COUNT.img, made afresh by the twk under test.
# The family ID is there for -S, which writes no TDB without one.
join_tiles() {
    rm -f "$WORK/tiles-$1.img"
    "$TWK" -LicenseAcknowledge -j -m "Bench tiles" -f 2001,1 -o "$WORK/tiles-$1.img" \
        "$WORK/tiles-$1"/*.img >/dev/null
}

make_tiles "$TILES"
[ "$SCALE" = only ] || make_tiles 50
tiles=$WORK/tiles-$TILES
joined=$WORK/tiles-$TILES.img
tile_bytes=$(stat -c %s "$SOURCE")

# make_joined: the joined file the later cases read, made by the twk under
# test and read once, so that the first run finds it cached as the others do.
make_joined() {
    echo "Joining the $TILES tiles into $joined ..."
    join_tiles "$TILES"
    cat "$joined" >/dev/null
}

# The sides of the pairs; $1 is the run's own, empty folder.
join_twk() { run "$TWK" -LicenseAcknowledge -j -o "$1/joined.img" "$tiles"/*.img; }
join_cat() { cat "$tiles"/*.img >"$1/cat.img"; }
join_floor() { run "$FLOOR" "$1/floor.img" "$tiles"/*.img; }
split_twk() { run "$TWK" -LicenseAcknowledge -s -o "$1" "$joined"; }
mapsource_twk() { run "$TWK" -LicenseAcknowledge -S -o "$1" "$joined"; }
copy_tiles() { run cp "$tiles"/*.img "$1"/; }
info_twk() { run "$TWK" -LicenseAcknowledge -i "$tiles"/*.img; }
info_loop() { run "$LOOP" "$tiles"/*.img; }
write_twk() { run "$TWK" -LicenseAcknowledge -w -e +1 "$WORK/write.img"; }
info_joined() { run "$TWK" -LicenseAcknowledge -i "$joined"; }

# count_img DIR: the number of .img files in DIR.
count_img() { find "$1" -maxdepth 1 -name '*.img' | wc -l; }

if [ "$SCALE" != only ]; then
    # Read once, so that the first run finds them cached as the others do.
    cat "$tiles"/*.img >/dev/null
    echo
    echo "$TILES tiles of $tile_bytes bytes; $RUNS pairs a case ($QUICK_RUNS for d and e)"
    echo

    # A join's output is one large file: kept for all the pairs, they would
    # fill the page cache and make the later runs pay for its write-back.
    # The joins run before the joined file is made: its 1.5 GB in the page
    # cache, and its write-back, are no part of what they measure.
    PAIR_CLEAN=1
    paired join "$RUNS" join_twk join_cat
    show_pair "a. twk -j of the tiles / cat of the tiles" "twk -j" "cat"
    paired floor "$RUNS" join_floor join_cat
    PAIR_CLEAN=
    rm -rf "$WORK/out"
    show_pair "   floor: read_sum_write of the tiles / cat of the tiles" "read_sum_write" "cat"

    make_joined
    echo "    joined file $(stat -c %s "$joined") bytes"

    PAIR_EVICT=1
    settle
    paired split "$RUNS" split_twk copy_tiles
    made=$(count_img "$WORK/out/1a")
    rm -rf "$WORK/out"
    show_pair "b. twk -s of the joined file / cp of the tiles ($made maps written)" "twk -s" "cp"

    settle
    paired mapsource "$RUNS" mapsource_twk copy_tiles
    PAIR_EVICT=
    made=$(count_img "$WORK/out/1a")
    rm -rf "$WORK/out"
    show_pair "c. twk -S of the joined file / cp of the tiles ($made maps written)" "twk -S" "cp"

    paired info "$QUICK_RUNS" info_twk info_loop
    rm -rf "$WORK/out"
    show_pair "d. twk -i of the tiles / open_read_loop of the tiles" "twk -i" "open_read_loop"

    cp "$joined" "$WORK/write.img"
    paired write "$QUICK_RUNS" write_twk info_joined
    rm -rf "$WORK/out"
    show_pair "e. twk -w -e +1 of the joined file / twk -i of it" "twk -w" "twk -i"

    echo "f. peak memory: twk -j of the $TILES tiles $(peak_mib join_twk) MiB," \
         "twk -w -e +1 of the joined file $(peak_mib write_twk) MiB"
    rm -f "$WORK/write.img"
fi

if [ "$SCALE" != 0 ]; then
    if [ "$SCALE" = only ]; then
        make_joined
    fi
    big=$((TILES * 5))
    big_tiles=$WORK/tiles-$big
    big_joined=$WORK/tiles-$big.img
    # The large set goes again however this ends: it takes gigabytes.
    trap 'release_free; rm -rf "$WORK/out" "$big_tiles" "$big_joined"' EXIT
    trap 'exit 130' INT TERM
    # free_gib_short NEED_BYTES: how many GiB are missing in $WORK for
    # NEED_BYTES and 2 GiB to spare (0 if none).
    free_gib_short() {
        df -Pk "$WORK" | awk -v need="$1" \
            'NR == 2 { short = (need / 1024 + 2097152 - $4) / 1048576; print (short > 0 ? int(short) + 1 : 0) }'
    }
    # The joined file outgrows the tiles: with more blocks than a FAT can
    # count the blocks grow, and every subfile is padded to a whole block
    # (11,500 tiles of 0.58 MB join into about 15 GB). Room for the tiles
    # (unless made), the joined file and one pair's outputs (the pairs here
    # remove theirs as they go), guessing 2.6 times the tiles' bytes for a
    # joined file; checked again once the joined file is there.
    times=5.2
    [ -f "$big_tiles/made" ] || times=6.2
    short=$(free_gib_short "$(awk -v t="$tile_bytes" -v b="$big" -v x="$times" 'BEGIN { printf "%.0f\n", t * b * x }')")
    if [ "$short" -gt 0 ]; then
        echo "The scale runs need about $short GiB more free space in $WORK." >&2
        exit 1
    fi
    make_tiles "$big"
    echo "Joining the $big tiles into $big_joined ..."
    join_tiles "$big"
    big_bytes=$(stat -c %s "$big_joined")
    short=$(free_gib_short $((big_bytes + $(stat -c %s "$joined"))))
    if [ "$short" -gt 0 ]; then
        echo "The scale runs need about $short GiB more free space in $WORK." >&2
        exit 1
    fi
    # In the page cache: the tiles, the small joined file, and what -i reads
    # of the large one (its header, FAT and map headers). Not the whole large
    # file: its 15 GB (holes read as zeros take pages too) beside the tiles
    # and the joins' outputs were more than this machine's 24 GiB, and the
    # joins then read tiles back from the disk.
    cat "$big_tiles"/*.img "$tiles"/*.img "$joined" >/dev/null
    "$TWK" -LicenseAcknowledge -i "$big_joined" >/dev/null

    join_big() { run "$TWK" -LicenseAcknowledge -j -o "$1/joined.img" "$big_tiles"/*.img; }
    cat_big() { cat "$big_tiles"/*.img >"$1/cat.img"; }
    info_big() { run "$TWK" -LicenseAcknowledge -i "$big_joined"; }

    echo
    echo "Scale: $big tiles against $TILES, $SCALE_RUNS pairs ($SCALE_INFO_RUNS for -i); joined files of $big_bytes and" \
         "$(stat -c %s "$joined") bytes (5.00 is in step with the tiles)"
    # -i first: the large joined file goes before the joins, and its 7 GB of
    # page cache with it.
    paired scale-info "$SCALE_INFO_RUNS" info_big info_joined
    show_pair "twk -i of the $big-map file / of the $TILES-map file" "$big" "$TILES"
    written=$(du -B1 "$big_joined" | cut -f1)
    rm -f "$big_joined"

    # The joins write into memory (tmpfs) where it has room for the large
    # output: on the disk, 7 GB of new dirty page cache is more than the
    # kernel lets wait for the write-back (vm.dirty_ratio), and the writer is
    # held to the disk's pace past that point, whichever program writes (cat's
    # own step there was 5.9-12). SCALE_OUT=disk keeps them in $WORK/out.
    scale_out=$WORK/out
    if [ "${SCALE_OUT:-}" != disk ] && [ -d /dev/shm ] &&
        [ "$(df -Pk /dev/shm | awk -v need="$written" 'NR == 2 { print ($4 * 1024 > need + 2^30) ? 1 : 0 }')" = 1 ]; then
        scale_out=/dev/shm/twk-bench-scale
        trap 'release_free; rm -rf "$WORK/out" "$scale_out" "$big_tiles" "$big_joined"' EXIT
    fi
    echo "    the joins write into $scale_out"
    # With freed pages kept (hold_free), use the memory of one large output
    # once first, so that no pair pays for the host backing it.
    if [ -n "$held" ] && [ "$scale_out" != "$WORK/out" ]; then
        mkdir -p "$scale_out"
        dd if=/dev/zero of="$scale_out/warm" bs=1M count=$((written / 1048576)) status=none
        rm -f "$scale_out/warm"
    fi
    PAIR_CLEAN=1
    PAIR_OUT=$scale_out
    paired scale-join "$SCALE_RUNS" join_big join_twk
    show_pair "twk -j of $big tiles / of $TILES" "$big" "$TILES"
    # The machine's own step, whatever program writes the bytes.
    paired scale-cat "$SCALE_RUNS" cat_big join_cat
    show_pair "    cat of $big tiles / of $TILES (the same step for cat)" "$big" "$TILES"
    PAIR_OUT=
    rm -rf "$scale_out"
    PAIR_CLEAN=
    rm -rf "$WORK/out" "$big_tiles" "$big_joined"
    trap 'release_free' EXIT
    [ "$SCALE" = only ] && exit 0
fi

# Threads: the clone calls of a join of 50 tiles that start a thread.
rm -rf "$WORK/out"
mkdir -p "$WORK/out"
strace -f -e trace=clone,clone3 -o "$WORK/threads.txt" \
    "$TWK" -LicenseAcknowledge -j -o "$WORK/out/joined.img" "$WORK/tiles-50"/*.img >/dev/null
rm -rf "$WORK/out"
threads=$(grep -E '(^|[ ])clone3?\(.*CLONE_THREAD' "$WORK/threads.txt" | grep -cv '= -1' || true)
echo
if [ "$threads" -eq 0 ]; then
    echo "threads: none (twk -j of 50 tiles)"
else
    echo "threads: $threads started by twk -j of 50 tiles (see $WORK/threads.txt)"
    exit 1
fi
