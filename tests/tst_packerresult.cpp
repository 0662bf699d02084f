#include "app/statusbar.h"
#include "packer/packercommands.h"
#include "packer/packerresult.h"
#include "testing.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

Q_DECLARE_METATYPE(PackerAction)

namespace {

const QString UnpackedProgram = QStringLiteral("/usr/bin/true");

// A file size as the result line writes it, for a pattern.
QString shownSize(qint64 size)
{
    return QRegularExpression::escape(QLocale(QLocale::German).toString(size));
}

// Whether the text is the pattern, with "%before" and "%after" standing for the sizes of the file
// before and after the command.
void verifyResult(const QString& result, QString pattern, qint64 before, qint64 after)
{
    pattern.replace(QLatin1String("%before"), shownSize(before))
        .replace(QLatin1String("%after"), shownSize(after));
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(result).hasMatch(),
        qPrintable(result + QStringLiteral(" / ") + pattern));
}

} // namespace

class TestPackerResult : public QObject {
    Q_OBJECT

private slots:
    void realPackerRuns_data()
    {
        QTest::addColumn<QString>("packer");
        QTest::addColumn<PackerAction>("action");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        const QString sizes = QStringLiteral(" %before -> %after Bytes \\(\\d+,\\d %\\)");
        struct Packer {
            const char* name;
            QString path;
            QString version;
        };
        const Packer packers[] = {
            {"UPX 4", QStandardPaths::findExecutable(QStringLiteral("upx"), {"/usr/bin"}),
             QStringLiteral("4\\.\\d+\\.\\d+")},
            {"UPX 3.96", QStringLiteral(KOMPAKTOR_PACKER), QStringLiteral("3\\.96")}};
        for (const auto& [name, packer, version] : packers) {
            const auto row = [name](const char* what) {
                return &QTest::addRow("%s: %s", name, what);
            };
            *row("komprimiert") << packer << PackerAction::Compress << "Programm"
                                << QStringLiteral("Komprimiert:") + sizes;
            *row("dekomprimiert") << packer << PackerAction::Decompress << "gepackt"
                                  << QStringLiteral("Dekomprimiert:") + sizes;
            *row("geprüft") << packer << PackerAction::Test << "gepackt"
                            << "Geprüft: die Datei ist in Ordnung";
            *row("aufgelistet") << packer << PackerAction::List << "gepackt"
                                << "Mit UPX gepackt: [\\d.]+ -> %before Bytes \\(\\d+,\\d %\\)";
            *row("bereits gepackt") << packer << PackerAction::Compress << "gepackt"
                                    << "Die Datei ist bereits gepackt";
            *row("nicht gepackt") << packer << PackerAction::Decompress << "Programm"
                                  << "Die Datei ist nicht mit UPX gepackt";
            *row("zu klein") << packer << PackerAction::Compress << "winzig"
                             << "Die Datei ist zu klein für UPX";
            *row("schreibgeschützt") << packer << PackerAction::Compress << "schreibgeschützt"
                                     << "Die Datei ist schreibgeschützt";
            *row("unlesbar") << packer << PackerAction::Compress << "unlesbar"
                             << "Keine Berechtigung, die Datei zu lesen";
            *row("Ordner gesperrt") << packer << PackerAction::Compress << "gesperrt"
                                    << "Keine Schreibberechtigung im Ordner der Datei";
            *row("fehlt") << packer << PackerAction::Test << "fehlt"
                          << "Die Datei wurde nicht gefunden";
            *row("kein Programm") << packer << PackerAction::Compress << "Bild"
                                  << "Kein von UPX unterstütztes Programmformat";
            *row("Version") << packer << PackerAction::Version << ""
                            << "UPX-Version " + version;
            *row("Hilfe") << packer << PackerAction::Help << ""
                          << "Hilfe zu UPX " + version + " im Ausgabefenster";
            *row("Lizenz") << packer << PackerAction::License << ""
                           << "Lizenz von UPX " + version + " im Ausgabefenster";
        }
        QTest::newRow("Packer fehlt")
            << QStringLiteral("/nonexistent/upx") << PackerAction::Version << ""
            << "UPX konnte nicht gestartet werden";
    }

