// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/launcherrortext.h"
#include "platform/shelllaunch.h"
#include "testing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr auto Executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
constexpr auto Plain = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;

// Records every URL handed to it and answers with a fixed result.
struct CapturingOpener {
    QList<QUrl> urls;
    bool answer = true;
    DocumentOpener opener()
    {
        return [this](const QUrl& url) {
            urls.append(url);
            return answer;
        };
    }
};

bool writeFile(const QString& path, const QByteArray& content, QFile::Permissions permissions)
{
    return writeFile(path, content) && QFile::setPermissions(path, permissions);
}

QByteArray quoted(const QString& path)
{
    return '\'' + QFile::encodeName(path) + '\'';
}

// A script that writes, once it runs, its $0, its number of arguments and its working
// directory into the marker file (whole, by renaming).
QByteArray markerScript(const QString& marker)
{
    return "#!/bin/sh\n{ printf '%s\\n' \"$0\" \"$#\" \"$(pwd -P)\"; } > " +
           quoted(marker + ".part") + " && mv " + quoted(marker + ".part") + ' ' + quoted(marker) +
           '\n';
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// True when this process has no child at all, neither running nor a zombie.
bool hasNoChildren()
{
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

} // namespace

class TestShellLaunch : public QObject {
    Q_OBJECT

private slots:
    void init() { m_oldCurrent = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(m_oldCurrent); }

    void errorTexts_data();
    void errorTexts();
    void startsExecutable_data();
    void startsExecutable();
    void startedProgramIsDetachedAndClean_data();
    void startedProgramIsDetachedAndClean();
    void watchGoesOnWhileOutputIsNotRead_data();
    void watchGoesOnWhileOutputIsNotRead();
    void failedStarts_data();
    void failedStarts();
    void missingPaths_data();
    void missingPaths();
    void badNamesStartNothing_data();
    void badNamesStartNothing();
    void documentsGoToOpener_data();
    void documentsGoToOpener();
    void addressesGoToOpener_data();
    void addressesGoToOpener();

private:
    QString m_oldCurrent;
};

void TestShellLaunch::errorTexts_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0
                       << QStringLiteral("Zuwenig Speicher, ausführbare Datei war zerstört,\n\r"
                                         "Relokationswerte waren ungültig");
    QTest::newRow("2") << 2 << QStringLiteral("Datei wurde nicht gefunden.");
    QTest::newRow("3") << 3 << QStringLiteral("Verzeichnis wurde nicht gefunden.");
    QTest::newRow("5") << 5
                       << QStringLiteral(
                              "Fehler beim gemeinsamen Zugriff auf eine Datei im Netz\n\r"
                              "oder Fehler beim Zugriff auf eine gesperrte Datei im "
                              "Netz.");
    QTest::newRow("6") << 6
                       << QStringLiteral(
                              "Bibliothek forderte separate Datensegmente für jede Task an.");
    QTest::newRow("8") << 8 << QStringLiteral("Zuwenig Speicher, um die Anwendung zu starten.");
    QTest::newRow("10") << 10 << QStringLiteral("Falsche Windows-Version.");
    QTest::newRow("11") << 11
                        << QStringLiteral("Ungültige ausführbare Datei.\n\rEntweder keine "
                                          "Windows-Anwendung oder Fehler in der EXE-Datei.");
    QTest::newRow("12") << 12 << QStringLiteral("Anwendung für ein anderes Betriebssystem.");
    QTest::newRow("13") << 13 << QStringLiteral("Anwendung für MS-DOS 4.0.");
    QTest::newRow("14") << 14 << QStringLiteral("Typ der ausführbaren Datei unbekannt.");
    QTest::newRow("15") << 15
                        << QStringLiteral("Versuch, eine Real-Mode-Anwendung \n\r(für eine "
                                          "frühere Windows-Version) zu laden.");
    QTest::newRow("16") << 16
                        << QStringLiteral(
                               "Versuch, eine zweite Instanz einer ausführbaren Datei mit\n\r"
                               "mehreren Datensegmenten die nicht als nur lesbar\n\r"
                               "gekennzeichnet waren,zu laden.");
    QTest::newRow("19") << 19
                        << QStringLiteral(
                               "Versuch, eine komprimierte ausführbare Datei zu laden.\n\rDie "
                               "Datei muß dekomprimiert werden, bevor sie geladen werden kann.");
    QTest::newRow("20") << 20
                        << QStringLiteral("Ungültige dynamische Linkbibliothek (DLL).\n\rEine "
                                          "der DLLs, die benötigt wurde, um die\n\rAnwendung "
                                          "auszuführen, war beschädigt.");

    // Numbers without a message of their own, the success numbers and the extremes among them.
    for (const qint32 number : {1, 4, 7, 9, 17, 18, 21, 31, 32, 33, 42, -1, -2, INT_MIN, INT_MAX})
        QTest::newRow(qPrintable(QString::number(number)))
            << number << QStringLiteral("Ein unbekannter Fehler ist aufgetreten. (%1)").arg(number);
}

