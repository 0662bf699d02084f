#include "platform/shelllaunch.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
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

void writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= std::size_t(written);
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

// What the relay tells the watch at the end, in one write.
struct RelayRecord {
    enum Kind : qint32 { Exited = 1, Signalled = 2, StillRunning = 3 };
    qint32 kind = Exited;
    qint32 value = 0;
    qint64 milliseconds = 0;
    qint64 omittedBytes = 0;
};

// The pipes between the program, its relay and the watch; each is {read end, write end}.
struct RelayPipes {
    int output[2] = {-1, -1};
    int error[2] = {-1, -1};
    int report[2] = {-1, -1};
    int status[2] = {-1, -1};
};

qint64 monotonicMilliseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The relay of a watched program: runs in a child of ours after fork(), so it makes only calls
// that are safe there. It passes the program's output on to its own standard output and error
// (ours), forwards the start of it to the watch, reports the program's end or, after the watch
// time, that it still runs, and goes on passing the output on until the program and whatever
// it started have closed it.
class Relay {
public:
    // The descriptors in the order RelayDescriptors lists them.
    Relay(pid_t program, const int (&fds)[4], qint64 started, qint64 deadline)
        : m_program(program), m_sources{fds[0], fds[1]}, m_report(fds[2]), m_status(fds[3]),
          m_deadline(deadline), m_started(started)
    {
        m_programEnd = int(::syscall(SYS_pidfd_open, program, 0));
    }

    [[noreturn]] void run()
    {
        for (;;) {
            reap();
            if (m_watching && m_reaped) {
                // All the program wrote before its end is in the pipes now.
                for (int i = 0; i < 2; ++i) {
                    while (pump(i)) {
                    }
                }
                endWatch(m_record);
            } else if (m_watching && monotonicMilliseconds() >= m_deadline) {
                RelayRecord record;
                record.kind = RelayRecord::StillRunning;
                endWatch(record);
            }
            if (m_reaped && m_sources[0] < 0 && m_sources[1] < 0)
                ::_exit(0);
            waitForEvents();
        }
    }

private:
    void reap()
    {
        if (m_reaped)
            return;
        int status = 0;
        const pid_t done = ::waitpid(m_program, &status, WNOHANG);
        if (done == 0 || (done < 0 && errno == EINTR))
            return;
        m_reaped = true;
        m_record.milliseconds = monotonicMilliseconds() - m_started;
        if (WIFSIGNALED(status)) {
            m_record.kind = RelayRecord::Signalled;
            m_record.value = WTERMSIG(status);
        } else {
            m_record.value = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
        }
        if (m_programEnd >= 0)
            ::close(m_programEnd);
        m_programEnd = -1;
    }

    void endWatch(RelayRecord record)
    {
        record.omittedBytes = m_omitted;
        writeAll(m_status, reinterpret_cast<const char*>(&record), sizeof record);
        ::close(m_status);
        ::close(m_report);
        m_watching = false;
    }

    void waitForEvents()
    {
        pollfd fds[3];
        nfds_t count = 0;
        for (const int source : m_sources) {
            if (source >= 0)
                fds[count++] = {source, POLLIN, 0};
        }
        if (m_programEnd >= 0)
            fds[count++] = {m_programEnd, POLLIN, 0};
        int timeout = -1;
        if (m_watching)
            timeout = int(std::max<qint64>(0, m_deadline - monotonicMilliseconds()));
        // Without a descriptor for the program's end, look for it now and then.
        if (!m_reaped && m_programEnd < 0 && (timeout < 0 || timeout > 100))
            timeout = 100;
        if (::poll(fds, count, timeout) <= 0)
            return;
        for (nfds_t k = 0; k < count; ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            for (int i = 0; i < 2; ++i) {
                if (fds[k].fd == m_sources[i])
                    pump(i);
            }
        }
    }

