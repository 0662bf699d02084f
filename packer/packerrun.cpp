// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerrun.h"

#include "packer/boundedoutput.h"
#include "packer/packerterminal.h"
#include "packer/packerversion.h"
#include "packer/terminalfilter.h"
#include "platform/files.h"
#include "platform/outputdecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <utility>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString LineBreak = QStringLiteral("\r\n");

// Whether a pipe can be made now; the error number when not.
int pipeError()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return errno;
    ::close(ends[0]);
    ::close(ends[1]);
    return 0;
}

// Stops the packer's process group where it stands, and waits until the packer is stopped or
// has ended, so that what it holds open is read as it stands.
void freeze(qint64 pid)
{
    ::kill(-pid_t(pid), SIGSTOP);
    const QString statusFile = QStringLiteral("/proc/%1/stat").arg(pid);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        QFile status(statusFile);
        if (!status.open(QIODevice::ReadOnly))
            return;
        // "pid (name) state ...": the name may hold anything.
        const QByteArray line = status.readAll();
        const qsizetype nameEnd = line.lastIndexOf(')');
        if (nameEnd < 0 || nameEnd + 2 >= line.size() ||
            QByteArrayView("TtZX").contains(line[nameEnd + 2]))
            return;
        ::usleep(100);
    }
}

// Hands the packer's progress on at most every ProgressIntervalMilliseconds; the latest always
// gets through, at the latest when finish() is called.
class ProgressThrottle {
public:
    explicit ProgressThrottle(std::function<void(const QString&)> show) : m_show(std::move(show))
    {
        m_pending.setSingleShot(true);
        QObject::connect(&m_pending, &QTimer::timeout, [this] { showLatest(); });
    }

    void update(const QByteArray& progress)
    {
        if (progress == m_latest)
            return;
        m_latest = progress;
        const qint64 wait =
            m_shown.isValid() ? PackerRun::ProgressIntervalMilliseconds - m_shown.elapsed() : 0;
        if (wait <= 0)
            showLatest();
        else if (!m_pending.isActive())
            m_pending.start(int(wait));
    }

    void finish()
    {
        if (m_pending.isActive())
            showLatest();
    }

private:
    void showLatest()
    {
        m_pending.stop();
        OutputDecoder decoder;
        m_show(decoder.decodeSkippingZeros(m_latest) + decoder.flush());
        m_shown.start();
    }

    std::function<void(const QString&)> m_show;
    QByteArray m_latest;
    QElapsedTimer m_shown;
    QTimer m_pending;
};

} // namespace

// The transcript as it grows, with the rule for adding a line: a line goes after the text when
// that is empty or ends with a line break; otherwise it starts a new line. The latest text waits
// and goes to the sink together with what follows it, at the latest when the transcript ends:
// the box lays out its last lines anew for every piece it takes, which costs much after a long
// line.
class PackerRun::Transcript {
public:
    explicit Transcript(TranscriptSink* sink) : m_sink(sink) {}

    void begin()
    {
        if (m_sink)
            m_sink->clear();
    }

    void addLine(const QString& line)
    {
        if (m_endsWithBreak) {
            m_waiting += line;
            m_waiting += LineBreak;
        } else {
            m_waiting += LineBreak;
            m_waiting += line;
            m_endsWithBreak = line.isEmpty();
        }
    }

    // Ends an unfinished last line.
    void endLine()
    {
        if (!m_endsWithBreak)
            m_waiting += LineBreak;
        m_endsWithBreak = true;
    }

    // Appends the text as it stands; what waited goes to the sink first.
    void appendRaw(const QString& text)
    {
        if (text.isEmpty())
            return;
        flush();
        m_waiting = text;
        m_endsWithBreak = text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'));
    }

    void flush()
    {
        if (m_waiting.isEmpty())
            return;
        m_text += m_waiting;
        if (m_sink)
            m_sink->append(m_waiting);
        m_waiting.clear();
    }