void TestShellLaunch::errorTexts()
{
    QFETCH(qint32, number);
    QFETCH(QString, text);
    QCOMPARE(LaunchErrorText(number), text);
}

void TestShellLaunch::startsExecutable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("relative");

    const QStringList names = {
        QStringLiteral("tool"),           QStringLiteral("mit Leerzeichen"),
        QStringLiteral("Größenänderung"), QStringLiteral("say \"hi\""),
        QStringLiteral("it's"),           QStringLiteral("-x"),
        QStringLiteral("--help"),         QStringLiteral("$(false) `false`; x"),
        QStringLiteral("prog.exe")};
    for (const QString& name : names) {
        QTest::newRow(qPrintable(QStringLiteral("absolute ") + name)) << name << false;
        QTest::newRow(qPrintable(QStringLiteral("relative ") + name)) << name << true;
    }
}

void TestShellLaunch::startsExecutable()
{
    QFETCH(QString, name);
    QFETCH(bool, relative);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString script = dir.filePath(name);
    const QString marker = dir.filePath(QStringLiteral("marker"));
    QVERIFY(writeFile(script, markerScript(marker), Executable));

    CapturingOpener capture;
    QVERIFY(ShellExecute(relative ? name : script, capture.opener()) > 32);
    QTRY_VERIFY(QFile::exists(marker));
    QVERIFY(capture.urls.isEmpty());

    const QStringList lines = readLines(marker);
    QCOMPARE(lines.size(), 3);
    // The script itself ran, under its whole name, without arguments, in our directory.
    QCOMPARE(QFileInfo(lines[0]).canonicalFilePath(), QFileInfo(script).canonicalFilePath());
    QCOMPARE(lines[1], QStringLiteral("0"));
    QCOMPARE(lines[2], QFileInfo(dir.path()).canonicalFilePath());
    QVERIFY(hasNoChildren());
}

void TestShellLaunch::startedProgramIsDetachedAndClean_data()
{
    QTest::addColumn<bool>("watched");
    QTest::newRow("unwatched") << false;
    QTest::newRow("watched through the relay") << true;
}

