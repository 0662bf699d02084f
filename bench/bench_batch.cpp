// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for the page "Mehrere Dateien": the window's batch, driven headless, against the same
// packer from the command line, one file after another ("upx -9 f1 ... f8") and side by side
// ("xargs -P<cores> -n1 upx -9"). Eight copies of a program of 3 MB or more at level 9, two at
// "--best", and the per-file cost of testing 500 small packed programs. Each round measures the
// three ways in turn on fresh copies of the files; the figures are the medians over the rounds.
//
//   bench_batch [ROUNDS]      (default 1; the small programs take at least 3 rounds)

#include "app/application.h"
#include "app/tupxform1.h"
#include "packer/packerbatch.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

const QString SystemPacker = QStringLiteral("/usr/bin/upx");

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The CPU time, user and system, of the process or of its ended children.
double cpuMilliseconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Runs the program with its output thrown away; the exit code, or -1 when it did not end
// normally.
int run(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Whether the system's packer takes the file: an ELF program that it has not packed yet.
bool packable(const QString& path, const QString& scratch)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(4) != QByteArray("\x7f"
                                                                      "ELF"))
        return false;
    // "upx -t" ends with 2 on a file that it did not pack.
    if (run(SystemPacker, {QStringLiteral("-qq"), QStringLiteral("-t"), path}) != 2)
        return false;
    const QString probe = scratch + QStringLiteral("/probe");
    QFile::remove(probe);
    const bool packed = run(SystemPacker, {QStringLiteral("-qq"), QStringLiteral("-1"),
                                           QStringLiteral("-o"), probe, path}) == 0;
    QFile::remove(probe);
    return packed;
}

