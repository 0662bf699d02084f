#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# The real program's manners towards the window system, on a virtual X display. Without a window
# manager: the main window is the active one once shown and again after a message box, its icon
# name is "Kompaktor", and the trial launch's message box stands in the middle of the screen.
# Under openbox: maximising and restoring brings the window back to where it stood.
#   windowmanager.sh PROGRAM
set -euo pipefail
title='Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien'

work=$(mktemp -d)
pid=
wm=
# The program saves its options into the folder as it ends: the folder goes once it has ended.
trap 'kill $pid $wm 2>/dev/null || true; wait $pid $wm 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$1" "$work/kompaktor"
export XDG_RUNTIME_DIR=$work
unset QT_QPA_PLATFORM
cd "$work"

. "$(dirname "$0")/checks.sh"
# x y width height of a window on the screen.
geometry() {
    xwininfo -id "$1" |
        awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
             /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
screen=$(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
read -r screen_width screen_height <<<"$screen"

./kompaktor &
pid=$!
main_window() { window=$(xdotool search --name "^${title}\$" | head -n 1) && [ -n "$window" ]; }
eventually main_window || fail "no window titled '$title'"

focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]; }
eventually focused || fail "the main window did not become the active one"
xprop -id "$window" _NET_WM_ICON_NAME | grep -q '= "Kompaktor"$' ||
    fail "icon name: $(xprop -id "$window" _NET_WM_ICON_NAME)"

# A file name in the first box enables the trial button; the empty trial file cannot start.
xdotool mousemove --window "$window" 400 430 click 1
xdotool type --delay 20 "$work/kompaktor"
xdotool mousemove --window "$window" 100 334 click 1
message_box() { box=$(xdotool search --onlyvisible --name '^Kompaktor$' | head -n 1) && [ -n "$box" ]; }
eventually message_box || fail "no message box after the failed trial launch"
read -r x y w h <<<"$(geometry "$box")"
[ $((x - (screen_width - w) / 2)) -ge -1 ] && [ $((x - (screen_width - w) / 2)) -le 1 ] &&
    [ $((y - (screen_height - h) / 2)) -ge -1 ] && [ $((y - (screen_height - h) / 2)) -le 1 ] ||
    fail "message box at $x,$y (${w}x$h), not in the middle of the screen"
xdotool key Return
box_closed() { ! xdotool search --onlyvisible --name '^Kompaktor$' >/dev/null; }
eventually box_closed || fail "the message box did not close"
eventually focused || fail "the main window did not become the active one again after the box"

openbox >/dev/null 2>&1 &
wm=$!
managed() { xprop -id "$window" _NET_FRAME_EXTENTS | grep -q '='; }
eventually managed || fail "openbox did not take the window"
normal=$(geometry "$window")
# The caption buttons: maximise, then restore, each the second from the right.
xdotool mousemove --window "$window" 736 12 click 1
maximised() { [ "$(geometry "$window")" = "0 0 $screen_width $screen_height" ]; }
eventually maximised || fail "not maximised: $(geometry "$window")"
xdotool mousemove --window "$window" $((screen_width - 31)) 12 click 1
restored() { [ "$(geometry "$window")" = "$normal" ]; }
eventually restored || fail "restored to $(geometry "$window"), not to $normal"
echo "window manager manners hold"
