// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/filesettling.h"
#include "testing.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FileOutcome)

// How the file of a stopped packer is settled, on plain files: this process plays the packer,
// holding its output file open while it writes.
class TestFileSettling : public QObject {
    Q_OBJECT

private slots:
    void settled_data()
    {
        // What the packer had done when it was stopped; what the file holds afterwards.
        QTest::addColumn<QString>("done");
        QTest::addColumn<bool>("outputOpen");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<FileOutcome>("outcome");
        QTest::newRow("output half written")
            << "" << true << QByteArray("original") << FileOutcome::AsItWas;
        QTest::newRow("mode changed")
            << "chmod" << false << QByteArray("original") << FileOutcome::AsItWas;
        QTest::newRow("file removed, output closed beside it")
            << "unlink" << false << QByteArray("gepackt") << FileOutcome::FinishedWork;
        QTest::newRow("file removed, output still open")
            << "unlink" << true << QByteArray() << FileOutcome::InDoubt;
        QTest::newRow("output renamed into place")
            << "rename" << false << QByteArray("gepackt") << FileOutcome::FinishedWork;
        QTest::newRow("file changed in place")
            << "overwrite" << false << QByteArray("anders") << FileOutcome::InDoubt;
        QTest::newRow("a stranger's file in its place")
            << "stranger" << false << QByteArray("fremd") << FileOutcome::InDoubt;
    }

    void settled()
    {
        QFETCH(QString, done);
        QFETCH(bool, outputOpen);
        QFETCH(QByteArray, content);
        QFETCH(FileOutcome, outcome);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("werk"));
        const QByteArray path = QFile::encodeName(file);
        const QString output = file + QStringLiteral(".upx");
        const QString stranger = dir.filePath(QStringLiteral("werk.000"));
        QVERIFY(writeFile(file, "original") && writeFile(stranger, "fremd"));
        QCOMPARE(::chmod(path.constData(), 0751), 0);
        QCOMPARE(::chown(path.constData(), Owner, Owner), 0);
        const timespec times[2] = {{OriginalTime, 0}, {OriginalTime, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);

        WorkFileGuard guard(file);
        QVERIFY(guard.lookForOutput(::getpid()));
        QFile work(output);
        QVERIFY(work.open(QIODevice::WriteOnly) && work.write("gepackt") == 7 && work.flush());
        QVERIFY(!guard.lookForOutput(::getpid()));
        QCOMPARE(guard.noteOpenOutput(::getpid()), true);
        if (!outputOpen)
            work.close();
        if (done == QLatin1String("chmod"))
            QCOMPARE(::chmod(path.constData(), 0600), 0);
        if (done == QLatin1String("unlink") || done == QLatin1String("stranger"))
            QVERIFY(QFile::remove(file));
        if (done == QLatin1String("stranger"))
            QVERIFY(writeFile(file, "fremd"));
        if (done == QLatin1String("rename"))
            QCOMPARE(::rename(QFile::encodeName(output).constData(), path.constData()), 0);
        if (done == QLatin1String("overwrite"))
            QVERIFY(writeFile(file, "anders"));

        QCOMPARE(guard.settle(outputOpen), outcome);
        work.close();
        QCOMPARE(readFile(stranger), QByteArray("fremd"));
        QVERIFY(!QFile::exists(output));
        QCOMPARE(readFile(file), content);
        struct stat kept = {};
        if (outcome == FileOutcome::InDoubt)
            return;
        QCOMPARE(::stat(path.constData(), &kept), 0);
        QCOMPARE(kept.st_mode & 07777, mode_t(0751));
        QCOMPARE(kept.st_uid, Owner);
        QCOMPARE(kept.st_mtim.tv_sec, OriginalTime);
    }

    void setBackNeverFollowsALink()
    {
        QTemporaryDir dir;
        const QByteArray target = QFile::encodeName(dir.filePath(QStringLiteral("ziel")));
        const QByteArray link = QFile::encodeName(dir.filePath(QStringLiteral("werk")));
        QVERIFY(writeFile(QFile::decodeName(target), "ziel"));
        QCOMPARE(::chmod(target.constData(), 0600), 0);
        QCOMPARE(::symlink(target.constData(), link.constData()), 0);
        FileState was = FileState::of(target);
        was.info.st_mode = S_IFREG | 04777;
        setBack(link, was);
        QCOMPARE(FileState::of(target).info.st_mode & 07777, mode_t(0600));
    }

private:
    static constexpr time_t OriginalTime = 1577880000;
    // Another user than the tests' where they may give files away.
    const uid_t Owner = ::geteuid() == 0 ? 65534 : ::geteuid();
};

QTEST_GUILESS_MAIN(TestFileSettling)
#include "tst_filesettling.moc"
