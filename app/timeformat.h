#pragma once

#include <QLocale>
#include <QString>

class QTime;

// The user's long time format for the status line's clock, as a QTime format: the hour with or
// without a leading zero, minutes and seconds to two digits, joined by the locale's time
// separator; with a 12-hour clock the hour in 12-hour form and the locale's AM/PM marker
// before or after the time, separated by a blank, where the locale puts it.
QString longTimeFormat(const QLocale& locale);

// The time in the locale's long time format, with the locale's own AM/PM texts.
QString timeText(const QTime& time, const QLocale& locale);

// The current local time of day in the locale's long time format.
QString currentTimeText(const QLocale& locale = QLocale::system());