void TestShellLaunch::startedProgramIsDetachedAndClean()
{
    QFETCH(bool, watched);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString report = dir.filePath(QStringLiteral("report"));
    const QString release = dir.filePath(QStringLiteral("release"));
    const QString done = dir.filePath(QStringLiteral("done"));
    const QString held = dir.filePath(QStringLiteral("held"));

    // The program reports its process and session, its signal state and its open files, then
    // runs until the test releases it or its directory goes (or gives up after a long while).
    // It is a Perl script: a shell would clear the signal mask it was started with.
    QByteArray script = R"(#!/usr/bin/perl
open my $out, '>', '@REPORT@.part' or die;
print $out "$$\n";
open my $stat, '<', '/proc/self/stat' or die;
print $out ((split / /, <$stat>)[5], "\n");
open my $status, '<', '/proc/self/status' or die;
print $out grep { /^Sig(Blk|Ign):/ } <$status>;
print $out readlink($_), "\n" for glob '/proc/self/fd/*';
close $out;
rename '@REPORT@.part', '@REPORT@';
for (my $i = 0; $i < 2000 && !-e '@RELEASE@' && -d '@DIR@'; ++$i) { select undef, undef, undef, 0.05; }
open my $done, '>', '@DONE@';
)";
    script.replace("@REPORT@", QFile::encodeName(report))
        .replace("@RELEASE@", QFile::encodeName(release))
        .replace("@DONE@", QFile::encodeName(done))
        .replace("@DIR@", QFile::encodeName(dir.path()));
    const QString program = dir.filePath(QStringLiteral("program"));
    QVERIFY(writeFile(program, script, Executable));

    // Our state that a started program must not inherit: an open descriptor without
    // close-on-exec, an ignored signal and a blocked one.
    const int fd = ::open(QFile::encodeName(held).constData(), O_RDWR | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &usr1, &oldMask);

    CapturingOpener capture;
    QObject context;
    setProgramRelayExecutable(relayBesideTheProgram());
    const ProgramWatchRequest watch{&context, 60000, {}};
    const int result = ShellExecute(program, capture.opener(), watched ? &watch : nullptr);

    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    std::signal(SIGPIPE, oldPipe);
    ::close(fd);

    QVERIFY(result > 32);
    QTRY_VERIFY(QFile::exists(report));
    // The call came back while the program still runs, and the program is not our child.
    QVERIFY(!QFile::exists(done));
    QVERIFY(hasNoChildren());

    const QStringList lines = readLines(report);
    QVERIFY(lines.size() >= 4);
    QCOMPARE(lines[1], lines[0]); // a session of its own
    bool ok = false;
    for (const QString& line : lines.mid(2, 2)) {
        const qulonglong mask = line.section(QLatin1Char('\t'), 1).toULongLong(&ok, 16);
        QVERIFY2(ok, qPrintable(line));
        if (line.startsWith(QLatin1String("SigIgn")))
            QVERIFY2(!(mask & (1ULL << (SIGPIPE - 1))), qPrintable(line));
        else
            QVERIFY2(mask == 0, qPrintable(line));
    }
    QVERIFY(!lines.contains(QFileInfo(held).canonicalFilePath()));

    QVERIFY(writeFile(release, {}, Plain));
    QTRY_VERIFY(QFile::exists(done));
    QVERIFY(capture.urls.isEmpty());
}

void TestShellLaunch::watchGoesOnWhileOutputIsNotRead_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("lines");
    QTest::newRow("ungelesen") << false << 20000;
    QTest::newRow("geschlossen") << true << 20000;
    // Far more than the pipe and the relay hold.
    QTest::newRow("ungelesen, 3 MB") << false << 450000;
}

void TestShellLaunch::watchGoesOnWhileOutputIsNotRead()
{
    // Our standard output is a pipe that nobody reads, or closed, while the program writes more
    // than a pipe holds and exits: the watch still gets the program's end and the start of what
    // it wrote, and an unread pipe gets all of it once it is read, but for what did not fit in
    // the meantime, which the watch counts.
    QFETCH(bool, closed);
    QFETCH(int, lines);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("program"));
    QVERIFY(writeFile(program, "#!/bin/sh\nseq " + QByteArray::number(lines) + "\nexit 3\n",
                      Executable));
    QByteArray written;
    for (int i = 1; i <= lines; ++i)
        written += QByteArray::number(i) + '\n';

    int unread[2];
    QVERIFY(::pipe2(unread, O_CLOEXEC) == 0);
    const auto closeReadEnd = qScopeGuard([&] { ::close(unread[0]); });
    std::optional<ProgramEnd> end;
    QObject context;
    const ProgramWatchRequest watch{&context, 60000, [&](const ProgramEnd& e) { end = e; }};
    setProgramRelayExecutable(relayBesideTheProgram());
    std::fflush(stdout);
    const int ourOutput = ::dup(STDOUT_FILENO);
    // Closed for the relay only, when it starts: here the number stays taken.
    ::dup3(unread[1], STDOUT_FILENO, closed ? O_CLOEXEC : 0);
    ::close(unread[1]);
    const int result = ShellExecute(program, {}, &watch);
    ::dup2(ourOutput, STDOUT_FILENO);
    ::close(ourOutput);
    QVERIFY(result > 32);

    // The watch ends it, not the test.
    QTRY_VERIFY_WITH_TIMEOUT(end.has_value(), 2 * watch.milliseconds);
    QCOMPARE(end->outcome, ProgramEnd::Outcome::Exited);
    QCOMPARE(end->value, 3);
    QCOMPARE(end->output, written.left(WatchedOutputBytes));
    QCOMPARE(end->omittedBytes, written.size() - WatchedOutputBytes);
    QCOMPARE(end->droppedBytes > 0, lines > 20000);
    if (closed)
        return;

    // Read to its end, which comes when the relay is done: nothing was lost on the way.
    QByteArray passed;
    char buffer[16384];
    ssize_t got;
    while ((got = ::read(unread[0], buffer, sizeof buffer)) > 0)
        passed.append(buffer, got);
    QCOMPARE(passed, written.left(passed.size()));
    QCOMPARE(passed.size() + end->droppedBytes, written.size());
}

