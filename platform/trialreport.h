// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/shelllaunch.h"

#include <QString>

// The German name of a signal that ends a program ("Speicherzugriffsfehler" for 11), or the
// empty text for a number without one.
QString signalName(int number);

// What the output box gets from the watch of a trial run: when the program ended while it was
// watched, a line naming the program, what it wrote (with a line for what was left out of the
// report, and one for what our own output did not take), and a line saying how it ended and after
// how long; otherwise one line naming the program and saying that it still runs (with its
// process number), that the watch ended without a report, or that it runs unwatched. Each line
// ends with CR LF.
QString trialReport(const QString& program, const ProgramEnd& end);
