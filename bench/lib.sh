# Shell helpers shared by the benchmark scripts (sourced, not run): building
# a release twk, paired timing of two commands, medians and ranges.
# The sourcing script sets ROOT (the source tree) and WORK (bench/work).

# build_twk: configures and builds the release twk in $WORK/build; sets TWK.
build_twk() {
    mkdir -p "$WORK"
    echo "Building twk (release) in $WORK/build ..."
    if ! cmake -S "$ROOT" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release -DTWK_GUI=OFF -DTWK_TESTS=OFF \
            >"$WORK/build.log" 2>&1 ||
        ! cmake --build "$WORK/build" -j4 --target twk >>"$WORK/build.log" 2>&1; then
        echo "The build failed; see $WORK/build.log" >&2
        exit 1
    fi
    TWK=$WORK/build/twk
}

# run COMMAND...: runs it with its standard output thrown away. With
# PEAK_FILE set, runs it under /usr/bin/time, which writes the peak resident
# memory in KiB into that file. The sides of a pair run their commands
# through this, so that one more run of a side can measure its memory.
run() {
    if [ -n "${PEAK_FILE:-}" ]; then
        /usr/bin/time -f %M -o "$PEAK_FILE" "$@" >/dev/null
    else
        "$@" >/dev/null
    fi
}

# peak_mib SIDE: one more run of the shell function SIDE (given a fresh,
# empty folder as its $1) under /usr/bin/time; prints its peak memory in MiB.
peak_mib() {
    rm -rf "$WORK/out"
    mkdir -p "$WORK/out/peak"
    rm -f "$WORK/peak.txt"
    sync
    PEAK_FILE=$WORK/peak.txt
    "$1" "$WORK/out/peak"
    PEAK_FILE=
    rm -rf "$WORK/out"
    awk '{ printf "%.1f\n", $1 / 1024 }' "$WORK/peak.txt"
}

# settle: waits out ext4's hold on inodes just freed, before a case whose
# runs create thousands of files. Without a journal (as on this VM's disk),
# ext4 passes over every free inode freed less than a minute ago (five, while
# its inode table is not yet written) each time it creates a file, looking at
# each one: right after thousands of files were removed, a run that creates
# 2,300 files took 1-3 s instead of 0.5, on either side of a pair, and the
# ratios swung with it. SETTLE_SECONDS (default 65) after a `sync`.
settle() {
    sync
    sleep "${SETTLE_SECONDS:-65}"
}

# evict DIR: writes back every file under DIR and drops it from the page
# cache, leaving the rest of the cache as it was.
evict() {
    sync
    python3 -c 'import os, sys
for root, _, files in os.walk(sys.argv[1]):
    for name in files:
        fd = os.open(os.path.join(root, name), os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)' "$1"
}

# seconds_since START: seconds from START (a `date +%s.%N`) until now.
seconds_since() {
    awk -v start="$1" -v end="$(date +%s.%N)" 'BEGIN { printf "%.6f\n", end - start }'
}

# median FILE: the median of the numbers in FILE, one a line.
median() {
    sort -g "$1" | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# range FILE: "min-max" of the numbers in FILE, one a line, to two decimals.
range() {
    sort -g "$1" | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f\n", lo, hi }'
}

# paired NAME PAIRS SIDE_A SIDE_B: PAIRS timed pairs of runs of the shell
# functions SIDE_A and SIDE_B, back to back, A first in odd pairs and B first
# in even ones, so that neither side always finds the caches as the other
# left them. Each run gets a new, empty folder under $WORK/out (under
# PAIR_OUT, when set) as its $1 and starts after a `sync`, so it neither
# waits for the write-back of the runs before it nor finds its output there
# already. The folders are all removed
# only after the last pair (deleting thousands of files, or gigabytes, makes
# the file system busy for a while after, and ext4 also keeps freed inodes
# out of use for some minutes and searches past them when it creates files),
# so the outputs of the first pair are still at $WORK/out/1a and 1b when this
# returns; the caller removes $WORK/out. With PAIR_CLEAN set, each run's
# folder goes as soon as the run is timed instead: for outputs too large to
# keep several of, which are few files anyway. Removed before the next
# sync, such an output is never written to the disk; synced, its gigabyte
# of write-back slowed whichever side ran after it by 1.5 to 2 times. With
# PAIR_EVICT set instead, each run's outputs are kept but leave the page
# cache once timed (evict): eighteen runs' 24 GB of them otherwise filled
# the memory, and the later runs read their inputs back from the disk.
# Sets RATIO (median of the per-pair ratios A/B), RATIO_RANGE (min-max),
# SECONDS_A and SECONDS_B (medians). The figures are also in
# $WORK/times/NAME.a, .b and .ratio.
paired() {
    name=$1 pairs=$2 side_a=$3 side_b=$4
    mkdir -p "$WORK/times"
    times=$WORK/times/$name
    outs=${PAIR_OUT:-$WORK/out}
    : >"$times.a"
    : >"$times.b"
    rm -rf "$outs"
    pair=1
    while [ "$pair" -le "$pairs" ]; do
        if [ $((pair % 2)) -eq 1 ]; then order="a b"; else order="b a"; fi
        for side in $order; do
            if [ "$side" = a ]; then fn=$side_a; else fn=$side_b; fi
            out=$outs/$pair$side
            mkdir -p "$out"
            sync
            start=$(date +%s.%N)
            "$fn" "$out"
            seconds_since "$start" >>"$times.$side"
            if [ -n "${PAIR_CLEAN:-}" ]; then
                rm -rf "$out"
            elif [ -n "${PAIR_EVICT:-}" ]; then
                evict "$out"
            fi
        done
        pair=$((pair + 1))
    done
    paste "$times.a" "$times.b" | awk '{ printf "%.3f\n", $1 / ($2 > 0 ? $2 : 1e-6) }' >"$times.ratio"
    RATIO=$(median "$times.ratio")
    RATIO_RANGE=$(range "$times.ratio")
    SECONDS_A=$(median "$times.a")
    SECONDS_B=$(median "$times.b")
}

# show_pair LABEL NAME_A NAME_B: one line on the last `paired`.
show_pair() {
    printf '%s\n    ratio %.2f (range %s), median %.3f s %s, %.3f s %s\n' \
        "$1" "$RATIO" "$RATIO_RANGE" "$SECONDS_A" "$2" "$SECONDS_B" "$3"
}
