// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for the hand-over to a running instance: a second start that hands its file over
// against a cold start of the program (until its window answers a request), and the running
// instance's memory while stalled connections hold its hand-over socket and after they close.
// The program runs on the X display when there is one, as a user starts it (run the benchmark
// under xvfb-run -a), otherwise on the offscreen platform, whose cold start lacks the display's
// share and so makes the ratio larger.
//
//   bench_handover [rounds] [stalled connections]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A connected socket to the path, or -1.
int connectTo(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::copy(name.cbegin(), name.cend(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// True when the instance at the path answered a restore request.
bool answers(const QString& path)
{
    const int fd = connectTo(path);
    if (fd < 0)
        return false;
    char answer[8] = {};
    pollfd wait{fd, POLLIN, 0};
    const bool done = ::write(fd, "restore\n", 8) == 8 && ::poll(&wait, 1, 5000) == 1 &&
                      ::read(fd, answer, sizeof answer) == 5;
    ::close(fd);
    return done;
}

long residentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int stalled = argc > 2 ? std::max(1, atoi(argv[2])) : 4000;
    const QString program = QCoreApplication::applicationDirPath() + "/../bin/kompaktor";

    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("bin"));
    QFile(dir.filePath("bin/upx")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("Datei.exe")).open(QIODevice::WriteOnly);
    QDir().mkpath(dir.filePath("run"));
    QFile::setPermissions(dir.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH", dir.filePath("bin"));
    const bool onDisplay = qEnvironmentVariableIsSet("DISPLAY");
    if (!onDisplay)
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    environment.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    const QString socket = dir.filePath("run/Kompaktor-%1.socket").arg(getuid());
    // The socket's appearance is waited for without polling, which would take a core from the
    // starting program on a small machine.
    const auto startFirst = [&](QProcess& first) {
        QFile::remove(socket);
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ::inotify_add_watch(watch, QFile::encodeName(dir.filePath("run")).constData(), IN_CREATE);
        first.setProcessEnvironment(environment);
        first.start(program, {});
        first.waitForStarted();
        char events[4096];
        while (!QFile::exists(socket) && ::read(watch, events, sizeof events) > 0) {
        }
        ::close(watch);
        while (!answers(socket))
            QThread::msleep(1);
    };

    std::vector<double> cold, handOver;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        QProcess first;
        startFirst(first);
        cold.push_back(clock.nsecsElapsed() / 1e6);
        // The window settles before the later start comes, as when a user starts it.
        QThread::msleep(500);

        QProcess second;
        second.setProcessEnvironment(environment);
        clock.restart();
        second.start(program, {dir.filePath("Datei.exe")});
        second.waitForFinished();
        handOver.push_back(clock.nsecsElapsed() / 1e6);
        if (second.exitCode() != 0)
            std::printf("round %d: the second start ended with %d\n", round, second.exitCode());
        first.kill();
        first.waitForFinished();
    }
    std::printf("on the %s platform\n", onDisplay ? "X display's" : "offscreen");
    std::printf("cold start until the window answers: %.1f ms (median of %d)\n", median(cold),
                rounds);
    std::printf("second start handing its file over:  %.1f ms\n", median(handOver));
    std::printf("ratio hand-over / cold start:        %.2f\n", median(handOver) / median(cold));

    QProcess first;
    startFirst(first);
    const long before = residentKilobytes(first.processId());
    std::vector<int> connections;
    const QByteArray request = "open 65536\n" + QByteArray(32768, 'x');
    for (int i = 0; i < stalled; ++i) {
        const int fd = connectTo(socket);
        if (fd < 0)
            break;
        ::send(fd, request.constData(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        connections.push_back(fd);
    }
    QThread::msleep(1500);
    const long during = residentKilobytes(first.processId());
    for (const int fd : connections)
        ::close(fd);
    QThread::msleep(1500);
    std::printf("running instance: %ld kB before, %ld kB with %zu stalled connections, %ld kB "
                "after they closed; it %s\n",
                before, during, connections.size(), residentKilobytes(first.processId()),
                answers(socket) ? "still answers" : "no longer answers");
    first.kill();
    first.waitForFinished();
    return 0;
}
