#include "platform/shelllaunch.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
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
    const char* data = reinterpret_cast<const char*>(&error);
    std::size_t left = sizeof error;
    while (left > 0) {
        const ssize_t written = ::write(pipe, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        left -= std::size_t(written);
    }
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

// Starts the program detached: an intermediate child forks the program and exits at once, so
// the program is handed to init and never becomes a zombie of ours. The outcome of execve()
// comes back over a close-on-exec pipe: end of file means the program runs, an errno value
// means it could not start. The call waits for that outcome only, not for the program.
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
        const pid_t pid = ::fork();
        if (pid == 0)
            execProgram(program.constData(), argv, errorPipe[1], maxFd);
        if (pid < 0) {
            reportError(errorPipe[1], errno);
            ::_exit(1);
        }
        ::_exit(0);
    }

    ::close(errorPipe[1]);
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
    ::close(errorPipe[0]);

    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
    }

    if (received == sizeof error)
        return startError(error);
    if (received != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return SeOutOfResources; // the intermediate died before it could tell
    return Started;
}

} // namespace

DocumentOpener desktopOpener()
{
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

int ShellExecute(const QString& document, const DocumentOpener& opener)
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
        return startDetached(path.startsWith('/') ? path : QByteArrayLiteral("./") + path);
    }

    const QString current = QDir::currentPath();
    const QString absolute = document.startsWith(QLatin1Char('/')) ? document
                             : current.endsWith(QLatin1Char('/'))
                                 ? current + document
                                 : current + QLatin1Char('/') + document;
    return openWith(QUrl::fromLocalFile(absolute), opener);
}
