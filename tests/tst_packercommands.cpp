#include "packer/commandrunner.h"
#include "packer/packercommands.h"
#include "testing.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PackerCommand)
Q_DECLARE_METATYPE(CompressOptions)

namespace {

// Runs the command and returns the transcript.
QString run(const PackerCommand& command)
{
    StringSink sink;
    CommandRunner::run(command, sink);
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
        options.level.clear();
        QTest::newRow("compress, empty level")
            << compressCommand(Packer, options, QStringLiteral("a.exe"))
            << "/opt/upx/upx  -  --crp-ms=10000 \"a.exe\""
            << QStringList{"-", "--crp-ms=10000", "a.exe"};
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
        // The fake packer prints each argument it receives on a line of its own.
        const QString packer = writeScript(m_dir.filePath(QStringLiteral("upx")),
                                           "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n");
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

    void realPackerAboutItself()
    {
        const QString packer = QStringLiteral(KOMPAKTOR_PACKER);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the real packer is not installed beside the program");
        const QString version = run(packerCommand(packer + ' ', QStringLiteral("-V")));
        QVERIFY2(version.contains(QStringLiteral("upx 3.96")), qPrintable(version));
        QVERIFY(version.contains(packer + QStringLiteral("  -V\r\n")));
        const QString licence = run(packerCommand(packer + ' ', QStringLiteral("-L")));
        QVERIFY2(licence.contains(QStringLiteral("UPX License Agreement")), qPrintable(licence));
        const QString help = run(packerCommand(packer + ' ', QStringLiteral("-h")));
        QVERIFY2(help.contains(QStringLiteral("--best")), qPrintable(help));
    }

    void realPackerOnAWindowsProgram_data()
    {
        QTest::addColumn<CompressOptions>("options");
        QTest::newRow("every check box, first choices") << firstChoices(QStringLiteral("1"), 10000);
        CompressOptions others;
        others.level = QStringLiteral("2");
        others.memory = 500000;
        others.overlaySkip = true;
        others.allIconsButFirst = true;
        QTest::newRow("the other choices") << others;
    }

    void realPackerOnAWindowsProgram()
    {
        QFETCH(CompressOptions, options);
        const QString packer = QStringLiteral(KOMPAKTOR_PACKER);
        const QString packed = QStringLiteral(KOMPAKTOR_PACKER_PE);
        if (!QFileInfo(packer).isExecutable() || !QFileInfo::exists(packed))
            QSKIP("the real packer and its Windows test file are not installed");
        const QString file = m_dir.filePath(QStringLiteral("Ein Programm.exe"));
        QFile::remove(file);
        QVERIFY(QFile::copy(packed, file));
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const QString path = packer + ' ';

        // The test file comes packed; unpacked, it is a plain Win32/PE program.
        QVERIFY(run(fileCommand(path, QStringLiteral("-d"), file)).contains("Unpacked 1 file."));
        const qint64 plainSize = QFileInfo(file).size();

        const QString compressed = run(compressCommand(path, options, file));
        QVERIFY2(compressed.contains(QStringLiteral("Packed 1 file.")), qPrintable(compressed));
        QVERIFY(QFileInfo(file).size() < plainSize);
        const QString listed = run(fileCommand(path, QStringLiteral("-l"), file));
        QVERIFY2(listed.contains(QStringLiteral("win32/pe")), qPrintable(listed));
        const QString tested = run(fileCommand(path, QStringLiteral("-t"), file));
        QVERIFY2(tested.contains(QStringLiteral("[OK]")), qPrintable(tested));
        QVERIFY(run(fileCommand(path, QStringLiteral("-d"), file)).contains("Unpacked 1 file."));
        QCOMPARE(QFileInfo(file).size(), plainSize);
    }

    void realPackerOnALinuxProgram()
    {
        const QString packer = QStringLiteral(KOMPAKTOR_PACKER);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the real packer is not installed beside the program");
        // A copy of a system program, packed with the options page's defaults, still works;
        // the integrity test passes; unpacked, it works again.
        const QString program = m_dir.filePath(QStringLiteral("ls kopie"));
        QFile::remove(program);
        QVERIFY(QFile::copy(QStringLiteral("/bin/ls"), program));
        const auto output = [](const QString& path) {
            QProcess process;
            process.start(path, {QStringLiteral("--version")});
            return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
                           process.exitCode() == 0
                       ? process.readAllStandardOutput()
                       : QByteArray("failed");
        };
        const QByteArray expected = output(program);
        QVERIFY(expected.startsWith("ls (GNU coreutils)"));
        const qint64 plainSize = QFileInfo(program).size();
        const QString path = packer + ' ';

        const QString compressed = run(compressCommand(path, CompressOptions{}, program));
        QVERIFY2(compressed.contains(QStringLiteral("linux/amd64")), qPrintable(compressed));
        QVERIFY(QFileInfo(program).size() < plainSize);
        QCOMPARE(output(program), expected);
        const QString tested = run(fileCommand(path, QStringLiteral("-t"), program));
        QVERIFY2(tested.contains(QStringLiteral("[OK]")), qPrintable(tested));
        QVERIFY(run(fileCommand(path, QStringLiteral("-d"), program)).contains("Unpacked 1 file."));
        QCOMPARE(QFileInfo(program).size(), plainSize);
        QCOMPARE(output(program), expected);
    }

    void realPackerReportsItsErrors()
    {
        const QString packer = QStringLiteral(KOMPAKTOR_PACKER);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the real packer is not installed beside the program");
        // The packer writes its complaints on standard error; they reach the transcript.
        const QString transcript = run(fileCommand(packer + ' ', QStringLiteral("-t"),
                                                   m_dir.filePath(QStringLiteral("fehlt.exe"))));
        QVERIFY2(transcript.contains(QStringLiteral("No such file or directory")),
                 qPrintable(transcript));
    }

    void realPackerTakesAFileNamedLikeAnOptionAsAFile()
    {
        const QString packer = QStringLiteral(KOMPAKTOR_PACKER);
        if (!QFileInfo(packer).isExecutable())
            QSKIP("the real packer is not installed beside the program");
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
