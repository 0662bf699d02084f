// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/shelllaunch.h"

#include "common/relayprotocol.h"
#include "common/spawning.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What a successful launch returns: any number above 32 means success.
constexpr int Started = 42;

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// A URL scheme followed by ":" at the start of the text. One letter before the colon is taken
// for a drive letter ("C:\..."), not a scheme, so such a name is treated as a (missing) path.
bool hasUrlScheme(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 2 || !isAsciiLetter(text.front()))
        return false;
    for (qsizetype i = 1; i < colon; ++i) {
        const QChar c = text.at(i);
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!isAsciiLetter(c) && !digit && c != QLatin1Char('+') && c != QLatin1Char('-') &&
            c != QLatin1Char('.'))
            return false;
    }
    return true;
}

int openWith(const QUrl& url, const DocumentOpener& opener)
{
    if (!url.isValid() || !opener)
        return SeNoAssociation;
    return opener(url) ? Started : SeNoAssociation;
}

// True when the folder that holds the path (the current directory for a bare name) exists.
bool folderExists(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        path = QByteArrayLiteral(".");
    else
        path.truncate(std::max<qsizetype>(slash, 1));
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The failure number for a path that cannot be looked at.
int missingPathError(const QByteArray& path, int error)
{
    switch (error) {
    case EACCES: // a folder on the way may not be searched
        return SeAccessDenied;
    case ENOMEM:
        return SeOutOfMemory;
    case ENOTDIR: // a part of the folder path is a file
        return SePathNotFound;
    default: // ENOENT, ENAMETOOLONG, ELOOP: the folder decides between the two
        return folderExists(path) ? SeFileNotFound : SePathNotFound;
    }
}

// The failure number for the error of starting a program.
int startError(int error)
{
    switch (error) {
    case ENOENT: // the file, or the interpreter its "#!" line names, is missing
    case ELOOP:
    case ENAMETOOLONG:
        return SeFileNotFound;
    case ENOTDIR:
        return SePathNotFound;
    case EACCES:
    case EPERM:
    case ETXTBSY: // the file is open for writing: the message for a locked file fits
        return SeAccessDenied;
    case ENOMEM:
    case EAGAIN: // no process could be made
    case E2BIG:
    case EMFILE:
    case ENFILE:
        return SeOutOfMemory;
    case ENOEXEC:
    case EINVAL: // an ELF file with a broken interpreter entry
    case ELIBBAD:
    case EISDIR: // the interpreter is a folder
        return SeBadFormat;
    default:
        // EIO and the rest: the general failure, as the shell reports running out of resources
        // or a damaged executable.
        return SeOutOfResources;
    }
}

void reportError(int pipe, int error)
{
    writeAll(pipe, reinterpret_cast<const char*>(&error), sizeof error);
}

// Runs in the grandchild: only calls that are safe after fork() in a threaded program. The
// program gets the default signal handling, no blocked signals, a session of its own and no
// descriptor of ours except the standard three, so that it holds none of our locks or sockets.
[[noreturn]] void execProgram(const char* path, char* const argv[], int errorPipe, int maxFd)
{
    ::setsid();
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

#ifdef CLOSE_RANGE_CLOEXEC
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
#endif
    {
        for (int fd = 3; fd < maxFd; ++fd) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0 && !(flags & FD_CLOEXEC))
                ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }

    ::execve(path, argv, environ);
    reportError(errorPipe, errno);
    ::_exit(127);
}

static_assert(WatchedOutputBytes == RelayReportBytes);

// How long after the watch time the relay's report may take before the watch is given up.
constexpr int RelayReportGraceMs = 1000;
// How long the relay may take to say whether the program started.
constexpr int RelayStartWaitMs = 2000;

// The relay program: set, or else the one beside this program's executable.
QByteArray& relayExecutable()
{
    static QByteArray path =
        QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                          QLatin1Char('/') + QLatin1String(RelayExecutableName));
    return path;
}

// The watch's side: collects what the relay forwards and hands the program's end, or that it
// still runs, to the request's handler. A relay that goes away without its report, or that is
// stopped and does not report in time, ends the watch as well, so that nothing of it stays
// here. The watch goes when it is done, or with the request's context.
class ProgramWatch : public QObject {
public:
    ProgramWatch(const ProgramWatchRequest& request, int report, int status)
        : QObject(request.context), m_onEnd(request.onEnd), m_report(report), m_status(status)
    {
        for (const int fd : {report, status})
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        m_reportNotifier = new QSocketNotifier(report, QSocketNotifier::Read, this);
        connect(m_reportNotifier, &QSocketNotifier::activated, this, &ProgramWatch::readReport);
        m_statusNotifier = new QSocketNotifier(status, QSocketNotifier::Read, this);
        connect(m_statusNotifier, &QSocketNotifier::activated, this, &ProgramWatch::readStatus);
        QTimer::singleShot(request.milliseconds + RelayReportGraceMs, this,
                           [this] { finish(ProgramEnd::Outcome::WatchLost); });
    }

