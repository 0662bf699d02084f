// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVersionNumber>

#include <memory>

class QProcess;

// The packer's version from the first line of its "-V" report, for example "upx 4.2.2"; null
// when the report does not begin that way.
QVersionNumber packerVersionFromReport(const QByteArray& report);

// Asks a packer for its version in the background and hands the answer over when it is first
// needed, so that nothing waits for the packer before then. The packer is asked once.
class PackerVersion : public QObject {
    Q_OBJECT

public:
    // A packer that has not reported within this many milliseconds of the first wait for its
    // report is taken as one whose version cannot be read.
    static constexpr int ReportWaitMs = 2000;

    // Starts "PACKER -V"; an empty path asks nothing.
    explicit PackerVersion(const QString& packer);
    ~PackerVersion() override;

    // Whether version() answers without waiting: the packer has ended, could not be started,
    // has been given up on, or was never asked.
    bool isKnown() const;
    // The version, waiting at most waitMs for the report the first time it is asked for; null
    // when it cannot be read, also when the packer has not answered by then. A packer that has
    // not answered is stopped and not waited for again.
    QVersionNumber version(int waitMs = ReportWaitMs);

signals:
    // The packer has ended or could not be started: isKnown() holds from now on.
    void known();

private:
    std::unique_ptr<QProcess> m_process;
    QVersionNumber m_version;
    bool m_givenUp = false;
};
