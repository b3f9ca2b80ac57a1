#!/bin/sh
# End to end through the real window, on an X server of its own with no
# window manager. With two real map files it:
#   - clicks Info and saves the log with Ctrl+S through the real file
#     chooser; the saved report must equal `twk -E -i` of the same files;
#   - Options: picks mkgmap (blank path: the packaged jar) and Advanced;
#   - Join: output file and mapset name typed, Join all; twk reads the
#     result and names the mapset;
#   - Split: files for MapSource with the preview map compiled by mkgmap;
#     the per-map IMGs, the TDB and the preview IMG must be there and the
#     preview must read;
#   - Write: mapset name and draw priority into the list's map file; twk
#     must show both;
#   - Change: a new map name (an Advanced row); twk must show it;
#   - saves the whole log again: every task ended without errors;
#   - switches the language to polski and closes the window the way a
#     window manager would (WM_DELETE_WINDOW), so the settings are written;
#     a restart with the same HOME and no language option comes up in
#     Polish: its saved log starts with "Start programu.".
# It leaves a screenshot of every tab in both languages: NAME-tab.png and
# NAME-tab-pl.png.
#
#   sh scripts/gui_e2e.sh [BUILD_DIR] [SCREENSHOT_DIR]
#
# BUILD_DIR holds Tarnwick and twk (default build); screenshots go to
# SCREENSHOT_DIR (default BUILD_DIR/screenshots). Needs Xvfb, xdotool,
# ImageMagick's import, a C compiler with the X11 headers, java and
# mkgmap (scripts/deps.sh installs them).
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

TWK() { "$BUILD/twk" -E -LicenseAcknowledge "$@"; }

# Without a window manager nobody turns a close into WM_DELETE_WINDOW, and
# xdotool's windowclose destroys the window instead: the program would
# never run its end and write its settings. This sends what a window
# manager sends when the user closes the window.
cat >"$WORK/wm_close.c" <<'CSRC'
#include <X11/Xlib.h>
#include <stdlib.h>
int main(int argc, char** argv)
{
    Display* d = XOpenDisplay(NULL);
    if (!d || argc < 2)
        return 1;
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = (Window)strtoul(argv[1], NULL, 0);
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    int sent = XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
    XCloseDisplay(d);
    return sent ? 0 : 1;
}
CSRC
cc -o "$WORK/wm_close" "$WORK/wm_close.c" -lX11 || fail "cannot build the window closer (C compiler, X11 headers)"

# Every step's wait polls for what it waits for, up to SECONDS.
# wait_for SECONDS WHAT COMMAND...
wait_for() {
    limit=$(($1 * 10))
    what=$2
    shift 2
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -ge "$limit" ] && fail "timed out waiting for $what"
        sleep 0.1
    done
}

start_app() {
    HOME=$WORK/home "$BUILD/Tarnwick" "$@" -i "$WORK/saved" "$WORK/west-1101-p1.img" "$WORK/west1101.typ" \
        >>"$WORK/tarnwick.out" 2>&1 &
    APP=$!
    WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tarnwick$' | head -1) || fail "no main window"
    # Desktops name and group the window by its X class.
    xdotool search --onlyvisible --class '^Tarnwick$' | grep -qx "$WID" || fail "the window's X class is not Tarnwick"
    sleep 0.5
}

# Closes the main window as a window manager would and waits for the
# program to end; it must end cleanly (a sanitizer report is an exit 1).
close_app() {
    "$WORK/wm_close" "$WID" || fail "cannot send the close to the window"
    n=0
    while kill -0 "$APP" 2>/dev/null; do
        n=$((n + 1))
        [ "$n" -ge 150 ] && fail "the program did not end after its window was closed"
        sleep 0.1
    done
    status=0
    wait "$APP" || status=$?
    APP=
    [ "$status" -eq 0 ] || { tail -30 "$WORK/tarnwick.out" >&2; fail "the program ended with $status"; }
}

# The window's clicks go to the layout's coordinates, relative to the window.
click() {
    xdotool mousemove --window "$WID" "$1" "$2" click 1
    sleep 0.3
}

# Typing goes to the focused widget of the window that has the input focus.
type_text() {
    xdotool windowfocus --sync "$WID"
    xdotool type --delay 10 "$1"
    sleep 0.2
}

# Check buttons are clicked at their box: (x + 8, y + 12) of the widget.
tick() { click $(($1 + 8)) $(($2 + 12)); }

# An input is clicked in its middle and typed into.
fill() {
    click "$1" "$2"
    type_text "$3"
}

shot() {
    sleep 0.3
    import -window "$WID" "$SHOTS/$1"
}

# The tab titles' middles; Polish titles are wider than English ones.
tab() {
    case $1 in
    files) x=34 ;; options) x=108 ;; join) x=182 ;; split) x=249 ;;
    write) x=319 ;; change) x=399 ;; log) x=478 ;;
    files-pl) x=32 ;; options-pl) x=101 ;; join-pl) x=178 ;; split-pl) x=256 ;;
    write-pl) x=334 ;; change-pl) x=414 ;; log-pl) x=490 ;;
    esac
    click "$x" 12
}

# Ctrl+S opens the real chooser, titled TITLE. It always starts in the
# folder given with -i (or the last one saved in), whose path stands in its
# name field with the cursor at its end: NAME is typed behind it. A whole
# path typed instead would race the chooser's completion of each folder.
save_log() {
    xdotool windowfocus --sync "$WID"
    xdotool key ctrl+s
    CHOOSER=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -1) || fail "no $1 chooser"
    sleep 0.5
    xdotool windowfocus --sync "$CHOOSER"
    xdotool type --delay 20 "$2"
    xdotool key Return
    wait_for 5 "the log saved as $2" test -s "$WORK/saved/$2"
    sleep 0.3
}

