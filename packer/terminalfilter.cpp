#include "packer/terminalfilter.h"

#include <utility>

void TerminalFilter::carriageReturn()
{
    const QByteArray shown = m_line.trimmed();
    if (!shown.isEmpty())
        m_progress = shown;
    m_line.clear();
    m_overwritten = true;
}

QByteArray TerminalFilter::filter(QByteArrayView bytes)
{
    QByteArray report;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        // Plain text goes in spans up to the next carriage return or control sequence.
        if (m_escape == Escape::None && !m_pendingReturn) {
            qsizetype end = i;
            while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\x1B')
                ++end;
            const QByteArrayView span = bytes.sliced(i, end - i);
            const qsizetype lastFeed = span.lastIndexOf('\n');
            if (lastFeed >= 0) {
                report += m_line;
                report += span.first(lastFeed + 1);
                m_line = span.sliced(lastFeed + 1).toByteArray();
                m_overwritten = false;
            } else {
                m_line += span;
            }
            if (m_line.size() > LongestProgress) {
                report += std::exchange(m_line, {});
                m_overwritten = false;
            }
            i = end;
            if (i == bytes.size())
                break;
        }
        const char c = bytes[i];
        // Control sequences: ESC [ ... final byte, ESC ] ... BEL or ESC \, ESC and one byte.
        // A line break, or a text sequence grown too long, ends a sequence left unfinished.
        if (m_escape != Escape::None) {
            if (c == '\n' || c == '\r' || ++m_escapeLength > LongestProgress) {
                m_escape = Escape::None;
            } else {
                switch (m_escape) {
                case Escape::Start:
                    m_escape = c == '[' ? Escape::Control : c == ']' ? Escape::Text : Escape::None;
                    break;
                case Escape::Control:
                    if (c >= 0x40 && c <= 0x7E)
                        m_escape = Escape::None;
                    break;
                case Escape::Text:
                    if (c == '\a')
                        m_escape = Escape::None;
                    else if (c == '\x1B')
                        m_escape = Escape::TextEnd;
                    break;
                case Escape::TextEnd:
                    m_escape = c == '\x1B' ? Escape::TextEnd
                               : c == '\\' ? Escape::None
                                           : Escape::Text;
                    break;
                case Escape::None:
                    break;
                }
                continue;
            }
        }
        if (m_pendingReturn) {
            m_pendingReturn = false;
            if (c == '\n') {
                m_line += '\r';
            } else {
                carriageReturn();
            }
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
    if (m_overwritten) {
        const QByteArray shown = m_line.trimmed();
        if (!shown.isEmpty())
            m_progress = shown;
    }
    return report;
}

QByteArray TerminalFilter::finish()
{
    // A progress display that nothing ended is still progress; other text is report, a carriage
    // return at its very end included.
    if (m_overwritten)
        return {};
    if (std::exchange(m_pendingReturn, false))
        m_line += '\r';
    return std::exchange(m_line, {});
}
