// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/commandrunner.h"

#include <QString>

// The packer commands of the program, for reading their result.
enum class PackerAction { Compress, Decompress, Test, List, Help, Version, License };

// The packer's part of a command's transcript: what the packer wrote and the runner's lines about
// a cancel or a failed start, without the lines before (start, command line) and after (the time
// taken).
QString packerReport(const QString& transcript, const QString& commandLine);

// The result of a packer command in one German line, read from its report as UPX 3.x and 4.x
// write it: sizes and ratio of a compressed or decompressed file, a passed test, a listed file,
// the packer's version, why the packer refused (already packed, not packed, too small, write
// protected, no permission, unsupported format), a cancel, a failed start, or a general error.
// A compress that failed on a file that carries UPX's mark is "already packed" whatever the
// packer said; the file is read for that, and only then.
// A packer that could not be started (`startFailed`) is said to be so.
QString packerResult(PackerAction action, const QString& report, const QString& fileName,
                     bool startFailed = false);

// Passes a transcript on to another sink and keeps a copy of it to read the result from.
class TranscriptCopy : public TranscriptSink {
public:
    explicit TranscriptCopy(TranscriptSink& target) : m_target(target) {}

    void clear() override
    {
        m_text.clear();
        m_target.clear();
    }
    void append(const QString& text) override
    {
        m_text += text;
        m_target.append(text);
    }
    const QString& text() const { return m_text; }

private:
    TranscriptSink& m_target;
    QString m_text;
};
