#include "app/application.h"
#include "app/tupxform1.h"
#include "testing.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

// The command buttons of the main window, run against a fake packer beside the program.
class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        qputenv("PATH", "");
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("prog"))));
        // The fake packer prints each argument on a line of its own, then sleeps if asked to.
        m_packer = writeScript(
            m_dir.filePath(QStringLiteral("prog/upx")),
            "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
            "[ -n \"$SLEEP\" ] && /bin/sleep \"$SLEEP\"\n"
            "[ -n \"$HUGE\" ] && /usr/bin/head -c \"$HUGE\" /dev/zero | /usr/bin/tr '\\0' x && "
            "printf '\\nEnde\\n'\nexit 0\n");
        QVERIFY(!m_packer.isEmpty());
    }

    void init()
    {
        m_form = std::make_unique<TUPXForm1>(m_dir.filePath(QStringLiteral("prog/kompaktor")));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup() { m_form.reset(); }

    void emptyFileName_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("Information") << "InfoBtn"
                                     << "Wie kann ich Information ermitteln,\nwenn kein "
                                        "Dateinamen angegeben wurde ?";
        QTest::newRow("Teste Integrität") << "TestBtn"
                                          << "Wie kann ich die Integrität einer Datei\ntesten, "
                                             "wenn keine Name angegeben wurde ?";
        QTest::newRow("Dekomprimieren") << "DekompressBtn"
                                        << "Es ist unmöglich eine Datei zu dekomprimieren,\nwenn "
                                           "Name und Pfad dieser Datei unbekannt ist!";
        QTest::newRow("Komprimieren") << "KompressBtn"
                                      << "Es ist unmöglich eine Datei zu komprimieren, wenn\nSie "
                                         "mir Name und Pfad dieser Datei nicht nennen!";
    }

    void emptyFileName()
    {
        QFETCH(QString, button);
        QFETCH(QString, text);
        m_form->Memo1->setPlainText(QStringLiteral("vorher"));
        MessageBoxWatcher boxes([&text](QMessageBox* box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Fehler"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(box->text(), text);
        });
        QMetaObject::invokeMethod(m_form.get(), [&] {
            if (button == QLatin1String("InfoBtn"))
                m_form->InfoBtnClick();
            else if (button == QLatin1String("TestBtn"))
                m_form->TestBtnClick();
            else if (button == QLatin1String("DekompressBtn"))
                m_form->DekompressBtnClick();
            else
                m_form->KompressBtnClick();
        });
        QCOMPARE(boxes.count(), 1);
        // Nothing ran: the output box is as it was.
        QCOMPARE(m_form->Memo1->toPlainText(), QStringLiteral("vorher"));
    }

    void transcriptInTheOutputBox()
    {
        m_form->Filename1->setText(m_dir.filePath(QStringLiteral("prog/upx")));
        QVERIFY(m_form->InfoBtn->isEnabled());
        QTest::mouseClick(m_form->InfoBtn, Qt::LeftButton);
        const QString file = m_dir.filePath(QStringLiteral("prog/upx"));
        QString shown = m_form->Memo1->toPlainText();
        shown.replace(QRegularExpression(QStringLiteral("etwa \\d+ Millisekunden")),
                      QStringLiteral("etwa N Millisekunden"));
        QCOMPARE(shown, QStringLiteral("Starte\n\n") + m_packer + QStringLiteral("  -l \"") + file +
                            QStringLiteral("\"\n\n<-l>\n<") + file +
                            QStringLiteral(">\n\nFür diese Operation wurden etwa N Millisekunden "
                                           "benötigt.\n"));
        QVERIFY(!QApplication::overrideCursor());
    }

    void keysPressTheFocusedButton()
    {
        m_form->VersBtn->setFocus();
        QTest::keyClick(m_form->VersBtn, Qt::Key_Return);
        QVERIFY2(m_form->Memo1->toPlainText().contains(QStringLiteral("\n<-V>\n")),
                 qPrintable(m_form->Memo1->toPlainText()));
        m_form->LizensBtn->setFocus();
        QTest::keyClick(m_form->LizensBtn, Qt::Key_Space);
        QVERIFY(m_form->Memo1->toPlainText().contains(QStringLiteral("\n<-L>\n")));
    }

    void secondCommandDuringARunIsRefused()
    {
        qputenv("SLEEP", "1");
        bool busyCursor = false;
        QTimer::singleShot(300, m_form.get(), [&] {
            busyCursor = QApplication::overrideCursor() &&
                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            QTest::mouseClick(m_form->VersBtn, Qt::LeftButton);
        });
        QTest::mouseClick(m_form->HilfeBtn, Qt::LeftButton);
        qunsetenv("SLEEP");
        QVERIFY(busyCursor);
        QVERIFY(!QApplication::overrideCursor());
        const QString shown = m_form->Memo1->toPlainText();
        QVERIFY2(shown.contains(QStringLiteral("\n<-h>\n")), qPrintable(shown));
        QVERIFY(!shown.contains(QStringLiteral("<-V>")));
        QVERIFY(!shown.contains(QStringLiteral("  -V\n")));
    }

    void aHugeLineKeepsTheWindowAlive()
    {
        // One line of 20 MB: the box takes it in pieces with events between them, keeps only
        // its start and end, and shows the end of the report.
        qputenv("HUGE", "20000000");
        QTextDocument* box = m_form->Memo1->document();
        int ticksWhileFilling = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (box->characterCount() > 1000 &&
                !box->lastBlock().previous().text().startsWith(QStringLiteral("Für diese")))
                ++ticksWhileFilling;
        });
        timer.start(20);
        QTest::mouseClick(m_form->VersBtn, Qt::LeftButton);
        qunsetenv("HUGE");
        QVERIFY(ticksWhileFilling > 0);
        const QString shown = m_form->Memo1->toPlainText();
        QVERIFY(shown.size() < 2 * 1024 * 1024 + 1000);
        // "<-V>\n", the line, "\nEnde\n": 20000011 bytes, of which 2 MiB are kept.
        QVERIFY(shown.contains(QStringLiteral(
            "xxx\n*** Hier wurden 17902859 Bytes der Ausgabe ausgelassen. ***\nxxx")));
        QVERIFY(shown.contains(QStringLiteral("xxx\nEnde\n\nFür diese Operation")));
        const QScrollBar* scroll = m_form->Memo1->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        QCOMPARE(scroll->value(), scroll->maximum());
    }

private:
    QTemporaryDir m_dir;
    QString m_packer;
    std::unique_ptr<TUPXForm1> m_form;
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
