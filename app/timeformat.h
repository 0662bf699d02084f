// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QLocale>
#include <QString>

// The user's long time format for the status line's clock, as a QTime format: the hour with or
// without a leading zero, minutes and seconds to two digits, joined by the locale's time
// separator; with a 12-hour clock the hour in 12-hour form and the locale's AM/PM marker
// before or after the time, separated by a blank, where the locale puts it.
QString longTimeFormat(const QLocale& locale);
