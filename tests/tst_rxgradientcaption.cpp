// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tupxform1.h"
#include "platform/sysmetrics.h"
#include "testing.h"
#include "widgets/rxgradientcaption.h"
#include "widgets/rxwindowhook.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

constexpr TColor Black = 0x000000;
// Gradient end colour of active captions: A6CAF0.
constexpr TColor GradientEnd = 0x80000000 | COLOR_GRADIENTACTIVECAPTION;

QColor rgb(int r, int g, int b)
{
    return QColor(r, g, b);
}

// Fills an image of the given width with a gradient and returns it.
QImage gradient(int width, TRect area, TColor start, TColor end, int direction, int colours)
{
    QImage image(width, 4, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    TRxGradientCaption::FillGradient(painter, area, start, end, direction, colours);
    return image;
}

QStringList texts(const TRxGradientCaption& caption)
{
    QStringList result;
    for (const auto& drawn : caption.drawnTexts())
        result << drawn.text;
    return result;
}

QFont plainFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    return font;
}

int textWidth(const QString& text)
{
    return QFontMetrics(plainFont()).horizontalAdvance(text);
}

// A single-bordered form whose caption leaves exactly `room` pixels for the texts.
struct CaptionForm {
    explicit CaptionForm(int room)
        : form(QSize(room + 74, 40)), caption(new TRxGradientCaption(&form))
    {
        TFont font;
        font.font = plainFont();
        font.Color = clCaptionText;
        caption->setFont(font);
    }

    QStringList paint()
    {
        QImage surface(form.size(), QImage::Format_RGB32);
        caption->PaintCaptionBar(surface);
        return texts(*caption);
    }

    Form form;
    TRxGradientCaption* caption;
};

} // namespace

Q_DECLARE_METATYPE(TRect)

