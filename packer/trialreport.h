#pragma once

#include "platform/shelllaunch.h"

#include <QString>

// The German name of a signal that ends a program ("Speicherzugriffsfehler" for 11), or the
// empty text for a number without one.
QString signalName(int number);

// The block that the output box gets when a trial run ends while it is watched: a line naming
// the program, what it wrote, and a line saying how it ended and after how long. Each line
// ends with CR LF.
QString trialReport(const QString& program, const ProgramEnd& end);
