#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# Runs a command on a virtual X display of its own, 1024 x 768 in true colour. Xvfb picks a free
# display number and tells it once it takes connections; at the end it is waited for until it
# is gone, so that the next display never meets this one while it goes away (xvfb-run does not
# wait, and a client of the next server on the same number may then fail to connect). The
# server does not reset when its last client goes, as a short-lived tool's client would make it
# do while the program connects.
#   xdisplay.sh COMMAND [ARG ...]
set -euo pipefail
work=$(mktemp -d)
xvfb=
trap 'if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
mkfifo "$work/ready"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/ready" 2>"$work/log" &
xvfb=$!
read -r display <"$work/ready" || true
[ -n "${display:-}" ] || { cat "$work/log"; echo "Xvfb did not start"; exit 1; }
DISPLAY=:$display "$@"
