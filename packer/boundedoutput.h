// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What is kept of a packer's output: all of it up to KeptHeadBytes + KeptTailBytes, else its
// first KeptHeadBytes and its last KeptTailBytes and the number of bytes between them, so that
// memory stays bounded however much the packer writes.
class BoundedOutput {
public:
    static constexpr qsizetype KeptHeadBytes = 1024 * 1024;
    static constexpr qsizetype KeptTailBytes = 1024 * 1024;
    // Where something is left out, the part of a line that the gap cuts off is left out with
    // it, unless that line is longer than this.
    static constexpr qsizetype LongestCutLine = 64 * 1024;
    // The output is decoded in chunks of this many bytes; a character split between two chunks
    // stays whole. Zero bytes are dropped.
    static constexpr qsizetype ChunkSize = 2500;

    void append(QByteArrayView bytes);
    // Called once all output is in: the end is cut to its kept length, and a line cut by the
    // gap is left out with it.
    void finish();

    // The kept output as the output box shows it, with one line in place of a left-out middle
    // that says how many bytes were left out.
    QString text() const;

private:
    void dropFromTail(qsizetype count);

    QByteArray m_head;
    QByteArray m_tail;
    qint64 m_omitted = 0;
    bool m_tailStartsLine = false;
};
