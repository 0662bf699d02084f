#include "packer/settingslocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString SettingsFileName = QStringLiteral("Kompaktor.INI");
} // namespace

QString settingsFilePath(const QString& programDir)
{
    const QString beside = programDir + SettingsFileName;
    // The profile writer leaves alone what grants nobody write access, root included; the
    // folder counts as writable only where the writer would create the file in it.
    const QFileInfo folder(programDir);
    constexpr auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (QFileInfo::exists(beside) ||
        (folder.isDir() && folder.isWritable() && (folder.permissions() & writeBits)))
        return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kompaktor/") + SettingsFileName;
}

bool makeSettingsFolder(const QString& settingsFile)
{
    return QDir().mkpath(QFileInfo(settingsFile).absolutePath());
}
