// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerbatch.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// The share the packer shows in its progress display, such as "[****....]  42.5%".
double progressShare(const QString& progress)
{
    static const QRegularExpression percent(QStringLiteral(R"((\d+(?:\.\d+)?)\s*%)"));
    double share = -1;
    for (const QRegularExpressionMatch& match : percent.globalMatch(progress))
        share = match.captured(1).toDouble() / 100;
    return share;
}

bool isSameFile(const QString& a, const QString& b)
{
    return FileState::of(QFile::encodeName(a), true)
        .isSameFile(FileState::of(QFile::encodeName(b), true));
}

bool onReadOnlyMedium(const QString& path)
{
    struct statvfs medium = {};
    return ::statvfs(QFile::encodeName(path).constData(), &medium) == 0 &&
           (medium.f_flag & ST_RDONLY);
}

} // namespace

PackerBatch::PackerBatch(QObject* parent) : QObject(parent)
{
    // Before its runs hear of it: a run that ends then starts no other.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &PackerBatch::abandon);
}

PackerBatch::~PackerBatch()
{
    blockSignals(true);
    abandon();
}

void PackerBatch::start(PackerAction action, const QStringList& files, CommandMaker make,
                        PackerVersion* version, int parallel, Extras extras)
{
    if (m_running)
        return;
    m_action = action;
    m_make = std::move(make);
    m_extras = std::move(extras);
    m_version = version;
    m_parallel = qMax(1, parallel);
    m_files.clear();
    m_runs.clear();
    for (const QString& path : files) {
        BatchFile& file = m_files.emplace_back();
        file.path = path;
        file.stateText = WaitingText;
    }
    m_runs.resize(m_files.size());
    m_following.assign(m_files.size(), false);
    m_next = 0;
    m_active = 0;
    m_cancelled = false;
    m_running = true;
    startNext();
    endIfDone();
}

QString PackerBatch::refusal(const QString& path) const
{
    const QFileInfo info(path);
    if (info.isDir())
        return FolderWithoutProgramsText;
    if (!info.exists())
        return QStringLiteral("Die Datei wurde nicht gefunden");
    if (!info.isFile())
        return QStringLiteral("Keine gewöhnliche Datei");
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        return QStringLiteral("Keine Berechtigung, die Datei zu lesen");
    if (m_action == PackerAction::Test)
        return QString();
    if (isSameFile(path, QCoreApplication::applicationFilePath()))
        return QStringLiteral("Kompaktor kann sich nicht selbst bearbeiten, während es läuft");
    if (onReadOnlyMedium(path))
        return QStringLiteral("Die Datei liegt auf einem schreibgeschützten Datenträger");
    return m_extras.refuse ? m_extras.refuse(path) : QString();
}

// Starts runs until as many packers work as may, or no file waits.
void PackerBatch::startNext()
{
    while (!m_cancelled && m_active < m_parallel && m_next < count()) {
        const qsizetype index = m_next++;
        BatchFile& file = m_files[size_t(index)];
        file.sizeBefore = QFileInfo(file.path).size();
        if (const QString why = refusal(file.path); !why.isEmpty()) {
            file.state = BatchFile::State::Done;
            file.stateText = why;
            file.progress = 1;
            emit fileChanged(index);
            continue;
        }
        startRun(index, std::make_unique<PackerRun>(
                            m_version, [this, path = file.path](const QVersionNumber& version) {
                                return m_make(path, version);
                            }));
    }
}

void PackerBatch::startRun(qsizetype index, std::unique_ptr<PackerRun> run)
{
    connect(run.get(), &PackerRun::progress, this, [this, index](const QString& text) {
        BatchFile& running = m_files[size_t(index)];
        running.stateText = text;
        if (const double share = progressShare(text); share >= 0)
            running.progress = qBound(0.0, share, 1.0);
        emit fileChanged(index);
        emit progressChanged();
    });
    connect(run.get(), &PackerRun::finished, this, [this, index] { runEnded(index); });
    if (m_files[size_t(index)].state != BatchFile::State::Running) {
        m_files[size_t(index)].state = BatchFile::State::Running;
        ++m_active;
    }
    m_runs[size_t(index)] = std::move(run);
    emit fileChanged(index);
    m_runs[size_t(index)]->start();
}