    const QString& text() const { return m_text; }

private:
    TranscriptSink* m_sink;
    QString m_text;
    QString m_waiting;
    bool m_endsWithBreak = true;
};

// The packer's process and what reads its output.
struct PackerRun::Packing {
    Packing(const QString& workFile, std::function<void(const QString&)> show)
        : workFile(workFile), progress(std::move(show))
    {
    }

    // Filters what the packer wrote into its report and its progress.
    void take(QByteArrayView bytes)
    {
        scratch.truncate(0);
        filter.filter(bytes, scratch);
        output.append(scratch);
        progress.update(filter.progress());
    }

    // Takes what the ended packer left.
    void takeRest()
    {
        readPause.stop();
        if (terminalOutput) {
            terminalOutput->setEnabled(false);
            terminal.drain([this](const QByteArray& bytes) { take(bytes); });
        } else {
            take(process.readAllStandardOutput());
        }
        progress.finish();
        scratch.truncate(0);
        filter.finish(scratch);
        output.append(scratch);
        output.finish();
    }

    QProcess process;
    WorkFileGuard workFile;
    // The new file the packer is to write, when it was not there before the start.
    QString newOutput;
    PackerTerminal terminal;
    std::unique_ptr<QSocketNotifier> terminalOutput;
    QTimer readPause;
    TerminalFilter filter;
    BoundedOutput output;
    ProgressThrottle progress;
    QByteArray scratch;
    QElapsedTimer clock;
};

PackerRun::PackerRun(PackerCommand command, TranscriptSink* sink, QObject* parent)
    : PackerRun(
          nullptr, [command = std::move(command)](const QVersionNumber&) { return command; }, sink,
          parent)
{
}

PackerRun::PackerRun(PackerVersion* version, CommandMaker make, TranscriptSink* sink,
                     QObject* parent)
    : QObject(parent), m_version(version), m_make(std::move(make)),
      m_transcript(std::make_unique<Transcript>(sink))
{
    m_versionWait.setSingleShot(true);
    connect(&m_versionWait, &QTimer::timeout, this, &PackerRun::launch);
    connect(&m_pieces, &QTimer::timeout, this, &PackerRun::appendNextPiece);
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &PackerRun::abandon);
}

PackerRun::~PackerRun()
{
    if (isRunning()) {
        blockSignals(true);
        abandon();
    }
}

bool PackerRun::isRunning() const
{
    return m_stage != Stage::Ready && m_stage != Stage::Done;
}

QString PackerRun::transcript() const
{
    return m_transcript->text();
}

void PackerRun::start()
{
    if (m_stage != Stage::Ready)
        return;
    m_transcript->begin();
    m_transcript->addLine(QStringLiteral("Starte"));
    m_transcript->addLine(QString());
    if (m_version && !m_version->isKnown()) {
        m_stage = Stage::AwaitingVersion;
        m_transcript->flush();
        emit progress(WaitingForVersionText);
        connect(m_version, &PackerVersion::known, this, &PackerRun::launch);
        m_versionWait.start(PackerVersion::ReportWaitMs);
        return;
    }
    launch();
}

void PackerRun::endVersionWait()
{
    m_versionWait.stop();
    if (m_version)
        disconnect(m_version, nullptr, this, nullptr);
}

void PackerRun::launch()
{
    if (m_stage != Stage::Ready && m_stage != Stage::AwaitingVersion)
        return;
    endVersionWait();
    m_stage = Stage::Packing;
    m_result.command = m_make(m_version ? m_version->version(0) : QVersionNumber());
    m_transcript->addLine(m_result.command.commandLine);
    m_transcript->addLine(QString());
    if (const int error = pipeError()) {
        m_result.startFailed = true;
        m_transcript->addLine(QStringLiteral("Konnte Kommando nicht starten, Fehler: #") +
                              QString::number(error));
        finish();
        return;
    }
    m_packing = std::make_unique<Packing>(m_result.command.workFile,
                                          [this](const QString& text) { emit progress(text); });
    if (const QString& output = m_result.command.outputFile;
        !output.isEmpty() && !nameTaken(output))
        m_packing->newOutput = output;
    watchOutput();
    // The box shows the command while the packer works.
    m_transcript->flush();
    if (!startProcess()) {
        m_result.startFailed = true;
        m_result.milliseconds = m_packing->clock.elapsed();
        m_transcript->addLine(CancelledText);
        addTimeTaken(m_result.milliseconds);
        finish();
    }
}

