#include "packer/commandrunner.h"

#include "packer/outputdecoder.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <functional>
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

} // namespace

bool CommandRunner::isRunning()
{
    return running;
}

bool CommandRunner::run(const PackerCommand& command, TranscriptSink& output)
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
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [&] { packerOutput.append(process.readAllStandardOutput()); });
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 elapsed = 0;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        elapsed = clock.elapsed();
        loop.quit();
    });

    clock.start();
    process.start(command.program, command.arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        elapsed = clock.elapsed();
        transcript.addLine(QStringLiteral("Operation wurde abgebrochen!"));
    } else {
        loop.exec();
        if (process.state() != QProcess::NotRunning) {
            // The application is quitting: the packer is not left running on its own.
            elapsed = clock.elapsed();
            QObject::disconnect(&process, nullptr, &loop, nullptr);
            process.terminate();
            if (!process.waitForFinished(1000))
                process.kill();
            process.waitForFinished(1000);
        } else {
            packerOutput.append(process.readAllStandardOutput());
            packerOutput.finish();
            appendInPieces(transcript, outputText(packerOutput));
        }
    }
    transcript.addLine(QString());
    transcript.addLine(QStringLiteral("Für diese Operation wurden etwa ") +
                       QString::number(elapsed) + QStringLiteral(" Millisekunden benötigt."));
    return true;
}
