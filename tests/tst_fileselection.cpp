// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tupxform1.h"
#include "testing.h"
#include "widgets/linklabel.h"
#include "widgets/opendialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cerrno>
#include <csignal>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Answers the next file dialog that opens: hands it to the check, then picks the file, or
// cancels when no file is given.
class FileDialogAnswer {
public:
    FileDialogAnswer(std::function<void(QFileDialog*)> check, QString pick)
        : m_check(std::move(check)), m_pick(std::move(pick))
    {
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_poll.stop();
            m_seen = true;
            if (m_check)
                m_check(dialog);
            if (m_pick.isEmpty()) {
                dialog->reject();
            } else {
                // As a user does: the folder, then the name typed into the name field, which
                // replaces the file the dialog offered.
                dialog->setDirectory(QFileInfo(m_pick).absolutePath());
                auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                // The folder loads in the background and may select the offered file again.
                const auto typed = [&] {
                    view->selectionModel()->clear();
                    name->setText(QFileInfo(m_pick).fileName());
                    return dialog->selectedFiles() == QStringList{m_pick};
                };
                QTRY_VERIFY(typed());
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
        m_poll.start();
    }

    bool seen() const { return m_seen; }

private:
    std::function<void(QFileDialog*)> m_check;
    QString m_pick;
    QTimer m_poll;
    bool m_seen = false;
};

// The names the dialog's list shows in its current folder.
QStringList shownNames(QFileDialog* dialog)
{
    QStringList names;
    const auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    return names;
}

QStringList filterTexts(QFileDialog* dialog)
{
    QStringList texts;
    const auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    for (int i = 0; combo && i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

class TestFileSelection : public QObject {
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
        for (const char* name :
             {"upx", "Programm.exe", "Bibliothek.dll", "Gross.EXE", "Host.Exe", "ohne-punkt",
              "ordner.v2/datei", "Mein Ordner/Füße.exe", "Mein Ordner/\"x\".exe", "-d"}) {
            const QString path = m_dir->filePath(QString::fromUtf8(name));
            QDir().mkpath(QFileInfo(path).path());
            QVERIFY(writeFile(path, {}));
        }
        m_form = shownWindow(m_dir->filePath(QStringLiteral("kompaktor")));
        m_opened.clear();
        m_openerWorks = true;
        m_form->setDocumentOpener([this](const QUrl& url) {
            m_opened << url;
            return m_openerWorks;
        });
    }

    void cleanup() { m_form.reset(); }

    void pickingInTheFirstDialog_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("trial");
        QTest::newRow("exe") << "Programm.exe" << true;
        QTest::newRow("EXE upper case") << "Gross.EXE" << true;
        QTest::newRow("Exe mixed case") << "Host.Exe" << true;
        QTest::newRow("dll") << "Bibliothek.dll" << false;
        QTest::newRow("no extension") << "ohne-punkt" << false;
        QTest::newRow("dot only in the folder") << "ordner.v2/datei" << false;
        QTest::newRow("blanks and umlauts") << "Mein Ordner/Füße.exe" << true;
        QTest::newRow("leading minus") << "-d" << false;
        // Linux programs carry no extension: an executable file is tried itself, a library not.
        QTest::newRow("Linux program") << "+x ohne-punkt" << true;
        QTest::newRow("executable library") << "+x libwerk.so.1" << false;
    }

    void pickingInTheFirstDialog()
    {
        QFETCH(QString, file);
        QFETCH(bool, trial);
        const bool executable = file.startsWith(QLatin1String("+x "));
        const QString path = m_dir->filePath(executable ? file.mid(3) : file);
        if (executable)
            QVERIFY(writeScript(path, "exit 0\n") == path);
        pick(path);
        QCOMPARE(m_form->Filename1->text(), path);
        QCOMPARE(m_form->Filename2->text(), trial ? path : QString());
        QVERIFY(fileButtonsEnabled());
    }

    void typingWithoutTheDialog()
    {
        const QString path = m_dir->filePath(QStringLiteral("Programm.exe"));
        m_form->Filename2->setText(QStringLiteral("vorher"));
        m_form->Filename1->setFocus();
        for (qsizetype i = 0; i < path.size(); ++i) {
            QTest::keyClick(m_form->Filename1, path.at(i).toLatin1());
            QVERIFY(m_form->Filename2->text().isEmpty());
            // The buttons follow the existence of the named file at every keystroke.
            QCOMPARE(fileButtonsEnabled(), i == path.size() - 1);
        }
        QTest::keyClick(m_form->Filename1, Qt::Key_Backspace);
        QVERIFY(!fileButtonsEnabled());
    }

    void badNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("folder") << "ordner.v2" << false;
        QTest::newRow("folder with slash") << "ordner.v2/" << false;
        QTest::newRow("file with slash") << "Programm.exe/" << false;
        QTest::newRow("relative") << "Programm.exe" << true;
        QTest::newRow("leading minus") << "-d" << true;
        QTest::newRow("quotes") << "Mein Ordner/\"x\".exe" << true;
        QTest::newRow("4000 characters") << QString(4000, QLatin1Char('a')) << false;
        QTest::newRow("shell text") << "$(touch boese); `touch boese`" << false;
    }

