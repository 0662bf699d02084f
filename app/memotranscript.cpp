// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/memotranscript.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace {

bool hasLongWord(const QString& text)
{
    constexpr qsizetype LongWord = 1000;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > LongWord)
            return true;
    }
    return false;
}

} // namespace

void MemoTranscript::clear()
{
    m_memo->clear();
    m_memo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_memo->repaint();
}

void MemoTranscript::append(const QString& text)
{
    // Wrapping at word boundaries costs time that grows with the square of a word's length; a
    // box that holds such a word wraps anywhere.
    if (hasLongWord(text))
        m_memo->setWordWrapMode(QTextOption::WrapAnywhere);
    QTextCursor cursor(m_memo->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    m_memo->moveCursor(QTextCursor::End);
    QScrollBar* scroll = m_memo->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}
