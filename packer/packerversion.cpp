// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerversion.h"

#include <QProcess>
#include <QRegularExpression>

QVersionNumber packerVersionFromReport(const QByteArray& report)
{
    static const QRegularExpression firstLine(QStringLiteral("^upx (\\d+(?:\\.\\d+)*)"));
    const QRegularExpressionMatch match = firstLine.match(QString::fromLatin1(report));
    return match.hasMatch() ? QVersionNumber::fromString(match.captured(1)) : QVersionNumber();
}

PackerVersion::PackerVersion(const QString& packer)
{
    if (packer.isEmpty())
        return;
    m_process = std::make_unique<QProcess>();
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    connect(m_process.get(), &QProcess::finished, this, &PackerVersion::known);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit known();
    });
    m_process->start(packer, {QStringLiteral("-V")});
}

PackerVersion::~PackerVersion()
{
    // A report that was never needed is not waited for.
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

bool PackerVersion::isKnown() const
{
    return !m_process || m_givenUp || m_process->state() == QProcess::NotRunning;
}

QVersionNumber PackerVersion::version(int waitMs)
{
    if (!m_process || m_givenUp)
        return m_version;
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(waitMs)) {
        // Ended at the latest when this object goes.
        m_process->kill();
        m_givenUp = true;
        return m_version;
    }
    if (m_process->exitStatus() == QProcess::NormalExit)
        m_version = packerVersionFromReport(m_process->readAllStandardOutput());
    m_process.reset();
    return m_version;
}
