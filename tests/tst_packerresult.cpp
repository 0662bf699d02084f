// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/statusbar.h"
#include "packer/packercommands.h"
#include "packer/packerresult.h"
#include "testing.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

Q_DECLARE_METATYPE(PackerAction)
Q_DECLARE_METATYPE(FileOutcome)

namespace {

const QString UnpackedProgram = QStringLiteral("/usr/bin/true");
const QString Sizes = QStringLiteral(" %before -> %after Bytes \\(\\d+,\\d %\\)");

// Whether the text is the pattern, with "%before" and "%after" standing for the sizes of the file
// before and after the command.
void verifyResult(const QString& result, QString pattern, qint64 before, qint64 after,
                  const QString& report = {})
{
    const QLocale german(QLocale::German);
    pattern.replace(QLatin1String("%before"), QRegularExpression::escape(german.toString(before)))
        .replace(QLatin1String("%after"), QRegularExpression::escape(german.toString(after)));
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(result).hasMatch(),
        qPrintable(result + QStringLiteral(" / ") + pattern +
                   QStringLiteral(", from the report:\n") + report));
}

// Lets the events through until the event loop waits for more, where the hint is updated.
void untilIdle()
{
    QEventLoop loop;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

class TestPackerResult : public QObject {
    Q_OBJECT

private slots:
    void results_data()
    {
        QTest::addColumn<QString>("packer");
        QTest::addColumn<PackerAction>("action");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("report"); // recorded; none: the packer runs
        QTest::addColumn<QString>("expected");
        // What each packer is asked to do with which file, and the result line it gives.
        const struct {
            const char* what;
            PackerAction action;
            const char* file;
            QString expected;
        } runs[] = {
            {"komprimiert", PackerAction::Compress, "Programm", "Komprimiert:" + Sizes},
            {"dekomprimiert", PackerAction::Decompress, "gepackt", "Dekomprimiert:" + Sizes},
            {"geprüft", PackerAction::Test, "gepackt", "Geprüft: die Datei ist in Ordnung"},
            {"aufgelistet", PackerAction::List, "gepackt",
             "Mit UPX gepackt: [\\d.]+ -> %before Bytes \\(\\d+,\\d %\\)"},
            {"bereits gepackt", PackerAction::Compress, "gepackt", "Die Datei ist bereits gepackt"},
            {"nicht gepackt", PackerAction::Decompress, "Programm",
             "Die Datei ist nicht mit UPX gepackt"},
            {"zu klein", PackerAction::Compress, "winzig", "Die Datei ist zu klein für UPX"},
            {"schreibgeschützt", PackerAction::Compress, "schreibgeschützt",
             "Die Datei ist schreibgeschützt"},
            {"unlesbar", PackerAction::Compress, "unlesbar",
             "Keine Berechtigung, die Datei zu lesen"},
            {"Ordner gesperrt", PackerAction::Compress, "gesperrt",
             "Keine Schreibberechtigung im Ordner der Datei"},
            {"fehlt", PackerAction::Test, "fehlt", "Die Datei wurde nicht gefunden"},
            {"kein Programm", PackerAction::Compress, "Bild",
             "Kein von UPX unterstütztes Programmformat"},
            {"Version", PackerAction::Version, "", "UPX-Version %version"},
            {"Hilfe", PackerAction::Help, "", "Hilfe zu UPX %version im Ausgabefenster"},
            {"Lizenz", PackerAction::License, "", "Lizenz von UPX %version im Ausgabefenster"}};
        const struct {
            const char* name;
            QString packer;
            QString version;
        } packers[] = {
            {"UPX 4", QStringLiteral(KOMPAKTOR_PACKER), QStringLiteral("4\\.\\d+\\.\\d+")},
            {"UPX 3.96", QStringLiteral(KOMPAKTOR_PACKER_396), QStringLiteral("3\\.96")}};
        for (const auto& packer : packers) {
            for (const auto& run : runs) {
                QTest::addRow("%s: %s", packer.name, run.what)
                    << packer.packer << run.action << run.file << ""
                    << QString(run.expected).replace(QLatin1String("%version"), packer.version);
            }
        }
        QTest::newRow("Packer fehlt") << "/nonexistent/upx" << PackerAction::Version << ""
                                      << ""
                                      << "UPX konnte nicht gestartet werden";

        QTest::newRow("Zahlenformat") << "" << PackerAction::Compress << ""
                                      << "     85376 ->     29680   34.76%   linux/amd64   prog\r\n"
                                      << "Komprimiert: 85\\.376 -> 29\\.680 Bytes \\(34,8 %\\)";
        QTest::newRow("neuere Version")
            << "" << PackerAction::Decompress << ""
            << "upx: prog: CantUnpackException: need a newer version of UPX\r\n"
            << "Die Datei wurde mit einer neueren UPX-Version gepackt";
        // The packer's own program holds its mark in its data, which makes it no packed file.
        QTest::newRow("Marke in den Daten")
            << "" << PackerAction::Compress << "Marke in den Daten"
            << "upx: prog: CantPackException: need DT_INIT; try \"void _init(void){}\"\r\n"
            << "Fehler, Einzelheiten im Ausgabefenster";
    }

    void results()
    {
        QFETCH(QString, packer);
        QFETCH(PackerAction, action);
        QFETCH(QString, file);
        QFETCH(QString, report);
        QFETCH(QString, expected);
        // A run of a real packer that the build was not given (UPX 3.96 is test material).
        if (report.isEmpty() && packer.isEmpty())
            QSKIP("the packer is not installed");
        // Some packers run as another user, who must reach the folder: the temporary folder may
        // be one that only its owner may enter.
        QTemporaryDir dir(QStringLiteral("/var/tmp/kompaktor-test-XXXXXX"));
        const QString path = makeFile(dir.path(), file, packer);
        // A folder the test made unwritable can be removed again.
        const auto unlock = qScopeGuard([&dir] {
            QFile::setPermissions(dir.filePath(QStringLiteral("gesperrt")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner);
        });
        const qint64 before = QFileInfo(path).size();
        const bool ran = report.isEmpty();
        if (ran) {
            // The packer's option for each action, in the order of PackerAction.
            const QString option = QStringLiteral("-") + QLatin1Char("7dtlhVL"[int(action)]);
            PackerCommand command =
                file.isEmpty() ? packerCommand(packer, option) : fileCommand(packer, option, path);
            if ((file == QLatin1String("unlesbar") || file == QLatin1String("gesperrt")) &&
                !withoutSuperUserRights(command, dir.path()))
                QSKIP("needs setpriv and the user nobody to run the packer without permissions");
            StringSink transcript;
            RunResult run;
            QVERIFY(runPacker(command, transcript, {}, &run));
            verifyResult(packerResult(action, run), expected, before, QFileInfo(path).size(),
                         run.report);
            return;
        }
        RunResult run;
        run.command.workFile = path;
        run.report = report;
        verifyResult(packerResult(action, run), expected, before, QFileInfo(path).size(), report);
    }

    // What the run itself knows: a cancel, what became of the file, a failed start; the
    // report does not count then.
    void runOutcomes_data()
    {
        QTest::addColumn<bool>("startFailed");
        QTest::addColumn<FileOutcome>("file");
        QTest::addColumn<PackerAction>("action");
        QTest::addColumn<QString>("expected");
        QTest::newRow("abgebrochen") << false << FileOutcome::AsItWas << PackerAction::Compress
                                     << "Abgebrochen, die Datei blieb unverändert";
        QTest::newRow("abgebrochen, Liste")
            << false << FileOutcome::AsItWas << PackerAction::List << "Abgebrochen";
        QTest::newRow("abgebrochen, fertig behalten")
            << false << FileOutcome::FinishedWork << PackerAction::Decompress
            << "Abgebrochen, die Datei war aber schon fertig bearbeitet und wurde behalten";
        QTest::newRow("abgebrochen, Datei fraglich")
            << false << FileOutcome::InDoubt << PackerAction::Compress
            << "Abgebrochen, bitte prüfen Sie die Datei";
        QTest::newRow("nicht gestartet") << true << FileOutcome::AsItWas << PackerAction::Compress
                                         << "UPX konnte nicht gestartet werden";
    }

    void runOutcomes()
    {
        QFETCH(bool, startFailed);
        QFETCH(FileOutcome, file);
        QFETCH(PackerAction, action);
        QFETCH(QString, expected);
        RunResult run;
        run.startFailed = startFailed;
        run.cancelled = !startFailed;
        run.file = file;
        // A report that would read as success.
        run.report = QStringLiteral("     85376 ->     29680   34.76%   linux/amd64   prog\r\n");
        QCOMPARE(packerResult(action, run), expected);
    }

    void shownInTheStatusLineAfterACommand()
    {
        // A real compress through the window: the box keeps the packer's report, the status line
        // shows the result, also to a screen reader, until the hint changes.
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("prog"))));
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_PACKER),
                            dir.filePath(QStringLiteral("prog/upx"))));
        const auto form = shownMainWindow(dir.path());
        QVERIFY(form);
        const QString file = dir.filePath(QStringLiteral("Mein Programm"));
        QVERIFY(QFile::copy(UnpackedProgram, file));
        const qint64 before = QFileInfo(file).size();
        form->Filename1->setText(file);
        // Pressed with the pointer on the button: the button's hint does not replace the result.
        QCursor::setPos(form->KompressBtn->mapToGlobal(form->KompressBtn->rect().center()));
        QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        QVERIFY2(form->Memo1->toPlainText().contains(QStringLiteral("\nPacked 1 file.\n")),
                 qPrintable(form->Memo1->toPlainText()));
        const QString shown = form->StatusBar1->panelText(0);
        verifyResult(shown, QLatin1Char(' ') + QStringLiteral("Komprimiert:") + Sizes, before,
                     QFileInfo(file).size());
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(form->StatusBar1);
        QCOMPARE(bar->child(0)->text(QAccessible::Name), shown);
        untilIdle();
        QCOMPARE(form->StatusBar1->panelText(0), shown);
        QCursor::setPos(form->DekompressBtn->mapToGlobal(form->DekompressBtn->rect().center()));
        QTest::mouseMove(form->DekompressBtn);
        untilIdle();
        QCOMPARE(form->StatusBar1->panelText(0), form->DekompressBtn->statusTip());
    }

