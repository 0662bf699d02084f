// Figures for the program on the desktop, each against its floor: a plain Qt form with as many
// controls and a clock that ticks every second.
//
//   bench_desktop startup [runs] [program]   time and CPU to a painted, idle window, paired runs
//   bench_desktop idle [seconds] [program]   context switches and CPU of the idle windows
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
// bar whose clock is renewed every second.
int runPlainForm(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
    QWidget form;
    form.setWindowFlag(Qt::FramelessWindowHint);
    form.resize(761, 517);
    auto* layout = new QVBoxLayout(&form);
    auto* pages = new QTabWidget;
    layout->addWidget(pages);
    auto* commands = new QWidget;
    for (int i = 0; i < 9; ++i)
        (new QPushButton(QStringLiteral("Kommando %1").arg(i), commands))->move(10, 10 + 28 * i);
    for (int i = 0; i < 4; ++i) {
        (new QLineEdit(commands))->setGeometry(200, 10 + 28 * i, 300, 22);
        (new QLabel(QStringLiteral("Datei %1").arg(i), commands))->move(520, 12 + 28 * i);
    }
    (new QPlainTextEdit(commands))->setGeometry(200, 130, 520, 300);
    pages->addTab(commands, QStringLiteral("Kommandos"));
    auto* options = new QWidget;
    (new QComboBox(options))->setGeometry(10, 10, 80, 22);
    (new QSlider(Qt::Horizontal, options))->setGeometry(100, 10, 300, 30);
    for (int g = 0; g < 4; ++g) {
        auto* group = new QGroupBox(QStringLiteral("Gruppe %1").arg(g), options);
        group->setGeometry(10 + 180 * g, 60, 170, 140);
        for (int i = 0; i < 3; ++i)
            (new QRadioButton(QStringLiteral("Wahl %1").arg(i), group))->move(8, 20 + 22 * i);
    }
    for (int i = 0; i < 8; ++i)
        (new QCheckBox(QStringLiteral("Schalter %1").arg(i), options))
            ->move(10 + 180 * (i % 4), 220 + 24 * (i / 4));
    for (int i = 0; i < 10; ++i)
        (new QLabel(QStringLiteral("Beschriftung %1").arg(i), options))->move(10 + 70 * i, 300);
    pages->addTab(options, QStringLiteral("Optionen"));
    auto* about = new QWidget;
    for (int i = 0; i < 12; ++i)
        (new QLabel(QStringLiteral("Zeile %1 über das Programm").arg(i), about))
            ->move(10, 10 + 20 * i);
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

// CPU milliseconds the process has used, all its threads together.
double cpuMs(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1000.0 /
           double(sysconf(_SC_CLK_TCK));
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

// Starts one of the two programs and follows it until its window is shown and it has gone
// idle, which it is taken to be once its CPU time has not grown for 200 ms.
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
    double lastCpu = cpuMs(started.pid);
    double lastChange = now();
    while (now() - lastChange < 200) {
        usleep(2000);
        const double cpu = cpuMs(started.pid);
        if (cpu != lastCpu) {
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
        return runPlainForm(argc, argv);
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
        std::vector<double> idle[2], mapped[2], cpu[2];
        for (int i = 0; i < runs; ++i) {
            for (int which = 0; which < 2; ++which) {
                const Started s = which == 0 ? start(x, kompaktor, {}, runtime())
                                             : start(x, plain, "--plain-form", runtime());
                mapped[which].push_back(s.mappedMs);
                idle[which].push_back(s.idleMs);
                cpu[which].push_back(s.cpu);
                stop(s.pid);
            }
        }
        std::printf("start-up, median of %d paired runs   Kompaktor  plain form  ratio\n", runs);
        const auto row = [](const char* what, std::vector<double>* values) {
            const double k = median(values[0]);
            const double p = median(values[1]);
            std::printf("  %-34s %7.1f ms  %7.1f ms  %5.2f\n", what, k, p, k / p);
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
