// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/boundedoutput.h"
#include "packer/packerrun.h"
#include "packer/packerversion.h"
#include "testing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString header(const QString& commandLine)
{
    return QStringLiteral("Starte\r\n\r\n") + commandLine + QStringLiteral("\r\n\r\n");
}

const QString TimeLine =
    QStringLiteral("Für diese Operation wurden etwa N Millisekunden benötigt.");

const char* const RunPackerOption = "--run-packer";

// Whether the process runs: it exists and has not ended.
bool isAlive(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = status.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    return nameEnd > 0 && nameEnd + 2 < line.size() && line[nameEnd + 2] != 'Z' &&
           line[nameEnd + 2] != 'X';
}

// The transcript with the number of milliseconds replaced by N.
// A fake packer's line that waits until the test makes the file "<packer>.<name>", for at most
// 20 seconds, so that the packer goes on when the test says and a test that fails still ends.
QByteArray waitForFile(const char* name)
{
    return QByteArray("i=0; while [ ! -e \"$0.") + name +
           "\" ] && [ $i -lt 400 ]; do /bin/sleep 0.05; i=$((i+1)); done\n";
}

} // namespace

class TestPackerRun : public QObject {
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
        const QByteArray exact(BoundedOutput::ChunkSize, 'x');
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
        // Control strings, control sequences and control characters other than tab and line
        // breaks do not reach the box.
        const QString clean = QStringLiteral("vor nach\n\r\n");
        const std::pair<const char*, const char*> strings[] = {
            {"device control", "P+q544e\x1B\\"},          {"system command, BEL", "]0;Titel\a"},
            {"system command, ST", "]8;;http://x\x1B\\"}, {"application command", "_G a=T\x1B\\"},
            {"privacy message", "^geheim\x1B\\"},         {"start of string", "Xirgendwas\x1B\\"}};
        for (const auto& [name, string] : strings)
            QTest::newRow(name) << "vor \x1B" + QByteArray(string) + "nach\n" << clean;
        QTest::newRow("control sequence")
            << QByteArray("vor \x1B[?25l\x1B[1;31mnach\x1B[0m\n") << clean;
        QTest::newRow("character set") << QByteArray("vor \x1B(Bnach\x1B=\n") << clean;
        QTest::newRow("BEL, BS, DEL") << QByteArray("vor \a\b\x7Fnach\n") << clean;
        QTest::newRow("other control characters")
            << QByteArray("vor \x01\x0B\x0C\x1A\x1Fnach\n") << clean;
        QTest::newRow("tab kept") << QByteArray("vor\tnach\n") << QStringLiteral("vor\tnach\n\r\n");
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
        QVERIFY(runPacker(command, sink));
        QCOMPARE(sink.clears, 1);
        QCOMPARE(withMaskedTime(sink.text),
                 header(command.commandLine) + shown + TimeLine + "\r\n");
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
        QVERIFY(runPacker({packer, {}, packer}, sink));
        QCOMPARE(withMaskedTime(sink.text),
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
        QVERIFY(runPacker({packer, {}, packer}, sink));
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 100 * 1024,
                 qPrintable(QStringLiteral("%1 KiB more").arg(after.ru_maxrss - before.ru_maxrss)));
        QVERIFY(ticks > 0);
        const qsizetype kept = BoundedOutput::KeptHeadBytes + BoundedOutput::KeptTailBytes;
        // The kept end began with the line break after a left-out "y".
        const QString gap = QStringLiteral("y\n*** Hier wurden %1 Bytes der Ausgabe ausgelassen. "
                                           "***\r\ny\n")
                                .arg(200000005 - kept + 1);
        QVERIFY2(sink.text.contains(gap), qPrintable(sink.text.right(200)));
        QVERIFY(sink.text.size() < kept + 1000);
        QVERIFY(withMaskedTime(sink.text).endsWith("y\nEnde\n\r\n" + TimeLine + "\r\n"));
    }

    void terminalProgressStaysOutOfTheTranscript()
    {
        // On a terminal the packer rewrites its progress with carriage returns and may colour
        // its text: the progress goes to its handler, the transcript holds the text alone.
        const QString packer =
            writeScript(m_dir.filePath(QStringLiteral("upx-progress")),
                        "printf 'Anfang\\n\\r  1/2 [#.]  10%%'\n"
                        "printf '\\r  2/2 [##]  90%%'\n" +
                            waitForFile("gesehen") +
                            "printf '\\r          \\r\\033[1;32mfertig\\033[0m\\n'\n"
                            "printf 'Zeile mit CR LF\\r\\n'\n"
                            "printf 'kaputt \\033[12;\\nweiter\\n'\n");
        StringSink sink;
        QStringList progress;
        // The packer goes on once its progress has been seen.
        QVERIFY(runPacker({packer, {}, packer}, sink, [&](const QString& text) {
            progress << text;
            if (text.contains(QStringLiteral("2/2")))
                QFile(packer + QStringLiteral(".gesehen")).open(QIODevice::WriteOnly);
        }));
        QCOMPARE(withMaskedTime(sink.text),
                 header(packer) + "Anfang\nfertig\nZeile mit CR LF\r\nkaputt \nweiter\n\r\n" +
                     TimeLine + "\r\n");
        QVERIFY2(progress.contains(QStringLiteral("2/2 [##]  90%")),
                 qPrintable(progress.join('|')));
    }

    void theLeftOutLineStandsBetweenWholeLines_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("shown");
        // 300,000 lines of ten bytes: of the kept start and end, whole lines remain.
        const qsizetype keptLines = BoundedOutput::KeptHeadBytes / 10;
        const QString lines = QStringLiteral("123456789\n").repeated(keptLines);
        QTest::newRow("lines")
            << QByteArray("yes 123456789 | head -c 3000000\n")
            << lines +
                   QStringLiteral("*** Hier wurden %1 Bytes der Ausgabe ausgelassen. ***\r\n")
                       .arg(3000000 - 2 * keptLines * 10) +
                   lines;
        // A line much longer than the others is cut where it must be.
        QTest::newRow("one long line")
            << QByteArray("echo kurz\nhead -c 3000000 /dev/zero | tr '\\0' x\necho\necho Ende\n")
            << QStringLiteral("kurz\n") +
                   QString(BoundedOutput::KeptHeadBytes - 5, QLatin1Char('x')) +
                   QStringLiteral("\r\n*** Hier wurden %1 Bytes der Ausgabe ausgelassen. ***\r\n")
                       .arg(3000011 - BoundedOutput::KeptHeadBytes - BoundedOutput::KeptTailBytes) +
                   QString(BoundedOutput::KeptTailBytes - 6, QLatin1Char('x')) + "\nEnde\n";
    }

    void theLeftOutLineStandsBetweenWholeLines()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, shown);
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-gap")), script);
        StringSink sink;
        QVERIFY(runPacker({packer, {}, packer}, sink));
        QVERIFY(withMaskedTime(sink.text) == header(packer) + shown + "\r\n" + TimeLine + "\r\n");
    }

    void cancelledBetweenThePackersLastSteps_data()
    {
        // A fake packer that does what UPX does at the end of its work, step by step: it shows
        // the step it is about to take as its progress and waits for the test before it takes
        // it. Escape comes before the given step.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("outcome");
        const QString open = QStringLiteral("exec 3<\"$1\" 4>\"$1.upx\"; printf gepackt >&4");
        const QString close = QStringLiteral("exec 3<&- 4>&-");
        const QString unlink = QStringLiteral("rm \"$1\"");
        const QString rename = QStringLiteral("mv \"$1.upx\" \"$1\"");
        const QString time = QStringLiteral("touch -d @%1 \"$1\"").arg(OriginalTime);
        const QString mode = QStringLiteral("chmod 751 \"$1\"");
        const QString owner = QStringLiteral("chown %1:%2 \"$1\"").arg(m_owner).arg(m_group);
        const QList<std::pair<const char*, QStringList>> packers{
            {"UPX 3.96",
             {open, close, QStringLiteral("chmod 777 \"$1\""), unlink, rename, time, mode, owner}},
            {"UPX 4.2.2",
             {open, close, unlink, rename, time, QStringLiteral("chgrp %1 \"$1\"").arg(m_group),
              mode, QStringLiteral("chown %1 \"$1\"").arg(m_owner)}},
        };
        for (const auto& [name, steps] : packers) {
            const qsizetype unlinked = steps.indexOf(unlink) + 1;
            for (int step = 0; step < steps.size(); ++step) {
                const bool finished = step >= unlinked;
                QTest::addRow("%s, before %s", name, qPrintable(steps[step]))
                    << steps << step << QByteArray(finished ? "gepackt" : "original")
                    << (finished ? PackerRun::FinishedFileKeptText + "\r\n" : QString());
            }
        }
        // Someone else removes the file while the packer writes: neither the file nor the
        // unfinished work can be kept.
        QTest::newRow("file removed meanwhile")
            << QStringList{open, unlink, close, rename} << 2 << QByteArray()
            << PackerRun::FileInDoubtText + "\r\n";
    }

    void cancelledBetweenThePackersLastSteps()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, cancelAt);
        QFETCH(QByteArray, content);
        QFETCH(QString, outcome);
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("werk"));
        // The packer waits for a line from a pipe that the test holds open throughout.
        const QString go = folder.filePath(QStringLiteral("weiter"));
        QVERIFY(::mkfifo(QFile::encodeName(go).constData(), 0600) == 0);
        const int release = ::open(QFile::encodeName(go).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(release >= 0);
        const auto closeRelease = qScopeGuard([release] { ::close(release); });
        QByteArray script = "umask 077\nexec 5<" + QFile::encodeName(go) + "\n";
        for (int step = 0; step < steps.size(); ++step) {
            script += QStringLiteral("printf '\\rSchritt %1'\nread weiter <&5\n%2\n")
                          .arg(step)
                          .arg(steps[step])
                          .toUtf8();
        }
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-laststeps")), script);
        QFile original(file);
        QVERIFY(original.open(QIODevice::WriteOnly) && original.write("original") == 8);
        original.close();
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0751) == 0);
        QVERIFY(::chown(QFile::encodeName(file).constData(), m_owner, m_group) == 0);
        const timespec times[2] = {{OriginalTime, 0}, {OriginalTime, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0) == 0);
        // A file that someone else makes in the folder meanwhile, named as the packer might
        // name its temporary file.
        const QString strangers = folder.filePath(QStringLiteral("werk.000"));

        StringSink sink;
        PackerRun run({packer, {file}, packer, file}, &sink);
        connect(&run, &PackerRun::progress, [&](const QString& progress) {
            const int step = progress.mid(8).toInt();
            if (step == 0)
                QVERIFY(writeFile(strangers, "fremd"));
            if (step == cancelAt) {
                run.cancel();
            } else {
                QVERIFY(::write(release, "\n", 1) == 1);
            }
        });
        QVERIFY(runToEnd(run));

        QCOMPARE(withMaskedTime(sink.text), header(packer) + outcome +
                                                "Operation wurde abgebrochen!\r\n\r\n" + TimeLine +
                                                "\r\n");
        QCOMPARE(readFile(strangers), QByteArray("fremd"));
        QVERIFY(!QFile::exists(file + ".upx"));
        struct stat kept = {};
        if (content.isEmpty()) {
            QVERIFY(::stat(QFile::encodeName(file).constData(), &kept) != 0);
            return;
        }
        QCOMPARE(readFile(file), content);
        QVERIFY(::stat(QFile::encodeName(file).constData(), &kept) == 0);
        QCOMPARE(kept.st_mode & 07777, mode_t(0751));
        QCOMPARE(kept.st_uid, m_owner);
        QCOMPARE(kept.st_gid, m_group);
        QCOMPARE(kept.st_mtim.tv_sec, OriginalTime);
    }

    void aStoppedPackersNewFileIsRemoved()
    {
        // The packer writes part of its new file ("-o"), shows its progress and is stopped: the
        // part is removed, a file that was there before the start is not.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-neu")),
                                           "printf halb >\"$2\"\nprintf '\\rSchritt 1'\n"
                                           "exec /bin/sleep 30\n");
        const QString file = m_dir.filePath(QStringLiteral("alt"));
        const QString newFile = m_dir.filePath(QStringLiteral("alt-gepackt"));
        for (const bool thereBefore : {false, true}) {
            QVERIFY(writeFile(file, "alt") && (!thereBefore || writeFile(newFile, "vorher")));
            PackerCommand command{packer, {QStringLiteral("-o"), newFile, file}, packer, file};
            command.outputFile = newFile;
            PackerRun run(command);
            connect(&run, &PackerRun::progress, &run, &PackerRun::cancel);
            QVERIFY(runToEnd(run) && run.result().cancelled);
            QCOMPARE(QFile::exists(newFile), thereBefore);
            QCOMPARE(readFile(file), QByteArray("alt"));
        }
    }

    void progressGoesOnAtMostTenTimesASecond()
    {
        // The packer rewrites its progress as fast as it can: the handler gets it at most ten
        // times a second, and the last it gets is the latest.
        const QString packer = writeScript(
            m_dir.filePath(QStringLiteral("upx-fast")),
            "i=0; while [ $i -lt 20000 ]; do printf '\\r%d/20000' $i; i=$((i+1)); done\n");
        StringSink sink;
        QStringList progress;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runPacker({packer, {}, packer}, sink,
                          [&progress](const QString& text) { progress << text; }));
        const qint64 elapsed = clock.elapsed();
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), QStringLiteral("19999/20000"));
        QVERIFY2(progress.size() <= elapsed / PackerRun::ProgressIntervalMilliseconds + 2,
                 qPrintable(QStringLiteral("%1 in %2 ms").arg(progress.size()).arg(elapsed)));
    }

    void thePackerEndsWithAKilledProgram()
    {
        // A program that runs a real "--best" compress is killed while the packer works: the
        // packer ends with it, and the file is left as the packer's interruption leaves it.
        const QString upx = QStandardPaths::findExecutable(QStringLiteral("upx"), {"/usr/bin"});
        QVERIFY(!upx.isEmpty());
        const QString file = m_dir.filePath(QStringLiteral("bash-kopie"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/bash"), file));
        QProcess program;
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(RunPackerOption), upx, QStringLiteral("--best"), file});
        // The program shows the packer's progress once the packer works.
        QVERIFY(program.waitForReadyRead(60000));
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(program.processId()));
        QVERIFY(children.open(QIODevice::ReadOnly));
        const pid_t packer = children.readAll().trimmed().toInt();
        QVERIFY(packer > 0);
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!isAlive(packer), 1000);
        QCOMPARE(readFile(file), readFile(QStringLiteral("/bin/bash")));
    }

    void aChildKeepingTheTerminalDoesNotHoldTheRun()
    {
        // The packer ends but leaves a process that goes on writing to its terminal: the run
        // ends all the same.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-child")),
                                           "( while :; do echo tick; /bin/sleep 0.1; done ) "
                                           "&\necho $! > \"$0.pid\"\necho fertig\n");
        StringSink sink;
        QVERIFY(runPacker({packer, {}, packer}, sink));
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
        QVERIFY(runPacker({packer, {}, packer}, sink));
        QCOMPARE(withMaskedTime(sink.text), header(packer) + "vorher\n\r\n" + TimeLine + "\r\n");
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
        QVERIFY(runPacker({program, {QStringLiteral("-V")}, line}, sink));
        QCOMPARE(withMaskedTime(sink.text),
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
        const bool ran = runPacker({packer, {}, packer}, sink);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &old) == 0);
        QVERIFY(ran);
        QCOMPARE(sink.text,
                 header(packer) +
                     QStringLiteral("Konnte Kommando nicht starten, Fehler: #%1\r\n").arg(EMFILE));
    }

    void eventsGoOnWhileThePackerRuns()
    {
        // The packer ends once a timer has ticked ten times meanwhile.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-slow")),
                                           waitForFile("zehn") + "echo fertig\n");
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (++ticks == 10)
                QFile(packer + QStringLiteral(".zehn")).open(QIODevice::WriteOnly);
        });
        timer.start(10);
        StringSink sink;
        QVERIFY(runPacker({packer, {}, packer}, sink));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY(sink.text.contains(QStringLiteral("fertig\n")));
    }

    void quittingDuringARunEndsThePacker()
    {
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx-long")),
                                           "echo $$ > \"$0.pid\"\necho schon da\nexec sleep 60\n");
        StringSink sink;
        QTimer::singleShot(0, [&] { runPacker({packer, {}, packer}, sink); });
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
        QCOMPARE(withMaskedTime(sink.text), header(packer) + "\r\n" + TimeLine + "\r\n");
    }

    void quittingWhileTheVersionIsAwaitedStartsNothing()
    {
        // The packer's "-V" waits for a writer to its FIFO, which never comes.
        const QString packer =
            writeScript(m_dir.filePath(QStringLiteral("upx-stumm")),
                        "[ \"$1\" = -V ] && read -r line <\"$0.fifo\"\necho lief >\"$0.lief\"\n");
        QCOMPARE(::mkfifo(QFile::encodeName(packer + QStringLiteral(".fifo")).constData(), 0600),
                 0);
        PackerVersion version(packer);
        StringSink sink;
        QTimer::singleShot(0, [&] {
            runPacker(
                &version,
                [&](const QVersionNumber&) {
                    return PackerCommand{packer, {}, packer};
                },
                sink, [](const QString&) { QTimer::singleShot(0, &QCoreApplication::quit); });
        });
        QCoreApplication::exec();
        QCOMPARE(withMaskedTime(sink.text), "Starte\r\n\r\n\r\n" + TimeLine + "\r\n");
        QVERIFY(!QFile::exists(packer + QStringLiteral(".lief")));
    }

private:
    static constexpr time_t OriginalTime = 1577880000;

    QTemporaryDir m_dir;
    // The owner the packer's file is given: another user than the tests' where they may.
    const uid_t m_owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    const gid_t m_group = ::geteuid() == 0 ? 65534 : ::getegid();
};

// Called with RunPackerOption, the program, and its arguments, the test program runs that
// command and prints the packer's progress: a program to be killed while its packer works.
int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], RunPackerOption) == 0) {
        QStringList arguments = QCoreApplication::arguments().mid(2);
        const QString program = arguments.takeFirst();
        StringSink sink;
        runPacker({program, arguments, program, arguments.last()}, sink,
                  [](const QString& progress) {
                      std::printf("%s\n", qPrintable(progress));
                      std::fflush(stdout);
                  });
        return 0;
    }
    TestPackerRun test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_packerrun.moc"
