// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Fuzz target of the profile-file reader and writer. Each input is stored as the settings file;
// then the file is read and one key is written, and the results are checked against rules that
// hold for any content. Built with libFuzzer it explores freely; built without, main() below runs
// a fixed set of generated inputs.

#include "packer/profilefile.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& input)
{
    std::fprintf(stderr, "fuzz_profilefile: broken: %s\ninput (%lld bytes): %s\n", what,
                 static_cast<long long>(input.size()), input.toHex().constData());
    std::abort();
}

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fail(#condition, input);                                                               \
    } while (false)

const QString& workFile()
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("Kompaktor.INI"));
    if (!dir.isValid())
        std::abort();
    return path;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qsizetype codePoints(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        count += !text[i].isLowSurrogate();
    return count;
}

// True when after is before with one spot changed: bytes inserted, or part of one line's text
// replaced. All line feeds and all other bytes of before are still there, in order.
bool changedInOneSpot(const QByteArray& before, const QByteArray& after)
{
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return !before.sliced(prefix, before.size() - prefix - suffix).contains('\n');
}

// Values that come back unchanged: no blanks at the ends, no enclosing quotes, one line.
const char* const Values[] = {"7",
                              "-best",
                              "",
                              "10000",
                              "a=b",
                              "[x]",
                              ";c",
                              "'",
                              "\"a",
                              "x \"q\" y",
                              "\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E"};
const char* const Keys[] = {"Speicher", "kompresslevel", "\xC3\x84PFEL", "a b"};
const char* const Sections[] = {"Option", "oPTION", "Other Section"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const uint8_t pick = size ? data[0] : 0;
    const uint8_t pickValue = size > 1 ? data[1] : 0;
    const QString section = QString::fromUtf8(Sections[pick % std::size(Sections)]);
    const QString key = QString::fromUtf8(Keys[(pick / 4) % std::size(Keys)]);
    const QString otherKey = QStringLiteral("Zz");
    const QString value = QString::fromUtf8(Values[pickValue % std::size(Values)]);
    const QString path = workFile();

    // The text rule alone: what it accepts, it also accepts in plain decimal.
    const std::optional<qint32> number = profileTextToInteger(QString::fromUtf8(input.left(40)));
    if (number)
        CHECK(profileTextToInteger(QString::number(*number)) == number);

    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(input) != input.size())
            std::abort();
    }

    // Reading: the default comes back only for a missing key, so two defaults tell it apart.
    const QString first = readProfileString(path, section, key,
                                            QStringLiteral("\x01"
                                                           "a"));
    const QString second = readProfileString(path, section, key,
                                             QStringLiteral("\x01"
                                                            "b"));
    const bool found = first == second;
    CHECK(found || (first == QStringLiteral("\x01"
                                            "a") &&
                    second == QStringLiteral("\x01"
                                             "b")));
    if (found)
        CHECK(codePoints(first) <= 1023);
    CHECK(readProfileInteger(path, section, key, 4711) ==
          profileTextToInteger(found ? first : QString()).value_or(4711));
    const QString otherBefore = readProfileString(path, section, otherKey, QStringLiteral("-"));
    const QString otherSectionBefore =
        readProfileString(path, QStringLiteral("Other"), key, QStringLiteral("-"));
    CHECK(fileBytes(path) == input);

    // Writing: the value comes back, nothing else changes, and the same write again is a no-op.
    CHECK(writeProfileString(path, section, key, value));
    const QByteArray after = fileBytes(path);
    CHECK(changedInOneSpot(input, after));
    CHECK(after.count('\n') >= input.count('\n'));
    CHECK(readProfileString(path, section, key, QStringLiteral("\x01")) == value);
    CHECK(readProfileString(path, section, otherKey, QStringLiteral("-")) == otherBefore);
    if (section.compare(QStringLiteral("Other"), Qt::CaseInsensitive) != 0)
        CHECK(readProfileString(path, QStringLiteral("Other"), key, QStringLiteral("-")) ==
              otherSectionBefore);
    CHECK(writeProfileString(path, section, key, value));
    CHECK(fileBytes(path) == after);

    // A name that would break the file's structure is refused and changes nothing.
    CHECK(!writeProfileString(path, section, QStringLiteral("x=y"), value));
    CHECK(fileBytes(path) == after);
    return 0;
}

#ifndef KOMPAKTOR_LIBFUZZER

// Without libFuzzer: a fixed, reproducible set of inputs, half random bytes drawn mostly from the
// characters that matter to the format, half mutations of a few typical files.
int main()
{
    const std::vector<QByteArray> seeds = {
        "[Option]\r\nKompresslevel=7\r\nErzwingen=0\r\nSpeicher=10000\r\n",
        "\xEF\xBB\xBF[option]\nSPEICHER = 0x2710\nkompresslevel=\"-best\"\n",
        "; note\r\nSpeicher=1\r\n[Other]\r\nZz=1\r\n[Option]\r\nZz='2'\r\n[Option]\r\nSpeicher=3",
        "[Option]\r\n\r\n\r\n[Other Section]\r\na b=\xFF\xFE\r\n\r\n[Other]\r\nx=\r",
        "[Option\r\n]\r\n=\r\n[]\r\n[ Option ] tail\r\n\xC3\xA4pfel=1\r\n;Zz=2\r\n",
    };
    const std::vector<QByteArray> tokens = {"[",       "]",
                                            "=",       "\r\n",
                                            "\n",      "\r",
                                            " ",       "\t",
                                            "\"",      "'",
                                            ";",       "\xEF\xBB\xBF",
                                            "\xFF",    QByteArray("\0", 1),
                                            "0x",      "$",
                                            "-",       "[Option]",
                                            "[Other]", "Speicher",
                                            "Zz",      "\xC3\x84PFEL",
                                            "a b",     "7"};

    std::mt19937 random(20240607);
    auto below = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    const int count = 2000;
    for (int i = 0; i < count; ++i) {
        QByteArray input;
        if (i % 2 == 0) {
            const size_t length = below(400);
            while (static_cast<size_t>(input.size()) < length) {
                if (below(10) < 7)
                    input += tokens[below(tokens.size())];
                else
                    input += static_cast<char>(random() & 0xFF);
            }
        } else {
            input = seeds[below(seeds.size())];
            for (size_t m = 1 + below(6); m > 0; --m) {
                const qsizetype at = static_cast<qsizetype>(below(input.size() + 1));
                switch (below(4)) {
                case 0:
                    input.insert(at, tokens[below(tokens.size())]);
                    break;
                case 1:
                    input.remove(at, static_cast<qsizetype>(below(8)));
                    break;
                case 2:
                    if (at < input.size())
                        input[at] = static_cast<char>(random() & 0xFF);
                    break;
                default:
                    input.insert(at, input.mid(at, static_cast<qsizetype>(below(16))));
                    break;
                }
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()),
                               static_cast<size_t>(input.size()));
    }
    std::printf("fuzz_profilefile: %d inputs passed\n", count);
    return 0;
}

#endif
