#include "packer/commandrunner.h"

#include "packer/outputdecoder.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
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

// The packer's output as the box shows it: chunk by chunk, each cut at its first zero byte.
QString outputText(const QByteArray& output)
{
    OutputDecoder decoder;
    QString text;
    for (qsizetype start = 0; start < output.size(); start += CommandRunner::ChunkSize) {
        const QByteArrayView chunk = QByteArrayView(output).sliced(
            start, qMin(CommandRunner::ChunkSize, output.size() - start));
        const qsizetype zero = chunk.indexOf('\0');
        if (zero < 0) {
            text += decoder.decode(chunk);
        } else {
            text += decoder.decode(chunk.first(zero));
            text += decoder.flush();
        }
    }
    return text + decoder.flush();
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
    QByteArray packerOutput;
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [&] { packerOutput += process.readAllStandardOutput(); });
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
            packerOutput += process.readAllStandardOutput();
            transcript.appendRaw(outputText(packerOutput));
        }
    }
    transcript.addLine(QString());
    transcript.addLine(QStringLiteral("Für diese Operation wurden etwa ") +
                       QString::number(elapsed) + QStringLiteral(" Millisekunden benötigt."));
    return true;
}
