// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for the program on the desktop, each against its floor: a plain Qt form with as many
// controls and a clock that ticks every second.
//
//   bench_desktop startup [runs] [program]   time and CPU to a painted, idle window, interleaved
//   runs bench_desktop idle [seconds] [program]   context switches and CPU of the idle windows
//
// The program is the one built beside the benchmark, or the one named (an earlier build, say).
// Both need an X display (run them under xvfb-run -a). The program is started as a copy in a
// folder of its own with a runtime folder of its own, so that no running instance takes it over.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The reference: a form of 761 x 517 with about seventy controls on three pages and a status
// bar whose clock is renewed every second. With the layout's faces it sets on its controls the
// Arial faces of Kompaktor's layout (nine sizes and styles); without them every control keeps the
// application's one default face. Labels take the size of their texts when first shown.
int runPlainForm(int argc, char** argv, bool layoutFaces)
{
    QApplication application(argc, argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
    const auto face = [layoutFaces](QWidget* widget, int pixelSize, bool bold = false,
                                    bool italic = false, const char* family = "Arial") {
        if (!layoutFaces)
            return widget;
        QFont font(QString::fromLatin1(family));
        font.setPixelSize(pixelSize);
        font.setBold(bold);
        font.setItalic(italic);
        widget->setFont(font);
        return widget;
    };
    const auto label = [&](const QString& text, QWidget* parent, int x, int y, int pixelSize = 13,
                           bool italic = false) {
        auto* result = new QLabel(text, parent);
        face(result, pixelSize, false, italic);
        result->move(x, y);
    };
    QWidget form;
    form.setWindowFlag(Qt::FramelessWindowHint);
    form.resize(761, 517);
    face(&form, 13);
    auto* layout = new QVBoxLayout(&form);
    auto* pages = new QTabWidget;
    face(pages, 13, false, true);
    layout->addWidget(pages);
    auto* commands = new QWidget;
    face(commands, 13);
    for (int i = 0; i < 9; ++i)
        (new QPushButton(QStringLiteral("Kommando %1").arg(i), commands))->move(10, 10 + 28 * i);
    for (int i = 0; i < 4; ++i) {
        face(new QLineEdit(commands), 13, false, true)->setGeometry(200, 10 + 28 * i, 300, 22);
        label(QStringLiteral("Datei %1").arg(i), commands, 520, 12 + 28 * i);
    }
    for (int i = 0; i < 2; ++i)
        face(new QPushButton(QStringLiteral("..."), commands), 16, true)->move(600, 12 + 28 * i);
    face(new QPlainTextEdit(commands), 13, false, false, "Microsoft Sans Serif")
        ->setGeometry(200, 130, 520, 300);
    pages->addTab(commands, QStringLiteral("Kommandos"));
    auto* options = new QWidget;
    face(options, 13, true);
    (new QComboBox(options))->setGeometry(10, 10, 80, 22);
    (new QSlider(Qt::Horizontal, options))->setGeometry(100, 10, 300, 30);
    label(QStringLiteral("Achtung:"), options, 420, 10, 21);
    for (int g = 0; g < 4; ++g) {
        auto* group = new QGroupBox(QStringLiteral("Gruppe %1").arg(g), options);
        group->setGeometry(10 + 180 * g, 60, 170, 140);
        for (int i = 0; i < 3; ++i)
            face(new QRadioButton(QStringLiteral("Wahl %1").arg(i), group), 13)
                ->move(8, 20 + 22 * i);
    }
    for (int i = 0; i < 8; ++i)
        face(new QCheckBox(QStringLiteral("Schalter %1").arg(i), options), 13)
            ->move(10 + 180 * (i % 4), 220 + 24 * (i / 4));
    for (int i = 0; i < 10; ++i)
        label(QStringLiteral("Beschriftung %1").arg(i), options, 10 + 70 * i, 300);
    pages->addTab(options, QStringLiteral("Optionen"));
    auto* about = new QWidget;
    label(QStringLiteral("Ein Programm   Version 1"), about, 10, 10, 27, true);
    for (int i = 0; i < 12; ++i)
        label(QStringLiteral("Zeile %1 über das Programm").arg(i), about, 10, 50 + 20 * i,
              i < 3 ? 16 : 13, i < 2);
    face(new QPlainTextEdit(QStringLiteral("Was über das Programm zu wissen ist.\n").repeated(20),
                            about),
         15)
        ->setGeometry(300, 50, 440, 300);
    pages->addTab(about, QStringLiteral("Über"));
    auto* status = new QStatusBar;
    auto* hint = new QLabel;
    auto* clock = new QLabel;
    status->addWidget(hint, 1);
    status->addWidget(clock);
    layout->addWidget(status);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [clock] { clock->setText(QTime::currentTime().toString()); });
    tick.start(1000);
    form.show();
    return application.exec();
}

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// CPU milliseconds the process has used, all its threads together, to the nanosecond: the
// scheduler's own account, not the 10 ms ticks of /proc/PID/stat.
double cpuMs(pid_t pid)
{
    double sum = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            sum += schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return sum;
}

// Context switches of all the process's threads.
long long contextSwitches(pid_t pid)
{
    long long sum = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task) + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.contains("ctxt_switches:"))
                sum += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return sum;
}

struct Started {
    pid_t pid = -1;
    double mappedMs = 0; // from the start to the first window shown
    double idleMs = 0;   // from the start to the end of the work after that: painted and idle
    double cpu = 0;      // CPU milliseconds up to then
};

