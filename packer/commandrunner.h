// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QString>
#include <QStringList>
#include <QVersionNumber>

#include <functional>

class PackerVersion;

// One packer command: the program with its arguments, and the command line shown to the user.
struct PackerCommand {
    QString program;
    QStringList arguments;
    QString commandLine;
    // The file the packer works on, if any. When the packer is stopped, this file is left either
    // as it was or as the packer's finished work, with its mode, owner and times as they were;
    // the temporary file the packer wrote meanwhile is removed.
    QString workFile = {};
};

// Where the transcript of a run goes: the output box.
class TranscriptSink {
public:
    virtual ~TranscriptSink() = default;
    virtual void clear() = 0;
    // Appends the text at the end, as it stands.
    virtual void append(const QString& text) = 0;
};

// Runs one packer command as a child process, without a shell, and writes its transcript:
// "Starte", the command line, everything the packer wrote (standard output and standard error
// together, in order) and the time the operation took. Events go on being processed while the
// packer runs and while its report goes into the box, so the window repaints, its clock ticks
// and it can be closed. The packer does not outlive the program.
class CommandRunner {
public:
    // The packer's output is decoded in chunks of this many bytes; a character split between
    // two chunks stays whole. Zero bytes are dropped.
    static constexpr qsizetype ChunkSize = 2500;
    // Of a longer report, the start and the end are kept, with one line in place of the middle
    // that says how many bytes were left out. That line stands between whole lines: a line that
    // the middle cuts is left out with it, unless it is longer than LongestCutLine bytes.
    static constexpr qsizetype KeptHeadBytes = 1024 * 1024;
    static constexpr qsizetype KeptTailBytes = 1024 * 1024;
    static constexpr qsizetype LongestCutLine = 64 * 1024;
    // The box takes the report in pieces of whole lines of about this many characters.
    static constexpr qsizetype PieceCharacters = 64 * 1024;
    // The progress goes on at most this often, the latest always last.
    static constexpr int ProgressIntervalMilliseconds = 100;

    // The last line of a stopped run.
    static inline const QString CancelledText = QStringLiteral("Operation wurde abgebrochen!");
    // The progress while a run waits for the packer's version.
    static inline const QString WaitingForVersionText =
        QStringLiteral("Warte auf die Versionsangabe von UPX ...");
    // Before it, when the packer had finished its work on the file, which is kept.
    static inline const QString FinishedFileKeptText =
        QStringLiteral("Die Datei war schon fertig bearbeitet und wurde behalten.");
    // Before it instead, when the file is neither as it was nor the packer's finished work (it
    // was changed or removed by someone else meanwhile, or could not be set back).
    static inline const QString FileInDoubtText =
        QStringLiteral("Die Datei ist weder unverändert noch fertig bearbeitet, bitte prüfen Sie "
                       "sie!");

    // Runs the command. Returns false, and does nothing, while another run is going on. The
    // packer writes to a terminal where one can be had, so that it shows its progress, which
    // goes to onProgress; the transcript holds what it writes when not on a terminal.
    static bool run(const PackerCommand& command, TranscriptSink& output,
                    const std::function<void(const QString&)>& onProgress = {});
    // Makes a command from the packer's version.
    using CommandMaker = std::function<PackerCommand(const QVersionNumber& packerVersion)>;
    // Runs the command that make() makes from the packer's version (null without a version to
    // ask). A version that is not known yet is waited for, at most PackerVersion::ReportWaitMs,
    // after which it is taken as unknown. The run is going on meanwhile: the transcript shows
    // "Starte", onProgress gets WaitingForVersionText, and a cancel, or the application's end,
    // ends the run without a packer. The time taken is the packer's alone.
    static bool run(PackerVersion* version, const CommandMaker& make, TranscriptSink& output,
                    const std::function<void(const QString&)>& onProgress = {});
    // Ends the running packer, or the wait for its version: what it wrote so far stays in the
    // transcript, followed by a line saying that the operation was cancelled.
    static void cancel();
    static bool isRunning();
    // Whether the packer of the last run could not be started: such a run ends with the same
    // lines as one cancelled before the packer wrote anything.
    static bool startFailed();
};
