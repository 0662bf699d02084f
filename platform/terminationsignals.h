// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the signals that ask a program to end (SIGTERM from kill or the session's logout,
// SIGHUP when the terminal goes, SIGINT from Ctrl+C) into a Qt signal delivered by the event
// loop, so that the program can end as it does when its window is closed. One instance at a
// time; the default handling comes back when it is destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether one of the signals arrived since the start.
    bool received() const { return m_received; }

signals:
    void terminationRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
    bool m_received = false;
};
