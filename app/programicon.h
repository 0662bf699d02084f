// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QIcon>
#include <QImage>

class QPainter;

// The program's icon: a file squeezed between two jaws, drawn on a grid of 16 by 16 and scaled
// to the size in pixels. The desktop's icon files are made from the same drawing at build time.
QImage programIconImage(int size);

// Draws the icon on the painter over a square of the size from its origin, for any paint device.
void drawProgramIcon(QPainter& painter, int size);

// The icon at the small and large sizes, for the windows.
QIcon programIcon();
