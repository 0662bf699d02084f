#include "platform/instancemarker.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
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

QString markerDirectory()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

} // namespace

InstanceMarker::InstanceMarker(const QString& name, QObject* parent) : QObject(parent)
{
    const QString base =
        markerDirectory() + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(getuid());
    m_lockPath = base + QStringLiteral(".lock");
    m_socketPath = base + QStringLiteral(".socket");
}

InstanceMarker::~InstanceMarker()
{
    release();
}

bool InstanceMarker::acquire()
{
    // Close-on-exec, so that a child such as the packer never keeps the marker alive.
    m_lockFd = ::open(QFile::encodeName(m_lockPath).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0)
        return true;
    // A marker that another user made in a shared folder is not ours: never let it hold us up.
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
    delete m_server;
    m_server = nullptr;
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

void InstanceMarker::listen()
{
    if (m_server)
        return;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a killed instance is stale: whoever holds the lock owns the name.
    QLocalServer::removeServer(m_socketPath);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceMarker::serveNextConnection);
    if (!m_server->listen(m_socketPath)) {
        delete m_server;
        m_server = nullptr;
    }
}

void InstanceMarker::serveNextConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
            *received += socket->readAll();
            QString file;
            const Parsed parsed = parseRequest(*received, file);
            if (parsed == Parsed::Incomplete)
                return;
            // One request per connection: the rest is not read.
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            if (parsed == Parsed::Request) {
                emit restoreRequested(file);
                socket->write(restoreDone);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool InstanceMarker::acquireOrRequestRestore(int timeoutMs, const QString& file)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray request = requestFor(file);
    for (;;) {
        if (acquire())
            return true;
        // The running instance may still be starting and not yet listen, or it may have died
        // without answering: then the marker is free on the next round.
        if (askToRestore(request, deadline) || deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

bool InstanceMarker::askToRestore(const QByteArray& request, const QDeadlineTimer& deadline) const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(int(qBound(qint64(1), deadline.remainingTime(), qint64(200)))))
        return false;
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 1))))
            return false;
    }
    // Waiting ends with the answer, the deadline, or the connection's end when the running
    // instance dies.
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine() == restoreDone;
}