class TestRxGradientCaption : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void mulDiv_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("c");
        QTest::addColumn<int>("result");
        QTest::newRow("half up") << 1 << 63 << 2 << 32;
        QTest::newRow("half away from zero") << -1 << 63 << 2 << -32;
        QTest::newRow("below half") << 1 << 1 << 3 << 0;
        QTest::newRow("above half") << 2 << 1 << 3 << 1;
        QTest::newRow("negative divisor") << 3 << 5 << -2 << -8;
        QTest::newRow("no overflow") << 100000 << 100000 << 100000 << 100000;
    }

    void mulDiv()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, c);
        QFETCH(int, result);
        QCOMPARE(MulDiv(a, b, c), result);
    }

    // The caption's own example: 400 pixels, the gradient from -100, 64 colours.
    void sixtyFourColoursOverFiveHundredPixels()
    {
        const QImage image = gradient(400, TRect{-100, 0, 400, 4}, Black, GradientEnd, 2, 64);
        // Band 14 covers -2 to 4, band 15 5 to 11.
        QCOMPARE(image.pixelColor(0, 0), rgb(37, 45, 53));
        QCOMPARE(image.pixelColor(4, 3), rgb(37, 45, 53));
        QCOMPARE(image.pixelColor(5, 0), rgb(40, 48, 57));
        // Band 62 covers 334 to 340, band 63 341 to 347 in the end colour, then the remainder.
        QCOMPARE(image.pixelColor(340, 0), rgb(163, 199, 236));
        QCOMPARE(image.pixelColor(341, 0), rgb(0xA6, 0xCA, 0xF0));
        QCOMPARE(image.pixelColor(399, 0), rgb(0xA6, 0xCA, 0xF0));
    }

    void gradientCases_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("colours");
        QTest::addColumn<int>("x");
        QTest::addColumn<QColor>("colour");
        const QColor end = rgb(0xA6, 0xCA, 0xF0);
        QTest::newRow("one colour") << 100 << 2 << 1 << 99 << rgb(0, 0, 0);
        QTest::newRow("no colours") << 100 << 2 << 0 << 50 << rgb(0, 0, 0);
        // 300 steps keep their low 8 bits: 44 colours, bands of 10 over 440 pixels.
        QTest::newRow("44 colours, band 1") << 440 << 2 << (300 & 0xFF) << 15 << rgb(4, 5, 6);
        QTest::newRow("44 colours, last band") << 440 << 2 << (300 & 0xFF) << 430 << end;
        QTest::newRow("narrow: first pixel") << 10 << 2 << 64 << 0 << rgb(0, 0, 0);
        QTest::newRow("narrow: pixel 1") << 10 << 2 << 64 << 1 << rgb(18, 22, 27);
        QTest::newRow("narrow: last pixel") << 10 << 2 << 64 << 9 << end;
        QTest::newRow("one pixel: end colour") << 1 << 2 << 64 << 0 << end;
        QTest::newRow("right to left: first") << 10 << 3 << 64 << 0 << end;
        QTest::newRow("right to left: last") << 10 << 3 << 64 << 9 << rgb(0, 0, 0);
        // 3 colours over 10 pixels: bands of 3, the last pixel is the remainder.
        QTest::newRow("remainder, left to right") << 10 << 2 << 3 << 9 << end;
        QTest::newRow("remainder, right to left") << 10 << 3 << 3 << 9 << rgb(0, 0, 0);
        QTest::newRow("middle band") << 10 << 2 << 3 << 4 << rgb(83, 101, 120);
    }

    void gradientCases()
    {
        QFETCH(int, width);
        QFETCH(int, direction);
        QFETCH(int, colours);
        QFETCH(int, x);
        QFETCH(QColor, colour);
        const QImage image =
            gradient(width, TRect{0, 0, width, 4}, Black, GradientEnd, direction, colours);
        QCOMPARE(image.pixelColor(x, 2), colour);
    }

    void verticalGradientAndEmptyArea()
    {
        QImage image(4, 10, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        TRxGradientCaption::FillGradient(painter, TRect{0, 0, 4, 10}, Black, GradientEnd, 0, 64);
        TRxGradientCaption::FillGradient(painter, TRect{2, 5, 2, 9}, Black, Black, 2, 64);
        painter.end();
        QCOMPARE(image.pixelColor(1, 0), rgb(0, 0, 0));
        QCOMPARE(image.pixelColor(1, 9), rgb(0xA6, 0xCA, 0xF0));
        // The empty area left the vertical band 6 alone.
        QCOMPARE(image.pixelColor(2, 6), rgb(0x6F, 0x87, 0xA0));
    }

    void captionBarRect_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("icons");
        QTest::addColumn<TRect>("rect");
        QTest::addColumn<int>("effectiveIcons");
        const int all = biSystemMenu | biMinimize | biMaximize | biHelp;
        const int usual = biSystemMenu | biMinimize | biMaximize;
        using S = TFormBorderStyle;
        QTest::newRow("single") << int(S::bsSingle) << usual << TRect{103, 53, 343, 71} << usual;
        QTest::newRow("single, minimise only")
            << int(S::bsSingle) << (biSystemMenu | biMinimize) << TRect{103, 53, 343, 71}
            << (biSystemMenu | biMinimize);
        QTest::newRow("single, close only") << int(S::bsSingle) << int(biSystemMenu)
                                            << TRect{103, 53, 379, 71} << int(biSystemMenu);
        QTest::newRow("single, help") << int(S::bsSingle) << (biSystemMenu | biHelp)
                                      << TRect{103, 53, 361, 71} << (biSystemMenu | biHelp);
        QTest::newRow("single, help beside minimise")
            << int(S::bsSingle) << all << TRect{103, 53, 343, 71} << usual;
        QTest::newRow("single, no system menu")
            << int(S::bsSingle) << (biMinimize | biMaximize | biHelp) << TRect{103, 53, 379, 71}
            << int(biHelp);
        QTest::newRow("sizeable") << int(S::bsSizeable) << usual << TRect{104, 54, 342, 72}
                                  << usual;
        QTest::newRow("dialog") << int(S::bsDialog) << all << TRect{103, 53, 361, 71}
                                << (biSystemMenu | biHelp);
        QTest::newRow("tool window")
            << int(S::bsToolWindow) << all << TRect{103, 53, 385, 68} << int(biSystemMenu);
        QTest::newRow("sizeable tool window")
            << int(S::bsSizeToolWin) << usual << TRect{104, 54, 384, 69} << int(biSystemMenu);
        QTest::newRow("none") << int(S::bsNone) << usual << TRect{100, 50, 100, 50} << usual;
    }

    void captionBarRect()
    {
        QFETCH(int, style);
        QFETCH(int, icons);
        QFETCH(TRect, rect);
        QFETCH(int, effectiveIcons);
        const auto bar = TRxGradientCaption::CaptionBarRect(TRect{100, 50, 400, 250},
                                                            TFormBorderStyle(style), icons);
        QCOMPARE(bar.rect, rect);
        QCOMPARE(bar.icons, effectiveIcons);
    }

    void shortenText()
    {
        const QFontMetrics metrics(plainFont());
        const QString text = QStringLiteral("Kompaktor");
        QCOMPARE(TRxGradientCaption::ShortenText(text, metrics, 1000), text);
        const int shortened = metrics.horizontalAdvance(QStringLiteral("Kompakt..."));
        // Two characters go first: "Kompakt...", then "Kompak...".
        QCOMPARE(TRxGradientCaption::ShortenText(text, metrics, shortened),
                 QStringLiteral("Kompakt..."));
        QCOMPARE(TRxGradientCaption::ShortenText(text, metrics, shortened - 1),
                 QStringLiteral("Kompak..."));
        QCOMPARE(TRxGradientCaption::ShortenText(text, metrics, 0), QStringLiteral("..."));
    }

    void layoutLeftToRight()
    {
        const QString title = QStringLiteral("Kompaktor Das Schaltpult");
        // Too long: the title is cut and ends in "...".
        CaptionForm narrow(textWidth(title) - 10);
        narrow.caption->setFormCaption(title);
        const QStringList cut = narrow.paint();
        QCOMPARE(cut.size(), 1);
        QVERIFY(cut[0].endsWith(QStringLiteral("...")));
        QVERIFY(title.startsWith(cut[0].chopped(3)));

        // No room at all: "..." is still drawn.
        CaptionForm none(0);
        none.caption->setFormCaption(title);
        QCOMPARE(none.paint(), QStringList({"..."}));

        // Two glued pieces are hidden together when all three do not fit.
        const QString first = QStringLiteral("Erstes ");
        const QString second = QStringLiteral("Zweites ");
        CaptionForm glued(2 + textWidth(second) + textWidth(title) + 2);
        glued.caption->setFormCaption(title);
        TRxCaption* a = glued.caption->Captions().Add();
        a->setCaption(first);
        a->setGlueNext(true);
        glued.caption->Captions().Add()->setCaption(second);
        QCOMPARE(glued.paint(), QStringList({title}));
        // Unglued, only the first piece goes.
        a->setGlueNext(false);
        QCOMPARE(glued.paint(), QStringList({second, title}));
        // An invisible piece takes no room: now everything that is visible fits.
        a->setVisible(false);
        QCOMPARE(glued.paint(), QStringList({second, title}));
        const auto& drawn = glued.caption->drawnTexts();
        QCOMPARE(drawn[0].left, 20);
        QCOMPARE(drawn[1].left, 20 + textWidth(second));
    }

    void layoutRightToLeft()
    {
        const QString first = QStringLiteral("Erstes Stück ");
        const QString title = QStringLiteral("Titel");
        CaptionForm form(textWidth(first) - 15);
        form.caption->setHideDirection(hdRightToLeft);
        form.caption->setFormCaption(title);
        form.caption->Captions().Add()->setCaption(first);
        form.caption->Captions().Add()->setCaption(QStringLiteral("Zweites"));
        const QStringList shown = form.paint();
        // The first piece is shortened; nothing after it is drawn, not even the title.
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].endsWith(QStringLiteral("...")));

        CaptionForm wide(textWidth(first) + textWidth(title) + 10);
        wide.caption->setHideDirection(hdRightToLeft);
        wide.caption->setFormCaption(title);
        wide.caption->Captions().Add()->setCaption(first);
        QCOMPARE(wide.paint(), QStringList({first, title}));
    }

    void piecesTakeTheirFontsAndColours()
    {
        CaptionForm form(400);
        form.caption->setFormCaption(QStringLiteral("Titel"));
        TRxCaption* piece = form.caption->Captions().Add();
        piece->setCaption(QStringLiteral("Rot "));
        QVERIFY(piece->ParentFont());
        TFont red;
        red.font = plainFont();
        red.Color = RGBColor(255, 0, 0);
        piece->setFont(red);
        QVERIFY(!piece->ParentFont());
        piece->setInactiveColor(RGBColor(0, 255, 0));
        form.caption->setFontInactiveColor(RGBColor(0, 0, 255));
        // Not active: the inactive colours.
        form.paint();
        QCOMPARE(form.caption->drawnTexts()[0].color, QColor(0, 255, 0));
        QCOMPARE(form.caption->drawnTexts()[1].color, QColor(0, 0, 255));
        // The component's font change reaches pieces that follow it, not this one.
        TFont bigger;
        bigger.font = plainFont();
        bigger.font.setPixelSize(20);
        form.caption->setFont(bigger);
        QVERIFY(!form.caption->DefaultFont());
        QCOMPARE(piece->Font().font.pixelSize(), 13);
        piece->setParentFont(true);
        QCOMPARE(piece->Font().font.pixelSize(), 20);
        QVERIFY(piece->ParentFont());
    }

    void mainWindowCaption()
    {
        auto form = mainWindow();
        TRxGradientCaption* caption = form->RxGradientCaption1;
        QVERIFY(caption->Active());
        QVERIFY(!caption->DefaultFont());
        QCOMPARE(caption->Font().font.pixelSize(), 19);
        QVERIFY(caption->Font().font.italic());
        QCOMPARE(caption->CaptionHook()->WinControl(), form.get());

        QVERIFY(activated(*form));
        QImage& surface = form->windowSurface();
        // Bar 707 wide: the gradient starts 176 pixels to the left; x 0 lies in band 13.
        QCOMPARE(surface.pixelColor(3, 3), rgb(34, 42, 50));
        QCOMPARE(surface.pixelColor(3 + 706, 20), rgb(0xA6, 0xCA, 0xF0));
        QCOMPARE(caption->drawnTexts().size(), std::size_t(1));
        QCOMPARE(caption->drawnTexts()[0].text,
                 QStringLiteral("Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien"));
        QCOMPARE(caption->drawnTexts()[0].color, rgb(0xFF, 0xFF, 0xFF));
        QCOMPARE(caption->drawnTexts()[0].left, 20);
        // The taskbar keeps the form's own title.
        QCOMPARE(form->windowTitle(), caption->FormCaption());

        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTRY_VERIFY(!caption->WindowActive());
        QCOMPARE(surface.pixelColor(3, 3), rgb(0xC0, 0xC0, 0xC0));
        QCOMPARE(surface.pixelColor(3 + 706, 20), rgb(0xC0, 0xC0, 0xC0));
        QCOMPARE(caption->drawnTexts()[0].color, rgb(0xD4, 0xD0, 0xC8));
        // The form shows its surface.
        QCOMPARE(form->grab().toImage().pixelColor(3, 3), rgb(0xC0, 0xC0, 0xC0));
    }

    void stepsOfTheBar()
    {
        auto form = mainWindow();
        TRxGradientCaption* caption = form->RxGradientCaption1;
        QVERIFY(activated(*form));
        QImage& surface = form->windowSurface();
        caption->setGradientSteps(256);
        QCOMPARE(surface.pixelColor(3 + 706, 20), rgb(0, 0, 0));
        caption->setGradientSteps(300);
        QCOMPARE(surface.pixelColor(3 + 706, 20), rgb(0xA6, 0xCA, 0xF0));
        caption->setGradientActive(false);
        QCOMPARE(surface.pixelColor(3, 3), rgb(0xA6, 0xCA, 0xF0));
        caption->setStartColor(RGBColor(255, 0, 0));
        caption->setGradientActive(true);
        // 44 colours in bands of 20: x 0 lies in band 8.
        QCOMPARE(surface.pixelColor(3, 3).red(), 255 + MulDiv(8, 0xA6 - 255, 43));
    }

    void frameIsNotPaintedUnderTheBar()
    {
        auto form = mainWindow();
        TRxGradientCaption* caption = form->RxGradientCaption1;
        QRegion received;
        bool paintsWhole = false;
        form->WindowProc = [&received, &paintsWhole,
                            handler = form->WindowProc](TMessage& message) {
            if (message.Msg == WM_NCPAINT && message.WParam != WholeWindowRegion)
                received = RegionOfParam(message.WParam, QRect());
            paintsWhole |= (message.Msg == WM_NCPAINT && message.WParam == WholeWindowRegion) ||
                           (message.Msg == WM_NCACTIVATE && message.LParam != -1);
            handler(message);
        };
        const QRect bar = caption->CaptionBarRect().rect.toQRect();
        // Asked for a part, the whole window or a change of activation, the window never
        // paints under the bar.
        const auto paintsAroundTheBar = [&](const std::function<void()>& send) {
            received = QRegion();
            send();
            return !received.isEmpty() && !received.intersects(bar) &&
                   received.contains(form->windowRect().topLeft());
        };
        QVERIFY(paintsAroundTheBar([&] { caption->UpdateCaption(); }));
        QVERIFY(paintsAroundTheBar([&] { form->SendMessage(WM_NCPAINT, WholeWindowRegion, 0); }));
        QVERIFY(paintsAroundTheBar([&] { form->SendMessage(WM_NCACTIVATE, 0, 0); }));
        QVERIFY(!paintsWhole);
        // A paint away from the bar leaves the bar as it is.
        QImage& surface = form->windowSurface();
        surface.setPixelColor(3, 3, Qt::green);
        const QRegion bottom(QRect(form->windowRect().bottomLeft() - QPoint(0, 1), QSize(9, 2)));
        form->SendMessage(WM_NCPAINT, RegionParam(bottom), 0);
        QCOMPARE(surface.pixelColor(3, 3), QColor(Qt::green));
        caption->UpdateCaption();
        QVERIFY(surface.pixelColor(3, 3) != QColor(Qt::green));

        // Switched off, the window gets the whole region and its own procedure back.
        caption->setActive(false);
        QVERIFY(received.intersects(bar));
        QCOMPARE(caption->CaptionHook()->WinControl(), nullptr);
    }

    void rightClickOpensTheMenu()
    {
        auto form = mainWindow();
        TRxGradientCaption* caption = form->RxGradientCaption1;
        TPopupMenu menu;
        menu.addAction(QStringLiteral("Eintrag"));
        caption->setPopupMenu(&menu);
        int rightDownsSeen = 0;
        form->WindowProc = [&rightDownsSeen, handler = form->WindowProc](TMessage& message) {
            if (message.Msg == WM_NCRBUTTONDOWN)
                ++rightDownsSeen;
            handler(message);
        };
        QTest::mousePress(form.get(), Qt::RightButton, {}, QPoint(300, 10));
        QCOMPARE(rightDownsSeen, 0);
        QVERIFY(!menu.isVisible());
        QTest::mouseRelease(form.get(), Qt::RightButton, {}, QPoint(300, 10));
        QVERIFY(menu.isVisible());
        QCOMPARE(menu.PopupComponent, caption);
        menu.hide();

        // Without AutoPopup the window sees the press.
        menu.AutoPopup = false;
        QTest::mouseClick(form.get(), Qt::RightButton, {}, QPoint(300, 10));
        QCOMPARE(rightDownsSeen, 1);
        QVERIFY(!menu.isVisible());
    }

    void activateEvents()
    {
        Form form(QSize(200, 50));
        TRxGradientCaption caption(&form);
        QStringList calls;
        caption.OnActivate = [&calls](QObject*) { calls << QStringLiteral("an"); };
        caption.OnDeactivate = [&calls](QObject*) { calls << QStringLiteral("aus"); };
        caption.setActive(false);
        caption.setActive(false);
        caption.setActive(true);
        QCOMPARE(calls, QStringList({"aus", "an"}));
        caption.BeginLoad();
        caption.setActive(false);
        QCOMPARE(calls.size(), 2);
    }

private:
    std::unique_ptr<TUPXForm1> mainWindow() { return shownMainWindow(m_dir.path()); }

    // Makes the main window the active one and waits until its caption has followed.
    static bool activated(TUPXForm1& form)
    {
        form.activateWindow();
        return QTest::qWaitForWindowActive(&form) &&
               QTest::qWaitFor([&form] { return form.RxGradientCaption1->WindowActive(); });
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestRxGradientCaption)
#include "tst_rxgradientcaption.moc"