    void realPackerRuns()
    {
        QFETCH(QString, packer);
        QFETCH(PackerAction, action);
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = file.isEmpty() ? QString() : makeFile(dir.path(), file, packer);
        QVERIFY(file.isEmpty() || !path.isEmpty());
        // A folder the test made unwritable can be removed again.
        const auto unlock = qScopeGuard([&dir] {
            QFile::setPermissions(dir.filePath(QStringLiteral("gesperrt")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner);
        });
        const qint64 before = QFileInfo(path).size();
        const QString option = action == PackerAction::Compress     ? QStringLiteral("-7")
                               : action == PackerAction::Decompress ? QStringLiteral("-d")
                               : action == PackerAction::Test       ? QStringLiteral("-t")
                               : action == PackerAction::List       ? QStringLiteral("-l")
                               : action == PackerAction::Help       ? QStringLiteral("-h")
                               : action == PackerAction::Version    ? QStringLiteral("-V")
                                                                    : QStringLiteral("-L");
        PackerCommand command =
            file.isEmpty() ? packerCommand(packer, option) : fileCommand(packer, option, path);
        // Without a permission only where the super-user has every one: run as "nobody".
        if ((file == QLatin1String("unlesbar") || file == QLatin1String("gesperrt")) &&
            !withoutSuperUserRights(command, dir.path()))
            QSKIP("needs setpriv and the user nobody to run the packer without permissions");
        StringSink transcript;
        QVERIFY(CommandRunner::run(command, transcript));
        verifyResult(packerResult(action, packerReport(transcript.text, command.commandLine), path),
                     expected, before, QFileInfo(path).size());
    }

    void recordedReports_data()
    {
        QTest::addColumn<PackerAction>("action");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const QString table =
            QStringLiteral("        File size         Ratio      Format      Name\r\n"
                           "   --------------------   ------   -----------   "
                           "-----------\r\n");
        QTest::newRow("komprimiert")
            << PackerAction::Compress
            << table +
                   "     85376 ->     29680   34.76%   linux/amd64   prog\r\n\r\nPacked 1 file.\r\n"
            << QByteArray() << "Komprimiert: 85.376 -> 29.680 Bytes (34,8 %)";
        QTest::newRow("dekomprimiert")
            << PackerAction::Decompress
            << table + "   1859072 <-    420352   22.61%    win32/pe     upx.exe\r\n\r\n"
                       "Unpacked 1 file.\r\n"
            << QByteArray() << "Dekomprimiert: 420.352 -> 1.859.072 Bytes (22,6 %)";
        QTest::newRow("abgebrochen")
            << PackerAction::Compress << table + "Operation wurde abgebrochen!\r\n"
            << QByteArray() << "Abgebrochen, die Datei blieb unverändert";
        QTest::newRow("abgebrochen, Information")
            << PackerAction::List << table + "Operation wurde abgebrochen!\r\n"
            << QByteArray() << "Abgebrochen";
        QTest::newRow("abgebrochen, fertig behalten")
            << PackerAction::Compress
            << table + "Die Datei war schon fertig bearbeitet und wurde behalten.\r\n"
                       "Operation wurde abgebrochen!\r\n"
            << QByteArray()
            << "Abgebrochen, die Datei war aber schon fertig bearbeitet und wurde "
               "behalten";
        QTest::newRow("nicht gestartet")
            << PackerAction::Compress << "Konnte Kommando nicht starten, Fehler: #24\r\n"
            << QByteArray() << "UPX konnte nicht gestartet werden";
        // The packer's own program holds its mark in its data, which makes it no packed file.
        QTest::newRow("Marke mitten im Programm")
            << PackerAction::Compress
            << table + "upx: prog: CantPackException: need DT_INIT; try \"void _init(void){}\"\r\n"
                       "\r\nPacked 0 files.\r\n"
            << QByteArray(20000, 'x').insert(10000, "UPX!")
            << "Fehler, Einzelheiten im Ausgabefenster";
        QTest::newRow("neuere Version")
            << PackerAction::Decompress
            << table + "upx: prog: CantUnpackException: need a newer version of UPX\r\n\r\n"
                       "Unpacked 0 files.\r\n"
            << QByteArray() << "Die Datei wurde mit einer neueren UPX-Version gepackt";
        QTest::newRow("unbekannte Option")
            << PackerAction::Compress
            << "upx: unrecognized option '--crp-ms=10000'\r\nUsage: upx [-123456789dlthVL] "
               "[-qvfk] [-o file] file..\r\n"
            << QByteArray() << "Fehler, Einzelheiten im Ausgabefenster";
    }

    void recordedReports()
    {
        QFETCH(PackerAction, action);
        QFETCH(QString, report);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("prog"));
        QFile file(path);
        QVERIFY(content.isEmpty() ||
                (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
        file.close();
        QCOMPARE(packerResult(action, report, path), expected);
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
        QTest::mouseClick(form->KompressBtn, Qt::LeftButton);
        QVERIFY2(form->Memo1->toPlainText().contains(QStringLiteral("\nPacked 1 file.\n")),
                 qPrintable(form->Memo1->toPlainText()));
        const QString shown = form->StatusBar1->panelText(0);
        verifyResult(shown,
                     QStringLiteral(" Komprimiert: %before -> %after Bytes \\(\\d+,\\d %\\)"),
                     before, QFileInfo(file).size());
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
    // Lets the events through until the event loop waits for more, where the hint is updated.
    static void untilIdle()
    {
        QEventLoop loop;
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                &loop, &QEventLoop::quit);
        loop.exec();
    }

    // Makes the file of the kind in the folder and returns its path.
    static QString makeFile(const QString& folder, const QString& kind, const QString& packer)
    {
        QString path = folder + QStringLiteral("/prog");
        if (kind == QLatin1String("gesperrt")) {
            // A folder the packer may not write its temporary file into.
            path = folder + QStringLiteral("/gesperrt/prog");
            QDir().mkpath(folder + QStringLiteral("/gesperrt"));
        }
        if (kind == QLatin1String("fehlt"))
            return path;
        QFile file(path);
        if (kind == QLatin1String("winzig") || kind == QLatin1String("Bild")) {
            file.open(QIODevice::WriteOnly);
            file.write(kind == QLatin1String("winzig") ? QByteArray("abc")
                                                       : "\x89PNG\r\n\x1a\n" + QByteArray(4096, 0));
            return path;
        }
        QFile::copy(UnpackedProgram, path);
        constexpr auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                             QFileDevice::ReadOther | QFileDevice::WriteOther;
        if (kind == QLatin1String("gepackt")) {
            QProcess packing;
            packing.setStandardOutputFile(QProcess::nullDevice());
            packing.start(packer, {QStringLiteral("-q"), path});
            if (!packing.waitForFinished() || packing.exitCode() != 0)
                return {};
        }
        if (kind == QStringLiteral("schreibgeschützt"))
            file.setPermissions(QFileDevice::ReadOwner);
        if (kind == QLatin1String("unlesbar"))
            file.setPermissions(QFileDevice::WriteOwner | QFileDevice::WriteOther);
        if (kind == QLatin1String("gesperrt")) {
            file.setPermissions(all);
            QFile::setPermissions(folder + QStringLiteral("/gesperrt"),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadOther | QFileDevice::ExeOther);
        }
        return path;
    }

    // Runs the command as "nobody" when the test runs as the super-user, whom no permission
    // stops; the folder is opened to that user. False when that cannot be done.
    static bool withoutSuperUserRights(PackerCommand& command, const QString& folder)
    {
        if (::geteuid() != 0)
            return true;
        const QString setpriv = QStandardPaths::findExecutable(
            QStringLiteral("setpriv"), {QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
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
