// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/commandrunner.h"

#include "packer/outputdecoder.h"
#include "packer/packerversion.h"
#include "packer/terminalfilter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool running = false;

const QString LineBreak = QStringLiteral("\r\n");

// The transcript as it grows, with the rule for adding a line: a line goes after the text when
// that is empty or ends with a line break; otherwise it starts a new line. The latest text waits
// and goes to the box together with what follows it, at the latest when the transcript ends:
// the box lays out its last lines anew for every piece it takes, which costs much after a long
// line.
class Transcript {
public:
    explicit Transcript(TranscriptSink& sink) : m_sink(sink) { m_sink.clear(); }
    ~Transcript() { flush(); }

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

    // Appends the text as it stands; what waited goes to the box first.
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
        if (!m_waiting.isEmpty())
            m_sink.append(std::exchange(m_waiting, {}));
    }

private:
    TranscriptSink& m_sink;
    QString m_waiting;
    bool m_endsWithBreak = true;
};

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

// What is kept of the packer's output: all of it up to KeptHeadBytes + KeptTailBytes, else its
// first KeptHeadBytes and its last KeptTailBytes and the number of bytes between them, so that
// memory stays bounded however much the packer writes.
class BoundedOutput {
public:
    void append(QByteArrayView bytes)
    {
        if (m_head.size() < CommandRunner::KeptHeadBytes) {
            const qsizetype taken =
                qMin(CommandRunner::KeptHeadBytes - m_head.size(), bytes.size());
            m_head += bytes.first(taken);
            bytes = bytes.sliced(taken);
        }
        m_tail += bytes;
        // Trimmed only now and then, so that the cost per byte stays constant.
        if (m_tail.size() > 2 * CommandRunner::KeptTailBytes)
            dropFromTail(m_tail.size() - CommandRunner::KeptTailBytes);
    }

    // Called once all output is in: the end is cut to its kept length. Where something is left
    // out, the part of a line that the gap cuts off is left out with it, unless that line is
    // longer than CommandRunner::LongestCutLine.
    void finish()
    {
        if (m_tail.size() > CommandRunner::KeptTailBytes)
            dropFromTail(m_tail.size() - CommandRunner::KeptTailBytes);
        if (m_omitted == 0)
            return;
        const qsizetype headEnd = m_head.lastIndexOf('\n') + 1;
        if (headEnd > 0 && m_head.size() - headEnd <= CommandRunner::LongestCutLine) {
            m_omitted += m_head.size() - headEnd;
            m_head.truncate(headEnd);
        }
        const qsizetype firstBreak = m_tail.indexOf('\n');
        if (!m_tailStartsLine && firstBreak >= 0 && firstBreak < CommandRunner::LongestCutLine &&
            firstBreak + 1 < m_tail.size())
            dropFromTail(firstBreak + 1);
    }

    // The kept bytes and the number left out between them.
    const QByteArray& head() const { return m_head; }
    const QByteArray& tail() const { return m_tail; }
    qint64 omitted() const { return m_omitted; }

private:
    void dropFromTail(qsizetype count)
    {
        // The kept end starts at a character, not inside a UTF-8 sequence.
        for (int extra = 0; extra < 3 && count < m_tail.size() &&
                            (static_cast<unsigned char>(m_tail[count]) & 0xC0) == 0x80;
             ++extra)
            ++count;
        if (count <= 0)
            return;
        m_omitted += count;
        m_tailStartsLine = m_tail[count - 1] == '\n';
        m_tail.remove(0, count);
    }

    QByteArray m_head;
    QByteArray m_tail;
    qint64 m_omitted = 0;
    bool m_tailStartsLine = false;
};

// Decodes the bytes as the box shows them, in chunks counted from their start; zero bytes are
// dropped, everything around them is kept.
void decodeChunks(OutputDecoder& decoder, QByteArrayView bytes, QString& text)
{
    for (qsizetype start = 0; start < bytes.size(); start += CommandRunner::ChunkSize) {
        decoder.appendDecoded(
            text, bytes.sliced(start, qMin(CommandRunner::ChunkSize, bytes.size() - start)));
    }
}

