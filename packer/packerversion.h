#pragma once

#include <QByteArray>
#include <QString>
#include <QVersionNumber>

#include <memory>

class QProcess;

// The packer's version from the first line of its "-V" report, for example "upx 4.2.2"; null
// when the report does not begin that way.
QVersionNumber packerVersionFromReport(const QByteArray& report);

// Asks a packer for its version in the background and hands the answer over when it is first
// needed, so that nothing waits for the packer before then. The packer is asked once.
class PackerVersion {
public:
    // Starts "PACKER -V"; an empty path asks nothing.
    explicit PackerVersion(const QString& packer);
    ~PackerVersion();

    // The version, waiting for the report the first time it is asked for; null when it cannot
    // be read, also when the packer has not answered within a few seconds.
    QVersionNumber version();

private:
    std::unique_ptr<QProcess> m_process;
    QVersionNumber m_version;
};
