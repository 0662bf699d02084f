// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/boundedoutput.h"

#include "platform/outputdecoder.h"

namespace {

const QString LineBreak = QStringLiteral("\r\n");

// Decodes the bytes as the box shows them, in chunks counted from their start; zero bytes are
// dropped, everything around them is kept.
void decodeChunks(OutputDecoder& decoder, QByteArrayView bytes, QString& text)
{
    for (qsizetype start = 0; start < bytes.size(); start += BoundedOutput::ChunkSize) {
        decoder.appendDecoded(
            text, bytes.sliced(start, qMin(BoundedOutput::ChunkSize, bytes.size() - start)));
    }
}

} // namespace

void BoundedOutput::append(QByteArrayView bytes)
{
    if (m_head.size() < KeptHeadBytes) {
        const qsizetype taken = qMin(KeptHeadBytes - m_head.size(), bytes.size());
        m_head += bytes.first(taken);
        bytes = bytes.sliced(taken);
    }
    m_tail += bytes;
    // Trimmed only now and then, so that the cost per byte stays constant.
    if (m_tail.size() > 2 * KeptTailBytes)
        dropFromTail(m_tail.size() - KeptTailBytes);
}

void BoundedOutput::finish()
{
    if (m_tail.size() > KeptTailBytes)
        dropFromTail(m_tail.size() - KeptTailBytes);
    if (m_omitted == 0)
        return;
    const qsizetype headEnd = m_head.lastIndexOf('\n') + 1;
    if (headEnd > 0 && m_head.size() - headEnd <= LongestCutLine) {
        m_omitted += m_head.size() - headEnd;
        m_head.truncate(headEnd);
    }
    const qsizetype firstBreak = m_tail.indexOf('\n');
    if (!m_tailStartsLine && firstBreak >= 0 && firstBreak < LongestCutLine &&
        firstBreak + 1 < m_tail.size())
        dropFromTail(firstBreak + 1);
}

void BoundedOutput::dropFromTail(qsizetype count)
{
    // The kept end starts at a character, not inside a UTF-8 sequence.
    for (int extra = 0; extra < 3 && count < m_tail.size() &&
                        (static_cast<unsigned char>(m_tail[count]) & 0xC0) == 0x80;
         ++extra)
        ++count;
    if (count <= 0)
        return;
    m_omitted += count;
    m_tailStartsLine = m_tail[count - 1] == '\n';
    m_tail.remove(0, count);
}

QString BoundedOutput::text() const
{
    OutputDecoder decoder;
    QString text;
    text.reserve(m_head.size() + m_tail.size() + 100);
    decodeChunks(decoder, m_head, text);
    if (m_omitted > 0) {
        // A character cut by the gap is left out with it.
        const qint64 omitted = m_omitted + decoder.discard();
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += LineBreak;
        text +=
            QStringLiteral("*** Hier wurden %1 Bytes der Ausgabe ausgelassen. ***").arg(omitted);
        text += LineBreak;
    }
    decodeChunks(decoder, m_tail, text);
    text += decoder.flush();
    return text;
}
