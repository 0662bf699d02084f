// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/statusbar.h"
#include "app/tupxform1.h"
#include "packer/packercommands.h"
#include "packer/packerlocation.h"
#include "packer/packerversion.h"
#include "testing.h"
#include "widgets/radiobutton.h"
#include "widgets/rxslider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

#include <sys/stat.h>

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
        m_packer =
            writeScript(m_dir.filePath(QStringLiteral("prog/upx")),
                        EchoArguments + QByteArray("[ -n \"$SLEEP\" ] && /bin/sleep \"$SLEEP\"\n"
                                                   "[ -n \"$HUGE\" ] && /usr/bin/head -c \"$HUGE\" "
                                                   "/dev/zero | /usr/bin/tr '\\0' x && "
                                                   "printf '\\nEnde\\n'\nexit 0\n"));
        QVERIFY(!m_packer.isEmpty());
    }

    void init() { m_form = shownMainWindow(m_dir.path()); }

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
        QCOMPARE(withMaskedTime(m_form->Memo1->toPlainText()),
                 QStringLiteral("Starte\n\n") + m_packer + QStringLiteral("  -l \"") + file +
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
        // Pressed as soon as the running command lets events through.
        QTimer::singleShot(0, m_form.get(), [&] {
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

    void compressWaitsForThePackerVersion_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("Version kommt") << false;
        QTest::newRow("Escape") << true;
    }

    void compressWaitsForThePackerVersion()
    {
        // The packer answers "-V" once the test writes to its FIFO. The compress pressed before
        // that waits with the window alive and runs with the switch of the version that came;
        // Escape ends the wait, and no packer runs for it.
        QFETCH(bool, cancel);
        const QString dir = m_dir.filePath(QStringLiteral("wartend-%1").arg(cancel));
        QVERIFY(QDir().mkpath(dir));
        const QString packer = writeScript(
            dir + QStringLiteral("/upx"), QByteArray("if [ \"$1\" = -V ]; then read -r line "
                                                     "<\"$0.fifo\"; echo \"$line\"; exit 0; fi\n") +
                                              EchoArguments + "echo lief >>\"$0.lief\"\n");
        const QString fifo = packer + QStringLiteral(".fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const auto answerVersion = [&fifo] {
            QFile writer(fifo);
            return writer.open(QIODevice::WriteOnly) && writer.write("upx 4.2.2\n") == 10;
        };
        const auto form = shownWindow(dir + QStringLiteral("/kompaktor"));
        form->Filename1->setText(packer);
        bool waiting = false;
        QTimer::singleShot(0, form.get(), [&] {
            // Seen while the packer still holds its version back.
            waiting =
                form->commandRunning() && form->StatusBar1->panelText(0) ==
                                              QLatin1Char(' ') + PackerRun::WaitingForVersionText;
            if (!waiting)
                return;
            if (cancel)
                QTest::keyClick(form->KompressBtn, Qt::Key_Escape);
            else
                QVERIFY(answerVersion());
        });
        QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        QVERIFY(waiting);
        if (cancel) {
            QCOMPARE(form->Memo1->toPlainText(),
                     QStringLiteral("Starte\n\n") + PackerRun::CancelledText +
                         QStringLiteral("\n\nFür diese Operation wurden etwa 0 Millisekunden "
                                        "benötigt.\n"));
            QCOMPARE(form->StatusBar1->panelText(0),
                     QStringLiteral(" Abgebrochen, die Datei blieb unverändert"));
            QVERIFY(!QFile::exists(packer + QStringLiteral(".lief")));
            QVERIFY(answerVersion());
            QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        }
        const QString shown = form->Memo1->toPlainText();
        QVERIFY2(shown.contains(QStringLiteral("\n<--crp-ucl-ms=10000>\n")), qPrintable(shown));
        QCOMPARE(readFile(packer + QStringLiteral(".lief")), QByteArray("lief\n"));
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

    void aPackerInTheCurrentFolderIsNotRun()
    {
        // A "upx" that came with a download, in the folder the user stands in, is never run,
        // also not through a relative PATH entry; the box names the packer by its full path.
        const QString downloads = m_dir.filePath(QStringLiteral("Downloads"));
        const QString searched = m_dir.filePath(QStringLiteral("pfad"));
        for (const QString& folder : {downloads, searched, m_dir.filePath(QStringLiteral("leer"))})
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(!writeScript(downloads + QStringLiteral("/upx"), "echo fremd >\"$0.lief\"\n")
                     .isEmpty());
        const QString packer = writeScript(searched + QStringLiteral("/upx"), "echo \"<$*>\"\n");
        QVERIFY(QDir::setCurrent(downloads));
        qputenv("PATH", QFile::encodeName(QStringLiteral(".::") + searched));
        const auto form = shownWindow(m_dir.filePath(QStringLiteral("leer/kompaktor")));
        qputenv("PATH", "");
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QCOMPARE(form->PackerPath, packer + QLatin1Char(' '));
        QTest::mouseClick(form->VersBtn, Qt::LeftButton);
        const QString shown = form->Memo1->toPlainText();
        QVERIFY2(shown.startsWith(QStringLiteral("Starte\n\n") + packer +
                                  QStringLiteral("  -V\n\n<-V>\n")),
                 qPrintable(shown));
        QVERIFY(!QFile::exists(downloads + QStringLiteral("/upx.lief")));
    }

    void realPackerCommands_data()
    {
        QTest::addColumn<QString>("packer");
        QTest::addColumn<QString>("versionLine");
        QTest::addColumn<bool>("everySwitch");
        for (const RealPacker& packer : realPackers()) {
            QTest::addRow("%s, defaults", packer.name)
                << packer.path << packer.versionLine << false;
            QTest::addRow("%s, every switch", packer.name)
                << packer.path << packer.versionLine << true;
        }
    }

    void realPackerCommands()
    {
        // The seven commands through the window: a copy of a system program, packed with the
        // options page's defaults or with every switch, still runs; the information and the
        // integrity test find it packed; unpacked, it is the original again.
        QFETCH(QString, packer);
        QFETCH(QString, versionLine);
        QFETCH(bool, everySwitch);
        const auto form = realPackerWindow(packer);
        if (!form)
            QSKIP("the packer is not installed");
        const QString program = m_dir.filePath(QStringLiteral("Ein Programm"));
        QFile::remove(program);
        QVERIFY(QFile::copy(QStringLiteral("/bin/ls"), program));
        const QByteArray original = sha256(program);
        const QByteArray expected = output(program);
        QVERIFY(expected.startsWith("ls (GNU coreutils)"));
        const auto click = [&form](QPushButton* button) {
            form->Memo1->clear();
            QTest::mouseClick(button, Qt::LeftButton);
            return form->Memo1->toPlainText();
        };

        QVERIFY(click(form->VersBtn).contains(QLatin1Char('\n') + versionLine));
        QVERIFY(click(form->LizensBtn).contains(QStringLiteral("UPX License Agreement")));
        QVERIFY(click(form->HilfeBtn).contains(QStringLiteral("--best")));

        form->Filename1->setText(program);
        if (everySwitch) {
            form->ComboBox1->setEditText(QStringLiteral("-best"));
            form->Trackbar1->setValue(999999);
            const QList<QAbstractButton*> switches{
                form->CBforce, form->CB8086,  form->CBnoReloc,   form->CBExport, form->CBResource,
                form->CBStrip, form->KmRBtn1, form->OverlayBtn2, form->IkonsRB1};
            for (QAbstractButton* button : switches)
                button->setChecked(true);
        }
        const QString compressed = click(form->KompressBtn);
        // UPX 4 dropped the old name of the memory switch.
        const QString memory = versionLine == QLatin1String("upx 3.96")
                                   ? QStringLiteral(" --crp-ms=")
                                   : QStringLiteral(" --crp-ucl-ms=");
        QVERIFY2(compressed.contains(memory + (everySwitch ? QStringLiteral("999999 --nrv2b ")
                                                           : QStringLiteral("10000 \""))) &&
                     compressed.contains(QStringLiteral("Packed 1 file.")),
                 qPrintable(compressed));
        QVERIFY(sha256(program) != original);
        QCOMPARE(output(program), expected);
        QVERIFY(click(form->InfoBtn).contains(QStringLiteral("linux/amd64")));
        QVERIFY(click(form->TestBtn).contains(QStringLiteral("[OK]")));
        QVERIFY(click(form->DekompressBtn).contains(QStringLiteral("Unpacked 1 file.")));
        QCOMPARE(sha256(program), original);
    }

    void realPackerAdvancedChoices()
    {
        // Debian's UPX with the choices of page "Erweitert": LZMA packs smaller than the
        // defaults, the backup is the original, the test follows at once; a new file leaves the
        // original untouched, and one that exists already is refused.
        const auto form = realPackerWindow(QStringLiteral(KOMPAKTOR_PACKER));
        if (!form)
            QSKIP("the packer is not installed");
        const QString folder = m_dir.filePath(QStringLiteral("erweitert/"));
        QVERIFY(QDir().mkpath(folder));
        for (const char* name : {"normal", "lzma", "neu"})
            QVERIFY(QFile::copy(QStringLiteral("/bin/ls"), folder + QLatin1String(name)));
        const QByteArray original = readFile(folder + QStringLiteral("normal"));
        const QByteArray expected = output(folder + QStringLiteral("normal"));
        const auto compress = [&form, &folder](const char* name) {
            form->Memo1->clear();
            form->Filename1->setText(folder + QLatin1String(name));
            QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
            return form->StatusBar1->panelText(0);
        };
        QVERIFY(compress("normal").startsWith(QStringLiteral(" Komprimiert: ")));

        for (QCheckBox* box : {form->CBLzma, form->CBBackup, form->CBTestAfter})
            box->setChecked(true);
        const QString line = compress("lzma");
        QVERIFY2(line.endsWith(QStringLiteral(", Sicherung: lzma.~, geprüft")), qPrintable(line));
        QVERIFY(form->Memo1->toPlainText().contains(QStringLiteral("Packed 1 file.")));
        QVERIFY(form->Memo1->toPlainText().contains(QStringLiteral("[OK]")));
        const qint64 normal = QFileInfo(folder + QStringLiteral("normal")).size();
        const qint64 lzma = QFileInfo(folder + QStringLiteral("lzma")).size();
        qInfo("ls %lld bytes: packed %lld, with LZMA %lld", qint64(original.size()), normal, lzma);
        QVERIFY(lzma < normal);
        QCOMPARE(output(folder + QStringLiteral("lzma")), expected);
        QCOMPARE(readFile(folder + QStringLiteral("lzma.~")), original);

        // With a new file, still with LZMA, backup and test: the original stays as it is.
        form->CBNewFile->setChecked(true);
        const QString newFile = folder + QStringLiteral("neu-gepackt");
        QVERIFY(compress("neu").endsWith(QStringLiteral(": neu-gepackt, geprüft")));
        QCOMPARE(readFile(folder + QStringLiteral("neu")), original);
        QCOMPARE(output(newFile), expected);
        QCOMPARE(form->Filename2->text(), newFile);
        MessageBoxWatcher boxes([&newFile](QMessageBox* box) {
            QVERIFY(box->windowTitle() == QLatin1String("Fehler") && box->text().contains(newFile));
        });
        form->Memo1->setPlainText(QStringLiteral("vorher"));
        QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("vorher"));
    }

    void realPackerProgressAndCancel_data() { addRealPackerRows(); }

    void realPackerProgressAndCancel()
    {
        // A long compress with the real packer shows its progress in the status line; Escape
        // ends it, keeps what it wrote, and leaves the file and its folder as they were.
        QFETCH(QString, packer);
        const auto form = realPackerWindow(packer);
        if (!form)
            QSKIP("the packer is not installed");
        const QString folder = m_dir.filePath(QStringLiteral("gross"));
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/Großes Programm");
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/ctest"), file));
        const QByteArray before = sha256(file);
        const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);
        form->Filename1->setText(file);
        form->ComboBox1->setEditText(QStringLiteral("-best"));
        QStringList progress;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            const QString shown = form->StatusBar1->panelText(0);
            if (shown.contains(QLatin1Char('%')) && progress.value(progress.size() - 1) != shown)
                progress << shown;
            if (progress.size() >= 3 && watch.interval() != 0) {
                watch.setInterval(0);
                QTest::keyClick(form->KompressBtn, Qt::Key_Escape);
            }
        });
        watch.start(50);
        QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        watch.stop();
        QVERIFY2(progress.size() >= 3 && QRegularExpression(QStringLiteral("^ .*\\d/\\d.*\\d%"))
                                             .match(progress.last())
                                             .hasMatch(),
                 qPrintable(progress.join(QLatin1Char('|'))));
        QVERIFY(!form->StatusBar1->panelText(0).contains(QLatin1Char('%')));
        const QString shown = form->Memo1->toPlainText();
        QVERIFY2(QRegularExpression(QStringLiteral("Ultimate Packer for eXecutables.*\n"
                                                   "Operation wurde abgebrochen!\n\nFür diese "
                                                   "Operation wurden etwa \\d+ Millisekunden "
                                                   "benötigt.\n$"),
                                    QRegularExpression::DotMatchesEverythingOption)
                     .match(shown)
                     .hasMatch(),
                 qPrintable(shown));
        QCOMPARE(sha256(file), before);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), entries);
    }

    void realPackerTranscriptIsItsPipeReport_data() { addRealPackerRows(); }

    void realPackerTranscriptIsItsPipeReport()
    {
        // The box holds what the packer writes when its output is not a terminal.
        QFETCH(QString, packer);
        const auto form = realPackerWindow(packer);
        if (!form)
            QSKIP("the packer is not installed");
        for (const char* name : {"ueber-terminal", "ueber-pipe"}) {
            QDir(m_dir.filePath(QLatin1String(name))).removeRecursively();
            QVERIFY(QDir().mkpath(m_dir.filePath(QLatin1String(name))));
            QVERIFY(QFile::copy(QStringLiteral("/bin/ls"),
                                m_dir.filePath(QLatin1String(name) + QStringLiteral("/prog"))));
        }
        QVERIFY(QDir::setCurrent(m_dir.filePath(QStringLiteral("ueber-terminal"))));
        form->Filename1->setText(QStringLiteral("prog"));
        QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QProcess pipe;
        pipe.setWorkingDirectory(m_dir.filePath(QStringLiteral("ueber-pipe")));
        pipe.setProcessChannelMode(QProcess::MergedChannels);
        const PackerCommand command =
            compressCommand(form->PackerPath, {}, "prog", PackerVersion(packer).version());
        pipe.start(packer, command.arguments);
        QVERIFY(pipe.waitForFinished(60000));
        const QString report = QString::fromUtf8(pipe.readAll());
        QVERIFY(report.contains(QStringLiteral("Packed 1 file.")));
        QCOMPARE(withMaskedTime(form->Memo1->toPlainText()),
                 QStringLiteral("Starte\n\n") + command.commandLine + QStringLiteral("\n\n") +
                     report +
                     QStringLiteral("\nFür diese Operation wurden etwa N Millisekunden "
                                    "benötigt.\n"));
    }

