// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tupxform1.h"
#include "platform/instancemarker.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <QStandardPaths>

#include <csignal>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Runs the real program as separate processes, each with the marker's files in a folder of
// the test's own.
class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY(m_dir.isValid());
        // Every start finds a packer, so that no warning box holds up the start.
        const QString bin = m_dir.path() + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        QFile packer(bin + QStringLiteral("/upx"));
        QVERIFY(packer.open(QIODevice::WriteOnly));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("PATH"), bin);
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        qputenv("PATH", QFile::encodeName(bin));
    }

    void init()
    {
        // A fresh marker folder for each test, for this process and its children alike.
        m_runtime = std::make_unique<QTemporaryDir>(m_dir.path() + QStringLiteral("/runXXXXXX"));
        QVERIFY(m_runtime->isValid());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
    }

    void cleanup()
    {
        for (QProcess* process : std::as_const(m_processes)) {
            process->kill();
            process->waitForFinished(5000);
        }
        qDeleteAll(m_processes);
        m_processes.clear();
    }

    void secondStartRestoresTheRunningWindow_data()
    {
        QTest::addColumn<Qt::WindowState>("state");
        QTest::newRow("minimised") << Qt::WindowMinimized;
        QTest::newRow("maximised") << Qt::WindowMaximized;
    }

    void secondStartRestoresTheRunningWindow()
    {
        QFETCH(Qt::WindowState, state);
        InstanceMarker marker(QStringLiteral("Kompaktor"));
        QVERIFY(marker.acquire());
        TUPXForm1 form(m_runtime->filePath(QStringLiteral("kompaktor")));
        int requests = 0;
        connect(&marker, &InstanceMarker::restoreRequested, &form, [&] {
            ++requests;
            bringToFront(form);
        });
        marker.listen();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.setWindowState(state);
        QTRY_VERIFY(form.windowState() & state);

        QProcess* second = start();
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 15000);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(requests, 1);
        QVERIFY(!form.isMinimized());
        QVERIFY(!form.isMaximized());
        QTRY_COMPARE(form.clientArea()->size(), QSize(761, 517));
        QCOMPARE(form.size(), QSize(767, 542));
    }

    void secondStartHandsItsFileOver()
    {
        // A later start in another folder names a file relative to it, whose name holds a line
        // break and umlauts: the running window takes it as if it had been chosen in the first
        // file dialog. A later start with two files hands both to the list of files.
        InstanceMarker marker(QStringLiteral("Kompaktor"));
        QVERIFY(marker.acquire());
        TUPXForm1 form(m_runtime->filePath(QStringLiteral("kompaktor")));
        connect(&marker, &InstanceMarker::restoreRequested, &form,
                [&form](const QString& file) { answerLaterStart(form, file); });
        marker.listen();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(form.isMinimized());
        const QString folder = m_runtime->filePath(QStringLiteral("Ordner"));
        const QString name = QStringLiteral("Zeile\nfür Jörg.EXE");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile(folder + QLatin1Char('/') + name).open(QIODevice::WriteOnly));

        QProcess* second = start(QStringLiteral(KOMPAKTOR_BINARY), {name}, folder);
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 15000);
        QCOMPARE(second->exitCode(), 0);
        const QString path = folder + QLatin1Char('/') + name;
        QCOMPARE(form.Filename1->text(), path);
        QCOMPARE(form.Filename2->text(), path);
        QVERIFY(form.KompressBtn->isEnabled() && form.TryBtn->isEnabled());
        QVERIFY(!form.isMinimized());

        QProcess* third =
            start(QStringLiteral(KOMPAKTOR_BINARY), {name, QStringLiteral("b.exe")}, folder);
        QTRY_COMPARE_WITH_TIMEOUT(third->state(), QProcess::NotRunning, 15000);
        QCOMPARE(form.ListView1->topLevelItemCount(), 2);
        QCOMPARE(form.ListView1->topLevelItem(0)->data(0, Qt::UserRole + 1).toString(), path);
    }

    void killedInstanceLeavesNoMarker()
    {
        QProcess* first = start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socketPath()), 15000);
        QProcess* second = start();
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        first->kill();
        QVERIFY(first->waitForFinished(5000));
        // The killed instance leaves its socket file behind, but nobody answers there any more
        // until the next first instance serves it anew.
        QVERIFY(QFile::exists(socketPath()));
        QVERIFY(!serving());
        QProcess* third = start();
        QTRY_VERIFY_WITH_TIMEOUT(serving(), 15000);
        QCOMPARE(third->state(), QProcess::Running);
        QProcess* fourth = start();
        QVERIFY(fourth->waitForFinished(15000));
        QCOMPARE(fourth->exitCode(), 0);
        QCOMPARE(third->state(), QProcess::Running);
    }

    void simultaneousStartsGiveOneInstance()
    {
        QList<QProcess*> starts;
        for (int i = 0; i < 4; ++i)
            starts << start();
        QTRY_COMPARE_WITH_TIMEOUT(running(starts), 1, 20000);
        // The one left is the running instance, not a start that still waits for one.
        QVERIFY(answers());
        QCOMPARE(running(starts), 1);
    }

    void aWaitingStartTakesOverFromALostInstance()
    {
        // The running instance hangs while five later starts wait for its answer, then dies:
        // one of the five becomes the running instance, the others hand over to it.
        QProcess* first = start();
        QTRY_VERIFY_WITH_TIMEOUT(serving(), 15000);
        QVERIFY(::kill(pid_t(first->processId()), SIGSTOP) == 0);
        QList<QProcess*> later;
        for (int i = 0; i < 5; ++i)
            later << start();
        // Each waits for its answer (a probe's connection may wait in the queue as well).
        QTRY_VERIFY_WITH_TIMEOUT(waitingConnections() >= 5, 15000);
        QVERIFY(::kill(pid_t(first->processId()), SIGKILL) == 0);
        QVERIFY(first->waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(running(later), 1, 20000);
        QVERIFY(serving());
    }

    void endingSignalsSaveTheOptions_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void endingSignalsSaveTheOptions()
    {
        QFETCH(int, signal);
        // A copy of the program alone in a folder, so that its settings file is its own.
        const QString folder = m_runtime->filePath(QStringLiteral("prog"));
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + QStringLiteral("/kompaktor");
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_BINARY), program));
        QProcess* process = start(program);
        QTRY_VERIFY_WITH_TIMEOUT(serving(), 15000);
        QVERIFY(::kill(pid_t(process->processId()), signal) == 0);
        QVERIFY(process->waitForFinished(10000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QFile settings(folder + QStringLiteral("/Kompaktor.INI"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray content = settings.readAll();
        QVERIFY2(content.startsWith("[Option]\r\nKompresslevel=7\r\n") &&
                     content.contains("AllIcons=0\r\n") && content.contains("\r\n[Erweitert]\r\n"),
                 content.constData());
    }

    void foreignMarkerIsIgnored()
    {
        if (::geteuid() != 0)
            QSKIP("only the super-user can make a marker that belongs to another user");
        // A marker file of another user in the folder must not stop this user's program.
        InstanceMarker foreign(QStringLiteral("Kompaktor"));
        QVERIFY(foreign.acquire());
        const QString lock = m_runtime->path() + QStringLiteral("/Kompaktor-%1.lock").arg(getuid());
        QVERIFY(::chown(QFile::encodeName(lock).constData(), 65534, 65534) == 0);
        QProcess* program = start();
        // It runs as the first instance: it serves restore requests.
        QTRY_VERIFY_WITH_TIMEOUT(serving(), 15000);
        QCOMPARE(program->state(), QProcess::Running);
    }

    void markerFolderWithoutRuntimeFolder_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<bool>("used");
        // Each row prepares the name "kompaktor-UID" in the temporary folder.
        QTest::newRow("missing") << QString() << true;
        QTest::newRow("own, open to others") << QStringLiteral("open") << true;
        QTest::newRow("link to a folder") << QStringLiteral("link") << false;
        QTest::newRow("another user's") << QStringLiteral("foreign") << false;
        // A temporary folder whose path leaves no room for the socket's in a socket address.
        QTest::newRow("too long a path") << QStringLiteral("long") << false;
    }

    void markerFolderWithoutRuntimeFolder()
    {
        QFETCH(QString, setUp);
        QFETCH(bool, used);
        if (setUp == QLatin1String("foreign") && ::geteuid() != 0)
            QSKIP("only the super-user can make a folder that belongs to another user");
        // Without a runtime folder the marker lives in a folder of the user's own in the
        // temporary folder, which only the user may enter; any other thing under that name is
        // left alone, and the program then runs without a marker.
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const QString temp = setUp == QLatin1String("long")
                                 ? m_runtime->filePath(QString(100, QLatin1Char('x')))
                                 : m_runtime->path();
        QVERIFY(QDir().mkpath(temp));
        qputenv("TMPDIR", QFile::encodeName(temp));
        const QString folder = temp + QStringLiteral("/kompaktor-%1").arg(getuid());
        const QString elsewhere = m_runtime->filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        if (setUp == QLatin1String("link")) {
            QVERIFY(QFile::link(elsewhere, folder));
        } else if (!setUp.isEmpty() && setUp != QLatin1String("long")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0777) == 0);
            if (setUp == QLatin1String("foreign"))
                QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
        }
        {
            InstanceMarker marker(QStringLiteral("Kompaktor"));
            const bool acquired = marker.acquire();
            marker.listen();
            qputenv("TMPDIR", oldTemp);
            QVERIFY(acquired);
            const QString lock = folder + QStringLiteral("/Kompaktor-%1.lock").arg(getuid());
            QCOMPARE(QFileInfo::exists(lock), used);
            QCOMPARE(
                QFileInfo::exists(folder + QStringLiteral("/Kompaktor-%1.socket").arg(getuid())),
                used);
        }
        QVERIFY(QDir(elsewhere).isEmpty());
        struct stat status {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &status) == 0,
                 setUp != QLatin1String("long"));
        if (used)
            QCOMPARE(status.st_mode & 0777, 0700u);
    }

    void plantedSocketOfAnotherUserIsNotSentTheName()
    {
        const QString python = QStandardPaths::findExecutable(
            QStringLiteral("python3"), {QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
        if (::geteuid() != 0 || python.isEmpty())
            QSKIP("needs the super-user and python3 to listen as another user");
        // The running instance holds the marker, but the socket under its name belongs to
        // another user, who reports what the one connection it takes sent. The socket is made
        // here and then handed to that user, who listens on it: the marker folder stays ours.
        InstanceMarker marker(QStringLiteral("Kompaktor"));
        QVERIFY(marker.acquire());
        QProcess listener;
        listener.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        listener.start(python, {QStringLiteral("-c"), QStringLiteral(R"(
import os, socket, sys
listener = socket.socket(socket.AF_UNIX)
listener.bind(sys.argv[1])
os.chown(sys.argv[1], 65534, 65534)
os.setgroups([])
os.setgid(65534)
os.setuid(65534)
listener.listen()
print("ready", flush=True)
connection = listener.accept()[0]
received = b""
while chunk := connection.recv(65536):
    received += chunk
print(received.hex(), flush=True)
)"),
                                socketPath()});
        QTRY_VERIFY_WITH_TIMEOUT(listener.canReadLine(), 15000);
        QCOMPARE(listener.readLine(), QByteArray("ready\n"));

        QVERIFY(
            QFile(m_runtime->filePath(QStringLiteral("Geheim.exe"))).open(QIODevice::WriteOnly));
        QProcess* second = start(QStringLiteral(KOMPAKTOR_BINARY), {QStringLiteral("Geheim.exe")},
                                 m_runtime->path());
        QTRY_VERIFY_WITH_TIMEOUT(listener.canReadLine(), 15000);
        QCOMPARE(listener.readLine(), QByteArray("\n"));
        // The start runs as the first instance and serves the name itself.
        QTRY_VERIFY_WITH_TIMEOUT(answers(), 15000);
        QCOMPARE(second->state(), QProcess::Running);
    }

    void stalledConnectionsDoNotJamTheHandOver()
    {
        // The running instance has the usual 1,024 descriptors; 2,000 connections that stop in
        // the middle of their request would use them all up if it kept them.
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &old) == 0);
        if (old.rlim_max < 2100)
            QSKIP("needs room for 2,000 descriptors");
        rlimit limit = old;
        limit.rlim_cur = 1024;
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        QProcess* first = start();
        limit.rlim_cur = old.rlim_max;
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(serving(), 15000);

        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(socketPath());
        std::copy(name.cbegin(), name.cend(), address.sun_path);
        std::vector<int> stalled;
        for (int i = 0; i < 2000; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            stalled.push_back(fd);
            QVERIFY(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            QVERIFY(::send(fd, "open 65536\n", 11, MSG_NOSIGNAL) == 11);
        }
        QVERIFY(QFile(m_runtime->filePath(QStringLiteral("Datei.exe"))).open(QIODevice::WriteOnly));
        QProcess* second = start(QStringLiteral(KOMPAKTOR_BINARY), {QStringLiteral("Datei.exe")},
                                 m_runtime->path());
        QVERIFY(second->waitForFinished(15000));
        // The instance took the later start's connection after all the stalled ones, closing
        // the oldest to keep no more than 32 open, instead of waiting for them to expire.
        const auto open = std::count_if(stalled.cbegin(), stalled.cend(), [](int fd) {
            pollfd closed{fd, POLLRDHUP, 0};
            return ::poll(&closed, 1, 0) == 0;
        });
        for (const int fd : stalled)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &old);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(open <= 32, qPrintable(QString::number(open)));
        QCOMPARE(first->state(), QProcess::Running);
    }

