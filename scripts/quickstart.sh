#!/bin/sh
# Installs what is missing, builds twk and Tarnwick, and reports on the sample map set.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFLTK_DIR=/usr/lib/fltk >/dev/null
cmake --build build -j"$(nproc)"
./build/twk -i samples/west-1101-p1.img