void PackerBatch::runEnded(qsizetype index)
{
    // The run goes once it has returned from the signal that brought us here.
    PackerRun* run = m_runs[size_t(index)].release();
    run->deleteLater();
    BatchFile& file = m_files[size_t(index)];
    if (m_following[size_t(index)]) {
        fileEnded(index, &run->result());
        return;
    }
    file.result = run->result();
    if (!runSucceeded(file.result) || !m_extras.followUp || m_cancelled) {
        fileEnded(index, nullptr);
        return;
    }
    m_following[size_t(index)] = true;
    file.progress = 0;
    startRun(index, std::make_unique<PackerRun>(m_extras.followUp(file.result)));
}

void PackerBatch::fileEnded(qsizetype index, const RunResult* followUp)
{
    BatchFile& file = m_files[size_t(index)];
    const RunResult& result = file.result;
    file.state = BatchFile::State::Done;
    file.progress = 1;
    file.stateText = packerResult(m_action, result) + keptFilesNote(result);
    file.succeeded = runSucceeded(result);
    if (followUp) {
        file.stateText += testAfterNote(*followUp);
        // A test that was stopped leaves the packed file as it was: packed.
        file.succeeded = file.succeeded && (runSucceeded(*followUp) || followUp->cancelled);
        file.result.transcript += QStringLiteral("\r\n") + followUp->transcript;
    }
    const QString& written = result.command.outputFile;
    file.sizeAfter = QFileInfo(written.isEmpty() ? file.path : written).size();
    --m_active;
    emit fileChanged(index);
    emit progressChanged();
    startNext();
    endIfDone();
}

void PackerBatch::endIfDone()
{
    if (!m_running || m_active > 0 || (!m_cancelled && m_next < count()))
        return;
    for (qsizetype index = m_next; index < count(); ++index) {
        m_files[size_t(index)].state = BatchFile::State::NotStarted;
        m_files[size_t(index)].stateText = NotStartedText;
        emit fileChanged(index);
    }
    m_next = count();
    m_running = false;
    emit progressChanged();
    emit finished();
}

void PackerBatch::cancel()
{
    if (!m_running)
        return;
    m_cancelled = true;
    for (const auto& run : m_runs) {
        if (run)
            run->cancel();
    }
    endIfDone();
}

void PackerBatch::abandon()
{
    if (!m_running)
        return;
    m_cancelled = true;
    // Each run that ends here reports its end, which ends the batch with the last of them.
    for (const auto& run : m_runs) {
        if (run && run->isRunning())
            run->abandon();
    }
    endIfDone();
}

QString PackerBatch::transcript(qsizetype index) const
{
    const auto& run = m_runs[size_t(index)];
    if (!run)
        return file(index).result.transcript;
    return m_following[size_t(index)]
               ? file(index).result.transcript + QStringLiteral("\r\n") + run->transcript()
               : run->transcript();
}

double PackerBatch::progress() const
{
    if (m_files.empty())
        return 0;
    double done = 0;
    for (const BatchFile& file : m_files)
        done += file.state == BatchFile::State::Waiting ? 0 : file.progress;
    return done / double(m_files.size());
}

QString PackerBatch::summary() const
{
    qsizetype succeeded = 0;
    qsizetype failed = 0;
    qsizetype stopped = 0;
    qint64 before = 0;
    qint64 after = 0;
    for (const BatchFile& file : m_files) {
        if (file.succeeded) {
            ++succeeded;
            before += file.sizeBefore;
            after += file.sizeAfter;
        } else if (file.state == BatchFile::State::Done) {
            ++(file.result.cancelled ? stopped : failed);
        }
    }
    const QLocale german(QLocale::German);
    const QString done = m_action == PackerAction::Compress     ? QStringLiteral("komprimiert")
                         : m_action == PackerAction::Decompress ? QStringLiteral("dekomprimiert")
                                                                : QStringLiteral("geprüft");
    QString line = QStringLiteral("%1 von %2 %3 %4")
                       .arg(succeeded)
                       .arg(count())
                       .arg(count() == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"))
                       .arg(done);
    if (succeeded > 0 && m_action != PackerAction::Test) {
        const qint64 larger = m_action == PackerAction::Compress ? before : after;
        line += QStringLiteral(": ") + german.toString(before) + QStringLiteral(" -> ") +
                german.toString(after) + QStringLiteral(" Bytes");
        if (larger > 0)
            line += QStringLiteral(" (%1 %)").arg(german.toString(
                100.0 * (m_action == PackerAction::Compress ? after : before) / larger, 'f', 1));
    }
    if (failed > 0)
        line += QStringLiteral(", %1 Fehler").arg(failed);
    if (stopped > 0)
        line += QStringLiteral(", %1 abgebrochen").arg(stopped);
    if (m_cancelled)
        line.prepend(QStringLiteral("Abgebrochen: "));
    return line;
}