// The packer's output as the box shows it, with one line in place of a left-out middle.
QString outputText(const BoundedOutput& output)
{
    OutputDecoder decoder;
    QString text;
    text.reserve(output.head().size() + output.tail().size() + 100);
    decodeChunks(decoder, output.head(), text);
    if (output.omitted() > 0) {
        // A character cut by the gap is left out with it.
        const qint64 omitted = output.omitted() + decoder.discard();
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += LineBreak;
        text +=
            QStringLiteral("*** Hier wurden %1 Bytes der Ausgabe ausgelassen. ***").arg(omitted);
        text += LineBreak;
    }
    decodeChunks(decoder, output.tail(), text);
    text += decoder.flush();
    return text;
}

// Runs the step from the event loop until it reports that it is done, so that the window stays
// alive meanwhile. False when the application quit first.
bool runStepsWithEvents(const std::function<bool()>& step)
{
    QEventLoop loop;
    QTimer next;
    bool done = false;
    QObject::connect(&next, &QTimer::timeout, &loop, [&] {
        if (!step()) {
            done = true;
            next.stop();
            loop.quit();
        }
    });
    next.start(0);
    loop.exec();
    return done;
}

// Appends the text in pieces of whole lines, letting events through between them: a report of
// megabytes would otherwise hold the window still while the box lays it out.
bool appendInPieces(Transcript& transcript, const QString& text)
{
    qsizetype start = 0;
    return runStepsWithEvents([&] {
        if (start >= text.size())
            return false;
        const qsizetype lineEnd = text.indexOf(
            QLatin1Char('\n'), qMin(start + CommandRunner::PieceCharacters, text.size() - 1));
        const qsizetype end = lineEnd < 0 ? text.size() : lineEnd + 1;
        transcript.appendRaw(start == 0 && end == text.size() ? text
                                                              : text.sliced(start, end - start));
        start = end;
        return true;
    });
}