void TestShellLaunch::failedStarts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");

    // "@" stands for the test's directory.
    QTest::newRow("garbage") << QByteArray("this is not a program\n\x01\x02\x03") << 11;
    QTest::newRow("empty") << QByteArray() << 11;
    QTest::newRow("broken ELF") << QByteArray("\x7f"
                                              "ELF\x02\x01\x01",
                                              7) +
                                       QByteArray(120, 'x')
                                << 11;
    QTest::newRow("interpreter not executable") << QByteArray("#!@/interpreter\n") << 5;
    QTest::newRow("interpreter missing") << QByteArray("#!@/nothing\n") << 2;
    QTest::newRow("interpreter below a file") << QByteArray("#!@/interpreter/sh\n") << 3;
}

void TestShellLaunch::failedStarts()
{
    QFETCH(QByteArray, content);
    QFETCH(int, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // An interpreter without execute permission stops even root.
    QVERIFY(writeFile(dir.filePath(QStringLiteral("interpreter")), "#!/bin/sh\n", Plain));
    const QString program = dir.filePath(QStringLiteral("program"));
    QVERIFY(writeFile(program, content.replace('@', QFile::encodeName(dir.path())), Executable));

    CapturingOpener capture;
    QCOMPARE(ShellExecute(program, capture.opener()), expected);
    QVERIFY(capture.urls.isEmpty());
    QVERIFY(hasNoChildren());
}

void TestShellLaunch::missingPaths_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("expected");

    // "@" stands for the test's directory, which is also the current directory.
    QTest::newRow("empty") << QString() << 2;
    QTest::newRow("missing file") << QStringLiteral("@/missing.exe") << 2;
    QTest::newRow("missing file, relative") << QStringLiteral("missing.exe") << 2;
    QTest::newRow("missing folder") << QStringLiteral("@/nofolder/missing.exe") << 3;
    QTest::newRow("missing folder, relative") << QStringLiteral("nofolder/missing.exe") << 3;
    QTest::newRow("missing folder, trailing slash") << QStringLiteral("@/nofolder/sub/") << 3;
    QTest::newRow("file as folder") << QStringLiteral("@/file.txt/missing.exe") << 3;
    QTest::newRow("file with trailing slash") << QStringLiteral("@/file.txt/") << 3;
    QTest::newRow("windows path") << QStringLiteral("C:\\Programme\\Test.exe") << 2;
    QTest::newRow("on PATH only") << QStringLiteral("sh") << 2;
    QTest::newRow("4000 characters") << QString(4000, QLatin1Char('x')) << 2;
    QTest::newRow("4000 characters of folders")
        << QStringLiteral("ab/").repeated(1333) + QLatin1Char('c') << 3;
}

