// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Turns the packer's output bytes into text. The bytes are read as UTF-8; a byte that does not
// belong to a valid UTF-8 sequence is read as code page 850, the console code page of the
// packer's DOS and Windows builds. A sequence that a chunk ends in the middle of is kept for the
// next chunk, so that a character split between two chunks stays whole.
class OutputDecoder {
public:
    // Decodes the bytes and appends the text; zero bytes are dropped, they mean nothing in a
    // report. An incomplete sequence at their end waits for the next call.
    void appendDecoded(QString& text, QByteArrayView bytes);
    // The same, returning the text.
    QString decodeSkippingZeros(QByteArrayView bytes);
    // Decodes whatever still waits, as it stands.
    QString flush();
    // Drops what still waits; returns the number of bytes dropped.
    qsizetype discard();

private:
    void appendRun(QString& text, QByteArrayView bytes);
    void decodeInto(QString& text, QByteArrayView bytes, bool final);

    QByteArray m_pending;
};

// The character of a code page 850 byte.
QChar cp850ToUnicode(unsigned char byte);
