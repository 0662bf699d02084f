// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/keyedbitmap.h"

#include <QPainter>
#include <QTest>

namespace {

// Pictures are written as grids, one string per row from the top.
QRgb colourOf(QChar c)
{
    switch (c.toLatin1()) {
    case '.':
        return qRgb(0xFF, 0x00, 0xFF);
    case 'W':
        return qRgb(0xFF, 0xFF, 0xFF);
    case 'K':
        return qRgb(0x00, 0x00, 0x00);
    case 'R':
        return qRgb(0xFF, 0x00, 0x00);
    case 'G':
        return qRgb(0x00, 0xFF, 0x00);
    case 'F':
        return qRgb(0xD4, 0xD0, 0xC8);
    default:
        return qRgb(0x00, 0x00, 0xFF);
    }
}

QImage grid(const QStringList& rows)
{
    QImage image(rows.isEmpty() ? 0 : int(rows.first().size()), int(rows.size()),
                 QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, colourOf(rows[y][x]));
    }
    return image;
}

QStringList rowsOf(const QImage& image)
{
    const QString letters = QStringLiteral(".WKRGFB");
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x) {
            QChar letter = QLatin1Char('?');
            for (const QChar c : letters) {
                if (colourOf(c) == (image.pixel(x, y) | 0xFF000000))
                    letter = c;
            }
            row += letter;
        }
        rows << row;
    }
    return rows;
}

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colourOf(QLatin1Char('B')));
    return image;
}

const QStringList Picture{"RGK", "W.R", ".GW"};

} // namespace

class TestKeyedBitmap : public QObject {
    Q_OBJECT

private slots:
    void stretchImageKeyed_data()
    {
        QTest::addColumn<QStringList>("picture");
        QTest::addColumn<bool>("monochrome");
        QTest::addColumn<quint32>("key");
        QTest::addColumn<QRect>("target");
        QTest::addColumn<QRect>("source");
        QTest::addColumn<QStringList>("expected");

        const QRect whole(0, 0, 0, 0);
        QTest::newRow("opaque copy")
            << Picture << false << quint32(clNone) << QRect(1, 1, 3, 3) << QRect(0, 0, 3, 3)
            << QStringList{"BBBBB", "BRGKB", "BW.RB", "B.GWB", "BBBBB"};
        QTest::newRow("default key is bottom-left")
            << Picture << false << quint32(clDefault) << QRect(1, 1, 3, 3) << QRect(0, 0, 3, 3)
            << QStringList{"BBBBB", "BRGKB", "BWBRB", "BBGWB", "BBBBB"};
        QTest::newRow("explicit magenta")
            << Picture << false << quint32(RGBColor(255, 0, 255)) << QRect(1, 1, 3, 3)
            << QRect(0, 0, 3, 3) << QStringList{"BBBBB", "BRGKB", "BWBRB", "BBGWB", "BBBBB"};
        QTest::newRow("explicit green, BBGGRR order")
            << Picture << false << quint32(RGBColor(0, 255, 0)) << QRect(0, 0, 3, 3)
            << QRect(0, 0, 3, 3) << QStringList{"RBK", "W.R", ".BW"};
        QTest::newRow("explicit red")
            << Picture << false << quint32(0x000000FF) << QRect(0, 0, 3, 3) << QRect(0, 0, 3, 3)
            << QStringList{"BGK", "W.B", ".GW"};
        QTest::newRow("system colour key")
            << QStringList{"FR", "RF"} << false << quint32(0x80000000 | COLOR_BTNFACE)
            << QRect(0, 0, 2, 2) << QRect(0, 0, 2, 2) << QStringList{"BR", "RB"};
        QTest::newRow("monochrome keys white whatever is passed")
            << QStringList{"WK", "KW"} << true << quint32(RGBColor(0, 0, 0)) << QRect(0, 0, 2, 2)
            << QRect(0, 0, 2, 2) << QStringList{"BK", "KB"};
        QTest::newRow("monochrome default")
            << QStringList{"KK", "WK"} << true << quint32(clDefault) << QRect(0, 0, 2, 2)
            << QRect(0, 0, 2, 2) << QStringList{"KK", "BK"};
        QTest::newRow("monochrome opaque")
            << QStringList{"WK", "KW"} << true << quint32(clNone) << QRect(0, 0, 2, 2)
            << QRect(0, 0, 2, 2) << QStringList{"WK", "KW"};
        QTest::newRow("stretched up")
            << QStringList{"R.", ".G"} << false << quint32(clDefault) << QRect(0, 0, 4, 4)
            << QRect(0, 0, 2, 2) << QStringList{"RRBB", "RRBB", "BBGG", "BBGG"};
        QTest::newRow("stretched up unevenly")
            << QStringList{"RGK"} << false << quint32(clNone) << QRect(0, 0, 5, 1)
            << QRect(0, 0, 3, 1) << QStringList{"RRGKK"};
        QTest::newRow("stretched down takes the nearest pixel")
            << QStringList{"RGKW", "....", "WRGK", "...."} << false << quint32(clDefault)
            << QRect(0, 0, 2, 2) << QRect(0, 0, 4, 4) << QStringList{"BB", "BB"};
        QTest::newRow("stretched down, rows 0 and 2")
            << QStringList{"RGKW", "....", "WRGK", "...."} << false << quint32(clNone)
            << QRect(0, 0, 2, 1) << QRect(0, 0, 4, 2) << QStringList{".."};
        QTest::newRow("stretched down, columns")
            << QStringList{"RGKW"} << false << quint32(clNone) << QRect(0, 0, 2, 1)
            << QRect(0, 0, 4, 1) << QStringList{"GW"};
        QTest::newRow("zero sizes mean the whole picture")
            << Picture << false << quint32(clDefault) << QRect(1, 0, 0, 0) << whole
            << QStringList{"BRGK", "BWBR", "BBGW"};
        QTest::newRow("zero source size, target size kept")
            << QStringList{"RG"} << false << quint32(clNone) << QRect(0, 0, 4, 1) << whole
            << QStringList{"RRGG"};
        QTest::newRow("part of the picture")
            << Picture << false << quint32(clDefault) << QRect(0, 0, 2, 2) << QRect(1, 1, 2, 2)
            << QStringList{"BR", "GW"};
        QTest::newRow("clipped at the canvas edge")
            << Picture << false << quint32(clNone) << QRect(-1, -2, 3, 3) << QRect(0, 0, 3, 3)
            << QStringList{"GWB", "BBB"};
    }