void TestShellLaunch::missingPaths()
{
    QFETCH(QString, document);
    QFETCH(int, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("file.txt")), "text", Plain));

    CapturingOpener capture;
    QCOMPARE(ShellExecute(document.replace(QLatin1Char('@'), dir.path()), capture.opener()),
             expected);
    QVERIFY(capture.urls.isEmpty());
}

void TestShellLaunch::badNamesStartNothing_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("expected");

    // The current directory holds the program "a" and the folder "bin" with the program "tool";
    // "bin" is on PATH. Each text names neither, but a launcher that splits, unquotes, hands
    // the text to a shell, searches PATH or cuts at a NUL would start one of them.
    QTest::newRow("blank") << QStringLiteral("a b") << 2;
    QTest::newRow("trailing blank") << QStringLiteral("a ") << 2;
    QTest::newRow("quoted") << QStringLiteral("\"a\"") << 2;
    QTest::newRow("quotes inside") << QStringLiteral("a\" \"b") << 2;
    QTest::newRow("command list") << QStringLiteral("x; ./a") << 3;
    QTest::newRow("and") << QStringLiteral("x && ./a") << 3;
    QTest::newRow("substitution") << QStringLiteral("$(./a)") << 3;
    QTest::newRow("backquotes") << QStringLiteral("`./a`") << 3;
    QTest::newRow("pipe") << QStringLiteral("x|./a") << 3;
    QTest::newRow("line feed") << QStringLiteral("x\n./a") << 3;
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << 2;
    QTest::newRow("trailing slash") << QStringLiteral("a/") << 3;
    QTest::newRow("leading dash") << QStringLiteral("-a") << 2;
    QTest::newRow("umlaut") << QStringLiteral("ä") << 2;
    QTest::newRow("on PATH") << QStringLiteral("tool") << 2;
    QTest::newRow("4000 characters") << QStringLiteral("a ") + QString(3998, QLatin1Char('x')) << 2;
}

void TestShellLaunch::badNamesStartNothing()
{
    QFETCH(QString, document);
    QFETCH(int, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("a")), markerScript(marker), Executable));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bin")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("bin/tool")), markerScript(marker), Executable));
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.filePath(QStringLiteral("bin"))) + ':' + oldPath);

    CapturingOpener capture;
    const int result = ShellExecute(document, capture.opener());
    qputenv("PATH", oldPath);
    QCOMPARE(result, expected);
    QVERIFY(capture.urls.isEmpty());

    // A program started by mistake would have written its marker before this one does.
    const QString sentinel = dir.filePath(QStringLiteral("sentinel"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("s")), markerScript(sentinel), Executable));
    QVERIFY(ShellExecute(QStringLiteral("s"), capture.opener()) > 32);
    QTRY_VERIFY(QFile::exists(sentinel));
    QVERIFY(!QFile::exists(marker));
}

void TestShellLaunch::documentsGoToOpener_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("path");

    // "@" stands for the test's directory, which is also the current directory.
    QTest::newRow("file") << QStringLiteral("@/Bericht.txt") << QStringLiteral("@/Bericht.txt");
    QTest::newRow("file, relative")
        << QStringLiteral("Bericht.txt") << QStringLiteral("@/Bericht.txt");
    QTest::newRow("script without execute permission")
        << QStringLiteral("@/script.sh") << QStringLiteral("@/script.sh");
    QTest::newRow("folder") << QStringLiteral("@/Ordner") << QStringLiteral("@/Ordner");
    QTest::newRow("folder, relative, trailing slash")
        << QStringLiteral("Ordner/") << QStringLiteral("@/Ordner/");
    QTest::newRow("blanks, umlauts, URL characters")
        << QStringLiteral("@/Übersicht #1? 100% März.pdf")
        << QStringLiteral("@/Übersicht #1? 100% März.pdf");
    QTest::newRow("quotes") << QStringLiteral("@/say \"hi\" 'there'.txt")
                            << QStringLiteral("@/say \"hi\" 'there'.txt");
    QTest::newRow("leading dash, relative")
        << QStringLiteral("-rf.txt") << QStringLiteral("@/-rf.txt");
    QTest::newRow("colon inside, relative")
        << QStringLiteral("./http:x.txt") << QStringLiteral("@/./http:x.txt");
}

