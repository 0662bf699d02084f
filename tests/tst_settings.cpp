// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tupxform1.h"
#include "packer/packercommands.h"
#include "testing.h"
#include "widgets/radiobutton.h"
#include "widgets/rxslider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

#include <memory>

namespace {

// What a window writes that found no settings file: every packer works at once by default.
const QByteArray WrittenFromNothing = "[Option]\r\n"
                                      "Kompresslevel=7\r\n"
                                      "Erzwingen=0\r\n"
                                      "Methode1=0\r\n"
                                      "O_Entfernen=0\r\n"
                                      "O_Ablehnen=0\r\n"
                                      "Support8086=0\r\n"
                                      "ExeHeader=0\r\n"
                                      "Speicher=10000\r\n"
                                      "Export=0\r\n"
                                      "Resource=0\r\n"
                                      "Recorde=0\r\n"
                                      "NoIcons=0\r\n"
                                      "AllIcons=0\r\n"
                                      "[Erweitert]\r\n"
                                      "LZMA=0\r\n"
                                      "Gruendlich=0\r\n"
                                      "SehrGruendlich=0\r\n"
                                      "Sicherung=0\r\n"
                                      "NeueDatei=0\r\n"
                                      "Pruefen=0\r\n"
                                      "Packer=" +
                                      QByteArray::number(qMax(1, QThread::idealThreadCount())) +
                                      "\r\n";

} // namespace