// Reads the packer's output as it comes: from its terminal, or else from the pipe.
void PackerRun::watchOutput()
{
    Packing& packing = *m_packing;
    if (!packing.terminal.isOpen()) {
        connect(&packing.process, &QProcess::readyReadStandardOutput, this, [&packing] {
            packing.workFile.lookForOutput(packing.process.processId());
            packing.take(packing.process.readAllStandardOutput());
        });
        return;
    }
    packing.terminalOutput =
        std::make_unique<QSocketNotifier>(packing.terminal.master(), QSocketNotifier::Read);
    QSocketNotifier* const notifier = packing.terminalOutput.get();
    // While the packer writes short pieces, such as its progress, the terminal is read at most
    // as often as the progress goes on: each read costs a trip through the event loop. Until
    // the packer's output file is known, each write is read at once, so that the packer is seen
    // while it holds the file open.
    packing.readPause.setSingleShot(true);
    connect(&packing.readPause, &QTimer::timeout, notifier,
            [notifier] { notifier->setEnabled(true); });
    connect(notifier, &QSocketNotifier::activated, this, [&packing, notifier] {
        const bool looking = packing.workFile.lookForOutput(packing.process.processId());
        QByteArray bytes;
        // Nothing more comes once the packer's side is closed.
        const bool open = packing.terminal.read(bytes);
        const bool pause = open && !looking && bytes.size() < PackerTerminal::ShortPiece;
        if (!open || pause)
            notifier->setEnabled(false);
        if (pause)
            packing.readPause.start(ProgressIntervalMilliseconds);
        packing.take(bytes);
    });
}

bool PackerRun::startProcess()
{
    QProcess& process = m_packing->process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    // The packer leads a process group of its own, so that stopping it stops what it started,
    // and a Ctrl+C meant for us reaches it only through us. It is killed when we end, even
    // when we are killed.
    const int slave = m_packing->terminal.slave();
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([slave, parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // Standard output and standard error go to the terminal, in the order written.
        if (slave >= 0) {
            ::dup2(slave, STDOUT_FILENO);
            ::dup2(slave, STDERR_FILENO);
        }
    });
    connect(&process, &QProcess::finished, this, &PackerRun::packerEnded);
    m_packing->clock.start();
    process.start(m_result.command.program, m_result.command.arguments, QIODevice::ReadOnly);
    m_result.started = process.waitForStarted(-1);
    m_packing->terminal.closeSlave();
    return m_result.started;
}

void PackerRun::packerEnded()
{
    QProcess& process = m_packing->process;
    m_result.milliseconds = m_packing->clock.elapsed();
    m_result.exitedNormally = process.exitStatus() == QProcess::NormalExit;
    m_result.exitCode = process.exitCode();
    m_packing->takeRest();
    startReport(false);
}

