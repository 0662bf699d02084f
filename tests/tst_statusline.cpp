// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/hinttracker.h"
#include "app/statusbar.h"
#include "app/timeformat.h"
#include "app/tsysinf.h"
#include "testing.h"
#include "widgets/radiobutton.h"

#include "app/tupxform1.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString ChooseFirst =
    QStringLiteral(" Zuerst bitte eine Datei zur Kompression, Dekompression "
                   "oder zum Erhalt von Informationen auswählen.");

} // namespace

class TestStatusLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        qputenv("PATH", "");
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_packer = writeScript(m_dir.filePath(QStringLiteral("upx")),
                               "/bin/sleep \"${SLEEP:-0}\"\necho fertig\n");
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("da.exe")), {}));
    }

    void init()
    {
        m_form = shownWindow(m_dir.filePath(QStringLiteral("kompaktor")));
        m_changes = 0;
        connect(m_form->ApplicationHint, &HintTracker::hintChanged, [this] { ++m_changes; });
    }

    void cleanup() { m_form.reset(); }

    void hintsOfTheCommandsPage()
    {
        // The disabled button counts as the page, whose hint asks for a file first.
        pointAt(m_form->KompressBtn);
        QCOMPARE(panel0(), ChooseFirst);
        // Bare page and disabled button: the same hint, so the panel is not written again.
        const int changes = m_changes;
        pointAt(m_form->TS1, QPoint(100, 335));
        QCOMPARE(panel0(), ChooseFirst);
        pointAt(m_form->InfoBtn);
        QCOMPARE(m_changes, changes);
        // A label without a hint of its own shows the page's hint as well.
        pointAt(m_form->Label16);
        QCOMPARE(panel0(), ChooseFirst);

        // An existing file enables the button, which then shows its own hint.
        m_form->Filename1->setText(m_dir.filePath(QStringLiteral("da.exe")));
        pointAt(m_form->KompressBtn);
        QCOMPARE(panel0(),
                 QStringLiteral(" Eine ausführbare Datei (EXE, DLL o.ä.) wird komprimiert."));
        // A name that does not exist: disabled buttons, and the page's hint is empty then.
        m_form->Filename1->setText(m_dir.filePath(QStringLiteral("fehlt.exe")));
        pointAt(m_form->TS1, QPoint(100, 335));
        pointAt(m_form->KompressBtn);
        QCOMPARE(panel0(), QString());
        // The page's hint follows Filename1 as of the last movement over the page.
        m_form->Filename1->clear();
        QCOMPARE(panel0(), QString());
        pointAt(m_form->TS1, QPoint(100, 335));
        QCOMPARE(panel0(), ChooseFirst);
    }

    void hintsElsewhere()
    {
        pointAt(m_form->StatusBar1, QPoint(300, 12));
        QCOMPARE(panel0(), QStringLiteral(" Bitte beachten: Solange die Uhr noch geht, ist "
                                          "Kompaktor nicht abgestürzt."));
        pointAt(m_form->Memo1, QPoint(100, 100));
        QCOMPARE(panel0(), m_form->Memo1->statusTip());
        m_form->PageControl1->setCurrentWidget(m_form->TS2);
        pointAt(m_form->GroupBox2, QPoint(100, 5));
        QCOMPARE(panel0(), m_form->GroupBox2->statusTip());
        // Inside the group box, a radio button without a hint shows the group's.
        pointAt(m_form->KmRBtn1);
        QCOMPARE(panel0(), m_form->GroupBox2->statusTip());
        // A label on the options page has no hint, and nor do its parents.
        pointAt(m_form->Label3);
        QCOMPARE(panel0(), QString());
        // No control ever shows a pop-up tip.
        for (const QWidget* widget : m_form->findChildren<QWidget*>())
            QVERIFY(widget->toolTip().isEmpty());
    }

    void hintFollowsThePointerOutAndBackAfterABox()
    {
        // Out of the window the panel empties; after a modal box has closed, the control under
        // the pointer shows its hint again, without the pointer having moved since.
        pointAt(m_form->HilfeBtn);
        QCOMPARE(panel0(), m_form->HilfeBtn->statusTip());
        pointAt(m_form.get(), QPoint(-50, -50));
        QCOMPARE(panel0(), QString());
        pointAt(m_form->VersBtn);
        QCOMPARE(panel0(), m_form->VersBtn->statusTip());
        // A box over the button, the pointer on the box: the box's controls have no hint.
        const QPoint button = m_form->HilfeBtn->mapToGlobal(m_form->HilfeBtn->rect().center());
        QString overTheBox;
        QTimer::singleShot(0, m_form.get(), [&] {
            QWidget* box = QApplication::activeModalWidget();
            box->move(button - box->rect().center());
            pointAt(box, box->mapFromGlobal(button));
            overTheBox = panel0();
            box->close();
        });
        QMessageBox::information(m_form.get(), QStringLiteral("Kompaktor"), QStringLiteral("x"));
        QCOMPARE(overTheBox, QString());
        QTRY_COMPARE(panel0(), m_form->HilfeBtn->statusTip());
    }

    void shortAndLongParts()
    {
        m_form->PageControl1->setCurrentWidget(m_form->TS2);
        m_form->CB8086->setStatusTip(QStringLiteral(" kurz| lang"));
        pointAt(m_form->CB8086);
        QCOMPARE(panel0(), QStringLiteral(" lang"));
        m_form->CB8086->setStatusTip(QStringLiteral("eins|zwei|drei"));
        pointAt(m_form->CBnoReloc);
        pointAt(m_form->CB8086);
        QCOMPARE(panel0(), QStringLiteral("zwei"));
    }

    void hintStaysWhileAPackerRuns()
    {
        pointAt(m_form->HilfeBtn);
        const QString before = panel0();
        QCOMPARE(before, m_form->HilfeBtn->statusTip());
        qputenv("SLEEP", "2");
        QString during;
        int ticks = 0;
        connect(m_form->Timer1, &QTimer::timeout, [&ticks] { ++ticks; });
        // Pointed at as soon as the running command lets events through.
        QTimer::singleShot(0, m_form.get(), [&] {
            pointAt(m_form->VersBtn);
            during = panel0();
        });
        m_form->HilfeBtnClick();
        qunsetenv("SLEEP");
        QCOMPARE(during, before);
        // The clock went on meanwhile.
        QVERIFY(ticks >= 1);
        QVERIFY(m_form->Memo1->toPlainText().contains(QStringLiteral("fertig")));
        // Then the command's result, until the pointer reaches another hint.
        pointAt(m_form->VersBtn, QPoint(5, 5));
        QVERIFY(panel0() != before && panel0() != m_form->VersBtn->statusTip());
        pointAt(m_form->HilfeBtn);
        QCOMPARE(panel0(), before);
    }

    void clock()
    {
        QVERIFY(m_form->StatusBar1->panelText(1).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->StatusBar1->panelText(1).isEmpty(), 3000);
        const QString text = m_form->StatusBar1->panelText(1);
        const QTime shown = QLocale::system().toTime(text, longTimeFormat(QLocale::system()));
        QVERIFY2(shown.isValid(), qPrintable(text));
        QVERIFY(qAbs(shown.secsTo(QTime::currentTime())) <= 2 ||
                qAbs(shown.secsTo(QTime::currentTime())) >= 86398);
        QCOMPARE(m_form->StatusBar1->panel(1)->alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
    }

    void screenReadersReadThePanels()
    {
        StatusBar* bar = m_form->StatusBar1;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(bar);
        QCOMPARE(accessible->role(), QAccessible::StatusBar);
        QCOMPARE(accessible->childCount(), StatusBar::PanelCount);
        // The panels are named by what they show: the hint and the clock.
        pointAt(m_form->HilfeBtn);
        m_form->Timer1Timer();
        QCOMPARE(accessible->child(0)->text(QAccessible::Name), m_form->HilfeBtn->statusTip());
        QCOMPARE(accessible->child(1)->text(QAccessible::Name), bar->panelText(1));
        QVERIFY(!bar->panelText(1).isEmpty());
        pointAt(m_form->VersBtn);
        QCOMPARE(accessible->child(0)->text(QAccessible::Name), m_form->VersBtn->statusTip());
    }

    void memoryDialog()
    {
        // The dialog is made when it is first opened.
        QVERIFY(!m_form->SysInf);
        bool shown = false;
        QTimer::singleShot(0, m_form.get(), [&] {
            shown =
                m_form->SysInf->isVisible() && QApplication::activeModalWidget() == m_form->SysInf;
            QCOMPARE(m_form->SysInf->StringGrid1->item(0, 0)->text(),
                     QStringLiteral("phys. Speicher"));
            QVERIFY(m_form->SysInf->StringGrid1->item(0, 1)->text().endsWith(" KByte"));
            m_form->SysInf->BitBtn1->click();
        });
        m_form->PageControl1->setCurrentWidget(m_form->TS2);
        QTest::mouseClick(m_form->SysInfoBtn, Qt::LeftButton);
        QVERIFY(shown);
        QVERIFY(!m_form->SysInf->isVisible());
    }

private:
    // Moves the pointer onto the widget and lets the event loop go idle.
    void pointAt(QWidget* widget, QPoint pos = QPoint())
    {
        if (pos.isNull())
            pos = widget->rect().center();
        QCursor::setPos(widget->mapToGlobal(pos));
        QTest::mouseMove(widget, pos);
        QEventLoop idle;
        QTimer::singleShot(20, &idle, &QEventLoop::quit);
        idle.exec();
    }

    QString panel0() const { return m_form->StatusBar1->panelText(0); }

    QTemporaryDir m_dir;
    QString m_packer;
    std::unique_ptr<TUPXForm1> m_form;
    int m_changes = 0;
};

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
