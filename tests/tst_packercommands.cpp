// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packercommands.h"
#include "packer/packerrun.h"
#include "packer/packerversion.h"
#include "testing.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PackerCommand)
Q_DECLARE_METATYPE(CompressOptions)

namespace {

// Runs the command and returns the transcript.
QString run(const PackerCommand& command)
{
    StringSink sink;
    runPacker(command, sink);
    return sink.text;
}

const QString Packer = QStringLiteral("/opt/upx/upx ");

// Every check box ticked and the first stored choice of each radio group.
CompressOptions firstChoices(const QString& level, int memory)
{
    CompressOptions options;
    options.level = level;
    options.memory = memory;
    options.force = options.nrv2b = options.overlayStrip = options.support8086 = options.noReloc =
        options.keepExports = options.noIcons = options.keepResources = options.keepRelocs = true;
    return options;
}

} // namespace

class TestPackerCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void commandLines_data()
    {
        QTest::addColumn<PackerCommand>("command");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("arguments");
        const QString file = QStringLiteral("/home/anna/Mein Programm.exe");
        QTest::newRow("help") << packerCommand(Packer, QStringLiteral("-h")) << "/opt/upx/upx  -h"
                              << QStringList{"-h"};
        QTest::newRow("version") << packerCommand(Packer, QStringLiteral("-V"))
                                 << "/opt/upx/upx  -V" << QStringList{"-V"};
        QTest::newRow("information")
            << fileCommand(Packer, QStringLiteral("-l"), file)
            << "/opt/upx/upx  -l \"/home/anna/Mein Programm.exe\"" << QStringList{"-l", file};
        QTest::newRow("test") << fileCommand(Packer, QStringLiteral("-t"), file)
                              << "/opt/upx/upx  -t \"/home/anna/Mein Programm.exe\""
                              << QStringList{"-t", file};
        QTest::newRow("decompress")
            << fileCommand(Packer, QStringLiteral("-d"), file)
            << "/opt/upx/upx  -d \"/home/anna/Mein Programm.exe\"" << QStringList{"-d", file};

        CompressOptions options;
        QTest::newRow("compress, no switches")
            << compressCommand(Packer, options, QStringLiteral("/p/Test.exe"))
            << "/opt/upx/upx  -7  --crp-ms=10000 \"/p/Test.exe\""
            << QStringList{"-7", "--crp-ms=10000", "/p/Test.exe"};
        options.level = QStringLiteral("-best");
        options.force = true;
        QTest::newRow("compress, best and force")
            << compressCommand(Packer, options, QStringLiteral("/p/Test.exe"))
            << "/opt/upx/upx  --best --force  --crp-ms=10000 \"/p/Test.exe\""
            << QStringList{"--best", "--force", "--crp-ms=10000", "/p/Test.exe"};
        options = firstChoices(QStringLiteral("5"), 999999);
        QTest::newRow("compress, every switch of the first choices")
            << compressCommand(Packer, options, QStringLiteral("a.exe"))
            << "/opt/upx/upx  -5 --force  --crp-ms=999999 --nrv2b --overlay=strip --8086 "
               "--no-reloc --compress-exports=0 --compress-icons=0 --compress-resources=0 "
               "--strip-relocs=0 \"a.exe\""
            << QStringList{"-5",
                           "--force",
                           "--crp-ms=999999",
                           "--nrv2b",
                           "--overlay=strip",
                           "--8086",
                           "--no-reloc",
                           "--compress-exports=0",
                           "--compress-icons=0",
                           "--compress-resources=0",
                           "--strip-relocs=0",
                           "a.exe"};
        options = CompressOptions{};
        options.overlaySkip = true;
        options.allIconsButFirst = true;
        QTest::newRow("compress, the other overlay and icon switches")
            << compressCommand(Packer, options, QStringLiteral("a.exe"))
            << "/opt/upx/upx  -7  --crp-ms=10000 --overlay=skip --compress-icons=1 \"a.exe\""
            << QStringList{"-7", "--crp-ms=10000", "--overlay=skip", "--compress-icons=1", "a.exe"};
        options = CompressOptions{};
        QTest::newRow("compress, UPX 4")
            << compressCommand(Packer, options, QStringLiteral("a"), QVersionNumber(4, 2, 2))
            << "/opt/upx/upx  -7  --crp-ucl-ms=10000 \"a\""
            << QStringList{"-7", "--crp-ucl-ms=10000", "a"};
        QTest::newRow("compress, UPX 5")
            << compressCommand(Packer, options, QStringLiteral("a"), QVersionNumber(5))
            << "/opt/upx/upx  -7  --crp-ucl-ms=10000 \"a\""
            << QStringList{"-7", "--crp-ucl-ms=10000", "a"};
        QTest::newRow("compress, UPX 3.96")
            << compressCommand(Packer, options, QStringLiteral("a"), QVersionNumber(3, 96))
            << "/opt/upx/upx  -7  --crp-ms=10000 \"a\"" << QStringList{"-7", "--crp-ms=10000", "a"};
        options.level.clear();
        QTest::newRow("compress, empty level")
            << compressCommand(Packer, options, QStringLiteral("a.exe"))
            << "/opt/upx/upx  -  --crp-ms=10000 \"a.exe\""
            << QStringList{"-", "--crp-ms=10000", "a.exe"};

        AdvancedOptions advanced;
        advanced.lzma = advanced.keepBackup = advanced.newFile = true;
        advanced.thoroughness = AdvancedOptions::UltraBrute;
        QTest::newRow("compress, every advanced choice")
            << compressCommand(Packer, {}, QStringLiteral("/p/Test.exe"), QVersionNumber(4, 2, 2),
                               advanced)
            << "/opt/upx/upx  -7  --crp-ucl-ms=10000 --lzma --ultra-brute -k -o "
               "\"/p/Test-gepackt.exe\" \"/p/Test.exe\""
            << QStringList{"-7", "--crp-ucl-ms=10000",  "--lzma",     "--ultra-brute", "-k",
                           "-o", "/p/Test-gepackt.exe", "/p/Test.exe"};
        QTest::newRow("compress, a packer without LZMA and ultra brute")
            << compressCommand(Packer, {}, QStringLiteral("a"), QVersionNumber(1, 25), advanced)
            << "/opt/upx/upx  -7  --crp-ms=10000 -k -o \"a-gepackt\" \"a\""
            << QStringList{"-7", "--crp-ms=10000", "-k", "-o", "a-gepackt", "a"};
        advanced.thoroughness = AdvancedOptions::Brute;
        QTest::newRow("decompress, backup and new file")
            << decompressCommand(Packer, QStringLiteral("/p/prog"), advanced)
            << "/opt/upx/upx  -d -k -o \"/p/prog-entpackt\" \"/p/prog\""
            << QStringList{"-d", "-k", "-o", "/p/prog-entpackt", "/p/prog"};
        QTest::newRow("decompress, defaults")
            << decompressCommand(Packer, QStringLiteral("/p/prog"))
            << "/opt/upx/upx  -d \"/p/prog\"" << QStringList{"-d", "/p/prog"};
    }

    void fileNamesBesideTheFile_data()
    {
        // The file, its new file when packed, and its backup.
        QTest::addColumn<QStringList>("names");
        QTest::newRow("no extension") << QStringList{"/p/prog", "/p/prog-gepackt", "/p/prog.~"};
        QTest::newRow("exe") << QStringList{"Test.exe", "Test-gepackt.exe", "Test.ex~"};
        QTest::newRow("two suffixes") << QStringList{"a.tar.gz", "a.tar-gepackt.gz", "a.tar.gz~"};
        QTest::newRow("dot in the folder")
            << QStringList{"a.b/prog", "a.b/prog-gepackt", "a.b/prog.~"};
        QTest::newRow("hidden") << QStringList{"/p/.hidden", "/p/.hidden-gepackt", "/p/.hidde~"};
    }

    void fileNamesBesideTheFile()
    {
        // The backup names are those UPX 3.96 and 4.2.2 write for "-k".
        QFETCH(QStringList, names);
        QCOMPARE(newFileName(names[0], true), names[1]);
        QCOMPARE(
            newFileName(names[0], false),
            QString(names[1]).replace(QStringLiteral("-gepackt"), QStringLiteral("-entpackt")));
        QCOMPARE(backupFileName(names[0]), names[2]);
    }

    void switchesAnOldPackerLacks()
    {
        // UPX 3.96 knows every switch, and a packer of unknown version is sent them all.
        AdvancedOptions advanced;
        advanced.lzma = true;
        QVERIFY(unknownSwitches(advanced, QVersionNumber(3, 96)).isEmpty());
        QVERIFY(unknownSwitches(advanced, QVersionNumber()).isEmpty());
        QCOMPARE(omittedSwitchesNote(unknownSwitches(advanced, QVersionNumber(2, 3)),
                                     QVersionNumber(2, 3)),
                 QStringLiteral("UPX 2.3 kennt --lzma nicht, ohne diese Option komprimiert."));
    }

    void commandLines()
    {
        QFETCH(PackerCommand, command);
        QFETCH(QString, line);
        QFETCH(QStringList, arguments);
        QCOMPARE(command.commandLine, line);
        QCOMPARE(command.program, QStringLiteral("/opt/upx/upx"));
        QCOMPARE(command.arguments, arguments);
    }

    void packerInTheCurrentDirectory()
    {
        // The bare name stands for the packer in the current directory, not one on the PATH.
        const PackerCommand command = packerCommand(QStringLiteral("upx "), QStringLiteral("-V"));
        QCOMPARE(command.commandLine, QStringLiteral("upx  -V"));
        QCOMPARE(command.program, QStringLiteral("./upx"));
    }

    void theFileNameIsOneArgument_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("blanks") << QStringLiteral("Mein Programm mit Leerzeichen.exe");
        QTest::newRow("double quote") << QStringLiteral("a\" --force \"b.exe");
        QTest::newRow("leading minus") << QStringLiteral("-d");
        QTest::newRow("semicolon and dollar") << QStringLiteral("x; rm -rf $HOME `id`.exe");
        QTest::newRow("umlauts") << QStringLiteral("Größenänderung.exe");
    }

    void theFileNameIsOneArgument()
    {
        QFETCH(QString, fileName);
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx")), EchoArguments);
        CompressOptions options;
        options.level = QStringLiteral("9 --force");
        const QString transcript = run(compressCommand(packer + ' ', options, fileName));
        // A name that begins with "-" goes as a path, so that it cannot be read as an option.
        const QString argument =
            fileName.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + fileName : fileName;
        const QString expected =
            QStringLiteral("<-9 --force>\n<--crp-ms=10000>\n<") + argument + QStringLiteral(">\n");
        QVERIFY2(transcript.contains(expected), qPrintable(transcript));
    }

    void versionFromTheReport_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QVersionNumber>("version");
        QTest::newRow("UPX 4.2.2") << QByteArray("upx 4.2.2\nUCL data compression library 1.03\n")
                                   << QVersionNumber(4, 2, 2);
        QTest::newRow("UPX 3.96") << QByteArray("upx 3.96\nNRV data compression library 0.84\n")
                                  << QVersionNumber(3, 96);
        QTest::newRow("UPX 5.0.1-git")
            << QByteArray("upx 5.0.1-git-0123\n") << QVersionNumber(5, 0, 1);
        QTest::newRow("another program") << QByteArray("<-V>\n") << QVersionNumber();
        QTest::newRow("the version later") << QByteArray("Hallo\nupx 4.2.2\n") << QVersionNumber();
        QTest::newRow("nothing") << QByteArray() << QVersionNumber();
    }

    void versionFromTheReport()
    {
        QFETCH(QByteArray, report);
        QFETCH(QVersionNumber, version);
        QCOMPARE(packerVersionFromReport(report), version);
        // The packer is asked with "-V", once however often its version is needed.
        QFile reportFile(m_dir.filePath(QStringLiteral("report")));
        QVERIFY(reportFile.open(QIODevice::WriteOnly) && reportFile.write(report) >= 0);
        reportFile.close();
        const QString packer = writeScript(
            m_dir.filePath(QStringLiteral("upx-version")),
            "echo \"$*\" >>\"$0.asked\"; [ \"$*\" = -V ] && /bin/cat \"${0%/*}/report\"\n");
        QFile::remove(packer + QStringLiteral(".asked"));
        PackerVersion asked(packer);
        QCOMPARE(asked.version(), version);
        QCOMPARE(asked.version(), version);
        QFile askedFile(packer + QStringLiteral(".asked"));
        QVERIFY(askedFile.open(QIODevice::ReadOnly));
        QCOMPARE(askedFile.readAll(), QByteArray("-V\n"));
    }

    void versionOfAPackerThatCannotBeAsked()
    {
        QCOMPARE(PackerVersion(QString()).version(), QVersionNumber());
        // One that cannot be started is known once its start has failed, without the wait for
        // a report.
        PackerVersion missing(m_dir.filePath(QStringLiteral("fehlt")));
        QSignalSpy known(&missing, &PackerVersion::known);
        QVERIFY(missing.isKnown() || known.wait());
        QCOMPARE(missing.version(0), QVersionNumber());
        // A packer that ends by a signal has no readable report either.
        const QString killed = writeScript(m_dir.filePath(QStringLiteral("upx-killed")),
                                           "echo upx 4.2.2; kill -KILL $$\n");
        QCOMPARE(PackerVersion(killed).version(), QVersionNumber());
    }

    void realPackerAboutItself_data() { addRealPackerRows(); }

    void realPackerAboutItself()
    {
        QFETCH(QString, packer);
        QFETCH(QString, versionLine);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the packer is not installed");
        QVERIFY(PackerVersion(packer).version().majorVersion() >= 3);
        const QString version = run(packerCommand(packer + ' ', QStringLiteral("-V")));
        QVERIFY2(version.contains(versionLine), qPrintable(version));
        QVERIFY(version.contains(packer + QStringLiteral("  -V\r\n")));
        const QString licence = run(packerCommand(packer + ' ', QStringLiteral("-L")));
        QVERIFY2(licence.contains(QStringLiteral("UPX License Agreement")), qPrintable(licence));
        const QString help = run(packerCommand(packer + ' ', QStringLiteral("-h")));
        QVERIFY2(help.contains(QStringLiteral("--best")), qPrintable(help));
    }

    void realPackerOnAWindowsProgram_data()
    {
        QTest::addColumn<QString>("packer");
        QTest::addColumn<CompressOptions>("options");
        CompressOptions others;
        others.level = QStringLiteral("2");
        others.memory = 500000;
        others.overlaySkip = true;
        others.allIconsButFirst = true;
        for (const RealPacker& packer : realPackers()) {
            QTest::addRow("%s, every check box, first choices", packer.name)
                << packer.path << firstChoices(QStringLiteral("1"), 10000);
            QTest::addRow("%s, the other choices", packer.name) << packer.path << others;
        }
    }

    void realPackerOnAWindowsProgram()
    {
        QFETCH(QString, packer);
        QFETCH(CompressOptions, options);
        const QString packed = QStringLiteral(KOMPAKTOR_PACKER_PE);
        if (!QFileInfo(packer).isExecutable() || !QFileInfo::exists(packed))
            QSKIP("the packer or its Windows test file is not installed");
        const QString file = m_dir.filePath(QStringLiteral("Ein Programm.exe"));
        QFile::remove(file);
        QVERIFY(QFile::copy(packed, file));
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const QString path = packer + ' ';

        // The test file comes packed; unpacked, it is a plain Win32/PE program.
        QVERIFY(run(fileCommand(path, QStringLiteral("-d"), file)).contains("Unpacked 1 file."));
        const qint64 plainSize = QFileInfo(file).size();

        const QString compressed =
            run(compressCommand(path, options, file, PackerVersion(packer).version()));
        QVERIFY2(compressed.contains(QStringLiteral("Packed 1 file.")), qPrintable(compressed));
        QVERIFY(QFileInfo(file).size() < plainSize);
        const QString listed = run(fileCommand(path, QStringLiteral("-l"), file));
        QVERIFY2(listed.contains(QStringLiteral("win32/pe")), qPrintable(listed));
        const QString tested = run(fileCommand(path, QStringLiteral("-t"), file));
        QVERIFY2(tested.contains(QStringLiteral("[OK]")), qPrintable(tested));
        QVERIFY(run(fileCommand(path, QStringLiteral("-d"), file)).contains("Unpacked 1 file."));
        QCOMPARE(QFileInfo(file).size(), plainSize);
    }

    void realPackerReportsItsErrors_data() { addRealPackerRows(); }

    void realPackerReportsItsErrors()
    {
        QFETCH(QString, packer);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the packer is not installed");
        // The packer writes its complaints on standard error; they reach the transcript.
        const QString transcript = run(fileCommand(packer + ' ', QStringLiteral("-t"),
                                                   m_dir.filePath(QStringLiteral("fehlt.exe"))));
        QVERIFY2(transcript.contains(QStringLiteral("No such file or directory")),
                 qPrintable(transcript));
    }

    void realPackerTakesAFileNamedLikeAnOptionAsAFile_data() { addRealPackerRows(); }

    void realPackerTakesAFileNamedLikeAnOptionAsAFile()
    {
        QFETCH(QString, packer);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the packer is not installed");
        const QString current = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QFile file(QStringLiteral("-V"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(50000, 'x')) > 0);
        file.close();
        const QString transcript = run(fileCommand(packer + ' ', QStringLiteral("-l"), "-V"));
        QVERIFY(QDir::setCurrent(current));
        QVERIFY2(transcript.contains(QStringLiteral("-l \"-V\"\r\n")), qPrintable(transcript));
        QVERIFY2(transcript.contains(QStringLiteral("./-V: NotPackedException")),
                 qPrintable(transcript));
        QVERIFY(!transcript.contains(QStringLiteral("UCL data compression library")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestPackerCommands)
#include "tst_packercommands.moc"
