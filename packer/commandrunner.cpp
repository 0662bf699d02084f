#include "packer/commandrunner.h"

#include "packer/outputdecoder.h"
#include "packer/terminalfilter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool running = false;

const QString LineBreak = QStringLiteral("\r\n");

// The transcript as it grows, with the rule for adding a line: a line goes after the text when
// that is empty or ends with a line break; otherwise it starts a new line.
class Transcript {
public:
    explicit Transcript(TranscriptSink& sink) : m_sink(sink) { m_sink.clear(); }

    void addLine(const QString& line)
    {
        if (m_endsWithBreak) {
            m_sink.append(line + LineBreak);
        } else {
            m_sink.append(LineBreak + line);
            m_endsWithBreak = line.isEmpty();
        }
    }

    // Ends an unfinished last line.
    void endLine()
    {
        if (!m_endsWithBreak)
            appendRaw(LineBreak);
    }

    void appendRaw(const QString& text)
    {
        if (text.isEmpty())
            return;
        m_sink.append(text);
        m_endsWithBreak = text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'));
    }

private:
    TranscriptSink& m_sink;
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

    // Called once all output is in: the end is cut to its kept length.
    void finish()
    {
        if (m_tail.size() > CommandRunner::KeptTailBytes)
            dropFromTail(m_tail.size() - CommandRunner::KeptTailBytes);
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
        m_omitted += count;
        m_tail.remove(0, count);
    }

    QByteArray m_head;
    QByteArray m_tail;
    qint64 m_omitted = 0;
};

// Decodes the bytes as the box shows them, in chunks counted from their start; zero bytes are
// dropped, everything around them is kept.
void decodeChunks(OutputDecoder& decoder, QByteArrayView bytes, QString& text)
{
    for (qsizetype start = 0; start < bytes.size(); start += CommandRunner::ChunkSize) {
        text += decoder.decodeSkippingZeros(
            bytes.sliced(start, qMin(CommandRunner::ChunkSize, bytes.size() - start)));
    }
}

