// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "testing.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The program's answers to "--help" and "--version": printed, status 0, no window, no display.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void informationRequests_data()
    {
        QTest::addColumn<QString>("argument");
        // The packer beside the program; none when empty.
        QTest::addColumn<QByteArray>("packer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help") << "--help" << QByteArray()
                              << "^Aufruf: kompaktor \\[DATEI\\]\n(.*\n)*  --version .*\n$";
        QTest::newRow("version, UPX 4")
            << "--version" << QByteArray("echo upx 4.2.2\n")
            << "^Kompaktor \\d+\\.\\d+\nPacker: DIR/upx \\(UPX 4.2.2\\)\n$";
        QTest::newRow("version, unreadable")
            << "--version" << QByteArray("echo Hallo\n")
            << "^Kompaktor \\d+\\.\\d+\nPacker: DIR/upx \\(Version unbekannt\\)\n$";
        QTest::newRow("version, no packer")
            << "--version" << QByteArray()
            << "^Kompaktor \\d+\\.\\d+\nPacker: keiner gefunden \\(.*PATH\\)\n$";
    }

    void informationRequests()
    {
        QFETCH(QString, argument);
        QFETCH(QByteArray, packer);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString program = dir.filePath(QStringLiteral("kompaktor"));
        QVERIFY(QFile::copy(QStringLiteral(KOMPAKTOR_BINARY), program));
        if (!packer.isEmpty())
            QVERIFY(!writeScript(dir.filePath(QStringLiteral("upx")), packer).isEmpty());
        // Without a display, a window or the toolkit could not even start.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("PATH"), QString());
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, {argument});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardError(), QByteArray());
        const QString printed = QString::fromUtf8(process.readAllStandardOutput());
        expected.replace(QStringLiteral("DIR"), QRegularExpression::escape(dir.path()));
        QVERIFY2(QRegularExpression(expected).match(printed).hasMatch(), qPrintable(printed));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
