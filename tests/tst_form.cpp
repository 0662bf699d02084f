// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tsysinf.h"
#include "app/tupxform1.h"
#include "platform/form.h"
#include "platform/sysmetrics.h"
#include "testing.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A form that records the messages its dispatch sees.
class RecordingForm : public Form {
public:
    using Form::Form;
    std::vector<TMessage> seen;

protected:
    void Dispatch(TMessage& message) override
    {
        seen.push_back(message);
        Form::Dispatch(message);
    }
};

// The recorded messages of the given kinds, in order.
std::vector<TMessage> only(const std::vector<TMessage>& messages,
                           std::initializer_list<std::uint32_t> kinds)
{
    std::vector<TMessage> result;
    for (const TMessage& m : messages) {
        if (std::find(kinds.begin(), kinds.end(), m.Msg) != kinds.end())
            result.push_back(m);
    }
    return result;
}

int count(const std::vector<TMessage>& messages, std::uint32_t msg)
{
    return int(only(messages, {msg}).size());
}

// Shows the form and waits until it is on the screen.
bool shown(Form& form)
{
    form.show();
    return QTest::qWaitForWindowExposed(&form);
}

// Colours of a smooth gradient a pixel apart differ a little.
bool near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) <= 3 && qAbs(a.green() - b.green()) <= 3 &&
           qAbs(a.blue() - b.blue()) <= 3;
}

QPoint screenPoint(const Form& form, QPoint windowPoint)
{
    return form.mapToGlobal(windowPoint);
}

} // namespace

class TestForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void outerSizeAddsFrameAndCaption_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QMargins>("frame");
        QTest::newRow("single") << int(TFormBorderStyle::bsSingle) << QMargins(3, 22, 3, 3);
        QTest::newRow("sizeable") << int(TFormBorderStyle::bsSizeable) << QMargins(4, 23, 4, 4);
        QTest::newRow("dialog") << int(TFormBorderStyle::bsDialog) << QMargins(3, 22, 3, 3);
        QTest::newRow("tool window")
            << int(TFormBorderStyle::bsToolWindow) << QMargins(3, 19, 3, 3);
        QTest::newRow("none") << int(TFormBorderStyle::bsNone) << QMargins(0, 0, 0, 0);
    }

    void outerSizeAddsFrameAndCaption()
    {
        QFETCH(int, style);
        QFETCH(QMargins, frame);
        Form form(QSize(200, 100), TFormBorderStyle(style));
        QCOMPARE(form.frameMargins(), frame);
        QCOMPARE(form.size(), QSize(200, 100).grownBy(frame));
        QVERIFY(shown(form));
        QCOMPARE(form.clientArea()->geometry(),
                 QRect(QPoint(frame.left(), frame.top()), QSize(200, 100)));
    }

    void mainWindowKeepsItsClientSize()
    {
        auto form = mainWindow();
        QCOMPARE(form->clientArea()->size(), QSize(761, 517));
        QCOMPARE(form->size(), QSize(767, 542));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(form->pos(), QPoint((screen.width() - 767) / 2, (screen.height() - 542) / 2));
        // A single border cannot be dragged bigger.
        const QPoint start = form->pos();
        QTest::mousePress(form.get(), Qt::LeftButton, {}, QPoint(766, 300));
        QTest::mouseMove(form.get(), QPoint(800, 300));
        QTest::mouseRelease(form.get(), Qt::LeftButton, {}, QPoint(800, 300));
        QCOMPARE(form->size(), QSize(767, 542));
        QCOMPARE(form->pos(), start);
    }

    void hitTests_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("hit");
        const int single = int(TFormBorderStyle::bsSingle);
        const int sizeable = int(TFormBorderStyle::bsSizeable);
        // Outer 206 x 125 (single) and 208 x 127 (sizeable).
        QTest::newRow("client") << single << QPoint(50, 50) << int(HTCLIENT);
        QTest::newRow("caption") << single << QPoint(100, 10) << int(HTCAPTION);
        QTest::newRow("caption's bottom line") << single << QPoint(100, 21) << int(HTCAPTION);
        QTest::newRow("icon") << single << QPoint(8, 10) << int(HTSYSMENU);
        QTest::newRow("close") << single << QPoint(195, 10) << int(HTCLOSE);
        QTest::newRow("maximise") << single << QPoint(180, 10) << int(HTMAXBUTTON);
        QTest::newRow("minimise") << single << QPoint(165, 10) << int(HTMINBUTTON);
        QTest::newRow("single border") << single << QPoint(1, 60) << int(HTBORDER);
        QTest::newRow("outside") << single << QPoint(-3, 60) << int(HTNOWHERE);
        QTest::newRow("left") << sizeable << QPoint(1, 60) << int(HTLEFT);
        QTest::newRow("right") << sizeable << QPoint(206, 60) << int(HTRIGHT);
        QTest::newRow("top") << sizeable << QPoint(100, 0) << int(HTTOP);
        QTest::newRow("bottom") << sizeable << QPoint(100, 126) << int(HTBOTTOM);
        QTest::newRow("top left") << sizeable << QPoint(2, 2) << int(HTTOPLEFT);
        QTest::newRow("bottom right") << sizeable << QPoint(207, 126) << int(HTBOTTOMRIGHT);
        QTest::newRow("bottom left along the edge")
            << sizeable << QPoint(1, 115) << int(HTBOTTOMLEFT);
    }

    void hitTests()
    {
        QFETCH(int, style);
        QFETCH(QPoint, point);
        QFETCH(int, hit);
        Form form(QSize(200, 100), TFormBorderStyle(style));
        form.move(40, 30);
        const QPoint p = screenPoint(form, point);
        QCOMPARE(int(form.SendMessage(WM_NCHITTEST, 0, MakePointParam(p.x(), p.y()))), hit);
    }

    void captionDragSendsMovingAndTakesTheAnswer()
    {
        RecordingForm form(QSize(200, 100));
        form.move(100, 100);
        QVERIFY(shown(form));
        std::vector<TRect> proposed;
        form.WindowProc = [&form, &proposed, handler = form.WindowProc](TMessage& message) {
            if (message.Msg == WM_MOVING) {
                TRect* r = RectParam(message.LParam);
                proposed.push_back(*r);
                // Keep the window on the row y = 50.
                r->Bottom += 50 - r->Top;
                r->Top = 50;
            }
            handler(message);
        };
        QTest::mousePress(&form, Qt::LeftButton, {}, QPoint(60, 10));
        QTest::mouseMove(&form, QPoint(90, 30));
        QCOMPARE(proposed.size(), std::size_t(1));
        QCOMPARE(proposed[0], (TRect{130, 120, 336, 245}));
        QCOMPARE(form.pos(), QPoint(130, 50));
        QTest::mouseRelease(&form, Qt::LeftButton, {}, QPoint(90, 30));
        QCOMPARE(form.size(), QSize(206, 125));
        QCOMPARE(count(form.seen, WM_MOVING), 1);
        QVERIFY(count(form.seen, WM_NCHITTEST) >= 1);
    }

    void borderDragSendsSizing()
    {
        RecordingForm form(QSize(200, 100), TFormBorderStyle::bsSizeable);
        form.move(100, 100);
        QVERIFY(shown(form));
        std::intptr_t edge = 0;
        form.WindowProc = [&edge, handler = form.WindowProc](TMessage& message) {
            if (message.Msg == WM_SIZING) {
                edge = message.WParam;
                RectParam(message.LParam)->Right += 5;
            }
            handler(message);
        };
        QTest::mousePress(&form, Qt::LeftButton, {}, QPoint(207, 126));
        QTest::mouseMove(&form, QPoint(227, 146));
        QTest::mouseRelease(&form, Qt::LeftButton, {}, QPoint(227, 146));
        QCOMPARE(edge, WMSZ_BOTTOMRIGHT);
        QCOMPARE(form.geometry(), QRect(100, 100, 233, 147));
        QCOMPARE(form.clientArea()->size(), QSize(225, 120));
    }

    void captionButtonsAndAltF4SendSystemCommands()
    {
        RecordingForm form(QSize(200, 100));
        QVERIFY(shown(form));
        const auto click = [&form](std::intptr_t button) {
            const QPoint p = form.captionButtonRect(button).center();
            QTest::mouseClick(&form, Qt::LeftButton, {}, p);
        };
        click(HTMAXBUTTON);
        QTRY_VERIFY(form.isMaximized());
        QTRY_VERIFY(form.clientArea()->width() > 200);
        click(HTMAXBUTTON);
        QTRY_VERIFY(!form.isMaximized());
        QTRY_COMPARE(form.clientArea()->size(), QSize(200, 100));
        click(HTMINBUTTON);
        QTRY_VERIFY(form.isMinimized());
        form.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // Pressing a button and leaving it before the release does nothing.
        const QPoint close = form.captionButtonRect(HTCLOSE).center();
        QTest::mousePress(&form, Qt::LeftButton, {}, close);
        QTest::mouseMove(&form, QPoint(50, 50));
        QTest::mouseRelease(&form, Qt::LeftButton, {}, QPoint(50, 50));
        QVERIFY(form.isVisible());
        click(HTCLOSE);
        QTRY_VERIFY(!form.isVisible());
        // Escape leaves a main window open; Alt+F4 closes it as the close button does.
        QVERIFY(shown(form));
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
        QVERIFY(!form.isVisible());
        std::vector<std::intptr_t> commands;
        for (const TMessage& m : only(form.seen, {WM_SYSCOMMAND}))
            commands.push_back(m.WParam);
        QCOMPARE(commands, (std::vector<std::intptr_t>{SC_MAXIMIZE, SC_RESTORE, SC_MINIMIZE,
                                                       SC_CLOSE, SC_CLOSE}));
    }

    void rightClickOnTheFrame()
    {
        RecordingForm form(QSize(200, 100));
        form.move(10, 10);
        QVERIFY(shown(form));
        QTest::mouseClick(&form, Qt::RightButton, {}, QPoint(60, 10));
        QTest::mouseClick(&form, Qt::RightButton, {}, QPoint(60, 60));
        const std::vector<TMessage> right = only(form.seen, {WM_NCRBUTTONDOWN, WM_NCRBUTTONUP});
        QCOMPARE(right.size(), std::size_t(2));
        QCOMPARE(right[0].Msg, WM_NCRBUTTONDOWN);
        QCOMPARE(right[1].Msg, WM_NCRBUTTONUP);
        QCOMPARE(right[0].WParam, HTCAPTION);
        QCOMPARE(PointParamX(right[1].LParam), 70);
        QCOMPARE(PointParamY(right[1].LParam), 20);
    }

    void windowProcedureSlot()
    {
        RecordingForm form(QSize(200, 100));
        const WNDPROC original = form.GetWindowProc();
        QVERIFY(original);
        std::vector<std::uint32_t> seenBySubclass;
        const WNDPROC mine =
            MakeWindowProc([&](Form* window, std::uint32_t msg, std::intptr_t w, std::intptr_t l) {
                seenBySubclass.push_back(msg);
                return CallWindowProc(original, window, msg, w, l) + 1;
            });
        QCOMPARE(form.SetWindowProc(mine), original);
        QCOMPARE(form.GetWindowProc(), mine);
        QCOMPARE(form.SendMessage(WM_USER, 0, 0), std::intptr_t(1));
        QCOMPARE(seenBySubclass, std::vector<std::uint32_t>{WM_USER});
        QCOMPARE(count(form.seen, WM_USER), 1);

        // A posted message arrives through the slot once the loop turns.
        PostMessage(&form, WM_USER + 1, 0, 0);
        QCOMPARE(count(form.seen, WM_USER + 1), 0);
        QCoreApplication::sendPostedEvents(&form, MessageEvent::eventType());
        QCOMPARE(count(form.seen, WM_USER + 1), 1);
        QCOMPARE(seenBySubclass.back(), WM_USER + 1);

        // Recreating the window sends WM_DESTROY to the old one and starts again with the
        // framework's own procedure.
        const int oldHandle = form.Handle();
        form.RecreateWnd();
        QCOMPARE(seenBySubclass.back(), WM_DESTROY);
        QVERIFY(form.Handle() != oldHandle);
        QCOMPARE(form.GetWindowProc(), original);
        QCOMPARE(form.SendMessage(WM_USER, 0, 0), std::intptr_t(0));
    }

    void framePaintingFollowsTheRegionAndActivation()
    {
        Form form(QSize(200, 100));
        form.setWindowTitle(QStringLiteral("Titel"));
        form.move(0, 0);
        QVERIFY(shown(form));
        QImage& surface = form.windowSurface();
        QCOMPARE(surface.size(), QSize(206, 125));
        form.SendMessage(WM_NCACTIVATE, 1, 0);
        QVERIFY(form.frameActive());
        QVERIFY(near(surface.pixelColor(3, 12), GetSysColor(COLOR_ACTIVECAPTION)));
        QCOMPARE(surface.pixelColor(0, 60), GetSysColor(COLOR_3DLIGHT));
        QCOMPARE(surface.pixelColor(205, 60), GetSysColor(COLOR_3DDKSHADOW));
        QCOMPARE(surface.pixelColor(1, 60), GetSysColor(COLOR_BTNHIGHLIGHT));
        QCOMPARE(surface.pixelColor(2, 60), GetSysColor(COLOR_BTNFACE));

        // Paint over the caption, then repaint only its left half: the right half stays.
        surface.fill(Qt::green);
        QRegion region(QRect(form.pos(), QSize(100, 22)));
        form.SendMessage(WM_NCPAINT, RegionParam(region), 0);
        QVERIFY(near(surface.pixelColor(3, 12), GetSysColor(COLOR_ACTIVECAPTION)));
        QCOMPARE(surface.pixelColor(150, 12), QColor(Qt::green));

        form.SendMessage(WM_NCACTIVATE, 0, 0);
        QVERIFY(!form.frameActive());
        QVERIFY(near(surface.pixelColor(3, 12), GetSysColor(COLOR_INACTIVECAPTION)));
        QCOMPARE(surface.pixelColor(150, 12).rgb(),
                 form.grab().toImage().pixelColor(150, 12).rgb());
    }

    void memoryDialogFrame()
    {
        auto form = mainWindow();
        QVERIFY(!form->SysInf);
        form->memoryDialog();
        QCOMPARE(form->SysInf->BorderStyle(), TFormBorderStyle::bsSizeable);
        QCOMPARE(form->SysInf->geometry(), QRect(338, 301, 355, 201));
        QCOMPARE(form->SysInf->clientArea()->size(), QSize(347, 174));
        QCOMPARE(form->SysInf->captionButtonRect(HTMAXBUTTON), QRect());
        QVERIFY(!form->SysInf->captionButtonRect(HTCLOSE).isEmpty());
    }

    void restoreRequestReachesTheSystemCommandHandler()
    {
        auto form = mainWindow();
        std::vector<std::intptr_t> commands;
        form->SetWindowProc(
            MakeWindowProc([&commands, original = form->GetWindowProc()](
                               Form* window, std::uint32_t msg, std::intptr_t w, std::intptr_t l) {
                if (msg == WM_SYSCOMMAND)
                    commands.push_back(w);
                return CallWindowProc(original, window, msg, w, l);
            }));
        form->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        QTRY_VERIFY(form->isMinimized());
        bringToFront(*form);
        QTRY_VERIFY(!form->isMinimized());
        QCOMPARE(commands, (std::vector<std::intptr_t>{SC_MINIMIZE, SC_RESTORE}));
    }

private:
    std::unique_ptr<TUPXForm1> mainWindow() { return shownMainWindow(m_dir.path()); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
