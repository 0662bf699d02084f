// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/packerrun.h"

class QPlainTextEdit;

// A text box as a packer run's transcript goes into it: each piece is appended at the end, and
// the box keeps its last line in view.
class MemoTranscript : public TranscriptSink {
public:
    explicit MemoTranscript(QPlainTextEdit* memo) : m_memo(memo) {}

    void clear() override;
    void append(const QString& text) override;

private:
    QPlainTextEdit* m_memo;
};