    void badNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        m_form->Filename1->setText(name);
        QCOMPARE(fileButtonsEnabled(), exists);
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("boese"))));
        QVERIFY(m_opened.isEmpty());
    }

    void fileOnTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("relative, several") << QStringList{"Bibliothek.dll", "Programm.exe"}
                                           << QStringList{"Bibliothek.dll", "Programm.exe"};
        QTest::newRow("missing file") << QStringList{"neu.exe"} << QStringList{"neu.exe"};
        QTest::newRow("existing file named like an option")
            << QStringList{"-d"} << QStringList{"-d"};
        QTest::newRow("option") << QStringList{"-platform"} << QStringList{};
        QTest::newRow("after the end of options")
            << QStringList{"--", "-x.exe", "--"} << QStringList{"-x.exe", "--"};
        QTest::newRow("none") << QStringList{} << QStringList{};
    }

    void fileOnTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        for (QString& file : files)
            file = m_dir->filePath(file);
        QCOMPARE(fileArguments(arguments), files);
    }

    void droppingFiles()
    {
        // A file dragged from a file manager, its address also as text, dropped on the first
        // file box: it is taken as if chosen in the first dialog.
        const QString dll = m_dir->filePath(QStringLiteral("Bibliothek.dll"));
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(dll)});
        files.setText(dll);
        m_form->Filename2->setText(QStringLiteral("vorher"));
        QVERIFY(drop(m_form->Filename1, files));
        QCOMPARE(m_form->Filename1->text(), dll);
        QVERIFY(m_form->Filename2->text().isEmpty());
        QVERIFY(fileButtonsEnabled());
        FileDialogAnswer offered(
            [&dll](QFileDialog* dialog) {
                QCOMPARE(dialog->selectedNameFilter(),
                         QStringLiteral("Laufzeitbibliothek (*.dll)"));
                QCOMPARE(dialog->selectedFiles(), QStringList{dll});
            },
            {});
        m_form->FilenameBtn1Click();
        QVERIFY(offered.seen());

        // Two files join the list of page "Mehrere Dateien" instead.
        QMimeData two;
        two.setUrls({QUrl::fromLocalFile(dll),
                     QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("Programm.exe")))});
        QVERIFY(drop(m_form->Filename1, two));
        QCOMPARE(m_form->ListView1->topLevelItemCount(), 2);
        QCOMPARE(m_form->Filename1->text(), dll);

        // An address on the web is no file to take, wherever it is dropped.
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/a.exe"))});
        QVERIFY(!drop(m_form->TS1, web));
        QCOMPARE(m_form->Filename1->text(), dll);
    }

    void editingAfterPicking()
    {
        const QString exe = m_dir->filePath(QStringLiteral("Programm.exe"));
        pick(exe);
        // Another name typed afterwards: the trial file stays the one picked in the dialog.
        m_form->Filename1->setText(m_dir->filePath(QStringLiteral("Bibliothek.dll")));
        QCOMPARE(m_form->Filename2->text(), exe);

        const QString dll = m_dir->filePath(QStringLiteral("Bibliothek.dll"));
        const QString host = m_dir->filePath(QStringLiteral("Host.Exe"));
        m_form->Filename1->clear();
        pick(dll);
        QVERIFY(m_form->Filename2->text().isEmpty());
        pickSecond(host, m_dir->path());
        QCOMPARE(m_form->Filename2->text(), host);
        // Picking the file that Filename1 already shows changes nothing.
        pick(dll);
        QCOMPARE(m_form->Filename2->text(), host);
        // The first keystroke in Filename1 empties the trial file again.
        m_form->Filename1->setFocus();
        QTest::keyClick(m_form->Filename1, Qt::Key_Backspace);
        QVERIFY(m_form->Filename2->text().isEmpty());
    }

    void firstDialog()
    {
        FileDialogAnswer first(
            [](QFileDialog* dialog) {
                QCOMPARE(dialog->windowTitle(), QStringLiteral("Datei zur Kompression wählen"));
                QCOMPARE(filterTexts(dialog),
                         QStringList({"Programme und Bibliotheken", "EXE - Datei (*.exe)",
                                      "Laufzeitbibliothek (*.dll)", "Alle Dateien (*.*)"}));
                QCOMPARE(dialog->selectedNameFilter(),
                         QStringLiteral("Programme und Bibliotheken"));
                QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
                QCOMPARE(dialog->directory().absolutePath(), QDir::homePath());
                // Qt's own parts of the dialog speak German, too.
                QStringList texts;
                for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
                    const auto* label = dialog->findChild<QLabel*>(QLatin1String(name));
                    texts << (label ? label->text() : QString());
                }
                const auto* buttons = dialog->findChild<QDialogButtonBox*>();
                QVERIFY(buttons);
                for (const auto which : {QDialogButtonBox::Open, QDialogButtonBox::Cancel})
                    texts << buttons->button(which)->text();
                QCOMPARE(texts, QStringList({"Suchen in:", "Datei&name:", "Dateien des Typs:",
                                             "&Öffnen", "Abbrechen"}));
            },
            {});
        m_form->FilenameBtn1Click();
        QVERIFY(first.seen());
        QVERIFY(m_form->Filename1->text().isEmpty());
        QVERIFY(m_form->OpenDialog1->fileName().isEmpty());

        const QString file = m_dir->filePath(QStringLiteral("ohne-punkt"));
        FileDialogAnswer second(
            [this](QFileDialog* dialog) {
                dialog->setDirectory(m_dir->path());
                dialog->selectNameFilter(dialog->nameFilters().at(3));
                // "Alle Dateien (*.*)" shows every file, also names without a dot.
                QTRY_VERIFY2(shownNames(dialog).contains(QStringLiteral("ohne-punkt")),
                             qPrintable(shownNames(dialog).join(',')));
            },
            file);
        m_form->FilenameBtn1Click();
        QVERIFY(second.seen());
        QCOMPARE(m_form->Filename1->text(), file);

        // A cancelled opening keeps both; the next opening offers the kept file and filter.
        for (int round = 0; round < 2; ++round) {
            FileDialogAnswer again(
                [&file](QFileDialog* dialog) {
                    QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Alle Dateien (*.*)"));
                    QCOMPARE(dialog->selectedFiles(), QStringList{file});
                },
                {});
            m_form->FilenameBtn1Click();
            QVERIFY(again.seen());
            QCOMPARE(m_form->OpenDialog1->fileName(), file);
            QCOMPARE(m_form->OpenDialog1->filterIndex(), 3);
        }
    }

    void firstEntryListsProgramsAndLibraries()
    {
        // Linux programs carry no extension: the first entry shows an executable and a library
        // by their content, not their names, and hides a data file; the next entry hides them.
        const QString folder = m_dir->filePath(QStringLiteral("Programme"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!writeScript(folder + QStringLiteral("/werkzeug"), "exit 0\n").isEmpty());
        QVERIFY(QFile::copy(QStringLiteral("/bin/ls"), folder + QStringLiteral("/libteil.so.1")));
        QVERIFY(QFile::setPermissions(folder + QStringLiteral("/libteil.so.1"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(writeFile(folder + QStringLiteral("/daten.exe"), "Text, kein Programm\n"));
        FileDialogAnswer answer(
            [&folder](QFileDialog* dialog) {
                dialog->setDirectory(folder);
                const QStringList programs{QStringLiteral("libteil.so.1"),
                                           QStringLiteral("werkzeug")};
                QTRY_COMPARE(shownNames(dialog), programs);
                dialog->selectNameFilter(dialog->nameFilters().at(1));
                QTRY_COMPARE(shownNames(dialog), QStringList{QStringLiteral("daten.exe")});
            },
            {});
        m_form->FilenameBtn1Click();
        QVERIFY(answer.seen());
        // The second dialog takes such a program by its name, without appending its extension.
        const QString program = folder + QStringLiteral("/werkzeug");
        m_form->Filename1->setText(program);
        pickSecond(program, folder);
        QCOMPARE(m_form->Filename2->text(), program);
    }

    void secondDialog_data()
    {
        QTest::addColumn<QString>("filename1");
        QTest::addColumn<QString>("folder");
        QTest::newRow("folder of the file") << "Mein Ordner/x.dll"
                                            << "Mein Ordner";
        QTest::newRow("root") << "/x.dll"
                              << "/";
    }

    void secondDialog()
    {
        QFETCH(QString, filename1);
        QFETCH(QString, folder);
        // Relative names stand for the test's folder.
        if (!filename1.startsWith(QLatin1Char('/'))) {
            filename1 = m_dir->filePath(filename1);
            folder = m_dir->filePath(folder);
        }
        m_form->Filename1->setText(filename1);
        FileDialogAnswer answer(
            [&folder](QFileDialog* dialog) {
                QCOMPARE(dialog->windowTitle(),
                         QStringLiteral("Wähle zugehörige EXE-Datei zum Test"));
                QCOMPARE(filterTexts(dialog),
                         QStringList({"Programme und Bibliotheken", "EXE - Datei (*.EXE)",
                                      "Alle Dateien (*.*)"}));
                QCOMPARE(dialog->directory().absolutePath(), folder);
                QCOMPARE(dialog->defaultSuffix(), QStringLiteral("EXE"));
            },
            {});
        m_form->FilenameBtn2Click();
        QVERIFY(answer.seen());
        QVERIFY(m_form->Filename2->text().isEmpty());
    }

    void trialLaunch()
    {
        // An empty trial file: the launcher's answer, shown in a plain box.
        {
            MessageBoxWatcher boxes([](QMessageBox* box) {
                QCOMPARE(box->windowTitle(), QStringLiteral("Kompaktor"));
                QCOMPARE(box->icon(), QMessageBox::NoIcon);
                QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
                QCOMPARE(box->text(), QStringLiteral("Datei wurde nicht gefunden."));
            });
            m_form->TryBtnClick();
            QCOMPARE(boxes.count(), 1);
        }
        {
            // A program starts, a document goes to the desktop, and nothing is shown.
            MessageBoxWatcher boxes;
            const QString marker = m_dir->filePath(QStringLiteral("probe-gestartet"));
            m_form->Filename2->setText(
                writeScript(m_dir->filePath(QStringLiteral("probe")), "echo > \"$0-gestartet\"\n"));
            m_form->TryBtnClick();
            QTRY_VERIFY(QFile::exists(marker));
            m_form->Filename2->setText(m_dir->filePath(QStringLiteral("Bibliothek.dll")));
            m_form->TryBtnClick();
            QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(m_dir->filePath("Bibliothek.dll"))});
            QCOMPARE(boxes.count(), 0);
        }
        // When nothing can open the document, the box names the number.
        m_openerWorks = false;
        MessageBoxWatcher unknown([](QMessageBox* box) {
            QCOMPARE(box->text(), QStringLiteral("Ein unbekannter Fehler ist aufgetreten. (31)"));
        });
        m_form->TryBtnClick();
        QCOMPARE(unknown.count(), 1);
    }

    void watchedTrialRuns()
    {
        // A trial run that ends within the watch time adds how it ended to the output box; the
        // window goes on meanwhile.
        m_form->TrialWatchMilliseconds = 1500;
        setProgramRelayExecutable(relayBesideTheProgram());
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(50);
        const QString three =
            writeScript(m_dir->filePath(QStringLiteral("drei")),
                        "/bin/sleep 0.3\necho Hallo Welt\necho Fehler >&2\nexit 3\n");
        m_form->Filename2->setText(three);
        m_form->TryBtnClick();
        QVERIFY(m_form->Memo1->toPlainText().isEmpty());
        QTRY_VERIFY(m_form->Memo1->toPlainText().contains(QStringLiteral("Exitcode")));
        QVERIFY(ticks > 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^Testlauf von %1\nHallo Welt\nFehler\nDas "
                                                   "Programm endete nach \\d+ Millisekunden mit "
                                                   "dem Exitcode 3\\.\n$")
                                        .arg(QRegularExpression::escape(three)))
                     .match(m_form->Memo1->toPlainText())
                     .hasMatch(),
                 qPrintable(m_form->Memo1->toPlainText()));

        m_form->Filename2->setText(
            writeScript(m_dir->filePath(QStringLiteral("absturz")), "kill -SEGV $$\n"));
        m_form->TryBtnClick();
        QTRY_VERIFY(m_form->Memo1->toPlainText().contains(QStringLiteral(
            " Millisekunden durch das Signal 11 (Speicherzugriffsfehler) beendet.\n")));

        // Still running after the watch time: one line with its process number, and it keeps
        // running.
        const QString endless = writeScript(m_dir->filePath(QStringLiteral("endlos")),
                                            "echo $$ > \"$0.pid\"\nexec /bin/sleep 30\n");
        m_form->Filename2->setText(endless);
        m_form->TryBtnClick();
        QTRY_VERIFY(QFileInfo(endless + ".pid").size() > 0);
        QFile pidFile(endless + ".pid");
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
        // Its relay holds nothing of ours but the pipes (no lock, socket or file).
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        QVERIFY(stat.open(QIODevice::ReadOnly));
        const QString relay = QString::fromLatin1(stat.readAll())
                                  .section(QLatin1Char(')'), 1)
                                  .section(QLatin1Char(' '), 2, 2);
        QFile comm(QStringLiteral("/proc/%1/comm").arg(relay));
        QVERIFY(comm.open(QIODevice::ReadOnly));
        QCOMPARE(comm.readAll(), QByteArray("kompaktor-relay\n"));
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(relay));
        QVERIFY(descriptors.exists());
        for (const QString& fd : descriptors.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            char target[256] = {};
            QVERIFY(::readlink(QFile::encodeName(descriptors.filePath(fd)).constData(), target,
                               sizeof target - 1) > 0);
            const QByteArray kind(target);
            QVERIFY2(fd.toInt() <= 2 || kind.startsWith("pipe:") || kind.contains("signalfd"),
                     target);
        }
        const QString running =
            QStringLiteral("Testlauf von %1: Das Programm läuft noch (Prozessnummer %2).\n")
                .arg(endless)
                .arg(pid);
        QTRY_VERIFY_WITH_TIMEOUT(m_form->Memo1->toPlainText().endsWith(running), 10000);
        QCOMPARE(::kill(pid, 0), 0);
        ::kill(pid, SIGKILL);
    }

    void trialRunWithoutReport_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("withRelay");
        QTest::addColumn<QString>("line");

        const QString lost = QStringLiteral(": Die Beobachtung endete ohne Bericht, weil ihr "
                                            "Prozess beendet oder angehalten wurde.\n");
        QTest::newRow("relay killed") << QByteArray("kill -KILL $PPID\n") << true << lost;
        QTest::newRow("relay stopped") << QByteArray("kill -STOP $PPID\n") << true << lost;
        QTest::newRow("no relay") << QByteArray() << false
                                  << QStringLiteral(": Das Programm läuft unbeobachtet, weil "
                                                    "kompaktor-relay nicht neben Kompaktor "
                                                    "liegt.\n");
    }

    void trialRunWithoutReport()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, withRelay);
        QFETCH(QString, line);
        // A program that kills or stops its relay, or a copy of the program without its relay:
        // the box says so in one line, and nothing of the watch stays here.
        m_form->TrialWatchMilliseconds = 500;
        setProgramRelayExecutable(withRelay ? relayBesideTheProgram()
                                            : m_dir->filePath(QStringLiteral("kompaktor-relay")));
        const QString program = writeScript(m_dir->filePath(QStringLiteral("probe")),
                                            "echo $$ $PPID > \"$0.ids\"\n" + script +
                                                "echo > \"$0.ran\"\nexec /bin/sleep 30\n");
        const QDir ours(QStringLiteral("/proc/self/fd"));
        const qsizetype descriptors = ours.count();
        MessageBoxWatcher boxes;
        m_form->Filename2->setText(program);
        m_form->TryBtnClick();
        QCOMPARE(boxes.count(), 0);
        QTRY_VERIFY(QFile::exists(program + ".ran"));
        QTRY_COMPARE_WITH_TIMEOUT(m_form->Memo1->toPlainText(),
                                  QStringLiteral("Testlauf von ") + program + line, 10000);
        QTRY_COMPARE(QDir(QStringLiteral("/proc/self/fd")).count(), descriptors);
        QVERIFY(::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
        // The program and its relay go.
        QFile ids(program + ".ids");
        QVERIFY(ids.open(QIODevice::ReadOnly));
        for (const QByteArray& id : ids.readAll().trimmed().split(' '))
            ::kill(pid_t(id.toInt()), SIGKILL);
    }

    void reportedTimeBeginsWithTheProgram()
    {
        // A relay that takes a long time to start does not add that time to the program's: a
        // program that ends at once is reported well below the relay's delay.
        const QString relay = writeScript(
            m_dir->filePath(QStringLiteral("langsam")),
            "/bin/sleep 1.5\nexec '" + QFile::encodeName(relayBesideTheProgram()) + "' \"$@\"\n");
        setProgramRelayExecutable(relay);
        m_form->Filename2->setText(
            writeScript(m_dir->filePath(QStringLiteral("sofort")), "exec /bin/true\n"));
        m_form->TryBtnClick();
        QTRY_VERIFY_WITH_TIMEOUT(m_form->Memo1->toPlainText().contains(QStringLiteral("Exitcode")),
                                 10000);
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("nach (\\d+) Millisekunden"))
                .match(m_form->Memo1->toPlainText());
        QVERIFY(match.hasMatch());
        const int milliseconds = match.captured(1).toInt();
        QVERIFY2(milliseconds < 1500, qPrintable(match.captured(0)));
    }

    void links()
    {
        m_form->PageControl1->setCurrentWidget(m_form->TS3);
        QCOMPARE(m_form->UPXLbl->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(m_form->HomePageLbl->cursor().shape(), Qt::ArrowCursor);
        QTest::mouseClick(m_form->UPXLbl, Qt::LeftButton);
        QTest::mouseClick(m_form->MyUrlLbl, Qt::LeftButton);
        QTest::mouseClick(m_form->HomePageLbl, Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>({QUrl(m_form->UPXLbl->text()),
                                        QUrl("MAILTO:" + m_form->MyUrlLbl->text())}));
        // A press that began elsewhere and ends on the link is no click.
        QTest::mousePress(m_form->TS3, Qt::LeftButton, {}, QPoint(5, 300));
        QTest::mouseRelease(m_form->UPXLbl, Qt::LeftButton);
        QCOMPARE(m_opened.size(), 2);
        // A failed link launch is silent.
        m_openerWorks = false;
        MessageBoxWatcher boxes;
        QTest::mouseClick(m_form->UPXLbl, Qt::LeftButton);
        // Also no box that the click only queued.
        bool flushed = false;
        QMetaObject::invokeMethod(
            m_form.get(), [&flushed] { flushed = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(flushed);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(m_opened.size(), 3);
    }

private:
    bool fileButtonsEnabled() const
    {
        const QList<QPushButton*> buttons{m_form->KompressBtn, m_form->DekompressBtn,
                                          m_form->InfoBtn, m_form->TestBtn, m_form->TryBtn};
        const bool first = buttons.first()->isEnabled();
        for (const QPushButton* button : buttons)
            [&] { QCOMPARE(button->isEnabled(), first); }();
        return first;
    }

    // Drags the data onto the widget and drops it there; true when the drop was taken as a copy.
    static bool drop(QWidget* target, const QMimeData& data)
    {
        const QPoint at = target->rect().center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }

    void pick(const QString& file)
    {
        FileDialogAnswer answer({}, file);
        m_form->FilenameBtn1Click();
        QVERIFY(answer.seen());
    }

    void pickSecond(const QString& file, const QString& expectedFolder)
    {
        FileDialogAnswer answer(
            [&expectedFolder](QFileDialog* dialog) {
                QCOMPARE(dialog->directory().absolutePath(), expectedFolder);
            },
            file);
        m_form->FilenameBtn2Click();
        QVERIFY(answer.seen());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TUPXForm1> m_form;
    QList<QUrl> m_opened;
    bool m_openerWorks = true;
};

QTEST_MAIN(TestFileSelection)
#include "tst_fileselection.moc"
