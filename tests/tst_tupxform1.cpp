// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/statusbar.h"
#include "app/tupxform1.h"
#include "testing.h"
#include "widgets/radiobutton.h"
#include "widgets/rxslider.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QColor Navy(0x00, 0x00, 0x80);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Blue(0x00, 0x00, 0xFF);
const QColor Black(0x00, 0x00, 0x00);

QString missingPackerText(const QString& programDir)
{
    return QStringLiteral("Ich kann die notwendige Programmdatei\nUPX.EXE weder in meinem "
                          "Verzeichnis \n\n") +
           programDir +
           QStringLiteral("\n\nnoch im Suchpfad von Windows finden.\n\nBitte lesen Sie dazu "
                          "sofort:\nÜber UPX und diese Shell!");
}

void touch(const QString& path)
{
    QVERIFY(writeFile(path, {}));
}

// The widgets of the list in the order in which the focus chain visits them, from the first.
QList<QWidget*> focusOrder(const QList<QWidget*>& widgets)
{
    QList<QWidget*> order;
    QWidget* widget = widgets.first();
    do {
        if (widgets.contains(widget) && !order.contains(widget))
            order << widget;
        widget = widget->nextInFocusChain();
    } while (widget != widgets.first());
    return order;
}

} // namespace

class TestTUPXForm1 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("cwd")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("emptypath")));
        QVERIFY(QDir::setCurrent(m_dir.path() + QStringLiteral("/cwd")));
        qputenv("PATH", QFile::encodeName(m_dir.path() + QStringLiteral("/emptypath")));
    }

    void packerBesideTheProgram()
    {
        const QString prog = programDir(QStringLiteral("found"));
        touch(prog + QStringLiteral("upx"));
        MessageBoxWatcher boxes;
        TUPXForm1 form(prog + QStringLiteral("kompaktor"));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(form.ProgramDir, prog);
        QCOMPARE(form.PackerPath, prog + QStringLiteral("upx "));
        for (QPushButton* button : {form.HilfeBtn, form.VersBtn, form.LizensBtn})
            QVERIFY(button->isEnabled());
        for (QPushButton* button :
             {form.KompressBtn, form.DekompressBtn, form.InfoBtn, form.TestBtn, form.TryBtn})
            QVERIFY(!button->isEnabled());
        QCOMPARE(form.PageControl1->currentWidget(), form.TS1);
        QCOMPARE(form.MemLbl->text(), QStringLiteral("9"));
        QCOMPARE(form.MemLbl->geometry().right() + 1, 159);
    }

    void packerOnThePath()
    {
        const QString prog = programDir(QStringLiteral("onpath"));
        const QString bin = m_dir.path() + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        touch(bin + QStringLiteral("/upx"));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(QStringLiteral("/nonexistent::") + bin));
        MessageBoxWatcher boxes;
        TUPXForm1 form(prog + QStringLiteral("kompaktor"));
        qputenv("PATH", oldPath);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(form.PackerPath, bin + QStringLiteral("/upx "));
    }

    void packerMissing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("plain") << QStringLiteral("missing") << false;
        QTest::newRow("blanks and umlauts") << QStringLiteral("Mein Ordner für Übungen") << false;
        QTest::newRow("read-only") << QStringLiteral("readonly") << true;
    }

    void packerMissing()
    {
        QFETCH(QString, folder);
        QFETCH(bool, readOnly);
        const QString prog = programDir(folder);
        if (readOnly)
            QVERIFY(QFile::setPermissions(prog, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        MessageBoxWatcher boxes([&prog](QMessageBox* box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Fehler"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(box->text(), missingPackerText(prog));
        });
        TUPXForm1 form(prog + QStringLiteral("kompaktor"));
        QFile::setPermissions(prog, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(form.PackerPath, prog + QStringLiteral(" "));
        for (QPushButton* button : {form.HilfeBtn, form.VersBtn, form.LizensBtn, form.KompressBtn,
                                    form.DekompressBtn, form.InfoBtn, form.TestBtn, form.TryBtn})
            QVERIFY(!button->isEnabled());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!form.HilfeBtn->isEnabled());
    }

    void clientAreaAndPages()
    {
        auto form = shownForm();
        QCOMPARE(form->clientArea()->size(), QSize(761, 517));
        QCOMPARE(form->PageControl1->geometry(), QRect(0, 0, 761, 492));
        QCOMPARE(form->StatusBar1->geometry(), QRect(0, 492, 761, 25));
        QCOMPARE(form->windowTitle(),
                 QStringLiteral("Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien"));
        // Each page shown, its labels take the size of their texts.
        for (const auto& [page, label] :
             {std::pair{form->TS1, form->Label16}, std::pair{form->TS2, form->Label1},
              std::pair{form->TS3, form->Label9}}) {
            form->PageControl1->setCurrentWidget(page);
            QCOMPARE(QRect(page->mapTo(form->PageControl1, QPoint(0, 0)), page->size()),
                     QRect(4, 24, 753, 464));
            QCOMPARE(label->size(), label->sizeHint());
        }
        QCOMPARE(form->PageControl1->tabText(0), QStringLiteral("Kommandos"));
        QCOMPARE(form->PageControl1->tabText(1), QStringLiteral("Optionen"));
        QCOMPARE(form->PageControl1->tabText(2), QStringLiteral("Über UPX und diese Shell"));
        QVERIFY(form->Memo2->toPlainText().isEmpty());
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("PageControl1") << "PageControl1" << 13 << false << true << false << Black;
        QTest::newRow("Memo1") << "Memo1" << 13 << false << false << false << Navy;
        QTest::newRow("KompressBtn") << "KompressBtn" << 13 << false << false << false << Navy;
        QTest::newRow("Label16") << "Label16" << 13 << false << true << false << Navy;
        QTest::newRow("Filename1") << "Filename1" << 13 << false << true << false << Navy;
        QTest::newRow("FilenameBtn1") << "FilenameBtn1" << 16 << true << false << false << Black;
        QTest::newRow("Label1") << "Label1" << 21 << false << false << true << Red;
        QTest::newRow("Label2") << "Label2" << 13 << false << false << false << Red;
        QTest::newRow("Label3") << "Label3" << 13 << true << false << false << Navy;
        QTest::newRow("ComboBox1") << "ComboBox1" << 13 << true << false << false << Navy;
        QTest::newRow("GroupBox6") << "GroupBox6" << 13 << true << false << false << Navy;
        QTest::newRow("IkonsRB3") << "IkonsRB3" << 13 << false << false << false << Navy;
        QTest::newRow("MemLbl") << "MemLbl" << 13 << true << false << false << Red;
        QTest::newRow("Label9") << "Label9" << 27 << false << true << false << Red;
        QTest::newRow("UPXLbl") << "UPXLbl" << 16 << false << true << true << Blue;
        QTest::newRow("HomePageLbl") << "HomePageLbl" << 16 << false << true << true << Blue;
        QTest::newRow("Label13") << "Label13" << 16 << false << false << false << Red;
        QTest::newRow("Memo2") << "Memo2" << 15 << false << false << false << Navy;
    }

    void fonts()
    {
        QFETCH(QString, control);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(bool, underline);
        QFETCH(QColor, colour);
        auto form = shownForm();
        const auto* widget = form->findChild<QWidget*>(control);
        QVERIFY(widget);
        const QFontInfo info(widget->font());
        QCOMPARE(info.family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(info.pixelSize(), pixelSize);
        QCOMPARE(info.bold(), bold);
        QCOMPARE(info.italic(), italic);
        QCOMPARE(widget->font().underline(), underline);
        QCOMPARE(widget->palette().color(QPalette::Active, widget->foregroundRole()), colour);
    }

    void tabOrder()
    {
        auto form = shownForm();
        const QList<QWidget*> commands{form->Memo1,        form->KompressBtn, form->DekompressBtn,
                                       form->InfoBtn,      form->TestBtn,     form->HilfeBtn,
                                       form->VersBtn,      form->LizensBtn,   form->Filename1,
                                       form->FilenameBtn1, form->Filename2,   form->FilenameBtn2,
                                       form->TryBtn};
        QCOMPARE(focusOrder(commands), commands);
        const QList<QWidget*> options{form->ComboBox1,   form->Trackbar1,   form->SysInfoBtn,
                                      form->KmRBtn1,     form->KmRBtn2,     form->OverlayBtn1,
                                      form->OverlayBtn2, form->OverlayBtn3, form->CB8086,
                                      form->CBnoReloc,   form->CBExport,    form->IkonsRB1,
                                      form->IkonsRB2,    form->IkonsRB3,    form->CBResource,
                                      form->CBStrip,     form->CBforce,     form->DefaultBtn};
        QCOMPARE(focusOrder(options), options);
    }

    void initialOptions()
    {
        auto form = shownForm();
        QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("7"));
        QCOMPARE(form->ComboBox1->count(), 10);
        QCOMPARE(form->ComboBox1->itemText(9), QStringLiteral("-best"));
        QVERIFY(form->KmRBtn2->isChecked() && !form->KmRBtn1->isChecked());
        QVERIFY(form->OverlayBtn1->isChecked());
        QVERIFY(form->IkonsRB3->isChecked());
        const auto boxes = form->TS2->findChildren<QCheckBox*>();
        QCOMPARE(boxes.size(), 6);
        for (const QCheckBox* box : boxes)
            QVERIFY(!box->isChecked());
        QCOMPARE(form->Trackbar1->value(), 10000);
    }

    void radioGroupsOnClick()
    {
        auto form = shownForm();
        form->PageControl1->setCurrentWidget(form->TS2);
        QTest::mouseClick(form->OverlayBtn3, Qt::LeftButton);
        QVERIFY(form->OverlayBtn3->isChecked());
        QVERIFY(!form->OverlayBtn1->isChecked() && !form->OverlayBtn2->isChecked());
        // A click on the checked button leaves it checked.
        QTest::mouseClick(form->OverlayBtn3, Qt::LeftButton);
        QVERIFY(form->OverlayBtn3->isChecked());
        // The groups do not touch each other.
        QTest::mouseClick(form->KmRBtn1, Qt::LeftButton);
        QVERIFY(form->KmRBtn1->isChecked() && !form->KmRBtn2->isChecked());
        QVERIFY(form->OverlayBtn3->isChecked() && form->IkonsRB3->isChecked());
        // Switching one off switches no other on.
        form->KmRBtn1->setChecked(false);
        QVERIFY(!form->KmRBtn1->isChecked() && !form->KmRBtn2->isChecked());
    }

    void radioGroupsByKeyboardAndForScreenReaders()
    {
        auto form = shownForm();
        form->PageControl1->setCurrentWidget(form->TS2);
        const auto checked = [](QWidget* button) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
            return accessible->role() == QAccessible::RadioButton && accessible->state().checkable
                       ? accessible->state().checked
                       : -1;
        };
        form->OverlayBtn3->setChecked(true);
        // Tab enters the group at its checked button and leaves it from there.
        form->KmRBtn2->setFocus();
        QTest::keyClick(form->KmRBtn2, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->OverlayBtn3);
        // The arrows go round the group and switch on the button they reach.
        QTest::keyClick(form->OverlayBtn3, Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), form->OverlayBtn1);
        QTest::keyClick(form->OverlayBtn1, Qt::Key_Up);
        QTest::keyClick(form->OverlayBtn3, Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), form->OverlayBtn2);
        QCOMPARE(checked(form->OverlayBtn1), 0);
        QCOMPARE(checked(form->OverlayBtn2), 1);
        QCOMPARE(checked(form->OverlayBtn3), 0);
        QCOMPARE(checked(form->KmRBtn2), 1);
        QTest::keyClick(form->OverlayBtn2, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->CB8086);
    }

    void everyControlHasAnAccessibleNameAndHintsStartWithABlank()
    {
        auto form = shownForm();
        QList<QWidget*> controls;
        for (QWidget* page : {form->TS1, form->TS2, form->TS3}) {
            for (QWidget* widget : page->findChildren<QWidget*>()) {
                // Named controls are the window's own; inner parts of Qt controls have no names.
                if (widget->focusPolicy() != Qt::NoFocus && !widget->objectName().isEmpty() &&
                    !widget->objectName().startsWith(QLatin1String("qt_")))
                    controls << widget;
            }
        }
        QCOMPARE(controls.size(), 32);
        for (QWidget* control : std::as_const(controls)) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY(accessible);
            QVERIFY2(!accessible->text(QAccessible::Name).trimmed().isEmpty(),
                     control->metaObject()->className());
        }
        for (QWidget* widget : form->findChildren<QWidget*>()) {
            if (!widget->statusTip().isEmpty())
                QVERIFY2(widget->statusTip().startsWith(QLatin1Char(' ')),
                         qPrintable(widget->statusTip()));
        }
    }

    void statusBarPanelsFollowTheWidth()
    {
        auto form = shownForm();
        QCOMPARE(form->StatusBar1->panelWidth(1), 100);
        QCOMPARE(form->StatusBar1->panelWidth(0), 661);
        QCOMPARE(form->StatusBar1->panel(1)->geometry().left(), 661);

        form->Perform(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        QTRY_VERIFY(form->isMaximized());
        QTRY_VERIFY(form->clientArea()->width() > 761);
        QCOMPARE(form->StatusBar1->width(), form->clientArea()->width());
        QCOMPARE(form->PageControl1->height(), form->clientArea()->height() - 25);
        QCOMPARE(form->StatusBar1->panelWidth(0), form->StatusBar1->width() - 100);

        form->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
        QTRY_VERIFY(!form->isMaximized());
        QTRY_COMPARE(form->clientArea()->size(), QSize(761, 517));
        QCOMPARE(form->size(), QSize(767, 542));
        QCOMPARE(form->StatusBar1->panelWidth(0), 661);
    }

    void secondStartRestores()
    {
        auto form = shownForm();
        form->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        QTRY_VERIFY(form->isMinimized());
        bringToFront(*form);
        QTRY_VERIFY(!form->isMinimized());
        QCOMPARE(form->windowState() & ~Qt::WindowActive, Qt::WindowNoState);

        form->Perform(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        QTRY_VERIFY(form->isMaximized());
        bringToFront(*form);
        QTRY_VERIFY(!form->isMaximized());
        QTRY_COMPARE(form->clientArea()->size(), QSize(761, 517));
        QCOMPARE(form->size(), QSize(767, 542));
    }

private:
    QString programDir(const QString& name)
    {
        const QString dir = m_dir.path() + QLatin1Char('/') + name + QLatin1Char('/');
        [&] { QVERIFY(QDir().mkpath(dir)); }();
        return dir;
    }

    std::unique_ptr<TUPXForm1> shownForm()
    {
        return shownMainWindow(m_dir.path() + QStringLiteral("/shown"));
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TestTUPXForm1)
#include "tst_tupxform1.moc"
