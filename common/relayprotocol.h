// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <cstdint>

// What the trial relay and the program that starts it agree on. The relay runs as
//
//   kompaktor-relay WATCH_MILLISECONDS PROGRAM
//
// with the report pipe at descriptor 3, which gets the start of the program's output, the status
// pipe at descriptor 4, which gets one record when the watch ends (Exited, Signalled or
// StillRunning), after which both are closed, and the start pipe at descriptor 5: it gets the
// errno of a failed start, and is closed without a word once the program runs.

// The relay's executable, beside the program's own.
constexpr char RelayExecutableName[] = "kompaktor-relay";

constexpr int RelayReportDescriptor = 3;
constexpr int RelayStatusDescriptor = 4;
constexpr int RelayStartDescriptor = 5;

// How much of the program's output the report gets.
constexpr std::int64_t RelayReportBytes = 64 * 1024;

// One record on the status pipe, sent in one write.
struct RelayRecord {
    enum Kind : std::int32_t { Exited = 1, Signalled, StillRunning };
    std::int32_t kind = Exited;
    // The exit code, or the number of the ending signal.
    std::int32_t value = 0;
    std::int64_t pid = 0;
    // From the program's start to its end.
    std::int64_t microseconds = 0;
    // How many bytes of output more the program wrote than the report got.
    std::int64_t omittedBytes = 0;
    // How many bytes of what it wrote while the watch lasted the relay's own standard output and
    // error did not take: they were left out there.
    std::int64_t droppedBytes = 0;
};