// The options page and its settings file "Kompaktor.INI" beside the program.
class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        qputenv("PATH", "");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
        // The packer prints each argument it receives on a line of its own.
        QVERIFY(!writeScript(m_dir->filePath(QStringLiteral("upx")), EchoArguments).isEmpty());
    }

    void noSettingsFile()
    {
        {
            auto form = makeForm();
            QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("7"));
            QVERIFY(form->KmRBtn2->isChecked() && !form->KmRBtn1->isChecked());
            QVERIFY(form->OverlayBtn1->isChecked());
            QVERIFY(form->IkonsRB3->isChecked());
            for (const QCheckBox* box : form->TS2->findChildren<QCheckBox*>())
                QVERIFY(!box->isChecked());
            QCOMPARE(form->Trackbar1->value(), 10000);
            QCOMPARE(form->MemLbl->text(), QStringLiteral("9"));
        }
        // Closing writes the file, also when nothing was touched.
        QCOMPARE(settings(), WrittenFromNothing);
    }

    void storedValues_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("level");
        QTest::addColumn<int>("memory");
        QTest::addColumn<QString>("memLbl");
        QTest::addColumn<bool>("force");
        QTest::newRow("memory below the range")
            << QByteArray("[Option]\nSpeicher=5\n") << "7" << 10000 << "9" << false;
        QTest::newRow("memory above the range")
            << QByteArray("[Option]\nSpeicher=2000000\n") << "7" << 999999 << "976" << false;
        QTest::newRow("memory 0x")
            << QByteArray("[Option]\nSpeicher=0x186A0\n") << "7" << 100000 << "97" << false;
        QTest::newRow("memory 0X")
            << QByteArray("[Option]\nSpeicher=0X186a0\n") << "7" << 100000 << "97" << false;
        QTest::newRow("memory $") << QByteArray("[Option]\nSpeicher=$186A0\n") << "7" << 100000
                                  << "97" << false;
        QTest::newRow("memory in words")
            << QByteArray("[Option]\nSpeicher=viel\n") << "7" << 10000 << "9" << false;
        QTest::newRow("memory in two groups")
            << QByteArray("[Option]\nSpeicher=200 000\n") << "7" << 10000 << "9" << false;
        QTest::newRow("force 2") << QByteArray("[Option]\nErzwingen=2\n") << "7" << 10000 << "9"
                                 << true;
        QTest::newRow("force true")
            << QByteArray("[Option]\nErzwingen=true\n") << "7" << 10000 << "9" << false;
        QTest::newRow("level -best")
            << QByteArray("[Option]\nKompresslevel=-best\n") << "-best" << 10000 << "9" << false;
        QTest::newRow("level empty")
            << QByteArray("[Option]\nKompresslevel=\n") << "" << 10000 << "9" << false;
        QTest::newRow("level any text") << QByteArray("[Option]\nKompresslevel=9 --ultra\n")
                                        << "9 --ultra" << 10000 << "9" << false;
        QTest::newRow("names in other letter case")
            << QByteArray("[oPTION]\r\nKOMPRESSLEVEL=3\r\nspeicher=500000\r\nerzwingen=1\r\n")
            << "3" << 500000 << "488" << true;
        QTest::newRow("other section")
            << QByteArray("[Optionen]\nKompresslevel=3\n") << "7" << 10000 << "9" << false;
    }

    void storedValues()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, level);
        QFETCH(int, memory);
        QFETCH(QString, memLbl);
        QFETCH(bool, force);
        writeSettings(file);
        auto form = makeForm();
        QCOMPARE(form->ComboBox1->currentText(), level);
        QCOMPARE(form->Trackbar1->value(), memory);
        QCOMPARE(form->MemLbl->text(), memLbl);
        QCOMPARE(form->CBforce->isChecked(), force);
    }

    void laterRadioKeysWin()
    {
        writeSettings("[Option]\nMethode1=1\nO_Entfernen=1\nO_Ablehnen=1\nNoIcons=1\nAllIcons=1\n");
        auto form = makeForm();
        QVERIFY(form->KmRBtn1->isChecked() && !form->KmRBtn2->isChecked());
        QVERIFY(form->OverlayBtn3->isChecked());
        QVERIFY(!form->OverlayBtn1->isChecked() && !form->OverlayBtn2->isChecked());
        QVERIFY(form->IkonsRB2->isChecked());
        QVERIFY(!form->IkonsRB1->isChecked() && !form->IkonsRB3->isChecked());
    }

    void roundTrip()
    {
        {
            auto form = makeForm();
            form->ComboBox1->setEditText(QStringLiteral("-best"));
            form->CBforce->setChecked(true);
            form->KmRBtn1->setChecked(true);
            form->OverlayBtn2->setChecked(true);
            form->CBStrip->setChecked(true);
            form->IkonsRB1->setChecked(true);
            form->Trackbar1->setValue(654321);
        }
        auto form = makeForm();
        QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("-best"));
        QVERIFY(form->CBforce->isChecked() && form->CBStrip->isChecked());
        QVERIFY(form->KmRBtn1->isChecked() && !form->KmRBtn2->isChecked());
        QVERIFY(form->OverlayBtn2->isChecked() && !form->OverlayBtn1->isChecked());
        QVERIFY(form->IkonsRB1->isChecked() && !form->IkonsRB3->isChecked());
        QCOMPARE(form->Trackbar1->value(), 654321);
        QCOMPARE(form->MemLbl->text(), QStringLiteral("638"));
    }

    void advancedChoicesRoundTrip()
    {
        // A file with section "Option" only gives page "Erweitert" its defaults.
        writeSettings("[Option]\nSpeicher=20000\n");
        {
            auto form = makeForm();
            for (const QCheckBox* box : form->TS5->findChildren<QCheckBox*>())
                QVERIFY(!box->isChecked());
            QVERIFY(form->BruteRB1->isChecked());
            QCOMPARE(form->parallelPackers(), qMax(1, QThread::idealThreadCount()));
            form->CBLzma->setChecked(true);
            form->BruteRB3->setChecked(true);
            form->CBNewFile->setChecked(true);
            form->SpinEdit1->setValue(1);
            // "Default" on the options page leaves page "Erweitert" as it is.
            form->DefaultBtnClick();
            QVERIFY(form->CBLzma->isChecked() && form->BruteRB3->isChecked());
        }
        auto form = makeForm();
        const AdvancedOptions advanced = form->advancedOptions();
        QVERIFY(advanced.lzma && advanced.newFile && !advanced.keepBackup && !advanced.testAfter);
        QCOMPARE(advanced.thoroughness, int(AdvancedOptions::UltraBrute));
        QCOMPARE(form->parallelPackers(), 1);
    }

    // The memory slider steps by keys and reports each change to the label and the file.
    void memorySlider()
    {
        {
            auto form = makeForm();
            TRxSlider* slider = form->Trackbar1;
            QCOMPARE(slider->parentWidget(), static_cast<QWidget*>(form->GroupBox1));
            QCOMPARE(slider->geometry(), QRect(18, 66, 463, 43));
            QCOMPARE(slider->increment(), 100000);
            QTest::keyClick(slider, Qt::Key_Right);
            QCOMPARE(form->MemLbl->text(), QStringLiteral("97"));
            QTest::keyClick(slider, Qt::Key_End);
            QCOMPARE(form->MemLbl->text(), QStringLiteral("976"));
        }
        QVERIFY(settings().contains("Speicher=999999\r\n"));
    }

    void defaultButton()
    {
        writeSettings("[Option]\nKompresslevel=2\nErzwingen=1\nSpeicher=900000\nExport=1\n");
        auto form = shownWindow(m_dir->filePath(QStringLiteral("kompaktor")));
        form->PageControl1->setCurrentWidget(form->TS2);
        QTest::mouseClick(form->KmRBtn1, Qt::LeftButton);
        QTest::mouseClick(form->IkonsRB2, Qt::LeftButton);
        QVERIFY(form->KmRBtn1->isChecked() && form->OverlayBtn1->isChecked());

        QTest::mouseClick(form->DefaultBtn, Qt::LeftButton);
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("Kompaktor.INI"))));
        QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("7"));
        QCOMPARE(form->Trackbar1->value(), 10000);
        QCOMPARE(form->MemLbl->text(), QStringLiteral("9"));
        for (const QCheckBox* box : form->TS2->findChildren<QCheckBox*>())
            QVERIFY(!box->isChecked());
        // A group whose stored button was chosen shows no button checked; the others keep theirs.
        QVERIFY(!form->KmRBtn1->isChecked() && !form->KmRBtn2->isChecked());
        QVERIFY(!form->IkonsRB1->isChecked() && !form->IkonsRB2->isChecked() &&
                !form->IkonsRB3->isChecked());
        QVERIFY(form->OverlayBtn1->isChecked());
        // And the compress command then carries no method switch.
        form->Filename1->setText(QStringLiteral("a.exe"));
        form->KompressBtnClick();
        QVERIFY2(form->Memo1->toPlainText().contains(
                     QStringLiteral("\n<-7>\n<--crp-ms=10000>\n<a.exe>\n")),
                 qPrintable(form->Memo1->toPlainText()));
        // A press without a file does nothing more.
        QTest::mouseClick(form->DefaultBtn, Qt::LeftButton);
        QCOMPARE(form->ComboBox1->currentText(), QStringLiteral("7"));
    }

    void foreignContentSurvives()
    {
        writeSettings("; Kompaktor\r\n[Fenster]\r\nLinks=10\r\n[Option]\r\nEigenerSchluessel=ja\r\n"
                      "Speicher=20000\r\n[Zuletzt]\r\nDatei=/tmp/a.exe\r\n");
        makeForm().reset();
        const QByteArray file = settings();
        QVERIFY(file.startsWith("; Kompaktor\r\n[Fenster]\r\nLinks=10\r\n[Option]\r\n"
                                "EigenerSchluessel=ja\r\nSpeicher=20000\r\n"));
        QVERIFY(file.contains("AllIcons=0\r\n[Zuletzt]\r\nDatei=/tmp/a.exe\r\n"));
    }

    void writeProtectedFile()
    {
        writeSettings("[Option]\nSpeicher=20000\n");
        const QString path = m_dir->filePath(QStringLiteral("Kompaktor.INI"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        auto form = shownWindow(m_dir->filePath(QStringLiteral("kompaktor")));
        form->Trackbar1->setValue(30000);
        MessageBoxWatcher boxes([&path](QMessageBox* box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Kompaktor"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->text(), QStringLiteral("nach ") + path +
                                      QStringLiteral(" kann nicht geschrieben werden."));
        });
        form.reset();
        QCOMPARE(boxes.count(), 1);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(settings(), QByteArray("[Option]\nSpeicher=20000\n"));
    }

    void savingRemovesOnlyItsLeftovers()
    {
        // A save that was killed may leave its temporary file; the next save removes such
        // leftovers, and only those.
        auto form = makeForm();
        for (const char* name : {"Kompaktor.INI.kompaktor-a1B2c3", "Kompaktor.INI.backup"})
            QVERIFY(QFile(m_dir->filePath(QLatin1String(name))).open(QIODevice::WriteOnly));
        form->SchreibeIni();
        QCOMPARE(
            QDir(m_dir->path()).entryList({QStringLiteral("Kompaktor.INI*")}, QDir::Files),
            (QStringList{QStringLiteral("Kompaktor.INI"), QStringLiteral("Kompaktor.INI.backup")}));
    }

    void anEndingSignalReportsAFailedSaveOnStandardError()
    {
        // At logout nobody answers a box: a save that fails while a signal ends the program is
        // reported on standard error, and the program ends by itself. (A folder in the settings
        // file's place makes the save fail, also for the super-user.)
        const QString prog = m_dir->filePath(QStringLiteral("prog/"));
        QVERIFY(QDir().mkpath(prog + QStringLiteral("Kompaktor.INI")));
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_BINARY), prog + QStringLiteral("kompaktor")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(prog + QStringLiteral("kompaktor"));
        QVERIFY(program.waitForStarted(5000));
        // Synchronised on the program catching SIGTERM, which it does once its window is made.
        const auto catchesTerm = [&program] {
            QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
            if (!status.open(QIODevice::ReadOnly))
                return false;
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("SigCgt:"))
                    return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) &
                            1) != 0;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(catchesTerm(), 15000);
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        const QByteArray message = "kompaktor: nach " + QFile::encodeName(prog) +
                                   "Kompaktor.INI kann nicht geschrieben werden.\n";
        QVERIFY(program.readAllStandardError().contains(message));
    }

    void installedProgramRunByAUser()
    {
        // Installed by the administrator and run by an ordinary user: the settings go to the
        // user's configuration folder, made at the first save. Root's start of the installation
        // writes root's own folder, never the installation; a file beside the program that the
        // user may write (but does not own) stands in for nobody's settings.
        // The tests run with an empty search path.
        const QString setpriv = QStandardPaths::findExecutable(
            QStringLiteral("setpriv"), {QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
        if (::geteuid() != 0 || setpriv.isEmpty())
            QSKIP("needs the super-user and setpriv to start the program as another user");
        const passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        const uid_t nobodyId = nobody->pw_uid;
        const gid_t nobodyGroup = nobody->pw_gid;
        constexpr auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                              QFileDevice::ExeGroup | QFileDevice::ReadOther |
                              QFileDevice::ExeOther;
        // The user must reach the program and a home: in a folder of /var/tmp, open to all, as the
        // temporary folder may be one of root's own that nobody else may enter.
        QTemporaryDir shared(QStringLiteral("/var/tmp/kompaktor-test-XXXXXX"));
        QVERIFY(shared.isValid());
        QVERIFY(QFile::setPermissions(shared.path(), open));
        const QString prog = shared.filePath(QStringLiteral("prog/"));
        QVERIFY(QDir().mkpath(prog));
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_BINARY), prog + QStringLiteral("kompaktor")));
        QVERIFY(QFile(prog + QStringLiteral("upx")).open(QIODevice::WriteOnly));
        QVERIFY(QFile(prog + QStringLiteral("kompaktor.installed")).open(QIODevice::WriteOnly));
        // Each user's home, configuration folder and run-time folder.
        const auto home = [&shared](uid_t user) {
            return shared.filePath(QStringLiteral("home-%1").arg(user));
        };
        const auto config = [&home](uid_t user) {
            return home(user) + QStringLiteral("/Einstellungen/Kompaktor/Kompaktor.INI");
        };
        for (const uid_t user : {uid_t(0), nobodyId}) {
            for (const QString& folder : {home(user), home(user) + QStringLiteral("/run")}) {
                QVERIFY(QDir().mkpath(folder));
                QVERIFY(::chown(QFile::encodeName(folder).constData(), user,
                                user == 0 ? 0 : nobodyGroup) == 0);
                QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner));
            }
        }
        const auto runAndTerminate = [&](uid_t user) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("HOME"), home(user));
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                               home(user) + QStringLiteral("/Einstellungen"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                               home(user) + QStringLiteral("/run"));
            QProcess program;
            program.setProcessEnvironment(environment);
            program.setProcessChannelMode(QProcess::ForwardedChannels);
            if (user == 0)
                program.start(prog + QStringLiteral("kompaktor"));
            else
                program.start(setpriv, {QStringLiteral("--reuid=%1").arg(user),
                                        QStringLiteral("--regid=%1").arg(nobodyGroup),
                                        QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                        prog + QStringLiteral("kompaktor")});
            QVERIFY(program.waitForStarted(5000));
            const QString socket =
                home(user) + QStringLiteral("/run/Kompaktor-%1.socket").arg(user);
            const auto serving = [&socket] {
                QLocalSocket client;
                client.connectToServer(socket);
                return client.waitForConnected(1000);
            };
            QTRY_VERIFY_WITH_TIMEOUT(serving(), 15000);
            // Ended as at logout; a failed save would hold the program in its error box.
            program.terminate();
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitCode(), 0);
        };

        runAndTerminate(nobodyId);
        QCOMPARE(readFile(config(nobodyId)), WrittenFromNothing);
        QCOMPARE(QFileInfo(config(nobodyId)).ownerId(), nobodyId);
        QVERIFY(!QFile::exists(prog + QStringLiteral("Kompaktor.INI")));

        // The user's own settings changed, and a file beside the program that anybody may write.
        const QByteArray own = "[Option]\r\nSpeicher=20000\r\n";
        QFile ownFile(config(nobodyId));
        QVERIFY(ownFile.open(QIODevice::WriteOnly | QIODevice::Truncate) && ownFile.write(own) > 0);
        ownFile.close();
        const QString beside = prog + QStringLiteral("Kompaktor.INI");
        const QByteArray planted = "[Option]\r\nSpeicher=30000\r\n";
        QFile file(beside);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(planted) > 0);
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadOther | QFileDevice::WriteOther));

        // Root's start of the installation, then the user's: each reads and saves their own.
        runAndTerminate(0);
        QCOMPARE(readFile(config(0)), WrittenFromNothing);
        runAndTerminate(nobodyId);
        const QByteArray written = readFile(config(nobodyId));
        QVERIFY2(
            written.startsWith(own + "Kompresslevel=7\r\n") &&
                written.endsWith(WrittenFromNothing.mid(WrittenFromNothing.indexOf("AllIcons"))),
            written.constData());
        QCOMPARE(readFile(beside), planted);
        QCOMPARE(QDir(prog).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{QStringLiteral("Kompaktor.INI"), QStringLiteral("kompaktor"),
                              QStringLiteral("kompaktor.installed"), QStringLiteral("upx")}));
    }

private:
    std::unique_ptr<TUPXForm1> makeForm()
    {
        return std::make_unique<TUPXForm1>(m_dir->filePath(QStringLiteral("kompaktor")));
    }

    void writeSettings(const QByteArray& content)
    {
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("Kompaktor.INI")), content));
    }

    QByteArray settings() const
    {
        return readFile(m_dir->filePath(QStringLiteral("Kompaktor.INI")));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
