// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <list>

class QSocketNotifier;
class QTimer;

// Marks the one running instance of the program for the current user. The marker is a lock
// file held with flock(), which the system releases when the process ends in any way; beside
// it a local socket lets a later start ask the running instance to bring its window back. Both
// live in a folder that only the user may enter: the user's runtime folder, or else a folder of
// the user's own in the temporary folder. It needs no application object, so that a later start
// hands over before it builds anything else.
class InstanceMarker : public QObject {
    Q_OBJECT

public:
    // How a start goes on after acquireOrRequestRestore().
    enum class Start {
        // This process holds the marker, no marker could be made, or the socket belongs to
        // someone else: it runs as the first instance.
        First,
        // The running instance took the request.
        HandedOver,
        // The marker is held but the instance that holds it did not answer in time.
        NoAnswer,
    };

    explicit InstanceMarker(const QString& name, QObject* parent = nullptr);
    ~InstanceMarker() override;

    // Takes the marker. False when another process holds it; true when this process holds it
    // now or when no marker could be made at all (then the program runs as the first one).
    bool acquire();

    // Gives the marker up and stops answering requests.
    void release();

    // Starts answering restore requests of later starts with restoreRequested(). A connection
    // that does not complete its request in a short time is closed, and only a few are kept
    // open at once: the oldest goes for a new one. After an error the socket is made anew.
    void listen();

    // Takes the marker, or else asks the instance that holds it to restore its window, handing
    // over the file when one is given, and waits for the answer. While no answer comes the marker
    // is tried again, so that a start whose running instance died meanwhile becomes the first
    // one itself. A socket that another user listens on is sent nothing.
    Start acquireOrRequestRestore(int timeoutMs, const QString& file = QString());

signals:
    // A later start asks for the window and hands over its file, empty when it has none;
    // emitted once the start has its answer.
    void restoreRequested(const QString& file);

private:
    struct Connection {
        int fd;
        QSocketNotifier* notifier;
        QDeadlineTimer deadline;
        QByteArray received;
    };
    enum class Answer { Done, None, Foreign };

    Answer askToRestore(const QByteArray& request, const QDeadlineTimer& deadline) const;
    void acceptConnections();
    void readRequest(Connection* connection);
    void closeConnection(Connection* connection);
    void closeExpiredConnections();
    void closeListener();

    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd = -1;
    int m_listenFd = -1;
    QSocketNotifier* m_listenNotifier = nullptr;
    QTimer* m_expiry = nullptr;
    std::list<Connection> m_connections;
};