// Starts one of the programs and follows it until its window is shown and it has gone idle,
// which it is taken to be once its CPU time has not grown for 200 ms.
Started start(xcb_connection_t* x, const QByteArray& program, const QByteArray& argument,
              const QByteArray& runtimeDir)
{
    Started started;
    const QByteArray runtime = "XDG_RUNTIME_DIR=" + runtimeDir;
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e) {
        if (qstrncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0)
            environment.push_back(*e);
    }
    environment.push_back(const_cast<char*>(runtime.constData()));
    environment.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.constData()),
                    argument.isEmpty() ? nullptr : const_cast<char*>(argument.constData()),
                    nullptr};
    const double begin = now();
    if (posix_spawn(&started.pid, argv[0], nullptr, nullptr, argv, environment.data()) != 0)
        return started;
    pollfd xfd{xcb_get_file_descriptor(x), POLLIN, 0};
    while (started.mappedMs == 0 && poll(&xfd, 1, 10000) > 0) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && started.mappedMs == 0)
                started.mappedMs = now() - begin;
            free(event);
        }
    }
    // A timer's wake-up of a fraction of a millisecond is not work on the window.
    double lastCpu = cpuMs(started.pid);
    double lastChange = now();
    while (now() - lastChange < 200) {
        usleep(2000);
        const double cpu = cpuMs(started.pid);
        if (cpu - lastCpu > 0.5) {
            lastCpu = cpu;
            lastChange = now();
        }
    }
    started.idleMs = lastChange - begin;
    started.cpu = lastCpu;
    return started;
}

void stop(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--plain-form") == 0)
        return runPlainForm(argc, argv, false);
    if (argc > 1 && qstrcmp(argv[1], "--plain-form-faces") == 0)
        return runPlainForm(argc, argv, true);
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if (mode != "startup" && mode != "idle") {
        std::fprintf(stderr, "usage: %s startup [runs] | idle [seconds]\n", argv[0]);
        return 2;
    }
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("kompaktor"));
    QFile::copy(argc > 3 ? QFile::decodeName(argv[3]) : QStringLiteral(KOMPAKTOR_BINARY), copy);
    const QByteArray kompaktor = QFile::encodeName(copy);
    const QByteArray plain = QFile::encodeName(QString::fromLocal8Bit(argv[0]));
    int run = 0;
    const auto runtime = [&folder, &run] {
        const QString dir = folder.filePath(QStringLiteral("run%1").arg(run++));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
        return QFile::encodeName(dir);
    };

    if (mode == "startup") {
        const int runs = argc > 2 ? atoi(argv[2]) : 10;
        // Kompaktor, the plain form in the default face, the plain form in the layout's faces.
        std::vector<double> idle[3], mapped[3], cpu[3];
        for (int i = 0; i < runs; ++i) {
            for (int which = 0; which < 3; ++which) {
                const Started s = which == 0   ? start(x, kompaktor, {}, runtime())
                                  : which == 1 ? start(x, plain, "--plain-form", runtime())
                                               : start(x, plain, "--plain-form-faces", runtime());
                mapped[which].push_back(s.mappedMs);
                idle[which].push_back(s.idleMs);
                cpu[which].push_back(s.cpu);
                stop(s.pid);
            }
        }
        std::printf("start-up, medians of %d interleaved runs; ratios are medians of the runs' "
                    "ratios\n",
                    runs);
        std::printf("                       Kompaktor   plain, one face  ratio   plain, layout's "
                    "faces  ratio\n");
        const auto pairedRatio = [runs](const std::vector<double>& a,
                                        const std::vector<double>& b) {
            std::vector<double> ratios;
            for (int i = 0; i < runs; ++i)
                ratios.push_back(a[i] / b[i]);
            return median(ratios);
        };
        const auto row = [&](const char* what, std::vector<double>* values) {
            std::printf("  %-18s %7.1f ms  %12.1f ms  %5.2f  %17.1f ms  %5.2f\n", what,
                        median(values[0]), median(values[1]), pairedRatio(values[0], values[1]),
                        median(values[2]), pairedRatio(values[0], values[2]));
        };
        row("window shown", mapped);
        row("painted and idle", idle);
        row("CPU until idle", cpu);
    } else {
        const int seconds = argc > 2 ? atoi(argv[2]) : 60;
        const Started k = start(x, kompaktor, {}, runtime());
        const Started p = start(x, plain, "--plain-form", runtime());
        const long long switches[2] = {contextSwitches(k.pid), contextSwitches(p.pid)};
        const double used[2] = {cpuMs(k.pid), cpuMs(p.pid)};
        sleep(unsigned(seconds));
        const long long kSwitches = contextSwitches(k.pid) - switches[0];
        const long long pSwitches = contextSwitches(p.pid) - switches[1];
        std::printf("idle for %d s                 Kompaktor  plain form  ratio\n", seconds);
        std::printf("  context switches         %9lld  %10lld  %5.2f\n", kSwitches, pSwitches,
                    double(kSwitches) / double(pSwitches));
        std::printf("  CPU ms                   %9.0f  %10.0f\n", cpuMs(k.pid) - used[0],
                    cpuMs(p.pid) - used[1]);
        stop(k.pid);
        stop(p.pid);
    }
    xcb_disconnect(x);
    return 0;
}