    // Passes on what one source holds now; false when it held nothing more.
    bool pump(int index)
    {
        if (m_sources[index] < 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::read(m_sources[index], buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return false;
        if (got <= 0) {
            ::close(m_sources[index]);
            m_sources[index] = -1;
            return false;
        }
        writeAll(index == 0 ? STDOUT_FILENO : STDERR_FILENO, buffer, std::size_t(got));
        if (m_watching) {
            const qsizetype room = WatchedOutputBytes - m_forwarded;
            const ssize_t sent =
                room > 0 ? ::write(m_report, buffer, std::min<qsizetype>(got, room)) : 0;
            m_forwarded += std::max<ssize_t>(sent, 0);
            m_omitted += got - std::max<ssize_t>(sent, 0);
        }
        return true;
    }

    pid_t m_program;
    int m_sources[2];
    int m_report;
    int m_status;
    int m_programEnd = -1;
    qint64 m_deadline;
    qint64 m_started;
    bool m_watching = true;
    bool m_reaped = false;
    RelayRecord m_record;
    qsizetype m_forwarded = 0;
    qint64 m_omitted = 0;
};

// Puts the descriptor at the given number, open across exec.
void placeDescriptor(int fd, int target)
{
    if (fd == target)
        ::fcntl(fd, F_SETFD, 0);
    else
        ::dup2(fd, target);
}

// Where the relay finds its pipes once it runs as a program of its own: the program's output
// and error, the report and the status to the watch.
constexpr int RelayDescriptors[4] = {3, 4, 5, 6};

// The name under which an executable runs as a relay; the processes show it.
constexpr char RelayName[] = "kompaktor-relay";

// The executable that runs relays, when there is one.
QByteArray& relayExecutable()
{
    static QByteArray path;
    return path;
}

// The decimal text of a number, written without allocating.
void formatNumber(qint64 value, char (&text)[24])
{
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    quint64 rest = negative ? quint64(-(value + 1)) + 1 : quint64(value);
    do {
        digits[count++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0);
    int at = 0;
    if (negative)
        text[at++] = '-';
    while (count > 0)
        text[at++] = digits[--count];
    text[at] = '\0';
}

// Becomes the relay of the program: in a session of its own, so that the end of our terminal
// or our process group does not take it along, with default signal handling, and with none of
// our descriptors but its pipes, so that it holds none of our locks or sockets. Once the program
// runs, the relay executes this executable anew as a small program of its own: as a copy of
// ours it would keep all our memory for as long as the program runs.
[[noreturn]] void runRelay(const char* path, char* const argv[], int errorPipe,
                           const RelayPipes& pipes, int watchMs, int maxFd)
{
    ::setsid();
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        action.sa_handler = sig == SIGPIPE ? SIG_IGN : SIG_DFL;
        ::sigaction(sig, &action, nullptr);
    }
    const int kept[] = {errorPipe,      pipes.output[0], pipes.output[1], pipes.error[0],
                        pipes.error[1], pipes.report[1], pipes.status[1]};
    for (int fd = 3; fd < maxFd; ++fd) {
        if (std::find(std::begin(kept), std::end(kept), fd) == std::end(kept))
            ::close(fd);
    }
    const qint64 started = monotonicMilliseconds();
    const qint64 deadline = started + watchMs;
    const pid_t program = ::_Fork();
    if (program == 0) {
        placeDescriptor(pipes.output[1], STDOUT_FILENO);
        placeDescriptor(pipes.error[1], STDERR_FILENO);
        execProgram(path, argv, errorPipe, maxFd);
    }
    if (program < 0) {
        reportError(errorPipe, errno);
        ::_exit(1);
    }
    ::close(errorPipe);
    ::close(pipes.output[1]);
    ::close(pipes.error[1]);
    // The pipes go to their fixed numbers by way of copies above them, whatever numbers they
    // had, so that none is overwritten before it is copied.
    int copies[4];
    const int ends[4] = {pipes.output[0], pipes.error[0], pipes.report[1], pipes.status[1]};
    for (int i = 0; i < 4; ++i) {
        copies[i] = ::fcntl(ends[i], F_DUPFD, 10);
        ::close(ends[i]);
    }
    for (int i = 0; i < 4; ++i) {
        placeDescriptor(copies[i], RelayDescriptors[i]);
        ::close(copies[i]);
    }
    for (int i = 0; i < 3; ++i) {
        const int fd = RelayDescriptors[i];
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    char programText[24], startedText[24], deadlineText[24];
    formatNumber(program, programText);
    formatNumber(started, startedText);
    formatNumber(deadline, deadlineText);
    char* const relayArgv[] = {const_cast<char*>(RelayName), programText, startedText, deadlineText,
                               nullptr};
    if (!relayExecutable().isEmpty())
        ::execve(relayExecutable().constData(), relayArgv, environ);
    // Without an executable for it, the copy relays.
    Relay(program, RelayDescriptors, started, deadline).run();
}

// The watch's side: collects what the relay forwards and hands the program's end to the
// request's handler. It goes when the report is done, or with the request's context.
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
        if (m_record.size() == qsizetype(sizeof(RelayRecord))) {
            RelayRecord record;
            std::memcpy(&record, m_record.constData(), sizeof record);
            if (record.kind != RelayRecord::StillRunning && m_onEnd) {
                readReport();
                m_end.signalled = record.kind == RelayRecord::Signalled;
                m_end.value = record.value;
                m_end.milliseconds = record.milliseconds;
                m_end.omittedBytes = record.omittedBytes;
                m_onEnd(m_end);
            }
        }
        // The report is complete, or the relay went away without one.
        m_reportNotifier->setEnabled(false);
        m_statusNotifier->setEnabled(false);
        deleteLater();
    }

    std::function<void(const ProgramEnd&)> m_onEnd;
    int m_report;
    int m_status;
    QSocketNotifier* m_reportNotifier;
    QSocketNotifier* m_statusNotifier;
    QByteArray m_record;
    ProgramEnd m_end;
};

// Starts the program detached: an intermediate child forks the program (or, for a watched one,
// its relay, which forks the program) and exits at once, so that they are handed to init and
// never become zombies of ours. The outcome of execve()
// comes back over a close-on-exec pipe: end of file means the program runs, an errno value
// means it could not start. The call waits for that outcome only, not for the program.
int startDetached(const QByteArray& path, const ProgramWatchRequest* watch)
{
    QByteArray program = path;
    char* argv[] = {program.data(), nullptr};

    struct rlimit limit {};
    int maxFd = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        maxFd = int(std::min<rlim_t>(limit.rlim_cur, 65536));

    int errorPipe[2];
    RelayPipes relay;
    const auto closeAll = [&] {
        for (int* ends : {errorPipe, relay.output, relay.error, relay.report, relay.status}) {
            for (int i = 0; i < 2; ++i) {
                if (ends[i] >= 0)
                    ::close(ends[i]);
                ends[i] = -1;
            }
        }
    };
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return startError(errno);
    if (watch) {
        for (int* ends : {relay.output, relay.error, relay.report, relay.status}) {
            if (::pipe2(ends, O_CLOEXEC) != 0) {
                const int error = errno;
                closeAll();
                return startError(error);
            }
        }
    }

    const pid_t intermediate = ::fork();
    if (intermediate < 0) {
        const int error = errno;
        closeAll();
        return startError(error);
    }
    if (intermediate == 0) {
        ::close(errorPipe[0]);
        const pid_t pid = ::_Fork();
        if (pid == 0) {
            if (watch)
                runRelay(program.constData(), argv, errorPipe[1], relay, watch->milliseconds,
                         maxFd);
            execProgram(program.constData(), argv, errorPipe[1], maxFd);
        }
        if (pid < 0) {
            reportError(errorPipe[1], errno);
            ::_exit(1);
        }
        ::_exit(0);
    }

    ::close(errorPipe[1]);
    errorPipe[1] = -1;
    int error = 0;
    char* data = reinterpret_cast<char*>(&error);
    std::size_t received = 0;
    while (received < sizeof error) {
        const ssize_t n = ::read(errorPipe[0], data + received, sizeof error - received);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received += std::size_t(n);
    }

    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
    }