private:
    // How many of the starts still run; each one that ended handed over and ended with 0.
    static qsizetype running(const QList<QProcess*>& starts)
    {
        qsizetype count = 0;
        for (const QProcess* process : starts) {
            if (process->state() != QProcess::NotRunning)
                ++count;
            else
                [&] { QCOMPARE(process->exitCode(), 0); }();
        }
        return count;
    }

    QProcess* start(const QString& program = QStringLiteral(KOMPAKTOR_BINARY),
                    const QStringList& arguments = {}, const QString& folder = QString())
    {
        auto* process = new QProcess;
        process->setProcessEnvironment(m_environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setWorkingDirectory(folder);
        process->start(program, arguments);
        [&] { QVERIFY(process->waitForStarted(5000)); }();
        m_processes << process;
        return process;
    }

    bool serving() const
    {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        return socket.waitForConnected(1000);
    }

    // True when the instance on the socket took a restore request.
    bool answers() const
    {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(1000))
            return false;
        socket.write("restore\n");
        return socket.waitForReadyRead(5000) && socket.readAll() == "done\n";
    }

    // Connections to the socket that wait in its queue, not yet taken by the instance.
    int waitingConnections() const
    {
        QFile table(QStringLiteral("/proc/net/unix"));
        if (!table.open(QIODevice::ReadOnly))
            return -1;
        // Num RefCount Protocol Flags Type St Inode Path: the listening socket has the flag
        // "accepts connections", those in its queue have none.
        const QByteArray ending = ' ' + QFile::encodeName(socketPath()) + '\n';
        int waiting = 0;
        for (const QByteArray& line : table.readAll().split('\n')) {
            if ((line + '\n').endsWith(ending) &&
                line.simplified().split(' ').value(3) == "00000000")
                ++waiting;
        }
        return waiting;
    }

    QString socketPath() const
    {
        return m_runtime->path() + QStringLiteral("/Kompaktor-%1.socket").arg(getuid());
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_runtime;
    QProcessEnvironment m_environment;
    QList<QProcess*> m_processes;
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
