// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/profilefile.h"
#include "testing.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Stands for "the default came back" in the tables.
const QString Missing = QStringLiteral("<missing>");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What the child of the kill-at-save test writes: the thirteen options, all of them changed.
const QList<std::pair<QString, QString>> ChangedOptions = {
    {u"Kompresslevel"_s, u"9"_s}, {u"Erzwingen"_s, u"1"_s},     {u"Methode1"_s, u"1"_s},
    {u"O_Entfernen"_s, u"1"_s},   {u"O_Ablehnen"_s, u"1"_s},    {u"Support8086"_s, u"1"_s},
    {u"ExeHeader"_s, u"1"_s},     {u"Speicher"_s, u"500000"_s}, {u"Export"_s, u"1"_s},
    {u"Resource"_s, u"1"_s},      {u"Recorde"_s, u"1"_s},       {u"NoIcons"_s, u"1"_s},
    {u"AllIcons"_s, u"1"_s}};

// The child's part: stop, so that the tracer starts counting, then save once.
int saveOnceWhenTraced(const char* path)
{
    ::raise(SIGSTOP);
    return writeProfileStrings(QFile::decodeName(path), u"Option"_s, ChangedOptions) ? 0 : 1;
}

// Runs this program's saving child under ptrace and kills it on entering its n-th system call
// after it stopped itself; with n = 0, or fewer than n calls, the save runs to its end. Returns
// the number of system calls the child entered, or -1 when it could not be traced.
int saveKilledAtCall(const QString& path, int n)
{
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray file = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        char* const argv[] = {const_cast<char*>(program.constData()),
                              const_cast<char*>("--save-once"), const_cast<char*>(file.data()),
                              nullptr};
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    int calls = 0;
    bool counting = false;
    bool entering = true;
    while (::waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
        int deliver = 0;
        if (WSTOPSIG(status) == SIGSTOP && !counting) {
            counting = true;
            ::ptrace(PTRACE_SETOPTIONS, child, nullptr,
                     reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
        } else if (WSTOPSIG(status) == (SIGTRAP | 0x80)) {
            if (entering && ++calls == n) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                return calls;
            }
            entering = !entering;
        } else if (WSTOPSIG(status) != SIGTRAP) {
            deliver = WSTOPSIG(status);
        }
        ::ptrace(counting ? PTRACE_SYSCALL : PTRACE_CONT, child, nullptr,
                 reinterpret_cast<void*>(qintptr(deliver)));
    }
    return counting && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? calls : -1;
}

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("Kompaktor.INI"));
    }

    void cleanup()
    {
        // Tests take write permission away; give it back so that the folder can be removed.
        QDirIterator it(m_dir->path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
        while (it.hasNext())
            ::chmod(QFile::encodeName(it.next()).constData(), 0700);
        m_dir.reset();
    }

    void textToInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        auto ok = [](const char* name, const QString& text, int value) {
            QTest::newRow(name) << text << true << value;
        };
        auto bad = [](const char* name, const QString& text) {
            QTest::newRow(name) << text << false << 0;
        };
        ok("zero", "0", 0);
        ok("minus zero", "-0", 0);
        ok("plus", "+5", 5);
        ok("leading zeros", "00012", 12);
        ok("leading spaces", "   12", 12);
        ok("max", "2147483647", 2147483647);
        ok("min", "-2147483648", -2147483647 - 1);
        ok("dollar", "$2710", 10000);
        ok("0x", "0x2710", 10000);
        ok("0X lower digits", "0Xabcd", 0xABCD);
        ok("all bits", "$FFFFFFFF", -1);
        ok("sign bit", "$80000000", -2147483647 - 1);
        ok("hex leading zeros", "$000000001", 1);
        ok("spaces then dollar", "  $10", 16);
        ok("0x1", "0x1", 1);
        bad("empty", "");
        bad("spaces only", "   ");
        bad("over max", "2147483648");
        bad("under min", "-2147483649");
        bad("very long", "99999999999999999999999");
        bad("hex over 32 bits", "$100000000");
        bad("dollar alone", "$");
        bad("0x alone", "0x");
        bad("0x not first", " 0x10");
        bad("0x then sign", "0x-1");
        bad("sign before dollar", "-$1");
        bad("bad hex digit", "$1G");
        bad("sign alone", "-");
        bad("two signs", "+-1");
        bad("tab before", "\t12");
        bad("blank after", "12 ");
        bad("two groups", "1 2");
        bad("word", "true");
        bad("arabic digits", QStringLiteral("\u0661\u0662"));
        bad("fullwidth digit", QStringLiteral("\uFF15"));
    }

    void textToInteger()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const std::optional<qint32> result = profileTextToInteger(text);
        QCOMPARE(result.has_value(), valid);
        if (valid)
            QCOMPARE(*result, value);
    }

    void readValue_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* content, const char* key, const QString& v) {
            QTest::newRow(name) << QByteArray(content) << QString::fromUtf8(key) << v;
        };
        row("plain", "[Option]\r\nSpeicher=5\r\n", "Speicher", "5");
        row("letter case", "[oPTION]\r\nSPEICHER=5\r\n", "speicher", "5");
        row("non-ASCII letter case", "[Option]\n\xC3\x84PFEL=1\n", "\xC3\xA4pfel", "1");
        row("blanks around", "  [ Option ] \r\n \t Speicher \t= \t 5 \t\r\n", "Speicher", "5");
        row("text after section", "[Option] ; settings\r\nSpeicher=5\r\n", "Speicher", "5");
        row("equals in value", "[Option]\r\nKompresslevel=a=b\r\n", "Kompresslevel", "a=b");
        row("double quotes", "[Option]\r\nK=  \"a b\"  \r\n", "K", "a b");
        row("single quotes", "[Option]\r\nK='a b'\r\n", "K", "a b");
        row("blanks inside quotes", "[Option]\r\nK=\" a \"\r\n", "K", " a ");
        row("mixed quotes kept", "[Option]\r\nK=\"a'\r\n", "K", "\"a'");
        row("one quote kept", "[Option]\r\nK=\"\r\n", "K", "\"");
        row("one pair only", "[Option]\r\nK=\"\"a\"\"\r\n", "K", "\"a\"");
        row("empty quotes", "[Option]\r\nK=\"\"\r\n", "K", "");
        row("empty value", "[Option]\r\nKompresslevel=\r\n", "Kompresslevel", "");
        row("blank value", "[Option]\r\nKompresslevel= \t \r\n", "Kompresslevel", "");
        row("LF only", "[Option]\nA=1\nB=2\n", "B", "2");
        row("no final break", "[Option]\r\nB=2", "B", "2");
        row("carriage return at end", "[Option]\r\nB=2\r", "B", "2");
        row("byte-order mark", "\xEF\xBB\xBF[Option]\r\nB=2\r\n", "B", "2");
        row("UTF-8 value", "[Option]\r\nK=\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E\r\n", "K",
            QStringLiteral("\u00E4\u20AC\U0001D11E"));
        row("not UTF-8", "[Option]\r\nK=\xFF\xFE\r\n", "K", QStringLiteral("\uFFFD\uFFFD"));
        row("garbage before", "\x01\xFF=]\r\n[\r\n[Option]\r\nK=1\r\n", "K", "1");
        row("first key wins", "[Option]\r\nK=1\r\nK=2\r\n", "K", "1");
        row("first section wins", "[Option]\r\nK=1\r\n[Option]\r\nK=2\r\n", "K", "1");
        row("only in second section", "[Option]\r\nX=1\r\n[option]\r\nK=2\r\n", "K", Missing);
        row("key missing", "[Option]\r\nX=1\r\n", "K", Missing);
        row("section missing", "[Other]\r\nK=1\r\n", "K", Missing);
        row("key in other section", "[Option]\r\n[Other]\r\nK=1\r\n", "K", Missing);
        row("key before sections", "K=1\r\n[Option]\r\n", "K", Missing);
        row("comment", "[Option]\r\n;K=1\r\n", "K", Missing);
        row("unclosed section", "[Other]\r\n[Option\r\nK=1\r\n", "K", Missing);
        row("no equals", "[Option]\r\nK\r\n", "K", Missing);
        row("empty file", "", "K", Missing);
    }

    void readValue()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QVERIFY(writeFile(m_path, content));
        QCOMPARE(readProfileString(m_path, QStringLiteral("Option"), key, Missing), expected);
    }

    void readInteger_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("5") << 5;
        QTest::newRow("0x after blanks") << QByteArray("  0x2710") << 10000;
        QTest::newRow("quoted hex") << QByteArray("\"$10\"") << 16;
        QTest::newRow("spaces inside quotes") << QByteArray("\"  12\"") << 12;
        QTest::newRow("blank inside quotes after") << QByteArray("\"12 \"") << 4711;
        QTest::newRow("two groups") << QByteArray("5 5") << 4711;
        QTest::newRow("empty") << QByteArray("") << 4711;
        QTest::newRow("word") << QByteArray("yes") << 4711;
    }

    void readInteger()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QVERIFY(writeFile(m_path, "[Option]\r\nSpeicher=" + value + "\r\n"));
        QCOMPARE(
            readProfileInteger(m_path, QStringLiteral("option"), QStringLiteral("speicher"), 4711),
            expected);
        QCOMPARE(readProfileInteger(m_path, QStringLiteral("Option"), QStringLiteral("Other"), -3),
                 -3);
    }

    void valueLength()
    {
        auto readBack = [this](const QByteArray& value) {
            if (!writeFile(m_path, "[Option]\r\nK=" + value + "\r\n"))
                return QStringLiteral("<not written>");
            return readProfileString(m_path, QStringLiteral("Option"), QStringLiteral("K"), {});
        };
        QCOMPARE(readBack(QByteArray(1023, 'a')), QString(1023, u'a'));
        QCOMPARE(readBack(QByteArray(5000, 'a')), QString(1023, u'a'));
        // The quotes are taken off before the length is cut.
        QCOMPARE(readBack('"' + QByteArray(1023, 'a') + '"'), QString(1023, u'a'));
        // A character outside the BMP counts once and is never cut in half.
        const QString clef = QStringLiteral("\U0001D11E");
        QCOMPARE(readBack(QByteArray(1022, 'a') + clef.toUtf8() + "b"), QString(1022, u'a') + clef);
        QCOMPARE(readBack(QByteArray(1023, 'a') + clef.toUtf8()), QString(1023, u'a'));
    }

    void readOddPaths()
    {
        const QString section = QStringLiteral("Option");
        const QString key = QStringLiteral("K");
        QCOMPARE(readProfileString(m_path, section, key, Missing), Missing);
        QCOMPARE(readProfileString(m_dir->path(), section, key, Missing), Missing);
        // A pipe must not block the reader.
        const QString fifo = m_dir->filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(readProfileString(fifo, section, key, Missing), Missing);
        QCOMPARE(readProfileInteger(fifo, section, key, 7), 7);
    }

    void writeEdits_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        auto row = [](const char* name, QByteArray before, const char* key, const char* value,
                      QByteArray after) {
            QTest::newRow(name) << before << QString::fromUtf8(key) << QString::fromUtf8(value)
                                << after;
        };
        row("replace", "[Option]\r\nA=1\r\nB=2\r\n", "A", "9", "[Option]\r\nA=9\r\nB=2\r\n");
        row("replace keeps LF", "[Option]\nA=1\nB=2\n", "B", "9", "[Option]\nA=1\nB=9\n");
        row("replace other spelling", "[option]\r\n  a = \"1\" \r\n", "A", "9",
            "[option]\r\nA=9\r\n");
        row("replace first only", "[Option]\r\nA=1\r\nA=2\r\n[Option]\r\nA=3\r\n", "A", "9",
            "[Option]\r\nA=9\r\nA=2\r\n[Option]\r\nA=3\r\n");
        row("add to first section", "[Option]\r\nX=1\r\n[Option]\r\nA=2\r\n", "A", "9",
            "[Option]\r\nX=1\r\nA=9\r\n[Option]\r\nA=2\r\n");
        row("add after last content", "[Option]\r\nX=1\r\n\r\n \r\n[Other]\r\nY=2\r\n", "A", "9",
            "[Option]\r\nX=1\r\nA=9\r\n\r\n \r\n[Other]\r\nY=2\r\n");
        row("add after header", "[Option]\r\n\r\n[Other]\r\n", "A", "9",
            "[Option]\r\nA=9\r\n\r\n[Other]\r\n");
        row("add after comment", "[Option]\r\n;A=1\r\n", "A", "9", "[Option]\r\n;A=1\r\nA=9\r\n");
        row("add without final break", "[Option]\r\nX=1", "A", "9", "[Option]\r\nX=1\r\nA=9\r\n");
        row("add after lone CR", "[Option]\r\nX=1\r", "A", "9", "[Option]\r\nX=1\r\nA=9\r\n");
        row("add to LF file", "[Option]\nX=1\n", "A", "9", "[Option]\nX=1\nA=9\r\n");
        row("add section", "; note\r\nfree=1\r\n[Other]\r\nY=2", "A", "9",
            "; note\r\nfree=1\r\n[Other]\r\nY=2\r\n[Option]\r\nA=9\r\n");
        row("keys before sections kept", "A=1\r\n[Option]\r\n", "A", "9",
            "A=1\r\n[Option]\r\nA=9\r\n");
        row("byte-order mark kept", "\xEF\xBB\xBF[Option]\r\nA=1\r\n", "A", "9",
            "\xEF\xBB\xBF[Option]\r\nA=9\r\n");
        row("byte-order mark only", "\xEF\xBB\xBF", "A", "9", "\xEF\xBB\xBF[Option]\r\nA=9\r\n");
        row("foreign bytes kept", "[X]\r\nN=\xE4\xFC\x00\r\n[Option]\r\nA=1\r\n"_ba, "A", "9",
            "[X]\r\nN=\xE4\xFC\x00\r\n[Option]\r\nA=9\r\n"_ba);
        row("empty value", "[Option]\r\nA=1\r\n", "A", "", "[Option]\r\nA=\r\n");
        row("UTF-8 value", "", "A", "\xC3\xA4", "[Option]\r\nA=\xC3\xA4\r\n");
        row("line breaks in value", "[Option]\r\nB=2\r\n", "A", "x\r\n[B]",
            "[Option]\r\nB=2\r\nA=x  [B]\r\n");
        row("blanks around name", "[Option]\r\nA=1\r\n", " A\t", "9", "[Option]\r\nA=9\r\n");
    }

    void writeEdits()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        QVERIFY(writeFile(m_path, before));
        QVERIFY(writeProfileString(m_path, QStringLiteral("Option"), key, value));
        QCOMPARE(fileBytes(m_path), after);
    }

    void writeFromNothing()
    {
        const QString option = QStringLiteral("Option");
        QVERIFY(writeProfileString(m_path, option, QStringLiteral("Kompresslevel"), "-best"));
        QVERIFY(writeProfileString(m_path, option, QStringLiteral("Erzwingen"), "0"));
        QVERIFY(writeProfileString(m_path, option, QStringLiteral("Speicher"), "10000"));
        QVERIFY(writeProfileString(m_path, option, QStringLiteral("Erzwingen"), "1"));
        QCOMPARE(
            fileBytes(m_path),
            QByteArray("[Option]\r\nKompresslevel=-best\r\nErzwingen=1\r\nSpeicher=10000\r\n"));
        QCOMPARE(readProfileString(m_path, option, QStringLiteral("Kompresslevel"), Missing),
                 QStringLiteral("-best"));
        QCOMPARE(readProfileInteger(m_path, option, QStringLiteral("Speicher"), 0), 10000);

        const QString empty = m_dir->filePath(QStringLiteral("empty.ini"));
        QVERIFY(writeFile(empty, {}));
        QVERIFY(writeProfileString(empty, option, QStringLiteral("A"), "1"));
        QCOMPARE(fileBytes(empty), QByteArray("[Option]\r\nA=1\r\n"));
    }

    void writeReplacesFile()
    {
        const QString option = QStringLiteral("Option");
        const QString key = QStringLiteral("A");
        QVERIFY(writeFile(m_path, "[Option]\r\nA=1\r\n"));
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup));
        const ino_t first = inodeOf(m_path);
        QVERIFY(writeProfileString(m_path, option, key, "2"));
        // A new file took the old one's place, with the old one's permissions.
        const ino_t second = inodeOf(m_path);
        QVERIFY(second != first);
        QCOMPARE(QFile::permissions(m_path) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        // Storing the value that is already there does not touch the file.
        QVERIFY(writeProfileString(m_path, option, key, "2"));
        QCOMPARE(inodeOf(m_path), second);
        QVERIFY(QDir(m_dir->path()).entryList(QDir::Files) == QStringList{"Kompaktor.INI"});

        // A link to the settings file stays a link; the file it names gets the value.
        const QString link = m_dir->filePath(QStringLiteral("link.ini"));
        QVERIFY(QFile::link(m_path, link));
        QVERIFY(writeProfileString(link, option, key, "3"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(fileBytes(m_path), QByteArray("[Option]\r\nA=3\r\n"));
    }

    void writeKeepsOwner()
    {
        if (::geteuid() != 0)
            QSKIP("Only root can hand a file to another user");
        QVERIFY(writeFile(m_path, "[Option]\r\nA=1\r\n"));
        QCOMPARE(::chown(QFile::encodeName(m_path).constData(), 65534, 65534), 0);
        QVERIFY(writeProfileString(m_path, QStringLiteral("Option"), QStringLiteral("A"), "2"));
        QCOMPARE(fileBytes(m_path), QByteArray("[Option]\r\nA=2\r\n"));
        QCOMPARE(QFileInfo(m_path).ownerId(), 65534u);
        QCOMPARE(QFileInfo(m_path).groupId(), 65534u);
    }

    void writeRefused()
    {
        const QString option = QStringLiteral("Option");
        const QString key = QStringLiteral("A");
        const QByteArray content("[Option]\r\nA=1\r\n");
        auto refusedAndKept = [&](const QString& path, const QString& section,
                                  const QString& name) {
            return !writeProfileString(path, section, name, "2") && fileBytes(path) == content;
        };

        // Write-protected file: refused for every user, root included.
        QVERIFY(writeFile(m_path, content));
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        QVERIFY(refusedAndKept(m_path, option, key));
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        // Names that would break the file's structure.
        for (const char* name : {"", "  ", "A=B", "[A", ";A", "A\nB", "A\rB"})
            QVERIFY2(refusedAndKept(m_path, option, QString::fromUtf8(name)), name);
        for (const char* name : {"", "O]x", "O\nx"})
            QVERIFY2(refusedAndKept(m_path, QString::fromUtf8(name), key), name);

        // A file that cannot be read cannot be kept (root reads anything).
        if (::geteuid() != 0) {
            QVERIFY(QFile::setPermissions(m_path, QFileDevice::WriteOwner));
            QVERIFY(!writeProfileString(m_path, option, key, "2"));
            QVERIFY(
                QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            QCOMPARE(fileBytes(m_path), content);
        }

        // Write-protected folder: no new file; an existing file that may be written is written
        // in place, as no temporary file can be made beside it.
        const QString folder = m_dir->filePath(QStringLiteral("locked"));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("locked")));
        const QString inside = folder + QStringLiteral("/Kompaktor.INI");
        QVERIFY(writeFile(inside, content));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(writeProfileString(inside, option, key, "2"));
        QCOMPARE(fileBytes(inside), QByteArray("[Option]\r\nA=2\r\n"));
        QVERIFY(!writeProfileString(folder + QStringLiteral("/new.ini"), option, key, "2"));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/new.ini")));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);

        // Paths that name no writable regular file.
        QVERIFY(!writeProfileString(m_dir->path(), option, key, "2"));
        QVERIFY(
            !writeProfileString(m_dir->filePath(QStringLiteral("no/such.ini")), option, key, "2"));
        const QString fifo = m_dir->filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!writeProfileString(fifo, option, key, "2"));
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    }

    void largeAndBinaryFiles()
    {
        const QString option = QStringLiteral("Option");
        const QString key = QStringLiteral("A");

        // A 10 MB line without a line break in front of the section, then a 10 MB value.
        const QByteArray junk(10 * 1024 * 1024, '[');
        const QByteArray big = junk + "\n[Option]\nA=" + QByteArray(10 * 1024 * 1024, 'x');
        QVERIFY(writeFile(m_path, big));
        QCOMPARE(readProfileString(m_path, option, key, Missing), QString(1023, u'x'));
        QVERIFY(writeProfileString(m_path, option, QStringLiteral("B"), "2"));
        QCOMPARE(fileBytes(m_path), big + "\r\nB=2\r\n");

        // A million short lines.
        QByteArray many;
        for (int i = 0; i < 1000000; ++i)
            many += "k=v\n";
        QVERIFY(writeFile(m_path, many + "[Option]\nA=1"));
        QCOMPARE(readProfileInteger(m_path, option, key, 0), 1);

        // Binary garbage: no value, and a write keeps every byte of it.
        QRandomGenerator random(1234);
        QByteArray garbage(1 << 20, '\0');
        random.fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
        QVERIFY(writeFile(m_path, garbage));
        QCOMPARE(readProfileString(m_path, option, key, Missing), Missing);
        QVERIFY(writeProfileString(m_path, option, key, "7"));
        QVERIFY(fileBytes(m_path).startsWith(garbage));
        QCOMPARE(readProfileString(m_path, option, key, Missing), QStringLiteral("7"));
    }

    void savingIsAllOrNothing()
    {
        // A saving process is killed on entering each of the system calls of its save in turn,
        // until one runs to its end: the file is then exactly the old one or exactly the new
        // one, and both occur. A run may make a call more or less than another (the C library's
        // own), so the kills go on until the save is not reached by one.
        const QByteArray old = "[Option]\r\nKompresslevel=7\r\nSpeicher=10000\r\n";
        QVERIFY(writeFile(m_path, old));
        const int calls = saveKilledAtCall(m_path, 0);
        if (calls < 0)
            QSKIP("the system does not let a process trace its child");
        const QByteArray saved = fileBytes(m_path);
        QVERIFY(saved.contains("Speicher=500000\r\n") && saved.endsWith("AllIcons=1\r\n"));
        int outcomes[2] = {0, 0};
        for (int n = 1;; ++n) {
            QVERIFY2(n <= 2 * calls, "the save does not come to its end");
            for (const QString& leftover : QDir(m_dir->path()).entryList(QDir::Files))
                QVERIFY(QFile::remove(m_dir->filePath(leftover)));
            QVERIFY(writeFile(m_path, old));
            const int entered = saveKilledAtCall(m_path, n);
            QVERIFY(entered > 0);
            const QByteArray now = fileBytes(m_path);
            if (entered < n) {
                QCOMPARE(now, saved);
                break;
            }
            QVERIFY2(now == old || now == saved, qPrintable(u"killed at call %1"_s.arg(n)));
            ++outcomes[now == old ? 0 : 1];
        }
        qInfo("%d system calls: old file %d times, new file %d times", calls, outcomes[0],
              outcomes[1]);
        QVERIFY(outcomes[0] > 0 && outcomes[1] > 0);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--save-once") == 0)
        return saveOnceWhenTraced(argv[2]);
    QCoreApplication application(argc, argv);
    TestProfileFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_profilefile.moc"
