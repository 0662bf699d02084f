// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for the watched trial run: the time from the click (the watched launch) to the report
// against a direct run of the same tiny program, and the run time that the report gives against
// the time a direct run takes, for a program of about 1 ms and one of 1 s.
//
//   bench_trialrelay [runs]

#include "platform/shelllaunch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds from starting the program to its end, waited for directly.
double directRun(const char* program, const char* argument)
{
    char* const argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    QElapsedTimer clock;
    clock.start();
    pid_t pid;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    waitpid(pid, nullptr, 0);
    return clock.nsecsElapsed() / 1e6;
}

struct WatchedRun {
    double clickToReport = -1;
    double reported = -1;
};

// A watched launch as the trial button makes it, until the watch hands over the program's end.
WatchedRun watchedRun(const QString& program)
{
    WatchedRun run;
    QEventLoop loop;
    QElapsedTimer clock;
    const ProgramWatchRequest watch{&loop, 10000, [&](const ProgramEnd& end) {
                                        run.clickToReport = clock.nsecsElapsed() / 1e6;
                                        run.reported = double(end.milliseconds);
                                        loop.quit();
                                    }};
    clock.start();
    if (ShellExecute(program, {}, &watch) > 32)
        loop.exec();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    setProgramRelayExecutable(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../bin/kompaktor-relay"));

    std::vector<double> direct, click;
    for (int i = 0; i < runs; ++i) {
        direct.push_back(directRun("/bin/true", nullptr));
        click.push_back(watchedRun(QStringLiteral("/bin/true")).clickToReport);
    }
    std::printf("/bin/true directly:          %.2f ms (median of %d)\n", median(direct), runs);
    std::printf("click to report:             %.2f ms\n", median(click));
    std::printf("ratio click-to-report/direct: %.2f\n", median(click) / median(direct));

    // Scripts that sleep for about 1 ms and for 1 s; the truth is a direct run of the same.
    QTemporaryDir dir;
    for (const auto& [seconds, count] :
         {std::pair{"0.001", runs}, std::pair{"1", std::min(runs, 5)}}) {
        const QString script = dir.filePath(QLatin1String(seconds));
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("#!/bin/sh\nexec /bin/sleep ") + seconds + '\n');
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = QFile::encodeName(script);
        std::vector<double> truth, reported;
        for (int i = 0; i < count; ++i) {
            truth.push_back(directRun(path.constData(), nullptr));
            reported.push_back(watchedRun(script).reported);
        }
        std::printf("sleep %s s: true run %.2f ms, reported %.0f ms, off by %.2f ms\n", seconds,
                    median(truth), median(reported), median(reported) - median(truth));
    }
    return 0;
}
