// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/rxslider.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

const QRgb Magenta = qRgb(0xFF, 0x00, 0xFF);
const QRgb White = qRgb(0xFF, 0xFF, 0xFF);
const QRgb Light = qRgb(0xC0, 0xC0, 0xC0);
const QRgb Dark = qRgb(0x80, 0x80, 0x80);
const QRgb Black = qRgb(0x00, 0x00, 0x00);

QImage rendered(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// How many pixels of a row are black.
int blackIn(const QImage& image, int y)
{
    int black = 0;
    for (int x = 0; x < image.width(); ++x)
        black += image.pixel(x, y) == Black;
    return black;
}

// A slider of the default size in a shown window.
struct ShownSlider {
    QWidget parent;
    TRxSlider* slider = new TRxSlider(&parent);
    ShownSlider() { parent.show(); }
};

// The memory slider of the options page, set up in the order the main window uses.
struct Trackbar {
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    TRxSlider* slider = new TRxSlider(parent.get());
    QSignalSpy* changes = nullptr;
    QSignalSpy* done = nullptr;
    bool active = false;

    Trackbar()
    {
        parent->resize(500, 120);
        slider->beginLoading();
        slider->setGeometry(18, 66, 463, 43);
        slider->setIncrement(100000);
        slider->setMinValue(10000);
        slider->setMaxValue(999999);
        slider->setValue(10000);
        slider->endLoading();
        changes = new QSignalSpy(slider, &TRxSlider::OnChange);
        done = new QSignalSpy(slider, &TRxSlider::OnChanged);
        parent->show();
        parent->activateWindow();
        active = QTest::qWaitForWindowActive(parent.get());
        slider->setFocus();
    }
    ~Trackbar()
    {
        delete changes;
        delete done;
    }
    QImage rendered() const { return ::rendered(slider); }
    QRgb background() const { return slider->palette().color(QPalette::Window).rgb(); }
    // The repeat timer, which only repeat() fires from then on.
    QTimer* holdRepeatTimer() const
    {
        slider->setRepeatInterval(std::chrono::hours(1));
        return slider->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    }
    // Fires the running repeat timer once, as when its interval runs out.
    static void repeat(QTimer* timer)
    {
        QVERIFY(timer && timer->isActive());
        QTimerEvent tick(timer->timerId());
        QCoreApplication::sendEvent(timer, &tick);
    }
};

// A mouse move without a button, as the pointer passes over the control.
void hover(QWidget* widget, const QPoint& point)
{
    QMouseEvent move(QEvent::MouseMove, point, widget->mapToGlobal(point), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// The value the thumb of the memory slider has when its left edge is dragged to x.
int draggedValue(int x)
{
    const double offset = std::nearbyint((x - 6) * 989999.0 / 442.0);
    return int(std::min(std::max(offset, 0.0) + 10000, 999999.0));
}

// A picture with one column per colour, each column a different grey, to follow columns.
QImage columnPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y)
            picture.setPixel(x, y, qRgb(x * 10, x * 10, x * 10));
    }
    return picture;
}

QList<int> columnsOf(const QImage& ruler, bool horizontal)
{
    QList<int> columns;
    const int length = horizontal ? ruler.width() : ruler.height();
    for (int i = 0; i < length; ++i)
        columns << qRed(horizontal ? ruler.pixel(i, 0) : ruler.pixel(0, i)) / 10;
    return columns;
}

QList<int> range(int from, int to)
{
    QList<int> list;
    for (int i = from; i <= to; ++i)
        list << i;
    return list;
}

} // namespace

class TestRxSlider : public QObject {
    Q_OBJECT

private slots:
    void defaults()
    {
        TRxSlider slider;
        QCOMPARE(slider.size(), QSize(150, 40));
        QCOMPARE(slider.minValue(), 0);
        QCOMPARE(slider.maxValue(), 100);
        QCOMPARE(slider.increment(), 10);
        QCOMPARE(slider.value(), 0);
        QCOMPARE(slider.options(),
                 TRxSlider::soShowFocus | TRxSlider::soShowPoints | TRxSlider::soSmooth);
        // The layout of the default size is made at once.
        QCOMPARE(slider.rulerImage().size(), QSize(138, 8));
        QCOMPARE(slider.thumbBox(), QRect(6, 6, 9, 17));
    }

