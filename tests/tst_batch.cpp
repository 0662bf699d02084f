// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/statusbar.h"
#include "packer/packerbatch.h"
#include "testing.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The state column of the row that shows the file.
QString stateOf(const QTreeWidget* list, const QString& path)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->data(0, Qt::UserRole + 1).toString() == path)
            return list->topLevelItem(i)->text(5);
    }
    return QStringLiteral("<keine Zeile>");
}

// Presses the button and waits for the batch it starts to end.
bool runBatch(TUPXForm1& form, QPushButton* button)
{
    QSignalSpy ended(form.Batch1, &PackerBatch::finished);
    QTest::mouseClick(button, Qt::LeftButton);
    return ended.wait(300000);
}

} // namespace

// The page "Mehrere Dateien": a list of files, each run by a packer of its own, side by side.
class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        qputenv("PATH", "");
    }

    void compressAndDecompressTogether()
    {
        if (!QFileInfo::exists(QStringLiteral(KOMPAKTOR_PACKER_PE)))
            QSKIP("the Windows test file is not installed");
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("prog"))));
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_PACKER),
                            dir.filePath(QStringLiteral("prog/upx"))));
        const QString linux = dir.filePath(QStringLiteral("Programm"));
        const QString windows = dir.filePath(QStringLiteral("Werkzeug.exe"));
        const QString text = dir.filePath(QStringLiteral("Notiz.txt"));
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/true"), linux));
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_PACKER_PE), windows));
        QCOMPARE(QProcess::execute(QStringLiteral(KOMPAKTOR_PACKER), {"-qq", "-d", windows}), 0);
        QVERIFY(writeFile(text, QByteArray("Nur Text, kein Programm.\n").repeated(200)));
        const QByteArray linuxBefore = readFile(linux);
        const QByteArray windowsBefore = readFile(windows);
        const auto form = shownMainWindow(dir.path());
        QVERIFY(form);
        form->FuegeDateienHinzu({linux, windows, text});
        // Sizes sort by their value, not their text ("1.859.072" before "35.664").
        form->ListView1->sortByColumn(2, Qt::AscendingOrder);
        QCOMPARE(form->ListView1->topLevelItem(0)->text(0), QStringLiteral("Notiz.txt"));
        QCOMPARE(form->ListView1->topLevelItem(2)->text(0), QStringLiteral("Werkzeug.exe"));

        QVERIFY(runBatch(*form, form->AlleKompressBtn));
        QVERIFY2(stateOf(form->ListView1, linux).startsWith(QStringLiteral("Komprimiert: ")),
                 qPrintable(stateOf(form->ListView1, linux)));
        QVERIFY(stateOf(form->ListView1, windows).startsWith(QStringLiteral("Komprimiert: ")));
        QCOMPARE(stateOf(form->ListView1, text),
                 QStringLiteral("Kein von UPX unterstütztes Programmformat"));
        QCOMPARE(QProcess::execute(linux, {}), 0);
        const QString summary = form->StatusBar1->panelText(0);
        QVERIFY2(summary.startsWith(QStringLiteral(" 2 von 3 Dateien komprimiert: ")) &&
                     summary.endsWith(QStringLiteral(" %), 1 Fehler")),
                 qPrintable(summary));
        QCOMPARE(form->ProgressBar1->value(), 1000);
        // A row's transcript is the one a single run shows.
        form->ListView1->setCurrentItem(form->ListView1->topLevelItem(0));
        QVERIFY2(form->Memo3->toPlainText().startsWith(QStringLiteral("Starte\n\n") +
                                                       form->PackerPath + QStringLiteral(" -7 ")),
                 qPrintable(form->Memo3->toPlainText()));

        QVERIFY(runBatch(*form, form->AlleDekompressBtn));
        QCOMPARE(readFile(linux), linuxBefore);
        QCOMPARE(readFile(windows), windowsBefore);
        QVERIFY(form->StatusBar1->panelText(0).startsWith(
            QStringLiteral(" 2 von 3 Dateien dekomprimiert: ")));
    }

    void cancelSettlesTheRunningAndLeavesTheWaiting_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::newRow("Abbrechen") << false;
        QTest::newRow("Ende des Programms") << true;
    }

    void cancelSettlesTheRunningAndLeavesTheWaiting()
    {
        QFETCH(bool, quit);
        // The fake packer opens its work file beside the file, shows its progress, and waits
        // for a writer to its FIFO that never comes.
        QTemporaryDir dir;
        const QString packer =
            writeScript(dir.filePath(QStringLiteral("upx")),
                        "echo \"$1\" >>\"$0.gestartet\"\nexec 4>\"$1.upx\"\nprintf gepackt >&4\n"
                        "printf '\\r  [****....]  50.0%%'\nread -r line <\"$0.fifo\"\n");
        QCOMPARE(::mkfifo(QFile::encodeName(packer + QStringLiteral(".fifo")).constData(), 0600),
                 0);
        QStringList files;
        for (const char* name : {"eins", "zwei", "drei", "vier"}) {
            files << dir.filePath(QString::fromLatin1(name));
            QVERIFY(writeFile(files.constLast(), "original"));
        }
        PackerBatch batch;
        // Cancelled, or the application quits, once both packers show their progress, which
        // they do with the work open.
        QEventLoop working;
        connect(&batch, &PackerBatch::fileChanged, &working, [&] {
            if (batch.file(0).progress == 0.5 && batch.file(1).progress == 0.5)
                quit ? QCoreApplication::quit() : working.quit();
        });
        QSignalSpy ended(&batch, &PackerBatch::finished);
        QTimer::singleShot(0, &batch, [&] {
            batch.start(
                PackerAction::Compress, files,
                [&](const QString& file, const QVersionNumber&) {
                    return PackerCommand{packer, {file}, packer, file};
                },
                nullptr, 2);
        });
        if (quit) {
            QCoreApplication::exec();
            QCOMPARE(ended.count(), 1);
        } else {
            working.exec();
            batch.cancel();
            QVERIFY(ended.wait(60000));
        }

        QStringList started = QString::fromUtf8(readFile(packer + QStringLiteral(".gestartet")))
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        started.sort();
        QCOMPARE(started, (QStringList{files[0], files[1]}));
        for (const QString& file : files)
            QCOMPARE(readFile(file), QByteArray("original"));
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.upx")}, QDir::Files), {});
        QCOMPARE(batch.file(0).stateText,
                 QStringLiteral("Abgebrochen, die Datei blieb unverändert"));
        QCOMPARE(batch.file(3).stateText, PackerBatch::NotStartedText);
        QCOMPARE(batch.summary(),
                 QStringLiteral("Abgebrochen: 0 von 4 Dateien komprimiert, 2 abgebrochen"));
    }

    void aFileIsOneRowWhateverItIsCalled()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("a"));
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/true"), program));
        QVERIFY(::link(QFile::encodeName(program).constData(),
                       QFile::encodeName(dir.filePath(QStringLiteral("hart"))).constData()) == 0);
        QVERIFY(QFile::link(program, dir.filePath(QStringLiteral("weich"))));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Notiz.txt")), "kein Programm"));
        const auto form = shownMainWindow(dir.path());
        QVERIFY(form);
        QVERIFY(QDir::setCurrent(dir.path()));
        form->openFiles(fileArguments({QStringLiteral("a"), QStringLiteral("./a"),
                                       QStringLiteral("hart"), QStringLiteral("weich")}));
        QCOMPARE(form->ListView1->topLevelItemCount(), 1);
        QCOMPARE(form->PageControl1->currentWidget(), form->TS4);
        // Packing puts a new file in the old one's place: it is still the listed one.
        QVERIFY(QFile::copy(program, program + QStringLiteral(".neu")) && QFile::remove(program) &&
                QFile::rename(program + QStringLiteral(".neu"), program));
        form->FuegeDateienHinzu({program});
        QCOMPARE(form->ListView1->topLevelItemCount(), 1);

        // A later start's files, and a folder whose programs and libraries join the list.
        const QString other = dir.filePath(QStringLiteral("prog/kompaktor"));
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/true"), other));
        answerLaterStart(
            *form, QStringList{dir.filePath(QStringLiteral("prog")), program}.join(FileSeparator));
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
        QCOMPARE(stateOf(form->ListView1, other), PackerBatch::WaitingText);
        form->ListView1->selectAll();
        QTest::keyClick(form->ListView1, Qt::Key_Delete);
        QCOMPARE(form->ListView1->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
