#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# The real program in a Wayland session: weston with XWayland, started here and stopped at the
# end. The program comes up on XWayland under weston's headless backend; that backend has no
# seat, and its Xwayland crashes at the first pointer event a tool sends it, so the rest runs
# with weston in a window on the virtual X display this script is given, which gives weston a
# seat. Checks there that the program comes up on XWayland and is the active window,
# that a second start from behind another window hands it its file, which "Dekomprimieren" then
# unpacks, and brings it to the front, and that dragging the caption towards the left screen
# edge snaps it flush there. Weston's window manager lets a program neither raise nor place its
# own window: the other window stays in front, and the dragged window where it stood; the test
# says so when it sees that, and fails on anything else.
#   wayland.sh PROGRAM PACKED_FILE     (run under xdisplay.sh)
set -euo pipefail
title='Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien'

work=$(mktemp -d)
weston=
pid=
cover=
stop() {
    for process in $cover $pid $weston; do
        kill "$process" 2>/dev/null || true
        wait "$process" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop EXIT
. "$(dirname "$0")/checks.sh"

mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
unset QT_QPA_PLATFORM
host=$DISPLAY
cp "$1" "$work/kompaktor"
cp "$2" "$work/gepackt"
packed_size=$(stat -c %s "$work/gepackt")
cd "$work"

# Starts weston with the backend (and its options) and XWayland, and the program in that session
# on XWayland's display; waits for the program's window there.
session() {
    local log=$work/weston-$1.log
    DISPLAY=$host weston --backend="$1-backend.so" "${@:2}" --xwayland --no-config \
        --socket="wayland-$1" --width=1024 --height=768 --idle-time=0 --log="$log" >/dev/null 2>&1 &
    weston=$!
    listening() {
        xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\)$/\1/p' "$log" 2>/dev/null)
        [ -n "$xwayland" ]
    }
    eventually listening || fail "weston ($1) started no XWayland: $(cat "$log")"
    export WAYLAND_DISPLAY=wayland-$1 DISPLAY=$xwayland
    ./kompaktor &
    pid=$!
    main_window() { window=$(xdotool search --name "^${title}\$" | head -n 1) && [ -n "$window" ]; }
    eventually main_window || fail "no window titled '$title' on XWayland under weston ($1)"
    # Weston starts XWayland on its display when the first X client connects.
    grep -q 'Spawned Xwayland server' "$log" || fail "weston ($1) started no XWayland for Kompaktor"
    local size
    size=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
    [ "$size" = 767x542 ] || fail "the window under weston ($1) is $size, not 767x542"
}
# Ends the program, then weston with its XWayland.
end_session() {
    for process in $pid $weston; do
        kill "$process"
        wait "$process" 2>/dev/null || true
    done
    pid=
    weston=
}

session headless
end_session
session x11 --use-pixman
active_is() {
    [ "$(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}')" = "$(printf '0x%x' "$1")" ]
}
eventually active_is "$window" || fail "the main window did not become the active one"

# x y of a window on the screen.
position() {
    xwininfo -id "$1" |
        awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'
}
# Moves the pointer until XWayland has it at x y.
pointer_to() {
    at() {
        xdotool mousemove "$1" "$2"
        [ "$(xdotool getmouselocation | cut -d ' ' -f 1,2)" = "x:$1 y:$2" ]
    }
    eventually at "$1" "$2" || fail "the pointer did not reach $1,$2 in XWayland"
}

xmessage -geometry +40+60 'Ein anderes Fenster' &
cover=$!
cover_window() { other=$(xdotool search --name '^xmessage$' | head -n 1) && [ -n "$other" ]; }
eventually cover_window && eventually active_is "$other" ||
    fail "the other window did not become the active one"
timeout 30 ./kompaktor gepackt || fail "the second start ended with $?"
if ! eventually active_is "$window"; then
    active_is "$other" || fail "after the second start neither window is the active one"
    echo "weston keeps the other window in front: it does not let a program raise its own window"
fi
read -r x y <<<"$(position "$window")"
pointer_to $((x + 100)) $((y + 118))
xdotool click 1
unpacked() { [ "$(stat -c %s gepackt)" -gt "$packed_size" ]; }
eventually unpacked || fail "the file handed over by the second start was not unpacked"

# The caption dragged until the window's left edge is 3 pixels from the screen's.
pointer_to $((x + 300)) $((y + 10))
xdotool mousedown 1
for step in 4 3 2 1 0; do
    pointer_to $((3 + 300 + step * (x - 3) / 5)) $((y + 10))
done
xdotool mouseup 1
# A window the program may place stands flush on the edge once the drag is done; one that weston
# keeps stays where it was.
snapped() { [ "$(position "$window")" = "0 $y" ]; }
if ! eventually snapped; then
    [ "$(position "$window")" = "$x $y" ] ||
        fail "dragged to 3 pixels from the left edge, the window stands at $(position "$window")"
    echo "weston keeps the window where it stood ($x,$y): it does not let the program place it"
fi
echo "Wayland session: the window came up on XWayland and took the second start's file"
