#include "packer/commandrunner.h"
#include "testing.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString header(const QString& commandLine)
{
    return QStringLiteral("Starte\r\n\r\n") + commandLine + QStringLiteral("\r\n\r\n");
}

const QString TimeLine =
    QStringLiteral("Für diese Operation wurden etwa N Millisekunden benötigt.");

// The transcript with the number of milliseconds replaced by N.
QString withoutTime(QString text)
{
    static const QRegularExpression time(QStringLiteral("etwa -?\\d+ Millisekunden"));
    return text.replace(time, QStringLiteral("etwa N Millisekunden"));
}

} // namespace

class TestCommandRunner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void transcriptOfTheOutput_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("shown");
        QTest::newRow("three lines")
            << QByteArray("eins\nzwei\ndrei\n") << QStringLiteral("eins\nzwei\ndrei\n\r\n");
        QTest::newRow("no final break")
            << QByteArray("eins\nzwei\ndrei") << QStringLiteral("eins\nzwei\ndrei\r\n");
        QTest::newRow("CR LF lines")
            << QByteArray("eins\r\nzwei\r\n") << QStringLiteral("eins\r\nzwei\r\n\r\n");
        QTest::newRow("nothing") << QByteArray() << QStringLiteral("\r\n");
        const QByteArray exact(CommandRunner::ChunkSize, 'x');
        QTest::newRow("exactly one chunk") << exact << QString::fromLatin1(exact) + "\r\n";
        QByteArray more;
        for (int i = 0; more.size() < 7000; ++i)
            more += QByteArray::number(i) + '\n';
        QTest::newRow("several chunks") << more << QString::fromLatin1(more) + "\r\n";
        QByteArray zeros;
        QString zerosShown;
        for (int i = 0; i < 2000; ++i) {
            zeros += "Zeile " + QByteArray::number(i) + QByteArray(i % 3, '\0') + '\n';
            zerosShown += QStringLiteral("Zeile %1\n").arg(i);
        }
        QTest::newRow("zero bytes dropped, nothing after them lost")
            << zeros + "Ende\0" << zerosShown + "Ende\r\n";
        QTest::newRow("umlaut split between chunks")
            << QByteArray(2499, 'x') + "\xC3\xA4yz\n"
            << QString(2499, QLatin1Char('x')) + QStringLiteral("äyz\n\r\n");
        QTest::newRow("code page 850") << QByteArray("\x81\x84\x94\x8E\x99\x9A\xE1 gepackt\n")
                                       << QStringLiteral("üäöÄÖÜß gepackt\n\r\n");
        QTest::newRow("UTF-8") << QByteArray("Größe: 5 KiB → 2 KiB\n")
                               << QStringLiteral("Größe: 5 KiB → 2 KiB\n\r\n");
    }

    void transcriptOfTheOutput()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, shown);
        QFile data(m_dir.filePath(QStringLiteral("upx.out")));
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write(output);
        data.close();
        const QString packer =
            writeScript(m_dir.filePath(QStringLiteral("upx")), "cat \"$0.out\"\n");
        const PackerCommand command{packer, {QStringLiteral("-V")}, packer + "  -V"};
        StringSink sink;
        QVERIFY(CommandRunner::run(command, sink));
        QCOMPARE(sink.clears, 1);
        QCOMPARE(withoutTime(sink.text), header(command.commandLine) + shown + TimeLine + "\r\n");
    }

    void standardErrorInOrder()
    {
        const QString packer =
            writeScript(m_dir.filePath(QStringLiteral("upx-err")), "printf 'aus 1\\n'\n"
                                                                   "printf 'fehler 1\\n' >&2\n"
                                                                   "printf 'aus 2\\n'\n"
                                                                   "printf 'fehler 2\\n' >&2\n"
                                                                   "exit 1\n");
        StringSink sink;
        QVERIFY(CommandRunner::run({packer, {}, packer}, sink));
        QCOMPARE(withoutTime(sink.text),
                 header(packer) + "aus 1\nfehler 1\naus 2\nfehler 2\n\r\n" + TimeLine + "\r\n");
    }

    void aRunawayPackerIsKeptInBounds()
    {
        // 200 MB of "y" lines: the start and the end of the report are kept, the middle is
        // counted, and memory does not grow with the output.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-runaway")),
                                           "yes | head -c 200000000\necho Ende\n");
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(50);
        StringSink sink;
        QVERIFY(CommandRunner::run({packer, {}, packer}, sink));
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 100 * 1024,
                 qPrintable(QStringLiteral("%1 KiB more").arg(after.ru_maxrss - before.ru_maxrss)));
        QVERIFY(ticks > 0);
        const qsizetype kept = CommandRunner::KeptHeadBytes + CommandRunner::KeptTailBytes;
        const QString gap = QStringLiteral("y\n*** Hier wurden %1 Bytes der Ausgabe ausgelassen. "
                                           "***\r\n\ny\n")
                                .arg(200000005 - kept);
        QVERIFY2(sink.text.contains(gap), qPrintable(sink.text.right(200)));
        QVERIFY(sink.text.size() < kept + 1000);
        QVERIFY(withoutTime(sink.text).endsWith("y\nEnde\n\r\n" + TimeLine + "\r\n"));
    }

    void terminalProgressStaysOutOfTheTranscript()
    {
        // On a terminal the packer rewrites its progress with carriage returns and may colour
        // its text: the progress goes to its handler, the transcript holds the text alone.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-progress")),
                                           "printf 'Anfang\\n\\r  1/2 [#.]  10%%'\n/bin/sleep 0.2\n"
                                           "printf '\\r  2/2 [##]  90%%'\n/bin/sleep 0.2\n"
                                           "printf '\\r          \\r\\033[1;32mfertig\\033[0m\\n'\n"
                                           "printf 'Zeile mit CR LF\\r\\n'\n"
                                           "printf 'kaputt \\033[12;\\nweiter\\n'\n");
        StringSink sink;
        QStringList progress;
        QVERIFY(CommandRunner::run({packer, {}, packer}, sink,
                                   [&progress](const QString& text) { progress << text; }));
        QCOMPARE(withoutTime(sink.text),
                 header(packer) + "Anfang\nfertig\nZeile mit CR LF\r\nkaputt \nweiter\n\r\n" +
                     TimeLine + "\r\n");
        QVERIFY2(progress.contains(QStringLiteral("2/2 [##]  90%")),
                 qPrintable(progress.join('|')));
    }

    void cancelledBetweenThePackersLastSteps()
    {
        // The packer has removed the file and not yet put its finished work in its place when
        // it is stopped: the finished work becomes the file, nothing is lost.
        const QString file = m_dir.filePath(QStringLiteral("werk.exe"));
        QFile original(file);
        QVERIFY(original.open(QIODevice::WriteOnly) && original.write("gepackt") == 7);
        original.close();
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-laststeps")),
                                           "cp \"$1\" \"${1%.exe}.upx\"\nrm \"$1\"\n"
                                           "printf 'halbe Zeile'\nexec /bin/sleep 30\n");
        StringSink sink;
        QTimer::singleShot(500, [] { CommandRunner::cancel(); });
        QVERIFY(CommandRunner::run({packer, {file}, packer, file}, sink));
        QCOMPARE(withoutTime(sink.text),
                 header(packer) +
                     "halbe Zeile\r\nDie Datei war schon fertig bearbeitet und wurde behalten.\r\n"
                     "Operation wurde abgebrochen!\r\n\r\n" +
                     TimeLine + "\r\n");
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("gepackt"));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("werk.upx"))));
    }

    void aChildKeepingTheTerminalDoesNotHoldTheRun()
    {
        // The packer ends but leaves a process that goes on writing to its terminal: the run
        // ends all the same.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-child")),
                                           "( while :; do echo tick; /bin/sleep 0.1; done ) "
                                           "&\necho $! > \"$0.pid\"\necho fertig\n");
        StringSink sink;
        QVERIFY(CommandRunner::run({packer, {}, packer}, sink));
        QFile pid(packer + ".pid");
        QVERIFY(pid.open(QIODevice::ReadOnly));
        ::kill(pid_t(pid.readAll().trimmed().toInt()), SIGKILL);
        QVERIFY(sink.text.contains(QStringLiteral("fertig\n")));
    }

    void packerKilledBySignal()
    {
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-killed")),
                                           "printf 'vorher\\n'\nkill -9 $$\nprintf 'nachher\\n'\n");
        StringSink sink;
        QVERIFY(CommandRunner::run({packer, {}, packer}, sink));
        QCOMPARE(withoutTime(sink.text), header(packer) + "vorher\n\r\n" + TimeLine + "\r\n");
    }

    void packerCannotStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("directory") << m_dir.path();
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("nichts-da"));
        QTest::newRow("not executable") << m_dir.filePath(QStringLiteral("plain.txt"));
    }

    void packerCannotStart()
    {
        QFETCH(QString, program);
        QFile plain(m_dir.filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString line = program + QStringLiteral("  -V");
        StringSink sink;
        QVERIFY(CommandRunner::run({program, {QStringLiteral("-V")}, line}, sink));
        QCOMPARE(withoutTime(sink.text),
                 header(line) + "Operation wurde abgebrochen!\r\n\r\n" + TimeLine + "\r\n");
    }

    void pipeCannotBeMade()
    {
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-pipe")), "exit 0\n");
        // Allow no more file descriptors than are open now, up to the lowest free one.
        const int lowestFree = ::dup(0);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &old) == 0);
        rlimit tight = old;
        tight.rlim_cur = rlim_t(lowestFree);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &tight) == 0);
        StringSink sink;
        const bool ran = CommandRunner::run({packer, {}, packer}, sink);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &old) == 0);
        QVERIFY(ran);
        QCOMPARE(sink.text,
                 header(packer) +
                     QStringLiteral("Konnte Kommando nicht starten, Fehler: #%1\r\n").arg(EMFILE));
    }

    void eventsGoOnWhileThePackerRuns()
    {
        const QString packer =
            writeScript(m_dir.filePath(QStringLiteral("upx-slow")), "sleep 2\necho fertig\n");
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(100);
        StringSink sink;
        QVERIFY(CommandRunner::run({packer, {}, packer}, sink));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY(sink.text.contains(QStringLiteral("fertig\n")));
    }

    void secondRunDuringARunIsRefused()
    {
        const QString packer =
            writeScript(m_dir.filePath(QStringLiteral("upx-one")), "sleep 1\necho eins\n");
        const QString other = writeScript(m_dir.filePath(QStringLiteral("upx-two")), "echo zwei\n");
        StringSink first;
        StringSink second;
        int refused = 0;
        QTimer::singleShot(200, [&] {
            QVERIFY(CommandRunner::isRunning());
            if (!CommandRunner::run({other, {}, other}, second))
                ++refused;
        });
        QVERIFY(CommandRunner::run({packer, {}, packer}, first));
        QCOMPARE(refused, 1);
        QCOMPARE(second.clears, 0);
        QVERIFY(second.text.isEmpty());
        QCOMPARE(withoutTime(first.text), header(packer) + "eins\n\r\n" + TimeLine + "\r\n");
        QVERIFY(!CommandRunner::isRunning());
    }

    void quittingDuringARunEndsThePacker()
    {
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-long")),
                                           "echo $$ > \"$0.pid\"\necho schon da\nexec sleep 60\n");
        StringSink sink;
        QTimer::singleShot(0, [&] { CommandRunner::run({packer, {}, packer}, sink); });
        // The application quits once the packer has surely started.
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (QFile(packer + ".pid").size() > 0)
                QCoreApplication::quit();
        });
        watch.start(20);
        QCoreApplication::exec();
        watch.stop();

        QFile pid(packer + ".pid");
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const pid_t child = pid.readAll().trimmed().toInt();
        QVERIFY(child > 0);
        QVERIFY2(::kill(child, 0) != 0, "the packer still runs");
        QCOMPARE(withoutTime(sink.text), header(packer) + "\r\n" + TimeLine + "\r\n");
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCommandRunner)
#include "tst_commandrunner.moc"
