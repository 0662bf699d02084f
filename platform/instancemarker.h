#pragma once

#include <QObject>
#include <QString>

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

    // Asks the instance that holds the marker to restore its window and waits for the answer.
    // False when no instance answered within the time.
    bool requestRestore(int timeoutMs) const;

signals:
    // A later start asks for the window; handled before the answer goes back.
    void restoreRequested();

private:
    void serveNextConnection();

    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};
