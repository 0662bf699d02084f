// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/timeformat.h"

#include <QTime>

namespace {

// What a locale's time format says about the clock: the hour field as written ("h", "hh", "H",
// "HH"), the AM/PM marker as written and whether it stands before the hour, and the literal
// text between the hour and the minutes when the minutes follow the hour.
struct TimeFormatFacts {
    QString hour;
    QString marker;
    bool markerFirst = false;
    QString hourMinuteText;
    bool minutesFollowHour = false;
};

bool isAmPmMarker(QChar c)
{
    // 'B' and 'b' are day periods ("in the morning") that some locales use in place of AM/PM.
    return c == QLatin1Char('A') || c == QLatin1Char('a') || c == QLatin1Char('B') ||
           c == QLatin1Char('b');
}

// The text quoted from the quote at i on, where '' stands for a quote (and alone is one);
// moves i past the closing quote.
QString readQuoted(const QString& format, qsizetype& i)
{
    QString text;
    ++i;
    while (i < format.size()) {
        if (format.at(i) == QLatin1Char('\'')) {
            if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
                text += QLatin1Char('\'');
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        text += format.at(i++);
    }
    return text.isEmpty() ? QStringLiteral("'") : text;
}

// The end of the pattern field at i: a run of one letter, or the AM/PM marker "AP" or "ap".
qsizetype fieldEnd(const QString& format, qsizetype i)
{
    const QChar c = format.at(i);
    qsizetype end = i + 1;
    if ((c == QLatin1Char('A') || c == QLatin1Char('a')) && end < format.size() &&
        (format.at(end) == QLatin1Char('P') || format.at(end) == QLatin1Char('p')))
        return end + 1;
    while (end < format.size() && format.at(end) == c)
        ++end;
    return end;
}

// Gathers the facts from the fields and literal texts of a format, in order.
class TimeFormatReader {
public:
    TimeFormatFacts facts;

    void literal(const QString& text)
    {
        if (m_state == AfterHour)
            facts.hourMinuteText += text;
    }

    void field(const QString& text)
    {
        const QChar letter = text.front();
        if (isAmPmMarker(letter)) {
            if (facts.marker.isEmpty()) {
                facts.marker = text;
                facts.markerFirst = facts.hour.isEmpty();
            }
        } else if ((letter == QLatin1Char('h') || letter == QLatin1Char('H')) &&
                   facts.hour.isEmpty()) {
            facts.hour = text.left(2);
            m_state = AfterHour;
            return;
        } else if (letter == QLatin1Char('m') && m_state == AfterHour) {
            facts.minutesFollowHour = true;
        }
        if (m_state == AfterHour)
            m_state = Done;
    }

private:
    enum { BeforeHour, AfterHour, Done } m_state = BeforeHour;
};

// Reads a QLocale time format: quoted text ('' is a quote), runs of one pattern letter, and
// other characters as literal text.
TimeFormatFacts readTimeFormat(const QString& format)
{
    TimeFormatReader reader;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            reader.literal(readQuoted(format, i));
        } else if (c.isLetter() && c.unicode() < 0x80) {
            const qsizetype end = fieldEnd(format, i);
            reader.field(format.mid(i, end - i));
            i = end;
        } else {
            reader.literal(QString(c));
            ++i;
        }
    }
    return reader.facts;
}

// The separator that a format puts between hour and minutes, when it is one: punctuation such
// as ":" or ".", not words such as " h " or "시 ".
QString separatorOf(const TimeFormatFacts& facts)
{
    if (!facts.minutesFollowHour)
        return {};
    const QString text = facts.hourMinuteText.trimmed();
    for (const QChar c : text) {
        if (c.isLetterOrNumber())
            return {};
    }
    return text;
}

// The separator as literal text of a QTime format. It holds no letters, which would be
// fields; only a quote needs quoting.
QString literalSeparator(const QString& separator)
{
    if (!separator.contains(QLatin1Char('\'')))
        return separator;
    QString doubled = separator;
    doubled.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

} // namespace

QString longTimeFormat(const QLocale& locale)
{
    TimeFormatFacts facts = readTimeFormat(locale.timeFormat(QLocale::LongFormat));
    const TimeFormatFacts shortFacts = readTimeFormat(locale.timeFormat(QLocale::ShortFormat));
    if (facts.hour.isEmpty())
        facts = shortFacts;

    QString separator = separatorOf(facts);
    if (separator.isEmpty())
        separator = separatorOf(shortFacts);
    if (separator.isEmpty())
        separator = QStringLiteral(":");

    const bool leadingZero = facts.hour.isEmpty() || facts.hour.size() == 2;
    // As in QTime formats, "h" counts the hours of a 12-hour clock only beside a marker.
    const bool twelveHour = !facts.marker.isEmpty() && facts.hour.startsWith(QLatin1Char('h'));

    QString hour;
    if (twelveHour)
        hour = leadingZero ? QStringLiteral("hh") : QStringLiteral("h");
    else
        hour = leadingZero ? QStringLiteral("HH") : QStringLiteral("H");
    const QString sep = literalSeparator(separator);
    QString format = hour + sep + QStringLiteral("mm") + sep + QStringLiteral("ss");
    if (twelveHour) {
        // The day periods of 'B' have no QTime counterpart; AM/PM stands in for them.
        const QChar first = facts.marker.front();
        const QString marker = (first == QLatin1Char('A') || first == QLatin1Char('a'))
                                   ? facts.marker
                                   : QStringLiteral("AP");
        format = facts.markerFirst ? marker + QLatin1Char(' ') + format
                                   : format + QLatin1Char(' ') + marker;
    }
    return format;
}