// A pseudo terminal for the packer's output: the packer shows its progress only to a terminal.
// Output processing is off, so that line breaks arrive as the packer writes them.
class PackerTerminal {
public:
    PackerTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0 ||
            (m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
            closeSlave();
            if (m_master >= 0)
                ::close(m_master);
            m_master = -1;
            return;
        }
        termios settings{};
        if (::tcgetattr(m_slave, &settings) == 0) {
            settings.c_oflag &= ~tcflag_t(OPOST);
            ::tcsetattr(m_slave, TCSANOW, &settings);
        }
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }

    ~PackerTerminal()
    {
        closeSlave();
        if (m_master >= 0)
            ::close(m_master);
    }

    // Less than this at once is a short piece.
    static constexpr qsizetype ShortPiece = 1024;

    bool isOpen() const { return m_master >= 0; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }

    // Our copy of the packer's end: closed once the packer has its own.
    void closeSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

    // Appends what the terminal holds now and what follows at once, for a few milliseconds at
    // most; false once the packer's side is closed and all is read. A terminal passes a few
    // kilobytes at a time, so when the packer writes a lot, waiting a moment for more saves a
    // trip through the event loop for each of them; a short piece, such as a progress display,
    // is all there is for now.
    bool read(QByteArray& bytes) const
    {
        constexpr qsizetype Portion = 65536;
        const qsizetype start = bytes.size();
        QElapsedTimer clock;
        clock.start();
        pollfd wanted{m_master, POLLIN, 0};
        while (clock.elapsed() < 20) {
            const qsizetype size = bytes.size();
            bytes.resize(size + Portion);
            const ssize_t got = ::read(m_master, bytes.data() + size, Portion);
            const int error = errno;
            bytes.resize(size + qMax<ssize_t>(got, 0));
            if (got > 0)
                continue;
            if (got == 0 || (error != EINTR && error != EAGAIN))
                return false;
            if (error == EAGAIN &&
                (bytes.size() - start < ShortPiece || ::poll(&wanted, 1, 1) <= 0))
                return true;
        }
        return true;
    }

    // Reads what the ended packer left, until its side is closed; at most for half a second,
    // when a process it started keeps the terminal open.
    void drain(const std::function<void(const QByteArray&)>& take) const
    {
        QElapsedTimer clock;
        clock.start();
        pollfd wanted{m_master, POLLIN, 0};
        QByteArray bytes;
        for (;;) {
            bytes.truncate(0);
            const bool more = read(bytes);
            take(bytes);
            const int left = 500 - int(clock.elapsed());
            if (!more || left <= 0 || (bytes.isEmpty() && ::poll(&wanted, 1, left) <= 0))
                return;
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
};

// What identifies a file (device and inode), and what is set back on it: mode, owner, times.
// Size and modification time tell whether its content was changed.
struct FileState {
    bool exists = false;
    struct stat info = {};

    bool isSameFile(const FileState& other) const
    {
        return exists && other.exists && info.st_dev == other.info.st_dev &&
               info.st_ino == other.info.st_ino;
    }
};

FileState stateOf(const QByteArray& path, bool followLink = false)
{
    FileState state;
    state.exists = (followLink ? ::stat(path.constData(), &state.info)
                               : ::lstat(path.constData(), &state.info)) == 0;
    return state;
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Gives the file the times, owner and mode it had; true when it has them.
bool setBack(const QByteArray& path, const FileState& was)
{
    const FileState now = stateOf(path);
    if (!now.exists)
        return false;
    bool timesSet = true;
    if (!sameTime(now.info.st_mtim, was.info.st_mtim)) {
        const timespec times[2] = {was.info.st_atim, was.info.st_mtim};
        timesSet = ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }
    // The owner first: changing it clears the set-user-ID and set-group-ID bits. A file that
    // cannot have its owner back does not get those bits.
    bool ownerSet = true;
    if (now.info.st_uid != was.info.st_uid || now.info.st_gid != was.info.st_gid)
        ownerSet = ::lchown(path.constData(), was.info.st_uid, was.info.st_gid) == 0;
    const mode_t mode = was.info.st_mode & (ownerSet ? 07777 : 01777);
    // Like the calls before it, never through a link that someone put in the file's place.
    const bool modeSet = (stateOf(path).info.st_mode & 07777) == mode ||
                         ::fchmodat(AT_FDCWD, path.constData(), mode, AT_SYMLINK_NOFOLLOW) == 0;
    return timesSet && ownerSet && modeSet;
}

// The file that the packer writes its work into: one in the folder of the file it works on,
// which it holds open for writing. Remembered while the packer holds it open, so that it is
// still known after the packer has closed it.
struct PackerOutput {
    QByteArray path;
    FileState state;
};

// The packer's output file among the files the process holds open now, if it holds one. The
// folder's path ends with a slash.
std::optional<PackerOutput> openPackerOutput(qint64 pid, const QByteArray& folder,
                                             const FileState& workFile)
{
    const QByteArray descriptors = "/proc/" + QByteArray::number(pid) + "/fd/";
    DIR* list = ::opendir(descriptors.constData());
    if (!list)
        return std::nullopt;
    const auto closeList = qScopeGuard([list] { ::closedir(list); });
    while (const dirent* entry = ::readdir(list)) {
        const QByteArray link = descriptors + entry->d_name;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target);
        const QByteArrayView path(target, qBound<ssize_t>(0, length, sizeof target));
        if (path.size() <= folder.size() || path.size() == sizeof target ||
            !path.startsWith(folder) || path.sliced(folder.size()).contains('/'))
            continue;
        // The link's own permissions tell how the file was opened.
        struct stat linkInfo = {};
        if (::lstat(link.constData(), &linkInfo) != 0 || !(linkInfo.st_mode & S_IWUSR))
            continue;
        const FileState file = stateOf(link, true);
        if (file.exists && S_ISREG(file.info.st_mode) && !file.isSameFile(workFile))
            return PackerOutput{path.toByteArray(), file};
    }
    return std::nullopt;
}

// Stops the packer's process group where it stands, and waits until the packer is stopped or
// has ended, so that what it holds open is read as it stands.
void freeze(qint64 pid)
{
    ::kill(-pid_t(pid), SIGSTOP);
    const QByteArray statusFile = "/proc/" + QByteArray::number(pid) + "/stat";
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        QFile status(QString::fromLocal8Bit(statusFile));
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

// How a stopped packer leaves the file it worked on.
enum class FileOutcome { AsItWas, FinishedWork, InDoubt };

// Puts the file that a stopped packer worked on back as it was, or, where the packer had
// finished its work and begun to put it in the file's place, finishes that: the work becomes
// the file, with the file's times, owner and mode. The packer's output file goes otherwise.
FileOutcome settle(const QByteArray& path, const FileState& was,
                   const std::optional<PackerOutput>& output, bool outputOpen)
{
    const FileState now = stateOf(path);
    const bool outputLeft = output && output->state.isSameFile(stateOf(output->path));
    const auto removeOutput = [&] {
        if (outputLeft)
            ::unlink(output->path.constData());
    };
    if (!was.exists) {
        removeOutput();
        return FileOutcome::AsItWas;
    }
    if (now.isSameFile(was)) {
        removeOutput();
        const bool unchanged =
            now.info.st_size == was.info.st_size && sameTime(now.info.st_mtim, was.info.st_mtim);
        return unchanged && setBack(path, was) ? FileOutcome::AsItWas : FileOutcome::InDoubt;
    }
    if (output && now.isSameFile(output->state))
        return setBack(path, was) ? FileOutcome::FinishedWork : FileOutcome::InDoubt;
    // The packer had closed its finished work and removed the file: the work takes its place,
    // unless someone else put a file there meanwhile.
    if (!now.exists && outputLeft && !outputOpen &&
        ::renameat2(AT_FDCWD, output->path.constData(), AT_FDCWD, path.constData(),
                    RENAME_NOREPLACE) == 0)
        return setBack(path, was) ? FileOutcome::FinishedWork : FileOutcome::InDoubt;
    if (now.exists || outputOpen)
        removeOutput();
    return FileOutcome::InDoubt;
}

// Hands the packer's progress on at most every ProgressIntervalMilliseconds; the latest always
// gets through, at the latest when finish() is called.
class ProgressThrottle {
public:
    explicit ProgressThrottle(const std::function<void(const QString&)>& show) : m_show(show)
    {
        m_pending.setSingleShot(true);
        QObject::connect(&m_pending, &QTimer::timeout, [this] { showLatest(); });
    }

    void update(const QByteArray& progress)
    {
        if (!m_show || progress == m_latest)
            return;
        m_latest = progress;
        const qint64 wait =
            m_shown.isValid() ? CommandRunner::ProgressIntervalMilliseconds - m_shown.elapsed() : 0;
        if (wait <= 0)
            showLatest();
        else if (!m_pending.isActive())
            m_pending.start(int(wait));
    }

    void finish()
    {
        if (m_pending.isActive()) {
            m_pending.stop();
            showLatest();
        }
    }

private:
    void showLatest()
    {
        m_pending.stop();
        OutputDecoder decoder;
        m_show(decoder.decodeSkippingZeros(m_latest) + decoder.flush());
        m_shown.start();
    }

    const std::function<void(const QString&)>& m_show;
    QByteArray m_latest;
    QElapsedTimer m_shown;
    QTimer m_pending;
};

// The run going on now, for cancel(): the loop it waits in.
struct ActiveRun {
    QEventLoop* loop = nullptr;
    bool cancelled = false;
};
ActiveRun* activeRun = nullptr;
bool lastStartFailed = false;

// Waits, with events going on, until the packer's version is known, or taken as unknown after
// PackerVersion::ReportWaitMs, or until the run is cancelled or the application ends. True
// when the version is to be read then.
bool awaitVersion(PackerVersion& version, ActiveRun& run)
{
    QEventLoop wait;
    bool ready = false;
    const auto readyNow = [&] {
        ready = true;
        wait.quit();
    };
    QObject::connect(&version, &PackerVersion::known, &wait, readyNow);
    QTimer::singleShot(PackerVersion::ReportWaitMs, &wait, readyNow);
    QEventLoop* const runLoop = std::exchange(run.loop, &wait);
    wait.exec();
    run.loop = runLoop;
    return ready && !run.cancelled;
}

void addTimeTaken(Transcript& transcript, qint64 elapsed)
{
    transcript.addLine(QString());
    transcript.addLine(QStringLiteral("Für diese Operation wurden etwa ") +
                       QString::number(elapsed) + QStringLiteral(" Millisekunden benötigt."));
}

} // namespace

bool CommandRunner::isRunning()
{
    return running;
}

bool CommandRunner::startFailed()
{
    return lastStartFailed;
}

void CommandRunner::cancel()
{
    if (activeRun && !activeRun->cancelled) {
        activeRun->cancelled = true;
        activeRun->loop->quit();
    }
}

bool CommandRunner::run(const PackerCommand& command, TranscriptSink& output,
                        const std::function<void(const QString&)>& onProgress)
{
    return run(
        nullptr, [&command](const QVersionNumber&) { return command; }, output, onProgress);
}

bool CommandRunner::run(PackerVersion* version, const CommandMaker& make, TranscriptSink& output,
                        const std::function<void(const QString&)>& onProgress)
{
    if (running)
        return false;
    running = true;
    const auto done = qScopeGuard([] { running = false; });
    lastStartFailed = false;

    Transcript transcript(output);
    transcript.addLine(QStringLiteral("Starte"));
    transcript.addLine(QString());
    QEventLoop loop;
    ActiveRun thisRun{&loop};
    activeRun = &thisRun;
    const auto noActiveRun = qScopeGuard([] { activeRun = nullptr; });

    if (version && !version->isKnown()) {
        transcript.flush();
        if (onProgress)
            onProgress(WaitingForVersionText);
        if (!awaitVersion(*version, thisRun)) {
            // Nothing was started.
            if (thisRun.cancelled)
                transcript.addLine(CancelledText);
            addTimeTaken(transcript, 0);
            return true;
        }
    }
    const PackerCommand command = make(version ? version->version(0) : QVersionNumber());
    transcript.addLine(command.commandLine);
    transcript.addLine(QString());

    if (const int error = pipeError()) {
        lastStartFailed = true;
        transcript.addLine(QStringLiteral("Konnte Kommando nicht starten, Fehler: #") +
                           QString::number(error));
        return true;
    }

    // The file the packer works on, as it is before the run; and the folder where the packer
    // writes its work.
    const QFileInfo workInfo(command.workFile);
    const QByteArray workFile =
        command.workFile.isEmpty() ? QByteArray() : QFile::encodeName(workInfo.absoluteFilePath());
    QByteArray workFolder = QFile::encodeName(workInfo.absoluteDir().canonicalPath());
    if (!workFolder.endsWith('/'))
        workFolder += '/';
    const FileState workFileBefore = workFile.isEmpty() ? FileState() : stateOf(workFile);
    std::optional<PackerOutput> packerOutputFile;

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    // Notes the packer's output file once the packer holds it open; true while it is looked for.
    const auto lookForPackerOutput = [&] {
        if (!packerOutputFile && !workFile.isEmpty() && process.processId() > 0)
            packerOutputFile = openPackerOutput(process.processId(), workFolder, workFileBefore);
        return !packerOutputFile && !workFile.isEmpty();
    };
    BoundedOutput packerOutput;
    PackerTerminal terminal;
    TerminalFilter filter;
    ProgressThrottle progress(onProgress);
    QByteArray report;
    const auto take = [&](QByteArrayView bytes) {
        report.truncate(0);
        filter.filter(bytes, report);
        packerOutput.append(report);
        progress.update(filter.progress());
    };
    QSocketNotifier* terminalOutput = nullptr;
    // The packer leads a process group of its own, so that stopping it stops what it started,
    // and a Ctrl+C meant for us reaches it only through us. It is killed when we end, even
    // when we are killed.
    const int slave = terminal.slave();
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
    QByteArray bytes;
    QTimer readPause;
    if (terminal.isOpen()) {
        terminalOutput = new QSocketNotifier(terminal.master(), QSocketNotifier::Read, &process);
        // While the packer writes short pieces, such as its progress, the terminal is read at
        // most as often as the progress goes on: each read costs a trip through the event loop.
        // Until the packer's output file is known, each write is read at once, so that the
        // packer is seen while it holds the file open.
        readPause.setSingleShot(true);
        QObject::connect(&readPause, &QTimer::timeout, terminalOutput,
                         [terminalOutput] { terminalOutput->setEnabled(true); });
        QObject::connect(terminalOutput, &QSocketNotifier::activated, [&] {
            const bool looking = lookForPackerOutput();
            bytes.truncate(0);
            // Nothing more comes once the packer's side is closed.
            const bool open = terminal.read(bytes);
            const bool pause = open && !looking && bytes.size() < PackerTerminal::ShortPiece;
            if (!open || pause)
                terminalOutput->setEnabled(false);
            if (pause)
                readPause.start(ProgressIntervalMilliseconds);
            take(bytes);
        });
    } else {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
            lookForPackerOutput();
            take(process.readAllStandardOutput());
        });
    }
    QElapsedTimer clock;
    qint64 elapsed = 0;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        elapsed = clock.elapsed();
        loop.quit();
    });

    // The box shows the command while the packer works.
    transcript.flush();
    clock.start();
    process.start(command.program, command.arguments, QIODevice::ReadOnly);
    const bool started = process.waitForStarted(-1);
    lastStartFailed = !started;
    terminal.closeSlave();
    if (!started) {
        elapsed = clock.elapsed();
        transcript.addLine(CancelledText);
    } else {
        loop.exec();
        readPause.stop();
        bool stopped = process.state() != QProcess::NotRunning;
        FileOutcome outcome = FileOutcome::AsItWas;
        if (stopped) {
            // Cancelled, or the application quits: the packer is not left working on its own.
            // It is held where it stands, its output file noted, and killed with everything it
            // started; then the file it worked on is settled. A packer that succeeded just
            // before it was to be stopped was not stopped.
            elapsed = clock.elapsed();
            QObject::disconnect(&process, nullptr, &loop, nullptr);
            const qint64 pid = process.processId();
            freeze(pid);
            std::optional<PackerOutput> openOutput;
            if (!workFile.isEmpty())
                openOutput = openPackerOutput(pid, workFolder, workFileBefore);
            if (openOutput)
                packerOutputFile = openOutput;
            ::kill(-pid_t(pid), SIGKILL);
            const bool ended = process.waitForFinished(5000);
            stopped =
                !ended || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0;
            // A packer that could not be ended may still change the file.
            if (stopped && !workFile.isEmpty()) {
                outcome = ended ? settle(workFile, workFileBefore, packerOutputFile,
                                         openOutput.has_value())
                                : FileOutcome::InDoubt;
            }
        }
        if (!stopped || thisRun.cancelled) {
            if (terminalOutput) {
                delete terminalOutput;
                terminal.drain(take);
            } else {
                take(process.readAllStandardOutput());
            }
            progress.finish();
            report.truncate(0);
            filter.finish(report);
            packerOutput.append(report);
            packerOutput.finish();
            appendInPieces(transcript, outputText(packerOutput));
            if (stopped) {
                transcript.endLine();
                if (outcome == FileOutcome::FinishedWork)
                    transcript.addLine(FinishedFileKeptText);
                else if (outcome == FileOutcome::InDoubt)
                    transcript.addLine(FileInDoubtText);
                transcript.addLine(CancelledText);
            }
        }
    }
    addTimeTaken(transcript, elapsed);
    return true;
}