void TestShellLaunch::documentsGoToOpener()
{
    QFETCH(QString, document);
    QFETCH(QString, path);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString root = QDir::currentPath();
    document.replace(QLatin1Char('@'), root);
    path.replace(QLatin1Char('@'), root);

    const QString marker = dir.filePath(QStringLiteral("marker"));
    QVERIFY(QDir(root).mkdir(QStringLiteral("Ordner")));
    for (const QString& name :
         {QStringLiteral("Bericht.txt"), QStringLiteral("Übersicht #1? 100% März.pdf"),
          QStringLiteral("say \"hi\" 'there'.txt"), QStringLiteral("-rf.txt"),
          QStringLiteral("http:x.txt"), QStringLiteral("script.sh")})
        QVERIFY(writeFile(dir.filePath(name), markerScript(marker), Plain));

    CapturingOpener capture;
    QVERIFY(ShellExecute(document, capture.opener()) > 32);
    QCOMPARE(capture.urls, QList<QUrl>{QUrl::fromLocalFile(path)});
    QVERIFY(capture.urls.first().isLocalFile());
    QCOMPARE(capture.urls.first().toLocalFile(), path);

    capture.answer = false;
    QCOMPARE(ShellExecute(document, capture.opener()), 31);
    QCOMPARE(capture.urls.size(), 2);
    QCOMPARE(capture.urls.last(), capture.urls.first());
    QVERIFY(!QFile::exists(marker));
}

void TestShellLaunch::addressesGoToOpener_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("url");

    QTest::newRow("MAILTO") << QStringLiteral("MAILTO:someone@example.org")
                            << QStringLiteral("mailto:someone@example.org");
    QTest::newRow("mailto") << QStringLiteral("mailto:someone@example.org")
                            << QStringLiteral("mailto:someone@example.org");
    QTest::newRow("MailTo with name")
        << QStringLiteral("MailTo:Jörg Müller <joerg@example.org>")
        << QStringLiteral("mailto:Jörg Müller %3Cjoerg@example.org%3E");
    QTest::newRow("https") << QStringLiteral("https://example.org")
                           << QStringLiteral("https://example.org");
    QTest::newRow("HTTP with query") << QStringLiteral("HTTP://example.org/a/b?c=d#e")
                                     << QStringLiteral("http://example.org/a/b?c=d#e");
    QTest::newRow("other scheme") << QStringLiteral("ftp://example.org/pub/")
                                  << QStringLiteral("ftp://example.org/pub/");
    QTest::newRow("scheme shaped like a file name")
        << QStringLiteral("x-tool.v2+a:open") << QStringLiteral("x-tool.v2+a:open");
}

void TestShellLaunch::addressesGoToOpener()
{
    QFETCH(QString, document);
    QFETCH(QString, url);

    // Paths named like the addresses exist in the current directory and must not be started.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("https:/example.org")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("ftp:/example.org/pub")));
    for (const QString& name :
         {QStringLiteral("MAILTO:someone@example.org"), QStringLiteral("x-tool.v2+a:open"),
          QStringLiteral("https:/example.org/index")})
        QVERIFY(writeFile(dir.filePath(name), markerScript(marker), Executable));

    CapturingOpener capture;
    QVERIFY(ShellExecute(document, capture.opener()) > 32);
    QCOMPARE(capture.urls, QList<QUrl>{QUrl(url)});
    QCOMPARE(capture.urls.first().toString(QUrl::PrettyDecoded), url);

    capture.answer = false;
    QCOMPARE(ShellExecute(document, capture.opener()), 31);
    QCOMPARE(capture.urls.size(), 2);

    // An address that is no valid URL reaches no program.
    QCOMPARE(ShellExecute(QStringLiteral("http://[::1"), capture.opener()), 31);
    QCOMPARE(capture.urls.size(), 2);
    QVERIFY(!QFile::exists(marker));
}

QTEST_MAIN(TestShellLaunch)
#include "tst_shelllaunch.moc"
