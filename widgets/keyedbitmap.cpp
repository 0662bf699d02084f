// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/keyedbitmap.h"

#include <QPainter>

#include <optional>

namespace {

bool isMonochrome(const QImage& picture)
{
    return picture.format() == QImage::Format_Mono || picture.format() == QImage::Format_MonoLSB;
}

// The source offset whose pixel centre lies nearest to the centre of target offset i.
int nearestSource(int i, int sourceLength, int targetLength)
{
    return int((qint64(2 * i + 1) * sourceLength) / (2 * qint64(targetLength)));
}

struct Placement {
    QRect target;
    QRect source;
};

// Sizes of 0 or less stand for the picture's whole size.
Placement placement(const QImage& picture, int tx, int ty, int tw, int th, int sx, int sy, int sw,
                    int sh)
{
    if (tw <= 0)
        tw = picture.width();
    if (th <= 0)
        th = picture.height();
    if (sw <= 0 || sh <= 0) {
        sx = sy = 0;
        sw = picture.width();
        sh = picture.height();
    }
    return {QRect(tx, ty, tw, th), QRect(sx, sy, sw, sh)};
}

// Stretches the source rectangle of src onto the target rectangle, calling put(x, y, argb) for
// every target pixel inside bounds whose source pixel lies inside src and is not the key.
template <typename Put>
void stretchPixels(const QRect& bounds, const QRect& target, const QImage& src, const QRect& source,
                   std::optional<QRgb> key, Put put)
{
    if (target.isEmpty() || source.isEmpty() || src.isNull())
        return;
    const QImage pixels =
        src.format() == QImage::Format_ARGB32 || src.format() == QImage::Format_RGB32
            ? src
            : src.convertToFormat(QImage::Format_ARGB32);
    const QRect visible = target & bounds;
    const QRgb keyRgb = key ? (*key & 0xFFFFFF) : 0;
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        const int srcY =
            source.y() + nearestSource(y - target.y(), source.height(), target.height());
        if (srcY < 0 || srcY >= pixels.height())
            continue;
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(srcY));
        for (int x = visible.left(); x <= visible.right(); ++x) {
            const int srcX =
                source.x() + nearestSource(x - target.x(), source.width(), target.width());
            if (srcX < 0 || srcX >= pixels.width())
                continue;
            const QRgb pixel = line[srcX] | 0xFF000000;
            if (key && (pixel & 0xFFFFFF) == keyRgb)
                continue;
            put(x, y, pixel);
        }
    }
}

void stretchInto(QImage& dst, const QRect& target, const QImage& src, const QRect& source,
                 std::optional<QRgb> key)
{
    if (dst.isNull())
        return;
    const QImage::Format format = dst.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
        format == QImage::Format_ARGB32_Premultiplied) {
        // Opaque pixels are the same in all three formats.
        stretchPixels(dst.rect(), target, src, source, key, [&dst](int x, int y, QRgb pixel) {
            reinterpret_cast<QRgb*>(dst.scanLine(y))[x] = pixel;
        });
    } else {
        stretchPixels(dst.rect(), target, src, source, key, [&dst](int x, int y, QRgb pixel) {
            dst.setPixelColor(x, y, QColor::fromRgb(pixel));
        });
    }
}

// The key for a drawing call; none for an opaque copy.
std::optional<QRgb> keyFor(const QImage& picture, TColor key)
{
    if (key == clNone)
        return std::nullopt;
    return pictureKeyColor(picture, key);
}

} // namespace

QRgb pictureKeyColor(const QImage& picture, TColor key)
{
    if (isMonochrome(picture))
        return qRgb(0xFF, 0xFF, 0xFF);
    if (key == clDefault)
        return picture.isNull() ? qRgb(0xFF, 0xFF, 0xFF) : picture.pixel(0, picture.height() - 1);
    return ColorToRGB(key).rgb();
}

void KeyedStretchBlit(QImage& dst, int dx, int dy, int dw, int dh, const QImage& src, int sx,
                      int sy, int sw, int sh, QRgb key)
{
    stretchInto(dst, QRect(dx, dy, dw, dh), src, QRect(sx, sy, sw, sh), key);
}

void StretchImageKeyed(QImage& canvas, const QImage& picture, TColor key, int targetX, int targetY,
                       int targetWidth, int targetHeight, int sourceX, int sourceY, int sourceWidth,
                       int sourceHeight)
{
    const Placement at = placement(picture, targetX, targetY, targetWidth, targetHeight, sourceX,
                                   sourceY, sourceWidth, sourceHeight);
    stretchInto(canvas, at.target, picture, at.source, keyFor(picture, key));
}

void StretchImageKeyed(QPainter& canvas, const QImage& picture, TColor key, int targetX,
                       int targetY, int targetWidth, int targetHeight, int sourceX, int sourceY,
                       int sourceWidth, int sourceHeight)
{
    const Placement at = placement(picture, targetX, targetY, targetWidth, targetHeight, sourceX,
                                   sourceY, sourceWidth, sourceHeight);
    if (at.target.isEmpty())
        return;
    // The stretched picture with transparent key pixels, laid over the canvas.
    QImage layer(at.target.size(), QImage::Format_ARGB32);
    layer.fill(Qt::transparent);
    const QRect local(QPoint(0, 0), at.target.size());
    const std::optional<QRgb> keyRgb = keyFor(picture, key);
    stretchPixels(layer.rect(), local, picture, at.source, keyRgb, [&layer](int x, int y, QRgb p) {
        reinterpret_cast<QRgb*>(layer.scanLine(y))[x] = p;
    });
    canvas.save();
    if (keyRgb)
        canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    canvas.drawImage(at.target.topLeft(), layer);
    canvas.restore();
}

void DrawImageKeyed(QImage& canvas, int x, int y, const QImage& picture, TColor key)
{
    StretchImageKeyed(canvas, picture, key, x, y, picture.width(), picture.height(), 0, 0,
                      picture.width(), picture.height());
}

void DrawImageKeyed(QPainter& canvas, int x, int y, const QImage& picture, TColor key)
{
    StretchImageKeyed(canvas, picture, key, x, y, picture.width(), picture.height(), 0, 0,
                      picture.width(), picture.height());
}

void DrawImageRectKeyed(QImage& canvas, int x, int y, const QRect& source, const QImage& picture,
                        TColor key)
{
    StretchImageKeyed(canvas, picture, key, x, y, source.width(), source.height(), source.x(),
                      source.y(), source.width(), source.height());
}

void DrawImageRectKeyed(QPainter& canvas, int x, int y, const QRect& source, const QImage& picture,
                        TColor key)
{
    StretchImageKeyed(canvas, picture, key, x, y, source.width(), source.height(), source.x(),
                      source.y(), source.width(), source.height());
}
