// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/outputdecoder.h"

#include <array>
#include <utility>

namespace {

// Code page 850, bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> cp850High{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence that starts with the lead byte, 0 when it starts none.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Whether the second byte is allowed after the lead byte (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool secondByteFits(unsigned char lead, unsigned char second)
{
    switch (lead) {
    case 0xE0:
        return second >= 0xA0 && second <= 0xBF;
    case 0xED:
        return second >= 0x80 && second <= 0x9F;
    case 0xF0:
        return second >= 0x90 && second <= 0xBF;
    case 0xF4:
        return second >= 0x80 && second <= 0x8F;
    default:
        return isContinuation(second);
    }
}

} // namespace

QChar cp850ToUnicode(unsigned char byte)
{
    return byte < 0x80 ? QChar(byte) : QChar(cp850High[byte - 0x80]);
}

void OutputDecoder::appendRun(QString& text, QByteArrayView bytes)
{
    if (m_pending.isEmpty()) {
        decodeInto(text, bytes, false);
    } else {
        QByteArray joined = std::exchange(m_pending, {});
        joined += bytes;
        decodeInto(text, joined, false);
    }
}

void OutputDecoder::appendDecoded(QString& text, QByteArrayView bytes)
{
    for (qsizetype zero; (zero = bytes.indexOf('\0')) >= 0; bytes = bytes.sliced(zero + 1))
        appendRun(text, bytes.first(zero));
    appendRun(text, bytes);
}

QString OutputDecoder::decodeSkippingZeros(QByteArrayView bytes)
{
    QString text;
    appendDecoded(text, bytes);
    return text;
}

QString OutputDecoder::flush()
{
    QString text;
    const QByteArray pending = std::exchange(m_pending, {});
    decodeInto(text, pending, true);
    return text;
}

qsizetype OutputDecoder::discard()
{
    return std::exchange(m_pending, {}).size();
}

void OutputDecoder::decodeInto(QString& text, QByteArrayView bytes, bool final)
{
    // Room for the text grows by doubling, so that many small calls cost no more than one.
    if (text.capacity() < text.size() + bytes.size())
        text.reserve(qMax(2 * text.capacity(), text.size() + bytes.size()));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            text += QChar(lead);
            ++i;
            continue;
        }
        const int length = sequenceLength(lead);
        // How many bytes of the sequence are here and fit.
        int valid = length > 0 ? 1 : 0;
        while (valid > 0 && valid < length && i + valid < size) {
            const unsigned char next = data[i + valid];
            if (valid == 1 ? !secondByteFits(lead, next) : !isContinuation(next))
                break;
            ++valid;
        }
        if (length > 0 && valid == length) {
            char32_t code = lead & (0xFF >> (length + 1));
            for (int k = 1; k < length; ++k)
                code = (code << 6) | (data[i + k] & 0x3F);
            text += QString::fromUcs4(&code, 1);
            i += length;
        } else if (length > 0 && i + valid == size && !final) {
            // The sequence goes on in the next chunk.
            m_pending = QByteArray(reinterpret_cast<const char*>(data + i), size - i);
            return;
        } else {
            text += cp850ToUnicode(lead);
            ++i;
        }
    }
}
