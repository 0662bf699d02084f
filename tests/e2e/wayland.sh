#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# The real program in a Wayland session: weston with XWayland, started here and stopped at the
# end. Weston runs in a window on the virtual X display this script is given, whose pointer is
# weston's seat: its headless backend has no seat, and its Xwayland crashes at the first pointer
# event a tool sends it there. Checks that the program comes up on XWayland and is the active
# window, that a second start from behind another window hands it its file, which
# "Dekomprimieren" then unpacks, and brings it to the front, and that dragging the caption
# towards the left screen edge snaps it flush there. Weston's window manager lets a program
# neither raise nor place its own window: the other window stays in front, and the dragged
# window where it stood; the test says so when it sees that, and fails on anything else.
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
fail() {
    echo "$*"
    exit 1
}
# Tries a check for up to ten seconds.
eventually() {
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
host=$DISPLAY
weston --backend=x11-backend.so --use-pixman --xwayland --no-config --socket=wayland-kompaktor \
    --width=1024 --height=768 --idle-time=0 --log="$work/weston.log" >/dev/null 2>&1 &
weston=$!
listening() {
    xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\)$/\1/p' "$work/weston.log" 2>/dev/null)
    [ -n "$xwayland" ]
}
eventually listening || fail "weston started no XWayland: $(cat "$work/weston.log")"
export WAYLAND_DISPLAY=wayland-kompaktor DISPLAY=$xwayland
unset QT_QPA_PLATFORM
cp "$1" "$work/kompaktor"
cp "$2" "$work/gepackt"
packed_size=$(stat -c %s "$work/gepackt")
cd "$work"

./kompaktor &
pid=$!
main_window() { window=$(xdotool search --name "^${title}\$" | head -n 1) && [ -n "$window" ]; }
eventually main_window || fail "no window titled '$title' on XWayland"
# Weston starts XWayland on its display when the first X client connects.
grep -q 'Spawned Xwayland server' "$work/weston.log" || fail "weston started no XWayland for the program"
active_is() { [ "$(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}')" = "$(printf '0x%x' "$1")" ]; }
eventually active_is "$window" || fail "the main window did not become the active one"

# x y of a window on the screen; weston's window on the host display stands at its origin, so
# the pointer there has the same coordinates.
position() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'; }
pointer() { DISPLAY=$host xdotool "$@"; }

xmessage -geometry +40+60 'Ein anderes Fenster' &
cover=$!
cover_window() { other=$(xdotool search --name '^xmessage$' | head -n 1) && [ -n "$other" ]; }
eventually cover_window && eventually active_is "$other" || fail "the other window did not become active"
timeout 30 ./kompaktor gepackt || fail "the second start ended with $?"
if ! eventually active_is "$window"; then
    active_is "$other" || fail "after the second start neither window is the active one"
    echo "weston keeps the other window in front: it does not let a program raise its own window"
fi
read -r x y <<<"$(position "$window")"
pointer mousemove $((x + 100)) $((y + 118)) click 1
unpacked() { [ "$(stat -c %s gepackt)" -gt "$packed_size" ]; }
eventually unpacked || fail "the file handed over by the second start was not unpacked"

# The caption dragged until the window's left edge is 3 pixels from the screen's.
pointer mousemove $((x + 300)) $((y + 10)) mousedown 1
for step in 4 3 2 1 0; do
    pointer mousemove $((3 + 300 + step * (x - 3) / 5)) $((y + 10))
done
pointer mouseup 1
# A window the program may place stands flush on the edge once the drag is done; one that weston
# keeps stays where it was.
snapped() { [ "$(position "$window")" = "0 $y" ]; }
if ! eventually snapped; then
    [ "$(position "$window")" = "$x $y" ] ||
        fail "dragged to 3 pixels from the left edge, the window stands at $(position "$window")"
    echo "weston keeps the window where it stood ($x,$y): it does not let the program place it"
fi
echo "Wayland session: the window came up on XWayland and took the second start's file"
