// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/settingslocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

// Where the settings file lives: beside a portable copy, otherwise in the user's configuration
// folder.
class TestSettingsLocation : public QObject {
    Q_OBJECT

private slots:
    void settingsFile_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("foreignFolder");
        // The settings file beside the program: "" none, "own" the user's own, write-protected,
        // "foreign" another user's that nobody may write, "foreign writable" one anybody may.
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<bool>("beside");
        QTest::newRow("portable copy") << false << false << ""
                                       << "/c" << true;
        QTest::newRow("portable copy, own protected file") << false << false << "own"
                                                           << "/c" << true;
        QTest::newRow("portable copy, foreign protected file") << false << false << "foreign"
                                                               << "/c" << false;
        QTest::newRow("portable copy, foreign writable file")
            << false << false << "foreign writable"
            << "/c" << true;
        QTest::newRow("installation") << true << false << ""
                                      << "/c" << false;
        QTest::newRow("installation with a settings file") << true << false << "own"
                                                           << "/c" << false;
        QTest::newRow("folder of another user") << false << true << ""
                                                << "/c" << false;
        QTest::newRow("relative configuration home") << true << false << ""
                                                     << "relativ" << false;
    }

    void settingsFile()
    {
        QFETCH(bool, installed);
        QFETCH(bool, foreignFolder);
        QFETCH(QString, file);
        QFETCH(QString, configHome);
        QFETCH(bool, beside);
        const passwd* nobody = ::getpwnam("nobody");
        if ((foreignFolder || file.startsWith(QLatin1String("foreign"))) &&
            (::geteuid() != 0 || !nobody))
            QSKIP("needs the super-user to give a file to another user");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString program = dir.path() + QLatin1Char('/');
        if (installed)
            QVERIFY(QFile(program + InstallationMarkerName).open(QIODevice::WriteOnly));
        const QString ini = program + QStringLiteral("Kompaktor.INI");
        if (!file.isEmpty()) {
            QVERIFY(QFile(ini).open(QIODevice::WriteOnly));
            const bool writable = file.endsWith(QLatin1String("writable"));
            QVERIFY(QFile::setPermissions(
                ini, writable ? QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadOther | QFileDevice::WriteOther
                              : QFileDevice::ReadOwner));
            if (file != QLatin1String("own"))
                QVERIFY(::chown(QFile::encodeName(ini).constData(), nobody->pw_uid, -1) == 0);
        }
        if (foreignFolder)
            QVERIFY(::chown(QFile::encodeName(dir.path()).constData(), nobody->pw_uid, -1) == 0);
        qputenv("HOME", "/home/anna");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
        const QString inConfig =
            (configHome.startsWith(QLatin1Char('/')) ? configHome
                                                     : QStringLiteral("/home/anna/.config")) +
            QStringLiteral("/Kompaktor/Kompaktor.INI");
        QCOMPARE(settingsFilePath(program), beside ? ini : inConfig);
    }

    void withoutHomeTheUsersOwnHomeFolder()
    {
        // Without HOME the settings go to the user's home folder from the password database,
        // never to a ".config" in the root folder.
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(InstallationMarkerName)).open(QIODevice::WriteOnly));
        qunsetenv("HOME");
        qunsetenv("XDG_CONFIG_HOME");
        const passwd* user = ::getpwuid(::geteuid());
        QVERIFY(user);
        QCOMPARE(settingsFilePath(dir.path() + QLatin1Char('/')),
                 QFile::decodeName(user->pw_dir) +
                     QStringLiteral("/.config/Kompaktor/Kompaktor.INI"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsLocation)
#include "tst_settingslocation.moc"
