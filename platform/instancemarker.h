#pragma once

#include <QObject>
#include <QString>

class QDeadlineTimer;
class QLocalServer;

// Marks the one running instance of the program for the current user. The marker is a lock
// file held with flock(), which the system releases when the process ends in any way; beside
// it a local socket lets a later start ask the running instance to bring its window back.
class InstanceMarker : public QObject {
    Q_OBJECT

public:
    // The marker's files live in the user's runtime directory, or else the temporary one.
    explicit InstanceMarker(const QString& name, QObject* parent = nullptr);
    ~InstanceMarker() override;

    // Takes the marker. False when another process holds it; true when this process holds it
    // now or when no marker could be made at all (then the program runs as the first one).
    bool acquire();

    // Gives the marker up and stops answering requests.
    void release();

    // Starts answering restore requests of later starts with restoreRequested().
    void listen();

    // Takes the marker, or else asks the instance that holds it to restore its window, handing
    // over the file when one is given, and waits for the answer. While no answer comes the marker
    // is tried again, so that a start whose running instance died meanwhile becomes the first
    // one itself. True when this process holds the marker now (or no marker could be made at
    // all); false when the running instance answered or did not answer within the time.
    bool acquireOrRequestRestore(int timeoutMs, const QString& file = QString());

signals:
    // A later start asks for the window and hands over its file, empty when it has none;
    // handled before the answer goes back.
    void restoreRequested(const QString& file);

private:
    void serveNextConnection();
    // One request to the running instance; true when it answered that it restored its window.
    bool askToRestore(const QByteArray& request, const QDeadlineTimer& deadline) const;

    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};
