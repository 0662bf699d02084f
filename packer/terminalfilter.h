// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Turns what a program writes to a terminal back into what it writes to a pipe. Text that a
// carriage return sends back to the start of its line is a progress display, which the next
// text overwrites: it is taken out of the report and kept as the latest progress. Terminal
// control sequences and control strings are taken out whole, and so are control characters
// other than tab and line breaks. A carriage return before a line feed stays part of the line
// break.
class TerminalFilter {
public:
    // Appends the report's part of the bytes to the report: whole lines, or the start of a line
    // too long to be a progress display. The rest waits for the next bytes.
    void filter(QByteArrayView bytes, QByteArray& report);
    // Appends what still waits, at the end of the output.
    void finish(QByteArray& report);

    // The latest progress display, without the blanks around it; empty while there is none.
    const QByteArray& progress() const { return m_progress; }

    // A line longer than this is report, not progress.
    static constexpr qsizetype LongestProgress = 4096;

private:
    // Where in a control sequence or control string the filter stands.
    enum class Escape { None, Start, Intermediate, Control, String, StringEnd };

    // Takes the text from start up to the next control character; returns where that stands.
    qsizetype takeText(QByteArrayView bytes, qsizetype start, QByteArray& report);
    void takeByte(char c, QByteArray& report);
    void carriageReturn();
    void continueEscape(char c);

    QByteArray m_line;
    QByteArray m_progress;
    // The line began after a carriage return: it is a progress display until a line feed ends it.
    bool m_overwritten = false;
    bool m_pendingReturn = false;
    Escape m_escape = Escape::None;
    qsizetype m_escapeLength = 0;
};
