// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/sysmetrics.h"

#include <QImage>
#include <QRect>

class QPainter;

// Copies a picture, or a part of it, onto a canvas and leaves out every pixel of one key
// colour, so that the canvas shows through there. Stretching takes the nearest source pixel.
//
// Key colours are TColor values: clNone asks for an opaque copy, clDefault for the picture's
// own key colour (its bottom-left pixel), a system colour is looked up when drawing. A
// monochrome picture always keys white. Target or source sizes of 0 or less mean the picture's
// whole size.
//
// The QImage overloads write the exact result into the image; the QPainter overloads compose
// the same pixels and draw them with the painter (an opaque copy uses the painter's current
// composition mode).

void DrawImageKeyed(QImage& canvas, int x, int y, const QImage& picture, TColor key);
void DrawImageKeyed(QPainter& canvas, int x, int y, const QImage& picture, TColor key);

void DrawImageRectKeyed(QImage& canvas, int x, int y, const QRect& source, const QImage& picture,
                        TColor key);
void DrawImageRectKeyed(QPainter& canvas, int x, int y, const QRect& source, const QImage& picture,
                        TColor key);

void StretchImageKeyed(QImage& canvas, const QImage& picture, TColor key, int targetX, int targetY,
                       int targetWidth, int targetHeight, int sourceX, int sourceY, int sourceWidth,
                       int sourceHeight);
void StretchImageKeyed(QPainter& canvas, const QImage& picture, TColor key, int targetX,
                       int targetY, int targetWidth, int targetHeight, int sourceX, int sourceY,
                       int sourceWidth, int sourceHeight);

// The masked stretch copy itself: the source rectangle of src stretched onto the target
// rectangle of dst; target pixels whose source pixel has the RGB value key keep their old
// colour. Parts of either rectangle outside its image are left out.
void KeyedStretchBlit(QImage& dst, int dx, int dy, int dw, int dh, const QImage& src, int sx,
                      int sy, int sw, int sh, QRgb key);

// The colour a picture is keyed with for the given TColor: white for a monochrome picture, the
// bottom-left pixel for clDefault. Not meaningful for clNone.
QRgb pictureKeyColor(const QImage& picture, TColor key);
