// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/packerresult.h"
#include "packer/packerrun.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// One file of a batch: its sizes, its state in German, and the transcript of its run.
struct BatchFile {
    enum class State { Waiting, Running, Done, NotStarted };

    QString path;
    State state = State::Waiting;
    // The state as the list shows it: "wartet", the packer's progress, the result line.
    QString stateText;
    // The packer's progress on this file, from 0 to 1.
    double progress = 0;
    qint64 sizeBefore = -1;
    qint64 sizeAfter = -1;
    bool succeeded = false;
    RunResult result;
};

// Runs one packer command on each of a list of files, one packer run a file, with up to a given
// number of packers at once; the next file starts when a run ends. A file that cannot be worked
// on says why and the others go on. Cancelled, the running packers are stopped and their files
// settled as a single run's are, and no more are started.
class PackerBatch : public QObject {
    Q_OBJECT

public:
    // The text of a file that waits for its turn, and of one that a cancel left untouched.
    static inline const QString WaitingText = QStringLiteral("wartet");
    static inline const QString NotStartedText =
        QStringLiteral("Nicht bearbeitet, die Datei blieb unverändert");
    static inline const QString FolderWithoutProgramsText =
        QStringLiteral("Ein Ordner ohne Programme oder Bibliotheken");

    // Makes the command for a file from the packer's version.
    using CommandMaker = std::function<PackerCommand(const QString& file, const QVersionNumber&)>;

    // What a batch may do beside its command.
    struct Extras {
        // Why a file is refused before its run, beyond what the batch checks itself; empty
        // when it is not.
        std::function<QString(const QString& file)> refuse;
        // The command that follows a run that succeeded, such as a test of the packed file.
        std::function<PackerCommand(const RunResult& first)> followUp;
    };

    explicit PackerBatch(QObject* parent = nullptr);
    ~PackerBatch() override;

    // Starts the command on the files, at most `parallel` packers at once; the version, if any,
    // is waited for as a single run waits for it. Does nothing while the batch runs.
    void start(PackerAction action, const QStringList& files, CommandMaker make,
               PackerVersion* version, int parallel, Extras extras = {});
    // Stops every running packer as soon as the event loop gets to it, and starts no more.
    void cancel();
    // The same at once: finished() comes before this returns.
    void abandon();

    bool isRunning() const { return m_running; }
    qsizetype count() const { return qsizetype(m_files.size()); }
    const BatchFile& file(qsizetype index) const { return m_files[size_t(index)]; }
    // The transcript of the file's run so far.
    QString transcript(qsizetype index) const;
    // How much of the whole batch is done, from 0 to 1: the files done and the running files'
    // own progress.
    double progress() const;
    // The batch's result in one German line, such as "7 von 8 Dateien komprimiert: 12.345.678
    // -> 4.567.890 Bytes (37,0 %), 1 Fehler".
    QString summary() const;

signals:
    void fileChanged(qsizetype index);
    void progressChanged();
    void finished();

private:
    void startNext();
    void startRun(qsizetype index, std::unique_ptr<PackerRun> run);
    void runEnded(qsizetype index);
    void fileEnded(qsizetype index, const RunResult* followUp);
    void endIfDone();
    // Why the file cannot be worked on; empty when it can.
    QString refusal(const QString& path) const;

    PackerAction m_action = PackerAction::Compress;
    CommandMaker m_make;
    Extras m_extras;
    PackerVersion* m_version = nullptr;
    int m_parallel = 1;
    std::vector<BatchFile> m_files;
    // The runs going on, by file.
    std::vector<std::unique_ptr<PackerRun>> m_runs;
    // Whether the file's run is the follow-up of its first.
    std::vector<bool> m_following;
    qsizetype m_next = 0;
    int m_active = 0;
    bool m_running = false;
    bool m_cancelled = false;
};