    // Key pixels show the old canvas, every other pixel the nearest source pixel.
    void stretchImageKeyed()
    {
        QFETCH(QStringList, picture);
        QFETCH(bool, monochrome);
        QFETCH(quint32, key);
        QFETCH(QRect, target);
        QFETCH(QRect, source);
        QFETCH(QStringList, expected);

        QImage image = grid(picture);
        if (monochrome) {
            image = image.convertToFormat(QImage::Format_Mono);
            QCOMPARE(image.format(), QImage::Format_Mono);
        }
        const int width = int(expected.first().size());
        const int height = int(expected.size());

        QImage onImage = canvas(width, height);
        StretchImageKeyed(onImage, image, key, target.x(), target.y(), target.width(),
                          target.height(), source.x(), source.y(), source.width(), source.height());
        QCOMPARE(rowsOf(onImage), expected);

        // The painter version composes the same pixels.
        QImage viaPainter = canvas(width, height);
        {
            QPainter painter(&viaPainter);
            StretchImageKeyed(painter, image, key, target.x(), target.y(), target.width(),
                              target.height(), source.x(), source.y(), source.width(),
                              source.height());
        }
        QCOMPARE(rowsOf(viaPainter), expected);
    }

    void drawWholeAndPart()
    {
        const QImage picture = grid(Picture);
        QImage whole = canvas(4, 4);
        DrawImageKeyed(whole, 1, 1, picture, clDefault);
        QCOMPARE(rowsOf(whole), (QStringList{"BBBB", "BRGK", "BWBR", "BBGW"}));

        QImage part = canvas(3, 2);
        DrawImageRectKeyed(part, 1, 0, QRect(0, 1, 2, 2), picture, RGBColor(255, 255, 255));
        QCOMPARE(rowsOf(part), (QStringList{"BB.", "B.G"}));

        QImage painted = canvas(3, 2);
        {
            QPainter painter(&painted);
            DrawImageRectKeyed(painter, 1, 0, QRect(0, 1, 2, 2), picture, RGBColor(255, 255, 255));
        }
        QCOMPARE(rowsOf(painted), rowsOf(part));
    }

    // The blit itself works on other target formats too and leaves out what lies outside.
    void keyedStretchBlit()
    {
        QImage target(3, 1, QImage::Format_RGB888);
        target.fill(colourOf(QLatin1Char('B')));
        KeyedStretchBlit(target, 0, 0, 3, 1, grid({"R.G"}), 0, 0, 3, 1, qRgb(0xFF, 0x00, 0xFF));
        QCOMPARE(rowsOf(target), QStringList{"RBG"});

        QImage outside = canvas(2, 1);
        KeyedStretchBlit(outside, 0, 0, 2, 1, grid({"RG"}), 1, 0, 2, 1, qRgb(0, 0, 0));
        QCOMPARE(rowsOf(outside), QStringList{"GB"});
    }
};

QTEST_MAIN(TestKeyedBitmap)
#include "tst_keyedbitmap.moc"
