// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/instancemarker.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The requests of a later start: "restore\n" alone, or "open N\n" followed by the N bytes of the
// file name to hand over, which may hold any byte, line breaks too.
const QByteArray restoreRequest = "restore\n";
const QByteArray openRequest = "open ";
const QByteArray restoreDone = "done\n";
// Far beyond any path the system takes; a longer announcement is no request of ours.
constexpr qsizetype MaxFileNameBytes = 1 << 16;
// Both request lines are shorter.
constexpr qsizetype MaxRequestLine = 16;
// A later start sends its request at once: a connection that has not completed it by then
// only holds a descriptor.
constexpr int RequestTimeoutMs = 1000;
// Connections open at once; a new one closes the oldest, so that stalled connections can
// neither use up the descriptors nor keep a later start out.
constexpr std::size_t MaxConnections = 32;
// How long accepting pauses when the process has no descriptor or memory left for a connection.
constexpr int AcceptPauseMs = 100;

QByteArray requestFor(const QString& file)
{
    if (file.isEmpty())
        return restoreRequest;
    const QByteArray name = QFile::encodeName(file);
    return openRequest + QByteArray::number(name.size()) + '\n' + name;
}

enum class Parsed { Incomplete, Request, Invalid };

// Reads one whole request from the start of the bytes received so far.
Parsed parseRequest(const QByteArray& received, QString& file)
{
    const qsizetype lineEnd = received.indexOf('\n');
    if (lineEnd < 0)
        return received.size() < MaxRequestLine ? Parsed::Incomplete : Parsed::Invalid;
    const QByteArray line = received.left(lineEnd + 1);
    if (line == restoreRequest)
        return Parsed::Request;
    if (!line.startsWith(openRequest))
        return Parsed::Invalid;
    const QByteArray digits = line.mid(openRequest.size(), line.size() - openRequest.size() - 1);
    bool ok = !digits.isEmpty() && std::all_of(digits.cbegin(), digits.cend(),
                                               [](char c) { return c >= '0' && c <= '9'; });
    const qsizetype length = ok ? digits.toLongLong(&ok) : 0;
    if (!ok || length > MaxFileNameBytes)
        return Parsed::Invalid;
    if (received.size() - line.size() < length)
        return Parsed::Incomplete;
    file = QFile::decodeName(received.mid(line.size(), length));
    return Parsed::Request;
}

// True when the folder is a folder of this user, not a link, that nobody else may enter. A
// folder of the user's own that others may enter is closed to them when repair is asked for.
bool isPrivateFolder(const QByteArray& path, bool repair)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    bool ok = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid();
    if (ok && (status.st_mode & 077) != 0)
        ok = repair && ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

// The folder of the marker's files: the user's runtime folder, or else a folder of the user's
// own in the temporary folder, made when missing; empty when neither is private to the user,
// as when another user made that name first, or when neither leaves room in a socket's address
// for the socket file's name.
QString markerDirectory(qsizetype socketNameBytes)
{
    const qsizetype room = qsizetype(sizeof(sockaddr_un::sun_path)) - 2 - socketNameBytes;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && runtime.size() <= room && isPrivateFolder(runtime, false))
        return QFile::decodeName(runtime);
    const QString own =
        QDir::tempPath() + QStringLiteral("/kompaktor-") + QString::number(getuid());
    const QByteArray path = QFile::encodeName(own);
    if (path.size() > room || (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST))
        return {};
    return isPrivateFolder(path, true) ? own : QString();
}

// The address of the socket file, false when the path does not fit into one.
bool socketAddress(const QString& path, sockaddr_un& address)
{
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(name.cbegin(), name.cend(), address.sun_path);
    return true;
}

// The user of the process at the other end of the connection, or -1 when unknown.
uid_t peerUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return uid_t(-1);
    return credentials.uid;
}

// Waits for the events on the descriptor until the deadline; true when they came.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    for (;;) {
        pollfd wait{fd, events, 0};
        const int result = ::poll(&wait, 1, int(qMax<qint64>(deadline.remainingTime(), 0)));
        if (result < 0 && errno == EINTR)
            continue;
        return result > 0 && (wait.revents & events);
    }
}

} // namespace

InstanceMarker::InstanceMarker(const QString& name, QObject* parent) : QObject(parent)
{
    const QString file = name + QLatin1Char('-') + QString::number(getuid());
    const QString socket = file + QStringLiteral(".socket");
    const QString directory = markerDirectory(QFile::encodeName(socket).size());
    if (directory.isEmpty())
        return;
    m_lockPath = directory + QLatin1Char('/') + file + QStringLiteral(".lock");
    m_socketPath = directory + QLatin1Char('/') + socket;
}

InstanceMarker::~InstanceMarker()
{
    release();
}

