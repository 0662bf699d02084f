// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Writes the program's icon for the desktop's icon theme, drawn by the program's own code:
//   kompaktor_icons FOLDER SIZE...   makes FOLDER/<size>x<size>/apps/kompaktor.png for each size.
#include "app/programicon.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        const QString dir = folder + QStringLiteral("/%1x%1/apps").arg(size);
        if (!ok || size <= 0 || !QDir().mkpath(dir) ||
            !programIconImage(size).save(dir + QStringLiteral("/kompaktor.png"), "PNG")) {
            std::fprintf(stderr, "%s: cannot write the icon of size %s\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
