// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/settingslocation.h"

#include "packer/profilefile.h"

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString SettingsFileName = QStringLiteral("Kompaktor.INI");

// The profile writer leaves alone what grants nobody write access, root included: something
// counts as writable only where the writer would write it.
bool mayWrite(const QFileInfo& info)
{
    return info.isWritable() && !isWriteProtected(info);
}

bool isPortableCopy(const QString& programDir)
{
    const QFileInfo folder(programDir);
    return folder.isDir() && folder.ownerId() == ::geteuid() &&
           !QFileInfo::exists(programDir + InstallationMarkerName);
}

QString configurationFolder()
{
    // A relative value is ignored, as the XDG base directory rules say.
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configured.startsWith(QLatin1Char('/')))
        return configured;
    // Without HOME the home folder is the user's own from the password database, not "/".
    QString home = qEnvironmentVariable("HOME");
    if (!home.startsWith(QLatin1Char('/'))) {
        const passwd* user = ::getpwuid(::geteuid());
        home = user && user->pw_dir ? QFile::decodeName(user->pw_dir) : QDir::homePath();
    }
    return home + QStringLiteral("/.config");
}

} // namespace

QString settingsFilePath(const QString& programDir)
{
    if (isPortableCopy(programDir)) {
        const QString beside = programDir + SettingsFileName;
        const QFileInfo file(beside);
        // A write-protected file of the user's own is kept, and its failing save reported.
        if (file.exists() ? file.ownerId() == ::geteuid() || mayWrite(file)
                          : mayWrite(QFileInfo(programDir)))
            return beside;
    }
    return configurationFolder() + QStringLiteral("/Kompaktor/") + SettingsFileName;
}

bool makeSettingsFolder(const QString& settingsFile)
{
    return QDir().mkpath(QFileInfo(settingsFile).absolutePath());
}