    ~ProgramWatch() override
    {
        ::close(m_report);
        ::close(m_status);
    }

private:
    void readReport()
    {
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(m_report, buffer, sizeof buffer)) > 0)
            m_end.output.append(buffer,
                                qMin<qsizetype>(got, WatchedOutputBytes - m_end.output.size()));
        if (got == 0)
            m_reportNotifier->setEnabled(false);
    }

    void readStatus()
    {
        char buffer[sizeof(RelayRecord)];
        const ssize_t got = ::read(m_status, buffer, sizeof buffer - m_record.size());
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        m_record.append(buffer, qMax<ssize_t>(got, 0));
        if (got > 0 && m_record.size() < qsizetype(sizeof(RelayRecord)))
            return;
        if (m_record.size() < qsizetype(sizeof(RelayRecord))) {
            finish(ProgramEnd::Outcome::WatchLost);
            return;
        }
        RelayRecord record;
        std::memcpy(&record, m_record.constData(), sizeof record);
        readReport();
        m_end.value = record.value;
        m_end.pid = record.pid;
        m_end.milliseconds = (record.microseconds + 500) / 1000;
        m_end.omittedBytes = record.omittedBytes;
        m_end.droppedBytes = record.droppedBytes;
        switch (record.kind) {
        case RelayRecord::Exited:
            finish(ProgramEnd::Outcome::Exited);
            break;
        case RelayRecord::Signalled:
            finish(ProgramEnd::Outcome::Signalled);
            break;
        case RelayRecord::StillRunning:
            finish(ProgramEnd::Outcome::StillRunning);
            break;
        default:
            finish(ProgramEnd::Outcome::WatchLost);
        }
    }

    // Reports once and lets go of the relay's pipes.
    void finish(ProgramEnd::Outcome outcome)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_reportNotifier->setEnabled(false);
        m_statusNotifier->setEnabled(false);
        m_end.outcome = outcome;
        if (m_onEnd)
            m_onEnd(m_end);
        deleteLater();
    }

    std::function<void(const ProgramEnd&)> m_onEnd;
    int m_report;
    int m_status;
    QSocketNotifier* m_reportNotifier;
    QSocketNotifier* m_statusNotifier;
    QByteArray m_record;
    ProgramEnd m_end;
    bool m_finished = false;
};

// Reads the errno that a start sends before it closes the pipe; 0 when it sends none.
int readStartError(int fd, int timeoutMs = -1)
{
    int error = 0;
    char* data = reinterpret_cast<char*>(&error);
    std::size_t received = 0;
    while (received < sizeof error) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, timeoutMs);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        const ssize_t n = ::read(fd, data + received, sizeof error - received);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received += std::size_t(n);
    }
    return received == sizeof error ? error : 0;
}

// Starts the program detached: an intermediate child forks the program and exits at once, so
// that the program is handed to init and never becomes a zombie of ours. The outcome of
// execve() comes back over a close-on-exec pipe: end of file means the program runs, an errno
// value means it could not start. The call waits for that outcome only, not for the program.
int startDetached(const QByteArray& path)
{
    QByteArray program = path;
    char* argv[] = {program.data(), nullptr};

    struct rlimit limit {};
    int maxFd = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        maxFd = int(std::min<rlim_t>(limit.rlim_cur, 65536));

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return startError(errno);
    const pid_t intermediate = ::fork();
    if (intermediate < 0) {
        const int error = errno;
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        return startError(error);
    }
    if (intermediate == 0) {
        ::close(errorPipe[0]);
        const pid_t pid = ::_Fork();
        if (pid == 0)
            execProgram(program.constData(), argv, errorPipe[1], maxFd);
        if (pid < 0) {
            reportError(errorPipe[1], errno);
            ::_exit(1);
        }
        ::_exit(0);
    }

    ::close(errorPipe[1]);
    const int error = readStartError(errorPipe[0]);
    ::close(errorPipe[0]);

    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
    }
    if (error != 0)
        return startError(error);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return SeOutOfResources; // the intermediate died before it could tell
    return Started;
}

