// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tupxform1.h"
#include "platform/sysmetrics.h"
#include "testing.h"
#include "widgets/magneticform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Sends WM_MOVING with the window's own size placed at (x, y) and returns what came back.
TRect moveTo(Form& form, int x, int y)
{
    TRect r{x, y, x + form.width(), y + form.height()};
    form.SendMessage(WM_MOVING, 0, reinterpret_cast<std::intptr_t>(&r));
    return r;
}

} // namespace

Q_DECLARE_METATYPE(TRect)

class TestMagneticForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void snapToEdges_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("bottomGap");
        QTest::addColumn<bool>("marginEnabled");
        QTest::addColumn<bool>("alwaysOnScreen");
        QTest::addColumn<int>("expectedX");
        QTest::addColumn<int>("expectedBottomGap");
        // bottomGap: the screen height minus the window's bottom; 100 is far from the edge.
        QTest::newRow("x 9 snaps") << 9 << 100 << true << false << 0 << 100;
        QTest::newRow("x 10 stays") << 10 << 100 << true << false << 10 << 100;
        QTest::newRow("x -4 snaps") << -4 << 100 << true << false << 0 << 100;
        QTest::newRow("x -5 stays") << -5 << 100 << true << false << -5 << 100;
        QTest::newRow("bottom 9 above snaps") << 100 << 9 << true << false << 100 << 0;
        QTest::newRow("bottom 10 above stays") << 100 << 10 << true << false << 100 << 10;
        QTest::newRow("bottom 4 below snaps") << 100 << -4 << true << false << 100 << 0;
        QTest::newRow("corner") << 3 << 5 << true << false << 0 << 0;
        QTest::newRow("margins off") << 9 << 9 << false << false << 9 << 9;
        QTest::newRow("on screen: no inward snap") << 9 << 9 << false << true << 9 << 9;
        QTest::newRow("on screen: left edge held") << -50 << 100 << false << true << 0 << 100;
        QTest::newRow("on screen: bottom edge held") << 100 << -60 << false << true << 100 << 0;
        QTest::newRow("on screen with margins") << -50 << -5 << true << true << 0 << 0;
    }

    void snapToEdges()
    {
        QFETCH(int, x);
        QFETCH(int, bottomGap);
        QFETCH(bool, marginEnabled);
        QFETCH(bool, alwaysOnScreen);
        QFETCH(int, expectedX);
        QFETCH(int, expectedBottomGap);
        Form form(QSize(300, 200));
        auto* magnetic = new TMagneticForm(&form);
        magnetic->Margin.Enabled = marginEnabled;
        magnetic->AlwaysOnScreen = alwaysOnScreen;
        const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        const TRect r = moveTo(form, x, screenHeight - bottomGap - form.height());
        QCOMPARE(r.Left, expectedX);
        QCOMPARE(screenHeight - r.Bottom, expectedBottomGap);
        // The window keeps its size.
        QCOMPARE(r.Right - r.Left, form.width());
        QCOMPARE(r.Bottom - r.Top, form.height());
    }

    void rightAndTopEdges()
    {
        Form form(QSize(300, 200));
        auto* magnetic = new TMagneticForm(&form);
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        TRect r = moveTo(form, screenWidth - form.width() - 9, 9);
        QCOMPARE(r, (TRect{screenWidth - form.width(), 0, screenWidth, form.height()}));
        r = moveTo(form, screenWidth - form.width() - 10, 10);
        QCOMPARE(r.Left, screenWidth - form.width() - 10);
        QCOMPARE(r.Top, 10);
        magnetic->Margin.TopMax = 20;
        QCOMPARE(moveTo(form, 100, 15).Top, 0);
    }

    void onMovingReplacesTheSnapping()
    {
        Form form(QSize(300, 200));
        auto* magnetic = new TMagneticForm(&form);
        QObject* sender = nullptr;
        magnetic->OnMoving = [&sender](QObject* s, TRect& rect) {
            sender = s;
            rect.Top += 1;
        };
        const TRect r = moveTo(form, 9, 100);
        QCOMPARE(sender, magnetic);
        QCOMPARE(r.Left, 9);
        QCOMPARE(r.Top, 101);
    }

    void keepAspect_data()
    {
        QTest::addColumn<int>("edge");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<TRect>("expected");
        // Proposed: (100, 50) to (250, 250), 200 high.
        QTest::newRow("bottom right") << int(WMSZ_BOTTOMRIGHT) << true << TRect{100, 50, 400, 250};
        QTest::newRow("top right") << int(WMSZ_TOPRIGHT) << true << TRect{100, 50, 400, 250};
        QTest::newRow("bottom left") << int(WMSZ_BOTTOMLEFT) << true << TRect{-50, 50, 250, 250};
        QTest::newRow("top left") << int(WMSZ_TOPLEFT) << true << TRect{-50, 50, 250, 250};
        QTest::newRow("bottom edge") << int(WMSZ_BOTTOM) << true << TRect{100, 50, 250, 250};
        QTest::newRow("right edge") << int(WMSZ_RIGHT) << true << TRect{100, 50, 250, 250};
        QTest::newRow("ratio off") << int(WMSZ_BOTTOMRIGHT) << false << TRect{100, 50, 250, 250};
    }

    void keepAspect()
    {
        QFETCH(int, edge);
        QFETCH(bool, enabled);
        QFETCH(TRect, expected);
        Form form(QSize(300, 200), TFormBorderStyle::bsSizeable);
        auto* magnetic = new TMagneticForm(&form);
        magnetic->Resize.Ratio.Enabled = enabled;
        magnetic->Resize.Ratio.setAspectRatio(1.5f);
        TRect r{100, 50, 250, 250};
        form.SendMessage(WM_SIZING, edge, reinterpret_cast<std::intptr_t>(&r));
        QCOMPARE(r, expected);
    }

    void ratio()
    {
        Form form(QSize(300, 200));
        TMagneticForm magnetic(&form);
        QCOMPARE(magnetic.Resize.Ratio.Width(), form.width());
        QCOMPARE(magnetic.Resize.Ratio.Height(), form.height());
        // The main window's resource in its order.
        TRatio& ratio = magnetic.Resize.Ratio;
        ratio.setWidth(100);
        ratio.setHeight(72);
        ratio.setAspectRatio(1.3855855464935303f);
        QCOMPARE(ratio.Width(), 100);
        QCOMPARE(ratio.Height(), 72);
        QCOMPARE(ratio.AspectRatio(), 1.3855855f);
        ratio.setHeight(0);
        QCOMPARE(ratio.AspectRatio(), 0.0f);
        ratio.setAspectRatio(0);
        QCOMPARE(ratio.Height(), 0);
    }

    void adjustHitTest_data()
    {
        QTest::addColumn<bool>("resize");
        QTest::addColumn<bool>("moveable");
        QTest::addColumn<QPoint>("clientPoint");
        QTest::addColumn<int>("hit");
        QTest::newRow("(2, 2)") << true << false << QPoint(2, 2) << int(HTTOPLEFT);
        QTest::newRow("(97, 40)") << true << false << QPoint(97, 40) << int(HTRIGHT);
        QTest::newRow("(50, 76)") << true << false << QPoint(50, 76) << int(HTBOTTOM);
        QTest::newRow("(50, 75)") << true << false << QPoint(50, 75) << int(HTCLIENT);
        QTest::newRow("(2, 78)") << true << false << QPoint(2, 78) << int(HTBOTTOMLEFT);
        QTest::newRow("(98, 1)") << true << false << QPoint(98, 1) << int(HTTOPRIGHT);
        QTest::newRow("(50, 2)") << true << false << QPoint(50, 2) << int(HTTOP);
        QTest::newRow("zones off") << false << false << QPoint(2, 2) << int(HTCLIENT);
        QTest::newRow("moveable") << false << true << QPoint(50, 40) << int(HTCAPTION);
        QTest::newRow("moveable, caption") << false << true << QPoint(25, -10) << int(HTCAPTION);
        QTest::newRow("moveable, zone first") << true << true << QPoint(2, 40) << int(HTLEFT);
    }

    void adjustHitTest()
    {
        QFETCH(bool, resize);
        QFETCH(bool, moveable);
        QFETCH(QPoint, clientPoint);
        QFETCH(int, hit);
        Form form(QSize(100, 80));
        form.move(50, 50);
        auto* magnetic = new TMagneticForm(&form);
        QVERIFY(!magnetic->AlwaysMoveable);
        magnetic->Resize.Enabled = resize;
        magnetic->AlwaysMoveable = moveable;
        const QPoint p = form.clientArea()->mapToGlobal(clientPoint);
        QCOMPARE(int(form.SendMessage(WM_NCHITTEST, 0, MakePointParam(p.x(), p.y()))), hit);
    }

    void borderlessFormsMoveByTheirClientArea()
    {
        Form form(QSize(100, 80), TFormBorderStyle::bsNone);
        TMagneticForm magnetic(&form);
        QVERIFY(magnetic.AlwaysMoveable);
    }

    void removingGivesTheHandlerBack()
    {
        Form form(QSize(300, 200));
        auto* magnetic = new TMagneticForm(&form);
        QCOMPARE(moveTo(form, 9, 100).Left, 0);
        delete magnetic;
        QCOMPARE(moveTo(form, 9, 100).Left, 9);
    }

    void mainWindowSnapsWhileDragged()
    {
        QTemporaryDir dir;
        const auto shown = shownMainWindow(dir.path());
        TUPXForm1& form = *shown;
        QVERIFY(form.MagneticForm1);
        QCOMPARE(form.MagneticForm1->HostForm(), &form);
        form.move(100, 40);
        QCOMPARE(form.pos(), QPoint(100, 40));

        // Drag the caption 95 pixels to the left: the left edge would land at x = 5.
        const QPoint grip(300, 10);
        QTest::mousePress(&form, Qt::LeftButton, {}, grip);
        QTest::mouseMove(&form, grip - QPoint(95, 0));
        QTest::mouseRelease(&form, Qt::LeftButton, {}, grip - QPoint(95, 0));
        QCOMPARE(form.pos(), QPoint(0, 40));
        QCOMPARE(form.clientArea()->size(), QSize(761, 517));

        // From there, 20 pixels to the right: outside the band, the window follows the mouse.
        QTest::mousePress(&form, Qt::LeftButton, {}, grip);
        QTest::mouseMove(&form, grip + QPoint(20, 0));
        QTest::mouseRelease(&form, Qt::LeftButton, {}, grip + QPoint(20, 0));
        QCOMPARE(form.pos(), QPoint(20, 40));
    }
};

QTEST_MAIN(TestMagneticForm)
#include "tst_magneticform.moc"