start_app -E
shot files-tab.png

# Info (x 390, w 80, y 40, h 25): the report of both files into the log.
click 430 52
sleep 2
save_log "Save log" log.txt
shot log-tab.png

# The saved log holds exactly the report twk prints for the same files:
# from the first file's "File:" line up to the task's end line (the window
# announces each file it reads before the report starts).
TWK -i "$WORK/west-1101-p1.img" "$WORK/west1101.typ" >"$WORK/twk.txt" || fail "twk -i failed"
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
echo "gui_e2e: Info and Save log passed"

# The map IDs of the list's map file, before any step changes it.
MAP_IDS=$(awk '$2 == "MPC" { print $1 }' "$WORK/twk.txt")
[ -n "$MAP_IDS" ] || fail "twk -i named no maps"

# Options: compiler choice (10, 290); its menu takes the keyboard while it
# is up. A fresh HOME starts at cGPSmapper, two items above mkgmap.
tab options
click 80 302
xdotool windowfocus --sync "$WID"
xdotool key Down Down Return
sleep 0.3
# Advanced options (10, 185): the Change tab's map name row needs it, and
# the screenshots then show every row a user can reach.
tick 10 185

# The first wait of each task is on what it writes; a task runs inside the
# event loop, so the next click waits for its last file to read back.
has_line() { TWK -i "$1" 2>/dev/null | grep -q "$2"; }

# Join: output file field (140, 40, 470, 35), mapset name (140, 80, 470, 25).
mkdir "$WORK/joined"
tab join
fill 375 57 "$WORK/joined/joined.img"
fill 375 92 "Joined Set"
shot join-tab.png
click 90 492
wait_for 20 "the joined IMG naming its mapset" has_line "$WORK/joined/joined.img" '^Mapset:[[:space:]]*Joined Set$'
TWK -i "$WORK/joined/joined.img" >/dev/null || fail "twk -i of the joined IMG failed"
echo "gui_e2e: Join passed"

# Split: folder field (140, 40), kind (140, 80) left at files for
# MapSource, Compile preview map (10, 115), off while no compiler path is set.
mkdir "$WORK/split"
tab split
fill 375 57 "$WORK/split"
tick 10 115
shot split-tab.png
click 90 492
wait_for 20 "the split's TDB" test -s "$WORK/split/mapset.tdb"
for id in $MAP_IDS; do
    wait_for 10 "the split map $id.img" test -s "$WORK/split/$id.img"
done
# The preview's ID is the one the split gave the compiler's source.
wait_for 10 "the preview source" test -s "$WORK/split/mapset.mp"
PREVIEW=$(sed -n 's/^ID=\([0-9]\{8\}\)\r\{0,1\}$/\1/p' "$WORK/split/mapset.mp" | head -1)
[ -n "$PREVIEW" ] || fail "the preview source names no map ID"
# mkgmap runs in java: the slowest step.
wait_for 40 "the compiled preview $PREVIEW.img" has_line "$WORK/split/$PREVIEW.img" "^ $PREVIEW "
sleep 0.5
echo "gui_e2e: Split with the mkgmap preview passed"

# Write: Mapset box (10, 45) and name (140, 45, 470); draw priority box
# (10, 115) and value (250, 115, 80). The list's map file is a copy.
tab write
tick 10 45
fill 375 57 "Written Set"
tick 10 115
fill 290 127 17
shot write-tab.png
click 90 492
wait_for 20 "the written mapset name" has_line "$WORK/west-1101-p1.img" '^Mapset:[[:space:]]*Written Set$'
for id in $MAP_IDS; do
    wait_for 5 "priority 17 of map $id" has_line "$WORK/west-1101-p1.img" "^ $id MPC .* 17 "
done
echo "gui_e2e: Write passed"

# Change: Map name box (10, 115) and text (140, 115, 470), an Advanced row.
tab change
tick 10 115
fill 375 127 "Renamed Map"
shot change-tab.png
click 90 492
wait_for 20 "the changed map name" has_line "$WORK/west-1101-p1.img" 'FID 1101, Renamed Map$'
echo "gui_e2e: Change passed"

tab options
shot options-tab.png

# The whole session's log: every task ran and none reported an error.
tab log
save_log "Save log" all.txt
for line in "Join all maps." "Split all maps." "Result OK." "Write into all maps."; do
    grep -q "^$line\$" "$WORK/saved/all.txt" || fail "the log lacks \"$line\""
done
if grep -n -i "error" "$WORK/saved/all.txt" >&2; then
    fail "the log reports errors"
fi
[ "$(grep -c '^End\.$' "$WORK/saved/all.txt")" -ge 5 ] || fail "not every task ended"

# Language choice (100, 115): English, then polski below it. The new
# language is kept only in the settings the program writes as it ends.
tab options
click 180 127
xdotool windowfocus --sync "$WID"
xdotool key Down Return
sleep 0.5
close_app
PREFS=$WORK/home/.fltk/TarnwickTools/Tarnwick.prefs
grep -q '^LanguageName:polski$' "$PREFS" 2>/dev/null || fail "the settings do not keep polski"

# No language option: the kept one decides.
start_app
shot files-tab-pl.png
for name in options join split write change; do
    tab "$name-pl"
    shot "$name-tab-pl.png"
done
tab log-pl
save_log "Zapisz log" log-pl.txt
shot log-tab-pl.png
first=$(grep -m 1 . "$WORK/saved/log-pl.txt")
[ "$first" = "Start programu." ] || fail "the restarted program is not in Polish: its log starts \"$first\""
close_app
echo "gui_e2e: polski kept across a restart"

echo "gui_e2e: all passed; screenshots in $SHOTS"
