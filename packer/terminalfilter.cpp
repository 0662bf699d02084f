// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/terminalfilter.h"

#include <utility>

namespace {

// Bytes that are text in a report: printable characters, tab, line feed, and the bytes of
// characters beyond ASCII.
bool isText(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x20 && byte != 0x7F) || c == '\t' || c == '\n';
}

} // namespace

void TerminalFilter::carriageReturn()
{
    const QByteArray shown = m_line.trimmed();
    if (!shown.isEmpty())
        m_progress = shown;
    m_line.clear();
    m_overwritten = true;
}

// Control sequences: ESC [ parameters, final byte; ESC, intermediate bytes, final byte. Control
// strings: ESC P (device control), ESC ] (operating system command), ESC _ (application
// program command), ESC ^ (privacy message) and ESC X (start of string), each ended by the
// string terminator (ESC and a backslash) or BEL.
void TerminalFilter::continueEscape(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    switch (m_escape) {
    case Escape::Start:
        m_escape = c == '['                                                   ? Escape::Control
                   : c == 'P' || c == ']' || c == '_' || c == '^' || c == 'X' ? Escape::String
                   : byte >= 0x20 && byte <= 0x2F                             ? Escape::Intermediate
                                                                              : Escape::None;
        break;
    case Escape::Intermediate:
        if (byte < 0x20 || byte > 0x2F)
            m_escape = Escape::None;
        break;
    case Escape::Control:
        if (c == '\x1B')
            m_escape = Escape::Start;
        else if (byte >= 0x40 && byte <= 0x7E)
            m_escape = Escape::None;
        break;
    case Escape::String:
        if (c == '\a')
            m_escape = Escape::None;
        else if (c == '\x1B')
            m_escape = Escape::StringEnd;
        break;
    case Escape::StringEnd:
        m_escape = c == '\x1B' ? Escape::StringEnd : c == '\\' ? Escape::None : Escape::String;
        break;
    case Escape::None:
        break;
    }
}

void TerminalFilter::filter(QByteArrayView bytes, QByteArray& report)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        // Plain text goes in spans up to the next control character.
        if (m_escape == Escape::None && !m_pendingReturn) {
            i = takeText(bytes, i, report);
            if (i == bytes.size())
                break;
        }
        takeByte(bytes[i], report);
    }
    if (m_overwritten) {
        const QByteArray shown = m_line.trimmed();
        if (!shown.isEmpty())
            m_progress = shown;
    }
}

qsizetype TerminalFilter::takeText(QByteArrayView bytes, qsizetype start, QByteArray& report)
{
    qsizetype end = start;
    while (end < bytes.size() && isText(bytes[end]))
        ++end;
    const QByteArrayView span = bytes.sliced(start, end - start);
    const qsizetype lastFeed = span.lastIndexOf('\n');
    if (lastFeed >= 0) {
        report += m_line;
        report += span.first(lastFeed + 1);
        m_line.truncate(0);
        m_line += span.sliced(lastFeed + 1);
        m_overwritten = false;
    } else {
        m_line += span;
    }
    if (m_line.size() > LongestProgress) {
        report += m_line;
        m_line.truncate(0);
        m_overwritten = false;
    }
    return end;
}

void TerminalFilter::takeByte(char c, QByteArray& report)
{
    // A line break, or a sequence grown too long, ends a sequence left unfinished.
    if (m_escape != Escape::None) {
        if (c != '\n' && c != '\r' && ++m_escapeLength <= LongestProgress) {
            continueEscape(c);
            return;
        }
        m_escape = Escape::None;
    }
    if (!isText(c) && c != '\r' && c != '\x1B')
        return;
    if (std::exchange(m_pendingReturn, false)) {
        if (c == '\n')
            m_line += '\r';
        else
            carriageReturn();
    }
    if (c == '\x1B') {
        m_escape = Escape::Start;
        m_escapeLength = 0;
    } else if (c == '\r') {
        m_pendingReturn = true;
    } else if (c == '\n') {
        report += m_line;
        report += '\n';
        m_line.clear();
        m_overwritten = false;
    } else {
        m_line += c;
    }
}

void TerminalFilter::finish(QByteArray& report)
{
    // A progress display that nothing ended is still progress; other text is report, a carriage
    // return at its very end included.
    if (m_overwritten)
        return;
    if (std::exchange(m_pendingReturn, false))
        m_line += '\r';
    report += m_line;
    m_line.clear();
}