bool InstanceMarker::acquire()
{
    if (m_lockPath.isEmpty())
        return true;
    // Close-on-exec, so that a child such as the packer never keeps the marker alive.
    m_lockFd = ::open(QFile::encodeName(m_lockPath).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0)
        return true;
    // A marker that another user made is not ours: never let it hold us up.
    struct stat status {};
    if (::fstat(m_lockFd, &status) != 0 || status.st_uid != ::getuid()) {
        ::close(m_lockFd);
        m_lockFd = -1;
        return true;
    }
    int result;
    do {
        result = ::flock(m_lockFd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
    const bool heldElsewhere = errno == EWOULDBLOCK;
    ::close(m_lockFd);
    m_lockFd = -1;
    return !heldElsewhere;
}

void InstanceMarker::release()
{
    if (m_listenFd >= 0) {
        closeListener();
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

void InstanceMarker::listen()
{
    sockaddr_un address;
    if (m_listenFd >= 0 || !socketAddress(m_socketPath, address))
        return;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // The socket file is the user's alone. A socket file left by a killed instance is stale:
    // whoever holds the lock owns the name.
    ::fchmod(fd, 0600);
    ::unlink(address.sun_path);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        return;
    }
    m_listenFd = fd;
    m_listenNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this,
            &InstanceMarker::acceptConnections);
    if (!m_expiry) {
        m_expiry = new QTimer(this);
        m_expiry->setSingleShot(true);
        connect(m_expiry, &QTimer::timeout, this, &InstanceMarker::closeExpiredConnections);
    }
}

void InstanceMarker::closeListener()
{
    while (!m_connections.empty())
        closeConnection(&m_connections.front());
    // Possibly from within its own signal.
    m_listenNotifier->setEnabled(false);
    m_listenNotifier->deleteLater();
    m_listenNotifier = nullptr;
    ::close(m_listenFd);
    m_listenFd = -1;
}

void InstanceMarker::acceptConnections()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            switch (errno) {
            case EAGAIN:
                return;
            case EINTR:
            case ECONNABORTED:
                continue;
            case EMFILE:
            case ENFILE:
            case ENOBUFS:
            case ENOMEM:
                // Room for the new connection at the cost of the oldest; with none of ours
                // open, the shortage is elsewhere: try again in a moment.
                if (!m_connections.empty()) {
                    closeConnection(&m_connections.front());
                    continue;
                }
                m_listenNotifier->setEnabled(false);
                QTimer::singleShot(AcceptPauseMs, m_listenNotifier,
                                   [notifier = m_listenNotifier] { notifier->setEnabled(true); });
                return;
            default:
                // The socket itself failed: a new one keeps the later starts coming.
                closeListener();
                listen();
                return;
            }
        }
        // Nobody else's requests are served, whoever could reach the socket.
        if (peerUser(fd) != ::getuid()) {
            ::close(fd);
            continue;
        }
        if (m_connections.size() >= MaxConnections)
            closeConnection(&m_connections.front());
        m_connections.push_back({fd,
                                 new QSocketNotifier(fd, QSocketNotifier::Read, this),
                                 QDeadlineTimer(RequestTimeoutMs),
                                 {}});
        Connection* connection = &m_connections.back();
        connect(connection->notifier, &QSocketNotifier::activated, this,
                [this, connection] { readRequest(connection); });
        if (!m_expiry->isActive())
            m_expiry->start(RequestTimeoutMs);
    }
}

void InstanceMarker::readRequest(Connection* connection)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(connection->fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            return;
        if (got <= 0) {
            closeConnection(connection);
            return;
        }
        connection->received.append(buffer, got);
        QString file;
        const Parsed parsed = parseRequest(connection->received, file);
        if (parsed == Parsed::Incomplete)
            continue;
        // One request per connection: the rest is not read. The start is answered first, so
        // that it can end while the window takes the request.
        if (parsed == Parsed::Request)
            ::send(connection->fd, restoreDone.constData(), restoreDone.size(), MSG_NOSIGNAL);
        closeConnection(connection);
        if (parsed == Parsed::Request)
            emit restoreRequested(file);
        return;
    }
}

void InstanceMarker::closeConnection(Connection* connection)
{
    connection->notifier->setEnabled(false);
    connection->notifier->deleteLater();
    ::close(connection->fd);
    m_connections.remove_if([connection](const Connection& open) { return &open == connection; });
    // What a burst of connections took goes back to the system, not only to the heap.
    if (m_connections.empty())
        ::malloc_trim(0);
}

void InstanceMarker::closeExpiredConnections()
{
    while (!m_connections.empty() && m_connections.front().deadline.hasExpired())
        closeConnection(&m_connections.front());
    if (!m_connections.empty())
        m_expiry->start(int(m_connections.front().deadline.remainingTime()) + 1);
}

InstanceMarker::Start InstanceMarker::acquireOrRequestRestore(int timeoutMs, const QString& file)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray request = requestFor(file);
    for (;;) {
        if (acquire())
            return Start::First;
        // The running instance may still be starting and not yet listen, or it may have died
        // without answering: then the marker is free on the next round.
        switch (askToRestore(request, deadline)) {
        case Answer::Done:
            return Start::HandedOver;
        case Answer::Foreign:
            return Start::First;
        case Answer::None:
            break;
        }
        if (deadline.hasExpired())
            return Start::NoAnswer;
        QThread::msleep(20);
    }
}

InstanceMarker::Answer InstanceMarker::askToRestore(const QByteArray& request,
                                                    const QDeadlineTimer& deadline) const
{
    sockaddr_un address;
    if (!socketAddress(m_socketPath, address))
        return Answer::None;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Answer::None;
    Answer answer = Answer::None;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // Not listening yet, gone, or too busy to take the connection now.
    } else if (peerUser(fd) != ::getuid()) {
        // Someone else's socket under our name: the file name is not theirs to know.
        answer = Answer::Foreign;
    } else {
        qsizetype sent = 0;
        while (sent < request.size() && waitFor(fd, POLLOUT, deadline)) {
            const ssize_t n =
                ::send(fd, request.constData() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            sent += qMax<ssize_t>(n, 0);
        }
        // Waiting ends with the answer, the deadline, or the connection's end when the running
        // instance dies or closes it.
        QByteArray received;
        char buffer[16];
        while (sent == request.size() && received.size() < restoreDone.size() &&
               waitFor(fd, POLLIN, deadline)) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                break;
            received.append(buffer, qMax<ssize_t>(n, 0));
        }
        if (received == restoreDone)
            answer = Answer::Done;
    }
    ::close(fd);
    return answer;
}
