// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/filesettling.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVersionNumber>

#include <functional>
#include <memory>

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
    // The new file the packer writes its work to instead, if any ("-o"); the work file then
    // stays as it is. A stopped packer's new file is removed, unless it was there before.
    QString outputFile = {};
    // The backup that "-k" makes, when its name was free before the run.
    QString backupFile = {};
};

// Where the transcript of a run goes as it grows: the output box, for example.
class TranscriptSink {
public:
    virtual ~TranscriptSink() = default;
    virtual void clear() = 0;
    // Appends the text at the end, as it stands.
    virtual void append(const QString& text) = 0;
};

// What a run knows once it has ended.
struct RunResult {
    // The command that was made; empty when the run ended before it made one.
    PackerCommand command;
    // The packer's process was started, or could not be (no pipe, no program).
    bool started = false;
    bool startFailed = false;
    // The packer was stopped before it ended on its own.
    bool cancelled = false;
    bool exitedNormally = false;
    int exitCode = -1;
    // What became of the file of a stopped packer.
    FileOutcome file = FileOutcome::AsItWas;
    // From the packer's start to its end.
    qint64 milliseconds = 0;
    // What the packer wrote, as the transcript shows it, and the whole transcript.
    QString report;
    QString transcript;
};

// Runs one packer command as a child process, without a shell, and writes its transcript:
// "Starte", the command line, everything the packer wrote (standard output and standard error
// together, in order) and the time the operation took. The packer writes to a terminal where
// one can be had, so that it shows its progress, which goes out by progress(); the transcript
// holds what it writes when not on a terminal. The run goes on in the event loop and reports
// its end by finished(); any number of runs can go on at once. The packer does not outlive the
// program, and is stopped, its file settled, when the application quits.
class PackerRun : public QObject {
    Q_OBJECT

public:
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

    // Makes a command from the packer's version.
    using CommandMaker = std::function<PackerCommand(const QVersionNumber& packerVersion)>;

    // The sink, if any, gets the transcript as it grows; it must outlive the run.
    explicit PackerRun(PackerCommand command, TranscriptSink* sink = nullptr,
                       QObject* parent = nullptr);
    // Runs the command that make() makes from the packer's version (null without a version to
    // ask). A version that is not known yet is waited for, at most PackerVersion::ReportWaitMs,
    // after which it is taken as unknown. The run is going on meanwhile: the transcript shows
    // "Starte", the progress is WaitingForVersionText, and a cancel, or the application's end,
    // ends the run without a packer. The time taken is the packer's alone.
    PackerRun(PackerVersion* version, CommandMaker make, TranscriptSink* sink = nullptr,
              QObject* parent = nullptr);
    // A run still going on is abandoned.
    ~PackerRun() override;

    void start();
    // Ends the running packer, or the wait for its version, as soon as the event loop gets to
    // it: what the packer wrote so far stays in the transcript, followed by a line saying that
    // the operation was cancelled.
    void cancel();
    // Ends the run at once, as the application's end does: the packer is stopped and its file
    // settled, and finished() comes before this returns; what the stopped packer wrote is not
    // shown.
    void abandon();

    bool isRunning() const;
    bool isFinished() const { return m_stage == Stage::Done; }
    const RunResult& result() const { return m_result; }
    // The transcript so far.
    QString transcript() const;

signals:
    void progress(const QString& text);
    void finished();

private:
    enum class Stage { Ready, AwaitingVersion, Packing, Reporting, Done };
    class Transcript;
    struct Packing;

    void cancelNow();
    void launch();
    void watchOutput();
    bool startProcess();
    void packerEnded();
    bool stopPacker();
    void endVersionWait();
    void startReport(bool stopped);
    void appendNextPiece();
    void endReport();
    void addTimeTaken(qint64 milliseconds);
    void finish();

    PackerVersion* m_version = nullptr;
    CommandMaker m_make;
    std::unique_ptr<Transcript> m_transcript;
    std::unique_ptr<Packing> m_packing;
    Stage m_stage = Stage::Ready;
    RunResult m_result;
    QTimer m_versionWait;
    QTimer m_pieces;
    qsizetype m_pieceStart = 0;
    bool m_stopped = false;
};
