// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerlocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestPackerLocation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path();
    }

    void init()
    {
        for (const char* name : {"prog", "cwd", "path1", "path2"})
            QVERIFY(QDir(m_root).mkdir(QString::fromLatin1(name)));
        QVERIFY(QDir::setCurrent(m_root + QStringLiteral("/cwd")));
    }

    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        QDir(m_root).removeRecursively();
        QDir().mkpath(m_root);
    }

    void searchOrderFirstHitWins()
    {
        const QString prog = m_root + QStringLiteral("/prog/");
        const QString cwd = m_root + QStringLiteral("/cwd");
        const QString path = m_root + QStringLiteral("/path1:") + m_root + QStringLiteral("/path2");
        const QStringList dirs = packerSearchDirectories(prog, path);
        QCOMPARE(dirs, QStringList({prog, m_root + QStringLiteral("/path1"),
                                    m_root + QStringLiteral("/path2")}));

        QCOMPARE(searchFile(PackerFileName, dirs), QString());
        touch(m_root + QStringLiteral("/path2/upx"));
        QCOMPARE(searchFile(PackerFileName, dirs), m_root + QStringLiteral("/path2/upx"));
        touch(m_root + QStringLiteral("/path1/upx"));
        QCOMPARE(searchFile(PackerFileName, dirs), m_root + QStringLiteral("/path1/upx"));
        touch(m_root + QStringLiteral("/prog/upx"));
        QCOMPARE(searchFile(PackerFileName, dirs), m_root + QStringLiteral("/prog/upx"));
        // A packer in the current directory changes nothing.
        touch(cwd + QStringLiteral("/upx"));
        QCOMPARE(searchFile(PackerFileName, dirs), m_root + QStringLiteral("/prog/upx"));
    }

    void theCurrentFolderCountsOnlyAsTheProgramsOwn_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("pathValue");
        QTest::addColumn<QString>("expected");
        const QString path1 = m_root + QStringLiteral("/path1");
        QTest::newRow("relative PATH entries")
            << m_root + QStringLiteral("/prog/") << QStringLiteral(".:bin:./bin:") << QString();
        QTest::newRow("relative entries before an absolute one")
            << m_root + QStringLiteral("/prog/") << QStringLiteral(".:") + path1
            << path1 + QStringLiteral("/upx");
        QTest::newRow("the program's own folder")
            << m_root + QStringLiteral("/cwd/") << QString() << m_root + QStringLiteral("/cwd/upx");
        QTest::newRow("the program's folder named relative")
            << QStringLiteral("bin/") << QString() << m_root + QStringLiteral("/cwd/bin/upx");
    }

    void theCurrentFolderCountsOnlyAsTheProgramsOwn()
    {
        QFETCH(QString, programDir);
        QFETCH(QString, pathValue);
        QFETCH(QString, expected);
        QVERIFY(QDir().mkpath(QStringLiteral("bin")));
        touch(QStringLiteral("upx"));
        touch(QStringLiteral("bin/upx"));
        touch(m_root + QStringLiteral("/path1/upx"));
        // The result is a full path, as the command line shows it.
        QCOMPARE(findPacker(programDir, pathValue), expected);
    }

    void entriesUsedVerbatim_data()
    {
        QTest::addColumn<QString>("pathValue");
        QTest::addColumn<QString>("expected");
        const QString p1 = m_root + QStringLiteral("/path1");
        QTest::newRow("plain") << p1 << p1 + QStringLiteral("/upx");
        QTest::newRow("trailing slash") << p1 + QStringLiteral("/") << p1 + QStringLiteral("/upx");
        QTest::newRow("empty entries")
            << QStringLiteral("::") + p1 + QStringLiteral(":") << p1 + QStringLiteral("/upx");
        QTest::newRow("quoted") << QStringLiteral("\"") + p1 + QStringLiteral("\"") << QString();
        QTest::newRow("blank around") << QStringLiteral(" ") + p1 << QString();
        QTest::newRow("only separators") << QStringLiteral(":::") << QString();
    }

    void entriesUsedVerbatim()
    {
        QFETCH(QString, pathValue);
        QFETCH(QString, expected);
        touch(m_root + QStringLiteral("/path1/upx"));
        const QStringList dirs =
            packerSearchDirectories(m_root + QStringLiteral("/prog/"), pathValue);
        QCOMPARE(searchFile(PackerFileName, dirs), expected);
    }

    void directoryNamedLikeThePackerIsNoHit()
    {
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("prog/upx")));
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("cwd/upx")));
        touch(m_root + QStringLiteral("/path1/upx"));
        const QStringList dirs = packerSearchDirectories(m_root + QStringLiteral("/prog/"),
                                                         m_root + QStringLiteral("/path1"));
        QCOMPARE(searchFile(PackerFileName, dirs), m_root + QStringLiteral("/path1/upx"));
    }

    void noPathValue()
    {
        const QString prog = m_root + QStringLiteral("/prog/");
        QCOMPARE(packerSearchDirectories(prog, QString()), QStringList({prog}));
        touch(m_root + QStringLiteral("/prog/upx"));
        QCOMPARE(searchFile(PackerFileName, packerSearchDirectories(prog, QString())),
                 prog + QStringLiteral("upx"));
    }

    void badPathEntries()
    {
        // Thousands of entries that name files, nothing at all, or folders without the packer.
        touch(m_root + QStringLiteral("/afile"));
        QStringList entries;
        for (int i = 0; i < 5000; ++i) {
            entries << m_root + QStringLiteral("/afile")
                    << m_root + QStringLiteral("/missing%1").arg(i)
                    << m_root + QStringLiteral("/path1") << QString(4000, QLatin1Char('x'));
        }
        const QStringList dirs = packerSearchDirectories(m_root + QStringLiteral("/prog/"),
                                                         entries.join(QLatin1Char(':')));
        // The relative entries of "x" are left out.
        QCOMPARE(dirs.size(), 1 + entries.size() * 3 / 4);
        QCOMPARE(searchFile(PackerFileName, dirs), QString());
    }

    void unreadableFolder()
    {
        const QString locked = m_root + QStringLiteral("/path1");
        touch(locked + QStringLiteral("/upx"));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        const QString found = searchFile(
            PackerFileName, packerSearchDirectories(m_root + QStringLiteral("/prog/"), locked));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        // The super-user reads every folder; anybody else finds nothing there.
        QCOMPARE(found, geteuid() == 0 ? locked + QStringLiteral("/upx") : QString());
    }

    void programDirectoryWithBlanksAndUmlauts()
    {
        const QString prog = m_root + QStringLiteral("/Mein Ordner für Äpfel/");
        QVERIFY(QDir().mkpath(prog));
        touch(prog + QStringLiteral("upx"));
        QVERIFY(QFile::setPermissions(prog, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QString found = searchFile(PackerFileName, packerSearchDirectories(prog, QString()));
        QFile::setPermissions(prog, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        QCOMPARE(found, prog + QStringLiteral("upx"));
    }

    void directoryPartOfPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("file") << QStringLiteral("/opt/kompaktor/kompaktor")
                              << QStringLiteral("/opt/kompaktor/");
        QTest::newRow("root") << QStringLiteral("/kompaktor") << QStringLiteral("/");
        QTest::newRow("bare") << QStringLiteral("kompaktor") << QString();
        QTest::newRow("directory") << QStringLiteral("/a b/ü/") << QStringLiteral("/a b/ü/");
    }

    void directoryPartOfPaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(directoryPart(path), expected);
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
};

QTEST_GUILESS_MAIN(TestPackerLocation)
#include "tst_packerlocation.moc"
