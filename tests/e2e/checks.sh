# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# What the end-to-end scripts share; sourced, not run.

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
