// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Writes the program's icon for the desktop's icon theme, drawn by the program's own code:
//   kompaktor_icons FOLDER SIZE...   makes FOLDER/<size>x<size>/apps/kompaktor.png for each size,
//                                    and FOLDER/scalable/apps/kompaktor.svg for "scalable".
#include "app/programicon.h"

#include <QDir>
#include <QPainter>
#include <QString>
#include <QSvgGenerator>

#include <cstdio>

namespace {

// The drawing's grid is 16 units; the SVG keeps it as its view box, nominally 48 pixels wide.
bool writeScalable(const QString& dir)
{
    QSvgGenerator generator;
    generator.setFileName(dir + QStringLiteral("/kompaktor.svg"));
    generator.setTitle(QStringLiteral("Kompaktor"));
    generator.setDescription(QStringLiteral("Kompaktor: a file squeezed between two jaws"));
    generator.setResolution(96);
    generator.setSize(QSize(48, 48));
    generator.setViewBox(QRect(0, 0, 16, 16));
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    drawProgramIcon(painter, 16);
    return painter.end();
}

bool writeIcon(const QString& folder, const QString& size)
{
    if (size == QLatin1String("scalable")) {
        const QString dir = folder + QStringLiteral("/scalable/apps");
        return QDir().mkpath(dir) && writeScalable(dir);
    }
    bool ok = false;
    const int pixels = size.toInt(&ok);
    const QString dir = folder + QStringLiteral("/%1x%1/apps").arg(pixels);
    return ok && pixels > 0 && QDir().mkpath(dir) &&
           programIconImage(pixels).save(dir + QStringLiteral("/kompaktor.png"), "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        if (!writeIcon(folder, QString::fromLatin1(argv[i]))) {
            std::fprintf(stderr, "%s: cannot write the icon of size %s\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
