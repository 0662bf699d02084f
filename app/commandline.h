// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

// Answers "--help" and "--version", given as the first argument, on standard output and ends the
// program with status 0 before any window or toolkit is made. Returns for every other command
// line.
void answerInformationRequest(int argc, char** argv);