// The three pipes to the relay: report, status and start. The write ends lie above the relay's
// fixed numbers, so that placing one never overwrites another; whatever is still open when they
// go is closed.
class RelayPipes {
public:
    RelayPipes() = default;
    RelayPipes(const RelayPipes&) = delete;
    RelayPipes& operator=(const RelayPipes&) = delete;
    ~RelayPipes()
    {
        closeWriteEnds();
        for (const int fd : {report, status, start}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    // Makes the pipes; the errno of a failure, else 0.
    int open()
    {
        int* const reads[] = {&report, &status, &start};
        for (int i = 0; i < 3; ++i) {
            int ends[2];
            if (::pipe2(ends, O_CLOEXEC) != 0)
                return errno;
            *reads[i] = ends[0];
            m_writes[i] = ::fcntl(ends[1], F_DUPFD_CLOEXEC, RelayStartDescriptor + 1);
            const int error = errno;
            ::close(ends[1]);
            if (m_writes[i] < 0)
                return error;
        }
        return 0;
    }

    // Starts the relay with the write ends at its fixed numbers and closes them here; the errno
    // of a failed start, else 0.
    int spawnRelay(const QByteArray& program, int milliseconds, pid_t& pid)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, m_writes[0], RelayReportDescriptor);
        posix_spawn_file_actions_adddup2(&actions, m_writes[1], RelayStatusDescriptor);
        posix_spawn_file_actions_adddup2(&actions, m_writes[2], RelayStartDescriptor);
        posix_spawn_file_actions_addclosefrom_np(&actions, RelayStartDescriptor + 1);
        const FreshProgramAttributes attributes;
        QByteArray relay = relayExecutable();
        QByteArray watchTime = QByteArray::number(milliseconds);
        QByteArray name = program;
        char* const argv[] = {relay.data(), watchTime.data(), name.data(), nullptr};
        const int error =
            ::posix_spawn(&pid, relay.constData(), &actions, attributes.get(), argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        closeWriteEnds();
        return error;
    }

    // The read ends; -1 once taken.
    int report = -1;
    int status = -1;
    int start = -1;

private:
    void closeWriteEnds()
    {
        for (int& fd : m_writes) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

    int m_writes[3] = {-1, -1, -1};
};

// Starts the program without a watch, when there is no relay; the watch hears that.
int startUnwatched(const QByteArray& path, const ProgramWatchRequest& watch)
{
    const int result = startDetached(path);
    if (result > 32 && watch.context && watch.onEnd) {
        ProgramEnd unwatched;
        unwatched.outcome = ProgramEnd::Outcome::NotWatched;
        QMetaObject::invokeMethod(
            watch.context, [onEnd = watch.onEnd, unwatched] { onEnd(unwatched); },
            Qt::QueuedConnection);
    }
    return result;
}

// Whether the relay started the program: its start pipe tells, and its first process, which
// ends at once, is collected.
int relayStartResult(int startPipe, pid_t relay)
{
    // A program that stops its relay at once can keep the relay from closing the start pipe: the
    // window does not wait for it longer than this, and the watch then ends without a report.
    const int error = readStartError(startPipe, RelayStartWaitMs);
    int exitStatus = 0;
    while (::waitpid(relay, &exitStatus, 0) < 0 && errno == EINTR) {
    }
    if (error != 0)
        return startError(error);
    if (!WIFEXITED(exitStatus) || WEXITSTATUS(exitStatus) != 0)
        return SeOutOfResources; // the relay died before it could tell
    return Started;
}

// Starts the program through the relay program, which the call starts with posix_spawn(), so
// that this process is not copied: with default signals, no blocked ones, a session of its own
// and, closed in one step, none of our descriptors but the standard three and its three pipes.
// The relay's first process ends at once and is collected here; the start pipe tells whether
// the program started. Without a relay the program starts unwatched, and the watch hears that.
int startWatched(const QByteArray& path, const ProgramWatchRequest& watch)
{
    RelayPipes pipes;
    if (const int error = pipes.open())
        return startError(error);
    pid_t relay = -1;
    if (pipes.spawnRelay(path, watch.milliseconds, relay) != 0)
        return startUnwatched(path, watch);
    const int result = relayStartResult(pipes.start, relay);
    if (result == Started) {
        new ProgramWatch(watch, pipes.report, pipes.status);
        pipes.report = pipes.status = -1;
    }
    return result;
}

} // namespace

void setProgramRelayExecutable(const QString& executable)
{
    relayExecutable() = QFile::encodeName(executable);
}

DocumentOpener desktopOpener()
{
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

int ShellExecute(const QString& document, const DocumentOpener& opener,
                 const ProgramWatchRequest* watch)
{
    if (document.isEmpty())
        return SeFileNotFound;
    if (hasUrlScheme(document))
        return openWith(QUrl(document), opener);
    // A path cannot hold a NUL: the system would cut the name there and find another file.
    if (document.contains(QChar(0)))
        return SeFileNotFound;

    const QByteArray path = QFile::encodeName(document);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return missingPathError(path, errno);

    if (S_ISREG(info.st_mode) && ::access(path.constData(), X_OK) == 0) {
        // A relative name gets "./": a script's interpreter is handed the name as its argument
        // and would take a name that begins with "-" for an option.
        const QByteArray program = path.startsWith('/') ? path : QByteArrayLiteral("./") + path;
        return watch ? startWatched(program, *watch) : startDetached(program);
    }

    const QString current = QDir::currentPath();
    const QString absolute = document.startsWith(QLatin1Char('/')) ? document
                             : current.endsWith(QLatin1Char('/'))
                                 ? current + document
                                 : current + QLatin1Char('/') + document;
    return openWith(QUrl::fromLocalFile(absolute), opener);
}