private:
    // Makes a file of the kind in the folder and returns its path.
    static QString makeFile(const QString& folder, const QString& kind, const QString& packer)
    {
        // A folder the packer may not write its temporary file into.
        const bool locked = kind == QLatin1String("gesperrt");
        const QString path =
            folder + (locked ? QStringLiteral("/gesperrt/prog") : QStringLiteral("/prog"));
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (kind == QLatin1String("winzig") || kind == QLatin1String("Bild") ||
            kind == QLatin1String("Marke in den Daten")) {
            file.open(QIODevice::WriteOnly);
            file.write(kind == QLatin1String("winzig") ? QByteArray("abc")
                       : kind == QLatin1String("Bild")
                           ? "\x89PNG\r\n\x1a\n" + QByteArray(4096, 0)
                           : QByteArray(20000, 'x').insert(10000, "UPX!"));
        } else if (kind != QLatin1String("fehlt") && !kind.isEmpty()) {
            QFile::copy(UnpackedProgram, path);
        }
        StringSink packing;
        if (kind == QLatin1String("gepackt"))
            runPacker(fileCommand(packer, QStringLiteral("-q"), path), packing);
        if (kind == QStringLiteral("schreibgeschützt"))
            file.setPermissions(QFileDevice::ReadOwner);
        if (kind == QLatin1String("unlesbar"))
            file.setPermissions(QFileDevice::WriteOwner | QFileDevice::WriteOther);
        if (locked)
            QFile::setPermissions(folder + QStringLiteral("/gesperrt"),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadOther | QFileDevice::ExeOther);
        return path;
    }

    // Runs the command as "nobody" when the test runs as the super-user, whom no permission
    // stops; the folder is opened to that user. False when that cannot be done.
    static bool withoutSuperUserRights(PackerCommand& command, const QString& folder)
    {
        if (::geteuid() != 0)
            return true;
        const QString setpriv =
            QStandardPaths::findExecutable(QStringLiteral("setpriv"), {"/usr/bin", "/bin"});
        const passwd* nobody = ::getpwnam("nobody");
        if (setpriv.isEmpty() || !nobody)
            return false;
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther);
        command.arguments =
            QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                        QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                        QStringLiteral("--clear-groups"), QStringLiteral("--"), command.program} +
            command.arguments;
        command.program = setpriv;
        return true;
    }
};

QTEST_MAIN(TestPackerResult)
#include "tst_packerresult.moc"
