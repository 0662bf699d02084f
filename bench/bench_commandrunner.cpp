// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for the command runner: its overhead against starting the same packer command
// directly, the program's CPU time against the packer's while the packer shows its progress,
// and the time until the transcript of a large output is complete in the output box.
//
//   bench_commandrunner [runs]

#include "app/application.h"
#include "app/tupxform1.h"
#include "packer/packercommands.h"
#include "packer/packerrun.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include <sys/resource.h>

namespace {

class NullSink : public TranscriptSink {
public:
    void clear() override {}
    void append(const QString&) override {}
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds for starting the program directly and waiting for its end, without a window.
double directRun(const PackerCommand& command)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.program, command.arguments);
    process.waitForFinished(-1);
    process.readAll();
    return clock.nsecsElapsed() / 1e6;
}

double runnerRun(const PackerCommand& command)
{
    NullSink sink;
    QElapsedTimer clock;
    clock.start();
    PackerRun run(command, &sink);
    QEventLoop wait;
    QObject::connect(&run, &PackerRun::finished, &wait, &QEventLoop::quit);
    run.start();
    if (run.isRunning())
        wait.exec();
    return clock.nsecsElapsed() / 1e6;
}

// The CPU time, user and system, of the process or of its ended children.
double cpuMilliseconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    setUpApplication(application);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    QTemporaryDir dir;

    QString packer = QStringLiteral(KOMPAKTOR_PACKER);
    if (!QFileInfo(packer).isExecutable()) {
        packer = dir.filePath(QStringLiteral("upx-version"));
        writeScript(packer, "echo upx 3.96\n");
    }
    const PackerCommand version = packerCommand(packer + ' ', QStringLiteral("-V"));
    std::vector<double> direct;
    std::vector<double> runner;
    for (int i = 0; i < runs; ++i) {
        direct.push_back(directRun(version));
        runner.push_back(runnerRun(version));
    }
    std::printf("overhead: '%s -V', %d runs, median direct %.2f ms, runner %.2f ms, ratio %.2f\n",
                qPrintable(packer), runs, median(direct), median(runner),
                median(runner) / median(direct));
    std::fflush(stdout);

    // A real compress, which the runner lets write to a terminal so that it shows its
    // progress; directly it writes to a pipe.
    if (QFileInfo(packer).isExecutable()) {
        const QString program = dir.filePath(QStringLiteral("bash-kopie"));
        QFile::copy(QStringLiteral("/bin/bash"), program);
        const PackerCommand compress{packer,
                                     {QStringLiteral("-1"), QStringLiteral("-f"),
                                      QStringLiteral("-o"), dir.filePath(QStringLiteral("out")),
                                      program},
                                     QString()};
        direct.clear();
        runner.clear();
        for (int i = 0; i < runs; ++i) {
            direct.push_back(directRun(compress));
            runner.push_back(runnerRun(compress));
        }
        std::printf("terminal: 'upx -1' on a copy of /bin/bash, %d runs, median direct (pipe) "
                    "%.2f ms, runner (terminal) %.2f ms, ratio %.2f\n",
                    runs, median(direct), median(runner), median(runner) / median(direct));
        std::fflush(stdout);
    }

    // The whole path of a command button: runner, decoding, and the output box.
    const QString programDir = dir.filePath(QStringLiteral("prog/"));
    QDir().mkpath(programDir);
    writeScript(programDir + QStringLiteral("upx"), "exit 0\n");
    TUPXForm1 form(programDir + QStringLiteral("kompaktor"));
    form.show();
    QApplication::processEvents();

    // A "--best" compress of a copy of /bin/bash from the window, with its progress in the
    // status line, by the packer that the program uses.
    const QString upx =
        QStandardPaths::findExecutable(QStringLiteral("upx"), {QStringLiteral("/usr/bin")});
    if (!upx.isEmpty()) {
        // The file, the last argument, goes to the packer with "--best" alone, whatever else
        // the compress line holds.
        writeScript(programDir + QStringLiteral("upx"),
                    "for file; do :; done\nexec " + QFile::encodeName(upx) + " --best \"$file\"\n");
        const QString program = dir.filePath(QStringLiteral("bash-best"));
        QFile::copy(QStringLiteral("/bin/bash"), program);
        form.Filename1->setText(program);
        form.ComboBox1->setEditText(QStringLiteral("-best"));
        const double ownBefore = cpuMilliseconds(RUSAGE_SELF);
        const double packerBefore = cpuMilliseconds(RUSAGE_CHILDREN);
        form.KompressBtnClick();
        const double own = cpuMilliseconds(RUSAGE_SELF) - ownBefore;
        const double packer = cpuMilliseconds(RUSAGE_CHILDREN) - packerBefore;
        std::printf("progress: '%s --best' on a copy of /bin/bash from the window, program "
                    "%.0f ms CPU, packer %.0f ms CPU, ratio %.2f %%\n",
                    qPrintable(upx), own, packer, 100 * own / packer);
        std::fflush(stdout);
    }
    const std::pair<const char*, QByteArray> outputs[] = {
        {"1 MB of lines", "yes 'UPX packt Dateien' | head -c 1048576\n"},
        {"10 MB of lines", "yes 'UPX packt Dateien' | head -c 10485760\n"},
        {"50 MB of lines", "yes 'UPX packt Dateien' | head -c 52428800\n"},
        {"one 20 MB line", "head -c 20000000 /dev/zero | tr '\\0' x\n"},
        {"five 1 MB lines", "for i in 1 2 3 4 5; do head -c 1000000 /dev/zero | tr '\\0' x; "
                            "echo; done\n"},
        {"one 20 MB line with blanks", "yes 'UPX packt Dateien ' | head -c 20000000 | tr -d "
                                       "'\\n'\n"},
    };
    for (const auto& [label, script] : outputs) {
        writeScript(programDir + QStringLiteral("upx"), script);
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = cpuMilliseconds(RUSAGE_SELF);
        form.VersBtnClick();
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double cpu = cpuMilliseconds(RUSAGE_SELF) - cpuBefore;
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::printf("output %-27s transcript complete after %.3f s, program %.0f ms CPU, %lld "
                    "characters shown, peak memory %ld MB\n",
                    label, seconds, cpu,
                    static_cast<long long>(form.Memo1->document()->characterCount()),
                    usage.ru_maxrss / 1024);
        std::fflush(stdout);
    }
    return 0;
}
