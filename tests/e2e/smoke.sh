#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# Copies the program alone into a fresh folder, starts it there on a virtual X display with a
# packed file named on its command line, finds its window, checks its size and title, takes a
# screenshot, unpacks the named file with the "Dekomprimieren" button (the system's packer from
# the search path does that), closes the window again and checks that the settings were written
# beside the program.
#   smoke.sh PROGRAM PACKED_FILE SCREENSHOT
set -euo pipefail
screenshot=$3
title='Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien'

work=$(mktemp -d)
pid=
# The program saves its options into the folder as it ends: the folder goes once it has ended.
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/Kompaktor Programm"
program=$work/Kompaktor\ Programm/kompaktor
cp "$1" "$program"
export XDG_RUNTIME_DIR=$work
unset QT_QPA_PLATFORM
# The file to unpack, named relative to the start folder.
mkdir "$work/Dateien"
cp "$2" "$work/Dateien/gepackt"
packed_size=$(stat -c %s "$work/Dateien/gepackt")
cd "$work"
"$program" Dateien/gepackt &
pid=$!

window=
for _ in $(seq 100); do
    window=$(xdotool search --name "^${title}\$" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "no window titled '$title'"; exit 1; }

# Wait for the first paint, then check the size of the window and take the picture.
sleep 1
size=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = 767x542 ] || { echo "window is $size, not 767x542 (client area 761x517 in its frame)"; exit 1; }
import -window root "$screenshot"

# The named file enabled the file commands: "Dekomprimieren" unpacks it.
xdotool mousemove --window "$window" 100 118 click 1
for _ in $(seq 100); do
    [ "$(stat -c %s "$work/Dateien/gepackt")" -gt "$packed_size" ] && break
    sleep 0.1
done
[ "$(stat -c %s "$work/Dateien/gepackt")" -gt "$packed_size" ] ||
    { echo "the file named on the command line was not unpacked"; exit 1; }

"$(dirname "$0")/xclose.py" "$window"
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "program still running after its window was closed"
    exit 1
fi
wait "$pid"
grep -q '^Speicher=10000' "$work/Kompaktor Programm/Kompaktor.INI" ||
    { echo "no settings written beside the program"; exit 1; }
echo "smoke test passed: window $size, named file unpacked, screenshot $screenshot"