// The smallest program of 3 MB or more on this machine that the packer takes; the program's own
// binary when there is none.
QString bigProgram(const QString& scratch)
{
    QStringList folders{QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"),
                        QStringLiteral("/usr/libexec"),
                        QStringLiteral("/usr/lib/x86_64-linux-gnu")};
    for (const QFileInfo& folder :
         QDir(QStringLiteral("/usr/lib")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << folder.filePath() + QStringLiteral("/bin");
    QFileInfoList candidates;
    for (const QString& folder : folders) {
        for (const QFileInfo& entry :
             QDir(folder).entryInfoList(QDir::Files | QDir::Executable | QDir::NoSymLinks)) {
            if (entry.size() >= 3000000)
                candidates << entry;
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const QFileInfo& a, const QFileInfo& b) { return a.size() < b.size(); });
    candidates << QFileInfo(QStringLiteral(KOMPAKTOR_BINARY));
    for (const QFileInfo& candidate : candidates) {
        if (candidate.size() >= 3000000 && packable(candidate.filePath(), scratch))
            return candidate.filePath();
    }
    return QString();
}

// Fresh copies of the file in a new folder, named f1, f2, ...
QStringList freshCopies(const QString& source, int count, const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QStringList copies;
    for (int i = 1; i <= count; ++i) {
        copies << folder + QStringLiteral("/f") + QString::number(i);
        QFile::copy(source, copies.constLast());
    }
    return copies;
}

struct BatchFigures {
    double milliseconds = 0;
    double ownCpu = 0;
    double packerCpu = 0;
    int succeeded = 0;
};

// Lists the files on the page "Mehrere Dateien", presses the button and waits for the batch.
BatchFigures windowBatch(TUPXForm1& form, QPushButton* button, const QStringList& files)
{
    form.LeerenBtn->click();
    form.FuegeDateienHinzu(files);
    QEventLoop wait;
    QObject::connect(form.Batch1, &PackerBatch::finished, &wait, &QEventLoop::quit);
    BatchFigures figures;
    const double ownBefore = cpuMilliseconds(RUSAGE_SELF);
    const double packerBefore = cpuMilliseconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    button->click();
    if (form.Batch1->isRunning())
        wait.exec();
    figures.milliseconds = clock.nsecsElapsed() / 1e6;
    figures.ownCpu = cpuMilliseconds(RUSAGE_SELF) - ownBefore;
    figures.packerCpu = cpuMilliseconds(RUSAGE_CHILDREN) - packerBefore;
    for (qsizetype i = 0; i < form.Batch1->count(); ++i)
        figures.succeeded += form.Batch1->file(i).succeeded ? 1 : 0;
    return figures;
}

// The wall and packer CPU times of one way of packing, a pair a measurement.
struct Way {
    std::vector<double> milliseconds, packerCpu;

    void add(double wall, double cpu)
    {
        milliseconds.push_back(wall);
        packerCpu.push_back(cpu);
    }
    // How many cores the packers kept busy on the median, which shows what other work on the
    // machine left them.
    double coresBusy() const { return median(packerCpu) / median(milliseconds); }
};

struct Timings {
    Way window, sequential, parallel;
    std::vector<double> ownCpu;
    bool ok = true;
};

// Runs the command and adds its figures to the way's; notes when it did not end with 0.
void timed(const QString& program, const QStringList& arguments, const QByteArray& input, Way& way,
           bool& ok)
{
    const double cpuBefore = cpuMilliseconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    ok = run(program, arguments, input) == 0 && ok;
    way.add(clock.nsecsElapsed() / 1e6, cpuMilliseconds(RUSAGE_CHILDREN) - cpuBefore);
}

void addWindowBatch(const BatchFigures& batch, int count, Timings& timings)
{
    timings.ok = timings.ok && batch.succeeded == count;
    timings.window.add(batch.milliseconds, batch.packerCpu);
    timings.ownCpu.push_back(batch.ownCpu);
}

// The files as xargs reads them with -0.
QByteArray nulSeparated(const QStringList& files)
{
    QByteArray list;
    for (const QString& file : files)
        list += QFile::encodeName(file) + '\0';
    return list;
}

// xargs running the packer with the option on one file at a time, a packer a core.
QStringList xargsArguments(const QString& option)
{
    return {
        QStringLiteral("-0"),  QStringLiteral("-P"), QString::number(QThread::idealThreadCount()),
        QStringLiteral("-n1"), SystemPacker,         option};
}

// One round: the window's batch, the packer on all files in one command, and xargs, each on
// fresh copies of the program.
void measureRound(TUPXForm1& form, QPushButton* button, const QString& option,
                  const QString& program, int count, const QString& scratch, Timings& timings)
{
    const QString folder = scratch + QStringLiteral("/runde");
    addWindowBatch(windowBatch(form, button, freshCopies(program, count, folder)), count, timings);
    timed(SystemPacker, QStringList{option} + freshCopies(program, count, folder), {},
          timings.sequential, timings.ok);
    timed(QStringLiteral("xargs"), xargsArguments(option),
          nulSeparated(freshCopies(program, count, folder)), timings.parallel, timings.ok);
    std::printf("  round: window %.0f ms, sequential %.0f ms, xargs %.0f ms\n",
                timings.window.milliseconds.back(), timings.sequential.milliseconds.back(),
                timings.parallel.milliseconds.back());
    std::fflush(stdout);
}

void printComparison(const Timings& timings, const QString& option, int count)
{
    const double window = median(timings.window.milliseconds);
    const double sequential = median(timings.sequential.milliseconds);
    const double parallel = median(timings.parallel.milliseconds);
    const int cores = QThread::idealThreadCount();
    std::printf("  median window %.0f ms, '%s %s f1 ... f%d' %.0f ms, 'xargs -P%d -n1 %s %s' "
                "%.0f ms%s\n",
                window, qPrintable(SystemPacker), qPrintable(option), count, sequential, cores,
                qPrintable(SystemPacker), qPrintable(option), parallel,
                timings.ok ? "" : "  (SOME RUNS FAILED)");
    std::printf("  cores busy packing: window %.2f, sequential %.2f, xargs %.2f (of %d)\n",
                timings.window.coresBusy(), timings.sequential.coresBusy(),
                timings.parallel.coresBusy(), cores);
    std::printf("  window / xargs      %.3f   (goal <= 1.05)\n", window / parallel);
    std::printf("  window / sequential %.3f   (goal <= 0.6 on 2 cores; %d cores here)\n",
                window / sequential, cores);
    std::printf("  window's CPU %.0f ms against the packers' %.0f ms: %.2f %%   (goal <= 2 %%)\n",
                median(timings.ownCpu), median(timings.window.packerCpu),
                100 * median(timings.ownCpu) / median(timings.window.packerCpu));
    std::fflush(stdout);
}

// Compresses the copies in every round and prints the medians against their goals.
void compressFigures(TUPXForm1& form, const QString& level, const QString& program, int count,
                     int rounds, const QString& scratch)
{
    const QString option = QLatin1Char('-') + level;
    std::printf("compress: %d copies at '%s', %d round(s), %d packers at once\n", count,
                qPrintable(option), rounds, form.parallelPackers());
    form.ComboBox1->setEditText(level);
    Timings timings;
    for (int i = 0; i < rounds; ++i)
        measureRound(form, form.AlleKompressBtn, option, program, count, scratch, timings);
    std::printf("  the window ran: %s\n",
                qPrintable(form.Batch1->file(0).result.command.commandLine));
    printComparison(timings, option, count);
}

// Tests 500 copies of a small packed program from the window and with xargs.
void smallFigures(TUPXForm1& form, const QString& scratch, int rounds)
{
    constexpr int Count = 500;
    const QString packed = scratch + QStringLiteral("/true-gepackt");
    if (run(SystemPacker, {QStringLiteral("-qq"), QStringLiteral("-o"), packed,
                           QStringLiteral("/usr/bin/true")}) != 0) {
        std::printf("small: /usr/bin/true could not be packed, no figure\n");
        return;
    }
    std::printf("small: 'Alle prüfen' on %d copies of /usr/bin/true packed (%lld bytes), %d "
                "rounds\n",
                Count, static_cast<long long>(QFileInfo(packed).size()), rounds);
    Timings timings;
    const QString folder = scratch + QStringLiteral("/klein");
    for (int i = 0; i < rounds; ++i) {
        addWindowBatch(windowBatch(form, form.AlleTestBtn, freshCopies(packed, Count, folder)),
                       Count, timings);
        timed(QStringLiteral("xargs"), xargsArguments(QStringLiteral("-t")),
              nulSeparated(freshCopies(packed, Count, folder)), timings.parallel, timings.ok);
    }
    const double window = median(timings.window.milliseconds) / Count;
    const double parallel = median(timings.parallel.milliseconds) / Count;
    std::printf("  per file: window %.2f ms, 'xargs -P%d -n1 upx -t' %.2f ms, overhead %+.2f ms "
                "(ratio %.2f)%s\n",
                window, QThread::idealThreadCount(), parallel, window - parallel, window / parallel,
                timings.ok ? "" : "  (SOME RUNS FAILED)");
    std::printf("  window's CPU %.2f ms a file against the packers' %.2f ms: %.1f %%\n",
                median(timings.ownCpu) / Count, median(timings.window.packerCpu) / Count,
                100 * median(timings.ownCpu) / median(timings.window.packerCpu));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    setUpApplication(application);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
    if (!QFileInfo(SystemPacker).isExecutable()) {
        std::printf("%s is missing, no figures\n", qPrintable(SystemPacker));
        return 0;
    }
    QTemporaryDir scratch;
    const QString program = bigProgram(scratch.path());
    if (program.isEmpty()) {
        std::printf("no program of 3 MB or more that UPX takes, no figures\n");
        return 0;
    }
    std::printf("program: %s, %lld bytes\n", qPrintable(program),
                static_cast<long long>(QFileInfo(program).size()));
    std::fflush(stdout);

    // The window finds the system's packer beside its program.
    const QString programDir = scratch.filePath(QStringLiteral("prog/"));
    QDir().mkpath(programDir);
    QFile::copy(SystemPacker, programDir + QStringLiteral("upx"));
    TUPXForm1 form(programDir + QStringLiteral("kompaktor"));
    form.PageControl1->setCurrentWidget(form.TS4);
    form.show();
    QApplication::processEvents();
    // Asks the packer for its version before the figures, as the first compress of a session
    // does.
    form.ComboBox1->setEditText(QStringLiteral("1"));
    windowBatch(
        form, form.AlleKompressBtn,
        freshCopies(QStringLiteral("/usr/bin/true"), 1, scratch.filePath(QStringLiteral("warm"))));

    compressFigures(form, QStringLiteral("9"), program, 8, rounds, scratch.path());
    compressFigures(form, QStringLiteral("-best"), program, 2, rounds, scratch.path());
    smallFigures(form, scratch.path(), std::max(3, rounds));
    return 0;
}