// Holds the packer where it stands, notes its output file, and kills it with everything it
// started; then the file it worked on is settled. True when the packer was stopped: one that
// succeeded just before was not.
bool PackerRun::stopPacker()
{
    QProcess& process = m_packing->process;
    m_result.milliseconds = m_packing->clock.elapsed();
    disconnect(&process, &QProcess::finished, this, nullptr);
    const qint64 pid = process.processId();
    freeze(pid);
    const bool outputOpen = m_packing->workFile.noteOpenOutput(pid);
    ::kill(-pid_t(pid), SIGKILL);
    const bool ended = process.waitForFinished(5000);
    m_result.exitedNormally = ended && process.exitStatus() == QProcess::NormalExit;
    m_result.exitCode = process.exitCode();
    const bool stopped = !m_result.exitedNormally || m_result.exitCode != 0;
    // A packer that could not be ended may still change the file.
    if (stopped && m_packing->workFile.isSet())
        m_result.file = ended ? m_packing->workFile.settle(outputOpen) : FileOutcome::InDoubt;
    // What the stopped packer wrote of a new file is no finished work.
    if (stopped && ended && !m_packing->newOutput.isEmpty())
        QFile::remove(m_packing->newOutput);
    m_result.cancelled = stopped;
    return stopped;
}

void PackerRun::cancel()
{
    // Stopped from the event loop, not from within a handler of the run's own.
    if (isRunning())
        QMetaObject::invokeMethod(this, &PackerRun::cancelNow, Qt::QueuedConnection);
}

void PackerRun::cancelNow()
{
    if (m_stage == Stage::AwaitingVersion) {
        // Nothing was started.
        endVersionWait();
        m_result.cancelled = true;
        m_transcript->addLine(CancelledText);
        addTimeTaken(0);
        finish();
    } else if (m_stage == Stage::Packing) {
        const bool stopped = stopPacker();
        m_packing->takeRest();
        startReport(stopped);
    }
}

void PackerRun::abandon()
{
    switch (m_stage) {
    case Stage::AwaitingVersion:
        endVersionWait();
        addTimeTaken(0);
        finish();
        break;
    case Stage::Packing:
        if (stopPacker()) {
            addTimeTaken(m_result.milliseconds);
            finish();
        } else {
            m_packing->takeRest();
            startReport(false);
            abandon();
        }
        break;
    case Stage::Reporting:
        m_pieces.stop();
        m_transcript->appendRaw(m_result.report.sliced(m_pieceStart));
        m_pieceStart = m_result.report.size();
        endReport();
        break;
    default:
        break;
    }
}

// The report goes into the transcript in pieces of whole lines, with events between them: a
// report of megabytes would otherwise hold the window still while the box lays it out.
void PackerRun::startReport(bool stopped)
{
    m_stage = Stage::Reporting;
    m_stopped = stopped;
    m_result.report = m_packing->output.text();
    m_pieceStart = 0;
    m_pieces.start(0);
}

void PackerRun::appendNextPiece()
{
    const QString& text = m_result.report;
    if (m_pieceStart >= text.size()) {
        m_pieces.stop();
        endReport();
        return;
    }
    const qsizetype lineEnd =
        text.indexOf(QLatin1Char('\n'), qMin(m_pieceStart + PieceCharacters, text.size() - 1));
    const qsizetype end = lineEnd < 0 ? text.size() : lineEnd + 1;
    m_transcript->appendRaw(m_pieceStart == 0 && end == text.size()
                                ? text
                                : text.sliced(m_pieceStart, end - m_pieceStart));
    m_pieceStart = end;
}

void PackerRun::endReport()
{
    if (m_stopped) {
        m_transcript->endLine();
        if (m_result.file == FileOutcome::FinishedWork)
            m_transcript->addLine(FinishedFileKeptText);
        else if (m_result.file == FileOutcome::InDoubt)
            m_transcript->addLine(FileInDoubtText);
        m_transcript->addLine(CancelledText);
    }
    addTimeTaken(m_result.milliseconds);
    finish();
}

void PackerRun::addTimeTaken(qint64 milliseconds)
{
    m_transcript->addLine(QString());
    m_transcript->addLine(QStringLiteral("Für diese Operation wurden etwa ") +
                          QString::number(milliseconds) +
                          QStringLiteral(" Millisekunden benötigt."));
}

void PackerRun::finish()
{
    m_transcript->flush();
    m_result.transcript = m_transcript->text();
    m_stage = Stage::Done;
    emit finished();
}