    void builtInPictures_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QPoint>>("points");
        QTest::addColumn<QList<QRgb>>("colours");
        QTest::newRow("horizontal thumb")
            << int(TRxSlider::ImageHThumb) << QSize(18, 17)
            << QList<QPoint>{{0, 0}, {8, 0}, {1, 1}, {7, 1}, {10, 2}, {11, 2}, {0, 13}, {4, 16}}
            << QList<QRgb>{White, Black, Light, Dark, Light, White, Magenta, Black};
        QTest::newRow("horizontal ruler")
            << int(TRxSlider::ImageHRuler) << QSize(10, 8)
            << QList<QPoint>{{0, 1}, {0, 2}, {9, 2}, {1, 3}, {8, 3}, {5, 4}, {3, 5}, {0, 7}}
            << QList<QRgb>{Magenta, Dark, White, Black, Light, Light, White, Magenta};
        QTest::newRow("vertical thumb")
            << int(TRxSlider::ImageVThumb) << QSize(38, 9)
            << QList<QPoint>{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {17, 4}, {21, 2}, {22, 2}, {0, 8}}
            << QList<QRgb>{Magenta, Black, White, Dark, Black, Light, White, Magenta};
        QTest::newRow("vertical ruler")
            << int(TRxSlider::ImageVRuler) << QSize(8, 10)
            << QList<QPoint>{{1, 0}, {2, 0}, {3, 1}, {4, 1}, {4, 8}, {5, 9}, {0, 9}}
            << QList<QRgb>{Magenta, Dark, Black, Light, Light, White, Magenta};
    }

    void builtInPictures()
    {
        QFETCH(int, index);
        QFETCH(QSize, size);
        QFETCH(QList<QPoint>, points);
        QFETCH(QList<QRgb>, colours);
        TRxSlider slider;
        const QImage picture = slider.image(TRxSlider::ImageIndex(index));
        QCOMPARE(picture.size(), size);
        QCOMPARE(picture, TRxSlider::builtInImage(TRxSlider::ImageIndex(index)));
        for (int i = 0; i < points.size(); ++i)
            QCOMPARE(picture.pixel(points[i]) | 0xFF000000, colours[i]);
    }

    // Both ends of the ruler picture stay, its middle repeats.
    void composeRuler_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("edge");
        QTest::addColumn<QList<int>>("columns");
        QTest::newRow("one piece") << 8 << 2 << range(0, 7);
        QTest::newRow("clipped first piece") << 5 << 2 << range(0, 4);
        QTest::newRow("exact fit") << 10 << 2 << range(0, 9);
        QTest::newRow("end of a middle") << 14 << 2 << range(0, 7) + range(4, 9);
        QTest::newRow("three pieces") << 17 << 2 << range(0, 7) + range(2, 7) + range(7, 9);
        QTest::newRow("four pieces")
            << 23 << 2 << range(0, 7) + range(2, 7) + range(2, 7) + range(7, 9);
        QTest::newRow("edge 4") << 11 << 4 << range(0, 5) + range(5, 9);
        QTest::newRow("edge 0") << 13 << 0 << range(0, 9) + range(7, 9);
    }

    void composeRuler()
    {
        QFETCH(int, length);
        QFETCH(int, edge);
        QFETCH(QList<int>, columns);
        for (const bool horizontal : {true, false}) {
            TRxSlider slider;
            if (!horizontal)
                slider.setOrientation(TRxSlider::soVertical);
            slider.setImage(horizontal ? TRxSlider::ImageHRuler : TRxSlider::ImageVRuler,
                            horizontal
                                ? columnPicture(10, 3)
                                : columnPicture(10, 3).transformed(QTransform(0, 1, 1, 0, 0, 0)));
            slider.setEdgeSize(edge);
            QCOMPARE(slider.edgeSize(), edge);
            slider.resize(horizontal ? length + 12 : 40, horizontal ? 40 : length + 12);
            slider.Relayout();
            QCOMPARE(columnsOf(slider.rulerImage(), horizontal), columns);
        }
    }

    void trackbar1Layout()
    {
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        QCOMPARE(slider->value(), 10000);
        QCOMPARE(slider->increment(), 100000);
        QCOMPARE(slider->rulerImage().size(), QSize(451, 8));
        QCOMPARE(slider->rulerOrigin(), QPoint(6, 10));
        QCOMPARE(slider->thumbBox(), QRect(6, 6, 9, 17));
        QCOMPARE(slider->pointsArea().top(), 24);
        QCOMPARE(slider->pointsArea().left(), 6);
        QCOMPARE(slider->pointsArea().x() + slider->pointsArea().width(), 457);
        QCOMPARE(slider->travelLength(), 442);
        // The groove: leading edge, 75 pieces, trailing edge.
        const QImage& ruler = slider->rulerImage();
        QCOMPARE(ruler.pixel(0, 3) | 0xFF000000, Dark);
        QCOMPARE(ruler.pixel(1, 3) | 0xFF000000, Black);
        QCOMPARE(ruler.pixel(448, 3) | 0xFF000000, Black);
        QCOMPARE(ruler.pixel(449, 3) | 0xFF000000, Light);
        QCOMPARE(ruler.pixel(450, 3) | 0xFF000000, White);
        QCOMPARE(ruler.pixel(449, 2) | 0xFF000000, Dark);
        QCOMPARE(ruler.pixel(450, 2) | 0xFF000000, White);
        QCOMPARE(ruler.pixel(225, 0) | 0xFF000000, Magenta);
        QCOMPARE(ruler.pixel(225, 5) | 0xFF000000, White);
    }

    void thumbPositions_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("left");
        QTest::newRow("minimum") << 10000 << 6;
        QTest::newRow("maximum") << 999999 << 448;
        QTest::newRow("first point") << 110000 << 51;
        QTest::newRow("middle") << 505000 << 227;
        QTest::newRow("beyond maximum") << 5000000 << 448;
        QTest::newRow("below minimum") << -7 << 6;
    }

    void thumbPositions()
    {
        QFETCH(int, value);
        QFETCH(int, left);
        Trackbar bar;
        bar.slider->setValue(value);
        QCOMPARE(bar.slider->thumbBox(), QRect(left, 6, 9, 17));
        QCOMPARE(bar.slider->PositionOfValue(bar.slider->value()), left);
    }

    void valueSetter()
    {
        Trackbar bar;
        bar.slider->setValue(2000000);
        QCOMPARE(bar.slider->value(), 999999);
        QCOMPARE(bar.changes->count(), 1);
        bar.slider->setValue(999999);
        QCOMPARE(bar.changes->count(), 1);
        bar.slider->setValue(123457);
        QCOMPARE(bar.slider->value(), 123457);
        QCOMPARE(bar.changes->count(), 2);
        QCOMPARE(bar.done->count(), 0);
    }

    void keySteps_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("changes");
        QTest::addColumn<int>("done");
        QTest::newRow("End at the maximum") << 999999 << int(Qt::Key_End) << 0 << 999999 << 0 << 1;
        QTest::newRow("End") << 10000 << int(Qt::Key_End) << 0 << 999999 << 1 << 1;
        QTest::newRow("Home") << 500000 << int(Qt::Key_Home) << 0 << 10000 << 1 << 1;
        QTest::newRow("Right from minimum") << 10000 << int(Qt::Key_Right) << 0 << 100000 << 1 << 1;
        QTest::newRow("Right rounds half to even")
            << 150000 << int(Qt::Key_Right) << 0 << 300000 << 1 << 1;
        QTest::newRow("Right from 250000, half to even")
            << 250000 << int(Qt::Key_Right) << 0 << 300000 << 1 << 1;
        QTest::newRow("Left from 150000") << 150000 << int(Qt::Key_Left) << 0 << 100000 << 1 << 1;
        QTest::newRow("Right near the end")
            << 900000 << int(Qt::Key_Right) << 0 << 999999 << 1 << 1;
        QTest::newRow("Left to the minimum") << 100000 << int(Qt::Key_Left) << 0 << 10000 << 1 << 1;
        QTest::newRow("Up does nothing when horizontal")
            << 100000 << int(Qt::Key_Up) << 0 << 100000 << 0 << 0;
        QTest::newRow("Page Up") << 100000 << int(Qt::Key_PageUp) << 0 << 100000 << 0 << 0;
        QTest::newRow("Shift+Right")
            << 100000 << int(Qt::Key_Right) << int(Qt::ShiftModifier) << 100000 << 0 << 0;
        QTest::newRow("Ctrl+End") << 100000 << int(Qt::Key_End) << int(Qt::ControlModifier)
                                  << 100000 << 0 << 0;
    }

    void keySteps()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, expected);
        QFETCH(int, changes);
        QFETCH(int, done);
        Trackbar bar;
        bar.slider->setValue(start);
        bar.changes->clear();
        QTest::keyClick(bar.slider, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(bar.slider->value(), expected);
        QCOMPARE(bar.changes->count(), changes);
        QCOMPARE(bar.done->count(), done);
        QCOMPARE(bar.slider->thumbBox().x(), bar.slider->PositionOfValue(expected));
    }

    void incrementChecks_data()
    {
        QTest::addColumn<int>("increment");
        QTest::addColumn<bool>("refused");
        QTest::newRow("zero") << 0 << true;
        QTest::newRow("negative") << -100 << true;
        QTest::newRow("more than the range") << 990000 << true;
        QTest::newRow("the whole range") << 989999 << false;
        QTest::newRow("one") << 1 << false;
    }

    void incrementChecks()
    {
        QFETCH(int, increment);
        QFETCH(bool, refused);
        Trackbar bar;
        bar.slider->setValue(123456);
        QString error;
        try {
            bar.slider->setIncrement(increment);
        } catch (const SliderError& e) {
            error = e.message();
        }
        if (refused) {
            QCOMPARE(error, QStringLiteral("Wert muß zwischen 1 und 989999 liegen"));
            QCOMPARE(bar.slider->increment(), 100000);
        } else {
            QVERIFY(error.isEmpty());
            QCOMPARE(bar.slider->increment(), increment);
        }
        // Never rounds the value.
        QCOMPARE(bar.slider->value(), 123456);
    }

    void rangeChanges()
    {
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        slider->setMaxValue(5000);
        QCOMPARE(slider->maxValue(), 999999);
        slider->setMinValue(999999);
        QCOMPARE(slider->minValue(), 10000);
        QCOMPARE(bar.changes->count(), 0);

        slider->setValue(80000);
        bar.changes->clear();
        slider->setMaxValue(50000);
        QCOMPARE(slider->maxValue(), 50000);
        QCOMPARE(slider->increment(), 40000);
        QCOMPARE(slider->value(), 50000);
        QCOMPARE(bar.changes->count(), 1);
        QCOMPARE(slider->thumbBox().x(), 448);

        slider->setMinValue(60000);
        QCOMPARE(slider->minValue(), 10000);
        slider->setMinValue(20000);
        QCOMPARE(slider->increment(), 30000);
        QCOMPARE(slider->value(), 50000);
    }

    void dragThumb_data()
    {
        QTest::addColumn<bool>("smooth");
        QTest::addColumn<int>("left");
        for (const int left : {6, 7, 50, 227, 300, 447, 448}) {
            QTest::addRow("smooth to %d", left) << true << left;
            QTest::addRow("snapping to %d", left) << false << left;
        }
        QTest::newRow("smooth beyond the left end") << true << -40;
        QTest::newRow("smooth beyond the right end") << true << 600;
    }

    void dragThumb()
    {
        QFETCH(bool, smooth);
        QFETCH(int, left);
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        if (!smooth)
            slider->setOptions(slider->options() & ~TRxSlider::soSmooth);
        // Grabbed 4 pixels right of the thumb's left edge.
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(10, 14));
        QVERIFY(slider->isThumbDragging());
        QVERIFY(slider->isThumbPressed());
        QTest::mouseMove(slider, QPoint(left + 4, 30));
        QVERIFY(slider->isThumbDragging());
        QCOMPARE(bar.done->count(), 0);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(left + 4, 30));
        QVERIFY(!slider->isThumbDragging());
        QVERIFY(!slider->isThumbPressed());
        QCOMPARE(bar.done->count(), 1);

        const int value = slider->value();
        if (smooth) {
            QCOMPARE(value, draggedValue(left));
        } else {
            QVERIFY2(value == 999999 || (value - 10000) % 100000 == 0,
                     qPrintable(QString::number(value)));
            QVERIFY(std::abs(value - draggedValue(left)) <= 50000 || value == 999999);
        }
        QCOMPARE(bar.changes->count(), value == 10000 ? 0 : 1);
        QCOMPARE(slider->thumbBox().x(), slider->PositionOfValue(value));
        QVERIFY(slider->thumbBox().x() >= 6 && slider->thumbBox().x() <= 448);
    }

    void rulerPress()
    {
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        QCOMPARE(slider->repeatInterval(), std::chrono::milliseconds(400));
        QTimer* timer = bar.holdRepeatTimer();

        // Right of the thumb: one step at once, then one each time the repeat timer runs out.
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(300, 14));
        QCOMPARE(slider->value(), 100000);
        QVERIFY(slider->isRulerHeld());
        QVERIFY(slider->isRepeatTimerOn());
        Trackbar::repeat(timer);
        QCOMPARE(slider->value(), 200000);
        QCOMPARE(bar.done->count(), 0);

        // Once the thumb has passed the mouse point the stepping stops; the press goes on.
        QTest::mouseMove(slider, QPoint(60, 14));
        Trackbar::repeat(timer);
        Trackbar::repeat(timer);
        QCOMPARE(slider->value(), 200000);
        QVERIFY(slider->isRulerHeld());

        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(60, 14));
        QVERIFY(!slider->isRulerHeld());
        QVERIFY(!timer->isActive());
        QCOMPARE(bar.done->count(), 1);
        QCOMPARE(bar.changes->count(), 2);

        // Left of the thumb steps backward.
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(20, 14));
        QCOMPARE(slider->value(), 100000);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(20, 14));
        QCOMPARE(bar.done->count(), 2);
    }

    void rulerPressArea_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("expected");
        QTest::newRow("row 7") << QPoint(200, 7) << 100000;
        QTest::newRow("row 21") << QPoint(200, 21) << 100000;
        QTest::newRow("row 6") << QPoint(200, 6) << 10000;
        QTest::newRow("row 22") << QPoint(200, 22) << 10000;
        QTest::newRow("column 457") << QPoint(457, 14) << 100000;
        QTest::newRow("column 458") << QPoint(458, 14) << 10000;
    }

    void rulerPressArea()
    {
        QFETCH(QPoint, point);
        QFETCH(int, expected);
        Trackbar bar;
        QTest::mousePress(bar.slider, Qt::LeftButton, {}, point);
        QCOMPARE(bar.slider->value(), expected);
        QTest::mouseRelease(bar.slider, Qt::LeftButton, {}, point);
        QCOMPARE(bar.done->count(), expected == 10000 ? 0 : 1);
    }

    void otherPresses()
    {
        Trackbar bar;
        QTest::mousePress(bar.slider, Qt::RightButton, {}, QPoint(300, 14));
        QTest::mouseRelease(bar.slider, Qt::RightButton, {}, QPoint(300, 14));
        QCOMPARE(bar.slider->value(), 10000);
        QTest::mousePress(bar.slider, Qt::RightButton, {}, QPoint(10, 14));
        QVERIFY(!bar.slider->isThumbDragging());
        QTest::mouseRelease(bar.slider, Qt::RightButton, {}, QPoint(10, 14));
        // The thumb's right and bottom edges belong to it for a press.
        QTest::mousePress(bar.slider, Qt::LeftButton, {}, QPoint(15, 23));
        QVERIFY(bar.slider->isThumbDragging());
        QTest::mouseRelease(bar.slider, Qt::LeftButton, {}, QPoint(15, 23));
        QCOMPARE(bar.slider->value(), 10000);
        bar.done->clear();
        // The second press of a double click does not step.
        QTest::mouseClick(bar.slider, Qt::LeftButton, {}, QPoint(300, 14));
        QCOMPARE(bar.slider->value(), 100000);
        QTest::mouseDClick(bar.slider, Qt::LeftButton, {}, QPoint(300, 14));
        QTest::mouseRelease(bar.slider, Qt::LeftButton, {}, QPoint(300, 14));
        QCOMPARE(bar.slider->value(), 100000);
        QVERIFY(!bar.slider->isRulerHeld());
        QCOMPARE(bar.done->count(), 1);
    }

    void handCursor()
    {
        Trackbar bar;
        hover(bar.slider, QPoint(10, 14));
        QCOMPARE(bar.slider->cursor().shape(), Qt::PointingHandCursor);
        hover(bar.slider, QPoint(15, 14));
        QCOMPARE(bar.slider->cursor().shape(), Qt::ArrowCursor);
        hover(bar.slider, QPoint(6, 6));
        QCOMPARE(bar.slider->cursor().shape(), Qt::PointingHandCursor);
        hover(bar.slider, QPoint(200, 14));
        QCOMPARE(bar.slider->cursor().shape(), Qt::ArrowCursor);
        // Leaving the thumb brings back the slider's own cursor, also one set over the thumb.
        bar.slider->setCursor(Qt::SizeHorCursor);
        hover(bar.slider, QPoint(10, 14));
        QCOMPARE(bar.slider->cursor().shape(), Qt::PointingHandCursor);
        hover(bar.slider, QPoint(200, 14));
        QCOMPARE(bar.slider->cursor().shape(), Qt::SizeHorCursor);
        hover(bar.slider, QPoint(10, 14));
        bar.slider->setCursor(Qt::IBeamCursor);
        QCOMPARE(bar.slider->cursor().shape(), Qt::PointingHandCursor);
        hover(bar.slider, QPoint(200, 14));
        QCOMPARE(bar.slider->cursor().shape(), Qt::IBeamCursor);
    }

    void renderedTrackbar()
    {
        Trackbar bar;
        const QRgb back = bar.background();
        QImage image = bar.rendered();
        QCOMPARE(image.size(), QSize(463, 43));
        // The groove, keyed on magenta.
        QCOMPARE(image.pixel(100, 10), back);
        QCOMPARE(image.pixel(100, 12), Dark);
        QCOMPARE(image.pixel(100, 13), Black);
        QCOMPARE(image.pixel(100, 15), White);
        QCOMPARE(image.pixel(456, 13), White);
        // The thumb at the minimum, its key pixels showing the background.
        QCOMPARE(image.pixel(6, 6), White);
        QCOMPARE(image.pixel(14, 6), Black);
        QCOMPARE(image.pixel(7, 7), Light);
        QCOMPARE(image.pixel(6, 19), back);
        QCOMPARE(image.pixel(10, 22), Black);

        // The eleven points: 5 pixels at both ends, 3 between, from y = 24.
        const QList<int> points{10, 55, 99, 144, 189, 233, 278, 323, 367, 412, 452};
        QCOMPARE(blackIn(image, 24), points.size());
        for (const int x : points) {
            const int length = x == points.first() || x == points.last() ? 5 : 3;
            for (int y = 24; y < 24 + length; ++y)
                QCOMPARE(image.pixel(x, y), Black);
            QCOMPARE(image.pixel(x, 24 + length), back);
        }

        bar.slider->setValue(999999);
        image = bar.rendered();
        QCOMPARE(image.pixel(448, 6), White);
        QCOMPARE(image.pixel(456, 6), Black);
        QCOMPARE(image.pixel(6, 6), back);
        QCOMPARE(image.pixel(7, 13), Black);
    }

    void checkeredThumb()
    {
        Trackbar bar;
        QCOMPARE(bar.rendered().pixel(8, 8), Light);
        QTest::mousePress(bar.slider, Qt::LeftButton, {}, QPoint(10, 14));
        QCOMPARE(bar.rendered().pixel(8, 8), White);
        QCOMPARE(bar.rendered().pixel(9, 8), Light);
        QTest::mouseRelease(bar.slider, Qt::LeftButton, {}, QPoint(10, 14));
        QCOMPARE(bar.rendered().pixel(8, 8), Light);
        bar.slider->setEnabled(false);
        QCOMPARE(bar.rendered().pixel(8, 8), White);
        QCOMPARE(bar.slider->PaintCopy().pixel(8, 8), White);
        bar.slider->setEnabled(true);
        QCOMPARE(bar.slider->PaintCopy().pixel(8, 8), Light);
    }

    void focusRectangle()
    {
        Trackbar bar;
        const QRgb back = bar.background();
        QVERIFY(bar.active);
        QVERIFY(bar.slider->hasFocus());
        QImage image = bar.rendered();
        QCOMPARE(image.pixel(2, 2), back ^ 0x00FFFFFF);
        QCOMPARE(image.pixel(3, 2), back);
        QCOMPARE(image.pixel(460, 40), back ^ 0x00FFFFFF);
        bar.slider->clearFocus();
        QCOMPARE(bar.rendered().pixel(2, 2), back);
        bar.slider->setFocus();
        bar.slider->setOptions(bar.slider->options() & ~TRxSlider::soShowFocus);
        QCOMPARE(bar.rendered().pixel(2, 2), back);
        // While another window is active, the slider is still its window's focused control.
        bar.slider->setOptions(bar.slider->options() | TRxSlider::soShowFocus);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!bar.slider->hasFocus());
        QCOMPARE(bar.rendered().pixel(2, 2), back ^ 0x00FFFFFF);
    }

    void ownPoints()
    {
        Trackbar bar;
        connect(bar.slider, &TRxSlider::OnDrawPoints, bar.slider,
                [&bar] { bar.slider->DrawTickMarks(500000, 2, 4); });
        const QImage image = bar.rendered();
        QCOMPARE(blackIn(image, 24), 3);
        QCOMPARE(image.pixel(10, 27), Black);
        QCOMPARE(image.pixel(10 + 223, 25), Black);
        QCOMPARE(image.pixel(10 + 223, 26), bar.background());
        bar.slider->setOptions(bar.slider->options() & ~TRxSlider::soShowPoints);
        QCOMPARE(bar.rendered().pixel(10, 24), bar.background());
    }

    void vertical()
    {
        ShownSlider shown;
        TRxSlider* slider = shown.slider;
        slider->move(5, 7);
        slider->setFocus();
        slider->setOrientation(TRxSlider::soVertical);
        QCOMPARE(slider->geometry(), QRect(5, 7, 40, 150));
        QCOMPARE(slider->rulerImage().size(), QSize(8, 138));
        QCOMPARE(slider->thumbBox(), QRect(6, 135, 19, 9));
        QCOMPARE(slider->rulerOrigin(), QPoint(11, 6));
        QCOMPARE(slider->pointsArea().left(), 26);
        QCOMPARE(slider->travelLength(), 129);
        QCOMPARE(slider->PositionOfValue(100), 6);

        QTest::keyClick(slider, Qt::Key_Up);
        QCOMPARE(slider->value(), 10);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->value(), 10);
        QTest::keyClick(slider, Qt::Key_Down);
        QCOMPARE(slider->value(), 0);
        // A press above the thumb steps forward.
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(15, 20));
        QCOMPARE(slider->value(), 10);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(15, 20));
        // Dragging the thumb to the top gives the maximum.
        const QPoint grip = slider->thumbBox().center();
        QTest::mousePress(slider, Qt::LeftButton, {}, grip);
        QTest::mouseMove(slider, QPoint(grip.x(), 0));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(grip.x(), 0));
        QCOMPARE(slider->value(), 100);
        QCOMPARE(slider->thumbBox().top(), 6);

        // The picture: the vertical thumb at the top, pointing right.
        const QImage image = rendered(slider);
        QCOMPARE(image.pixel(7, 6), Black);
        QCOMPARE(image.pixel(7, 7), White);
        QCOMPARE(image.pixel(13, 100), Dark);
        QCOMPARE(image.pixel(26, 6 + 4), Black);

        slider->setOrientation(TRxSlider::soHorizontal);
        QCOMPARE(slider->size(), QSize(150, 40));
        QCOMPARE(slider->thumbBox(), QRect(135, 6, 9, 17));
    }

    void bevel_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QRgb>("topLeft");
        QTest::addColumn<QRgb>("bottomRight");
        QTest::newRow("lowered") << int(TRxSlider::bvLowered) << Dark << White;
        QTest::newRow("raised") << int(TRxSlider::bvRaised) << White << Dark;
    }

    void bevel()
    {
        QFETCH(int, style);
        QFETCH(QRgb, topLeft);
        QFETCH(QRgb, bottomRight);
        ShownSlider shown;
        TRxSlider* slider = shown.slider;
        slider->setBevelStyle(TRxSlider::TPanelBevel(style));
        QCOMPARE(slider->ContentRect(), QRect(1, 1, 148, 38));
        QCOMPARE(slider->rulerImage().width(), 136);
        QCOMPARE(slider->thumbBox().topLeft(), QPoint(7, 7));
        QCOMPARE(slider->rulerOrigin(), QPoint(7, 11));
        const QImage image = rendered(slider);
        QCOMPARE(image.pixel(0, 0), topLeft);
        QCOMPARE(image.pixel(0, 38), topLeft);
        QCOMPARE(image.pixel(148, 0), topLeft);
        QCOMPARE(image.pixel(149, 0), bottomRight);
        QCOMPARE(image.pixel(0, 39), bottomRight);
        QCOMPARE(image.pixel(149, 39), bottomRight);
        QCOMPARE(image.pixel(1, 1), slider->palette().color(QPalette::Window).rgb());
        QCOMPARE(image.pixel(7, 7), White);
    }

    void oneThumbState()
    {
        ShownSlider shown;
        TRxSlider* slider = shown.slider;
        slider->setNumThumbStates(1);
        QCOMPARE(slider->thumbBox().size(), QSize(18, 17));
        QCOMPARE(slider->travelLength(), 138 - 18);
        slider->setNumThumbStates(3);
        QCOMPARE(slider->numThumbStates(), 1);
        const QImage normal = slider->grab().toImage();
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(slider->isThumbPressed());
        QCOMPARE(slider->grab().toImage(), normal);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(8, 8));
    }

    void userPictures()
    {
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        QImage ruler(12, 4, QImage::Format_RGB32);
        ruler.fill(qRgb(0x00, 0x80, 0x00));
        slider->setOptions(slider->options() | TRxSlider::soRulerOpaque | TRxSlider::soThumbOpaque);
        slider->setImageHRuler(ruler);
        QCOMPARE(slider->userImages(), quint8(0x02));
        QCOMPARE(slider->imageHRuler(), ruler);
        QCOMPARE(slider->rulerImage().size(), QSize(451, 4));
        // The thumb is taller than the ruler now: the ruler is centred on it.
        QCOMPARE(slider->rulerOrigin(), QPoint(6, 6 + (17 - 4) / 2));
        QCOMPARE(bar.rendered().pixel(200, 12), qRgb(0x00, 0x80, 0x00));

        QImage thumb(20, 30, QImage::Format_RGB32);
        thumb.fill(qRgb(0x80, 0x00, 0x00));
        slider->setProperty("ImageHThumb", thumb);
        QCOMPARE(slider->userImages(), quint8(0x03));
        QCOMPARE(slider->thumbBox().size(), QSize(10, 30));
        QCOMPARE(slider->pointsArea().top(), 6 + 30 + 1);
        QCOMPARE(slider->travelLength(), 441);

        slider->setImageHRuler(QImage());
        QCOMPARE(slider->userImages(), quint8(0x01));
        QCOMPARE(slider->imageHRuler(), TRxSlider::builtInImage(TRxSlider::ImageHRuler));
        QVERIFY(!(slider->options() & TRxSlider::soRulerOpaque));
        QVERIFY(slider->options() & TRxSlider::soThumbOpaque);
        slider->setImageHThumb(QImage());
        QCOMPARE(slider->userImages(), quint8(0));
        QVERIFY(!(slider->options() & TRxSlider::soThumbOpaque));
        QCOMPARE(slider->thumbBox(), QRect(6, 6, 9, 17));
        QCOMPARE(slider->rulerOrigin(), QPoint(6, 10));
        QCOMPARE(bar.changes->count(), 0);
    }

    void edgeSize()
    {
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        slider->setEdgeSize(5);
        QCOMPARE(slider->edgeSize(), 2);
        slider->setEdgeSize(-1);
        QCOMPARE(slider->edgeSize(), 2);
        slider->setEdgeSize(4);
        QCOMPARE(slider->edgeSize(), 4);
        QCOMPARE(slider->rulerImage().pixel(3, 3) | 0xFF000000, Black);
        // A later picture exactly twice the edge has no middle to repeat: the ruler stays
        // empty, the control keeps working.
        slider->setImageHRuler(columnPicture(8, 8));
        QCOMPARE(slider->rulerImage().size(), QSize(451, 8));
        QCOMPARE(slider->rulerImage().pixel(100, 3), slider->rulerImage().pixel(0, 7));
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(slider->value(), 999999);
        QVERIFY(!bar.rendered().isNull());
    }

    // Sizes the algorithms cannot place a thumb on keep the value and do not crash.
    void degenerateSizes_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("no travel") << 21;
        QTest::newRow("thumb longer than the ruler") << 15;
        QTest::newRow("no ruler") << 5;
        QTest::newRow("nothing") << 0;
    }

    void degenerateSizes()
    {
        QFETCH(int, width);
        Trackbar bar;
        TRxSlider* slider = bar.slider;
        slider->resize(width, 43);
        QVERIFY(slider->travelLength() <= 0);
        slider->setValue(500000);
        QCOMPARE(slider->value(), 500000);
        QCOMPARE(slider->thumbBox().x(), 6);
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(8, 14));
        QTest::mouseMove(slider, QPoint(0, 14));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(0, 14));
        QCOMPARE(slider->value(), 500000);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(slider->value(), 600000);
        if (width > 0)
            QVERIFY(!bar.rendered().isNull());
    }

    void loading()
    {
        QWidget parent;
        auto* slider = new TRxSlider(&parent);
        QSignalSpy changes(slider, &TRxSlider::OnChange);
        slider->beginLoading();
        slider->setGeometry(18, 66, 463, 43);
        slider->setIncrement(100000);
        // The pair is briefly inverted; the value follows the minimum.
        slider->setMinValue(10000);
        QCOMPARE(slider->maxValue(), 100);
        QCOMPARE(slider->value(), 10000);
        // An empty range is accepted while loading and places the thumb at the start.
        slider->setMaxValue(10000);
        QCOMPARE(slider->PositionOfValue(10000), 6);
        slider->setMaxValue(999999);
        slider->setValue(10000);
        slider->endLoading();
        QCOMPARE(slider->increment(), 100000);
        QCOMPARE(slider->thumbBox(), QRect(6, 6, 9, 17));
        QCOMPARE(slider->rulerImage().width(), 451);
        // Only the clamping of the default value 0 changed it.
        QCOMPARE(changes.count(), 1);
    }

    void loadingKeepsUserPictures()
    {
        TRxSlider slider;
        slider.beginLoading();
        QImage ruler(12, 8, QImage::Format_RGB32);
        ruler.fill(qRgb(1, 2, 3));
        slider.setImageHRuler(ruler);
        slider.setImageHThumb(QImage());
        slider.setOrientation(TRxSlider::soVertical);
        QCOMPARE(slider.size(), QSize(150, 40));
        slider.setOrientation(TRxSlider::soHorizontal);
        slider.endLoading();
        QCOMPARE(slider.userImages(), quint8(0x02));
        QCOMPARE(slider.rulerImage().pixel(50, 3), qRgb(1, 2, 3));
    }
};

QTEST_MAIN(TestRxSlider)
#include "tst_rxslider.moc"