// The packer's output as the box shows it, with one line in place of a left-out middle.
QString outputText(const BoundedOutput& output)
{
    OutputDecoder decoder;
    QString text;
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
    return text + decoder.flush();
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
        transcript.appendRaw(text.sliced(start, end - start));
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

    // Reads what the terminal holds now and what follows at once, for a few milliseconds at
    // most; false once the packer's side is closed and all is read. A terminal passes a few
    // kilobytes at a time, so waiting a moment for more saves a trip through the event loop for
    // each of them.
    bool read(QByteArray& bytes) const
    {
        QElapsedTimer clock;
        clock.start();
        char buffer[65536];
        pollfd wanted{m_master, POLLIN, 0};
        while (clock.elapsed() < 20) {
            const ssize_t got = ::read(m_master, buffer, sizeof buffer);
            if (got > 0)
                bytes.append(buffer, got);
            else if (got == 0 || (errno != EINTR && errno != EAGAIN))
                return false;
            else if (errno == EAGAIN && ::poll(&wanted, 1, 1) <= 0)
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
        for (;;) {
            QByteArray bytes;
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

// The temporary files the packer may leave beside the file it works on when it is stopped: the
// name up to its last dot, then ".upx", or ".000", ".001", ... when that exists.
QStringList temporaryFilesOf(const QString& workFile)
{
    if (workFile.isEmpty())
        return {};
    const QFileInfo file(workFile);
    const QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.first(dot);
    QDir folder = file.absoluteDir();
    folder.setNameFilters(
        {stem + QStringLiteral(".upx"), stem + QStringLiteral(".[0-9][0-9][0-9]")});
    QStringList found;
    for (const QFileInfo& entry : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!entry.isSymLink())
            found << entry.absoluteFilePath();
    }
    return found;
}

// Ends the packer and whatever it started: asked first, then forced. The packer leads a
// process group of its own.
void stopPacker(QProcess& process)
{
    const auto signalGroup = [&process](int sig) {
        if (process.processId() > 0)
            ::kill(-pid_t(process.processId()), sig);
    };
    signalGroup(SIGTERM);
    if (!process.waitForFinished(1000))
        signalGroup(SIGKILL);
    process.waitForFinished(1000);
    signalGroup(SIGKILL);
}

// After the packer was stopped: what it left half done goes, unless it stopped between its last
// two steps, when it had removed the file it worked on and its finished temporary file waited
// to take its place. That step is done for it then. Returns true in that case.
bool cleanUpAfter(const QString& workFile, const QStringList& temporaryBefore)
{
    QStringList left;
    for (const QString& file : temporaryFilesOf(workFile)) {
        if (!temporaryBefore.contains(file))
            left << file;
    }
    if (left.isEmpty())
        return false;
    if (!QFileInfo::exists(workFile) && left.size() == 1 && QFile::rename(left.first(), workFile))
        return true;
    for (const QString& file : std::as_const(left))
        QFile::remove(file);
    return false;
}

// The run going on now, for cancel().
struct ActiveRun {
    QEventLoop* loop = nullptr;
    bool cancelled = false;
};
ActiveRun* activeRun = nullptr;

} // namespace

bool CommandRunner::isRunning()
{
    return running;
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
    if (running)
        return false;
    running = true;
    const auto done = qScopeGuard([] { running = false; });

    Transcript transcript(output);
    transcript.addLine(QStringLiteral("Starte"));
    transcript.addLine(QString());
    transcript.addLine(command.commandLine);
    transcript.addLine(QString());

    if (const int error = pipeError()) {
        transcript.addLine(QStringLiteral("Konnte Kommando nicht starten, Fehler: #") +
                           QString::number(error));
        return true;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    BoundedOutput packerOutput;
    PackerTerminal terminal;
    TerminalFilter filter;
    QByteArray shownProgress;
    const auto takeFromTerminal = [&](const QByteArray& bytes) {
        packerOutput.append(filter.filter(bytes));
        if (onProgress && filter.progress() != shownProgress) {
            shownProgress = filter.progress();
            OutputDecoder decoder;
            onProgress(decoder.decodeSkippingZeros(shownProgress) + decoder.flush());
        }
    };
    QSocketNotifier* terminalOutput = nullptr;
    // The packer leads a process group of its own, so that stopping it stops what it started,
    // and a Ctrl+C meant for us reaches it only through us.
    const int slave = terminal.slave();
    process.setChildProcessModifier([slave] {
        ::setpgid(0, 0);
        // Standard output and standard error go to the terminal, in the order written.
        if (slave >= 0) {
            ::dup2(slave, STDOUT_FILENO);
            ::dup2(slave, STDERR_FILENO);
        }
    });
    if (terminal.isOpen()) {
        terminalOutput = new QSocketNotifier(terminal.master(), QSocketNotifier::Read, &process);
        QObject::connect(terminalOutput, &QSocketNotifier::activated, [&] {
            QByteArray bytes;
            // Nothing more comes once the packer's side is closed.
            if (!terminal.read(bytes))
                terminalOutput->setEnabled(false);
            takeFromTerminal(bytes);
        });
    } else {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [&] { packerOutput.append(process.readAllStandardOutput()); });
    }
    QEventLoop loop;
    ActiveRun thisRun{&loop};
    activeRun = &thisRun;
    const auto noActiveRun = qScopeGuard([] { activeRun = nullptr; });
    QElapsedTimer clock;
    qint64 elapsed = 0;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        elapsed = clock.elapsed();
        loop.quit();
    });

    clock.start();
    const QStringList temporaryBefore = temporaryFilesOf(command.workFile);
    process.start(command.program, command.arguments, QIODevice::ReadOnly);
    const bool started = process.waitForStarted(-1);
    terminal.closeSlave();
    if (!started) {
        elapsed = clock.elapsed();
        transcript.addLine(QStringLiteral("Operation wurde abgebrochen!"));
    } else {
        loop.exec();
        bool stopped = process.state() != QProcess::NotRunning;
        bool finishedForIt = false;
        if (stopped) {
            // Cancelled, or the application quits: the packer is not left working on its own,
            // and what it leaves half done goes; the file it worked on is still the old one.
            // A packer that succeeded just before it was to be stopped was not stopped.
            elapsed = clock.elapsed();
            QObject::disconnect(&process, nullptr, &loop, nullptr);
            stopPacker(process);
            stopped = process.state() != QProcess::NotRunning ||
                      process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0;
            if (stopped)
                finishedForIt = cleanUpAfter(command.workFile, temporaryBefore);
        }
        if (!stopped || thisRun.cancelled) {
            if (terminalOutput) {
                delete terminalOutput;
                terminal.drain(takeFromTerminal);
                packerOutput.append(filter.finish());
            } else {
                packerOutput.append(process.readAllStandardOutput());
            }
            packerOutput.finish();
            appendInPieces(transcript, outputText(packerOutput));
            if (stopped) {
                transcript.endLine();
                if (finishedForIt)
                    transcript.addLine(QStringLiteral(
                        "Die Datei war schon fertig bearbeitet und wurde behalten."));
                transcript.addLine(QStringLiteral("Operation wurde abgebrochen!"));
            }
        }
    }
    transcript.addLine(QString());
    transcript.addLine(QStringLiteral("Für diese Operation wurden etwa ") +
                       QString::number(elapsed) + QStringLiteral(" Millisekunden benötigt."));
    return true;
}