private:
    // A main window whose packer is the real one: UPX 3.96 beside the program, the system's
    // found on the search path. None when the packer is not installed.
    std::unique_ptr<TUPXForm1> realPackerWindow(const QString& packer)
    {
        if (!QFileInfo(packer).isExecutable())
            return nullptr;
        // A folder of its own each time, so that no settings file of an earlier window counts.
        static int windows = 0;
        const QString dir = m_dir.filePath(QStringLiteral("echt-%1").arg(++windows));
        QDir().mkpath(dir);
        const bool system = packer == QLatin1String(KOMPAKTOR_PACKER);
        if (system)
            qputenv("PATH", QFile::encodeName(directoryPart(packer)));
        else
            QFile::link(packer, dir + QStringLiteral("/upx"));
        auto form = shownWindow(dir + QStringLiteral("/kompaktor"));
        qputenv("PATH", "");
        [&] {
            QCOMPARE(form->PackerPath,
                     (system ? packer : dir + QStringLiteral("/upx")) + QLatin1Char(' '));
        }();
        return form;
    }

    // What the program prints for "--version", or "failed" when it does not run to its end.
    static QByteArray output(const QString& program)
    {
        QProcess process;
        process.start(program, {QStringLiteral("--version")});
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
                       process.exitCode() == 0
                   ? process.readAllStandardOutput()
                   : QByteArray("failed");
    }

    static QByteArray sha256(const QString& path)
    {
        return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
    }

    QTemporaryDir m_dir;
    QString m_packer;
    std::unique_ptr<TUPXForm1> m_form;
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
