#include "packer/packerversion.h"

#include <QProcess>
#include <QRegularExpression>

namespace {
// A packer that has not reported by then is taken as one whose version cannot be read.
constexpr int ReportWaitMs = 10000;
} // namespace

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

QVersionNumber PackerVersion::version()
{
    if (!m_process)
        return m_version;
    if (m_process->state() != QProcess::NotRunning)
        m_process->waitForFinished(ReportWaitMs);
    if (m_process->state() == QProcess::NotRunning &&
        m_process->exitStatus() == QProcess::NormalExit)
        m_version = packerVersionFromReport(m_process->readAllStandardOutput());
    m_process.reset();
    return m_version;
}
