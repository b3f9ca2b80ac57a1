#!/bin/sh
# End to end through the real window: starts Tarnwick on its own X server
# with two real map files, clicks Info, saves the log with Ctrl+S through
# the real file chooser, checks the saved text against `twk -E -i` of the
# same files, and leaves screenshots of the Files and Log tabs.
#
#   sh scripts/gui_e2e.sh [BUILD_DIR] [SCREENSHOT_DIR]
#
# BUILD_DIR holds Tarnwick and twk (default build); screenshots go to
# SCREENSHOT_DIR (default BUILD_DIR/screenshots). Needs Xvfb, xdotool and
# ImageMagick's import (scripts/deps.sh installs them).
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$(cd "${1:-build}" && pwd)
SHOTS=${2:-$BUILD/screenshots}
mkdir -p "$SHOTS"
SHOTS=$(cd "$SHOTS" && pwd)

# A sanitizer build must not count what the X libraries keep for good.
LSAN_OPTIONS=suppressions=$ROOT/tests/gui/lsan.supp
export LSAN_OPTIONS

WORK=$(mktemp -d /tmp/tarnwick-e2e-XXXXXX)
XPID=
APP=
finish() {
    [ -n "$APP" ] && kill "$APP" 2>/dev/null || true
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap finish EXIT INT TERM
fail() {
    echo "gui_e2e: $*" >&2
    [ -n "${DISPLAY:-}" ] && import -window root "$SHOTS/failure.png" 2>/dev/null || true
    exit 1
}

# Inputs: copies, so nothing the test ships can change.
cp tests/data/gmapsupp/west-1101-p1.img "$WORK/west-1101-p1.img"
cp tests/data/typ/west1101.typ "$WORK/west1101.typ"
mkdir -p "$WORK/home" "$WORK/saved"

# An X server of our own on the first free display.
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XPID=$!
for _ in $(seq 50); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
exec 3>&-
[ -s "$WORK/display" ] || fail "Xvfb did not start"
DISPLAY=:$(head -1 "$WORK/display")
export DISPLAY

HOME=$WORK/home "$BUILD/Tarnwick" -E -i "$WORK/saved" "$WORK/west-1101-p1.img" "$WORK/west1101.typ" \
    >"$WORK/tarnwick.out" 2>&1 &
APP=$!
WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tarnwick$' | head -1) || fail "no main window"
sleep 0.5

# The window's clicks go to the layout's coordinates, relative to the window.
click() {
    xdotool mousemove --window "$WID" "$1" "$2" click 1
    sleep 0.3
}

import -window "$WID" "$SHOTS/files-tab.png"

# Info (x 390, w 80, y 40, h 25): the report of both files into the log.
click 430 52
sleep 2

# Ctrl+S: the real chooser; its file name field has the focus. There is no
# window manager: the keyboard goes to the window given the input focus.
xdotool windowfocus --sync "$WID"
xdotool key ctrl+s
CHOOSER=$(timeout 10 xdotool search --sync --onlyvisible --name '^Save log$' | head -1) || fail "no Save log chooser"
sleep 0.5
xdotool windowfocus --sync "$CHOOSER"
# The chooser starts in the folder given with -i, whose path stands in the
# name field with the cursor at its end: the name is typed behind it.
xdotool type --delay 20 "log.txt"
xdotool key Return
for _ in $(seq 50); do
    [ -s "$WORK/saved/log.txt" ] && break
    sleep 0.1
done
[ -s "$WORK/saved/log.txt" ] || fail "the log was not saved"
sleep 0.3
import -window "$WID" "$SHOTS/log-tab.png"

# The saved log holds exactly the report twk prints for the same files:
# from the first file's "File:" line up to the task's end line (the window
# announces each file it reads before the report starts).
"$BUILD/twk" -E -LicenseAcknowledge -i "$WORK/west-1101-p1.img" "$WORK/west1101.typ" >"$WORK/twk.txt" \
    || fail "twk -i failed"
report() {
    awk '/^File:/ { on = 1 } on && /^End\.$/ { exit } on { print }' "$1" |
        awk '{ line[NR] = $0 } NF { last = NR } END { for (i = 1; i <= last; i++) print line[i] }'
}
report "$WORK/saved/log.txt" >"$WORK/gui-report.txt"
report "$WORK/twk.txt" >"$WORK/twk-report.txt"
[ -s "$WORK/twk-report.txt" ] || fail "twk printed no report"
if ! grep -q "Program start." "$WORK/saved/log.txt"; then
    fail "the saved log lacks the start line"
fi
if ! diff -u "$WORK/twk-report.txt" "$WORK/gui-report.txt" >"$WORK/report.diff"; then
    head -40 "$WORK/report.diff" >&2
    fail "the report in the log differs from twk -i"
fi

kill "$APP" 2>/dev/null || true
wait "$APP" 2>/dev/null || true
APP=
echo "gui_e2e: Info and Save log passed; screenshots in $SHOTS"
