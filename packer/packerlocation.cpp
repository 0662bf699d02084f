// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerlocation.h"

#include "platform/files.h"

#include <QFileInfo>

QString searchFile(const QString& name, const QStringList& directories)
{
    for (const QString& entry : directories) {
        if (entry.isEmpty())
            continue;
        const QString candidate =
            entry.endsWith(QLatin1Char('/')) ? entry + name : entry + QLatin1Char('/') + name;
        if (fileExists(candidate))
            return candidate;
    }
    return {};
}

QStringList packerSearchDirectories(const QString& programDir, const QString& pathValue)
{
    QStringList directories{programDir};
    for (const QString& entry : pathValue.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (entry.startsWith(QLatin1Char('/')))
            directories << entry;
    }
    return directories;
}

QString findPacker(const QString& programDir, const QString& pathValue)
{
    const QString found =
        searchFile(PackerFileName, packerSearchDirectories(programDir, pathValue));
    // The program's own folder may have been named relative to the start folder.
    return found.isEmpty() ? found : QFileInfo(found).absoluteFilePath();
}

QString directoryPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}
