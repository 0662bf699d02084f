// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/programicon.h"

#include <QPainter>
#include <QPixmap>

void drawProgramIcon(QPainter& painter, int size)
{
    painter.scale(size / 16.0, size / 16.0);
    // The file, a white sheet with a folded corner.
    painter.setPen(QColor(0x00, 0x00, 0x80));
    painter.setBrush(Qt::white);
    painter.drawRect(4, 2, 8, 12);
    painter.fillRect(5, 5, 6, 1, QColor(0x00, 0x00, 0x80));
    painter.fillRect(5, 8, 6, 1, QColor(0x00, 0x00, 0x80));
    painter.fillRect(5, 11, 6, 1, QColor(0x00, 0x00, 0x80));
    // The two red jaws pressing it from the sides.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xC0, 0x00, 0x00));
    painter.drawPolygon(QPolygon({QPoint(0, 5), QPoint(3, 8), QPoint(0, 11)}));
    painter.drawPolygon(QPolygon({QPoint(16, 5), QPoint(13, 8), QPoint(16, 11)}));
}

QImage programIconImage(int size)
{
    // An image, not a pixmap, so that the build can draw it without a display.
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawProgramIcon(painter, size);
    painter.end();
    return image;
}

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(programIconImage(16)));
    icon.addPixmap(QPixmap::fromImage(programIconImage(32)));
    return icon;
}
