// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/files.h"

#include <QFileInfo>

bool fileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool nameTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}