    int result = Started;
    if (received == sizeof error)
        result = startError(error);
    else if (received != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result = SeOutOfResources; // the intermediate died before it could tell
    if (result == Started && watch) {
        new ProgramWatch(*watch, relay.report[0], relay.status[0]);
        relay.report[0] = relay.status[0] = -1;
    }
    closeAll();
    return result;
}

} // namespace

void setProgramRelayExecutable(const QString& executable)
{
    relayExecutable() = QFile::encodeName(executable);
}

bool isProgramRelay(int argc, char** argv)
{
    return argc == 4 && std::strcmp(argv[0], RelayName) == 0;
}

void runProgramRelay(char** argv)
{
    ::prctl(PR_SET_NAME, RelayName);
    const auto number = [](const char* text) { return std::strtoll(text, nullptr, 10); };
    Relay(pid_t(number(argv[1])), RelayDescriptors, number(argv[2]), number(argv[3])).run();
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
        return startDetached(path.startsWith('/') ? path : QByteArrayLiteral("./") + path, watch);
    }

    const QString current = QDir::currentPath();
    const QString absolute = document.startsWith(QLatin1Char('/')) ? document
                             : current.endsWith(QLatin1Char('/'))
                                 ? current + document
                                 : current + QLatin1Char('/') + document;
    return openWith(QUrl::fromLocalFile(absolute), opener);
}
