#!/bin/sh
# Writes the golden reports again with the twk given (default build/twk):
# `twk -i` and `twk -i -v` of every file under tests/data but the golden
# files and the damaged ones (the damaged/valid-* files are in), and a few
# reports in Polish. Paths in the reports read tests/data/...
#
# The files it writes must be checked line by line before they are
# committed: this script only records what twk prints.
set -e
cd "$(dirname "$0")/../../../.."
twk=$(realpath "${1:-build/twk}")
out=tests/data/golden/report

run() {
    env -u LC_ALL -u LC_MESSAGES LANG=C "$twk" -LicenseAcknowledge "$@" || true
}

find tests/data -type f ! -path 'tests/data/golden/*' \
    \( ! -path 'tests/data/damaged/*' -o -name 'valid-*' \) | LC_ALL=C sort |
while read -r f; do
    name=$(echo "${f#tests/data/}" | tr / _)
    run -i "$f" >"$out/$name.i.txt"
    run -i -v "$f" >"$out/$name.iv.txt"
done

for f in gmapsupp/west-1101-p1.img gmapsupp/central-1201-p2.img typ/cent1201.typ \
         mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.TRE; do
    name=$(echo "$f" | tr / _)
    run -P -i -v "tests/data/$f" >"$out/$name.pl.iv.txt"
done
