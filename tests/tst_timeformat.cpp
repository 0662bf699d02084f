// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/timeformat.h"

#include <QApplication>
#include <QLocale>
#include <QTest>
#include <QTime>

class TestTimeFormat : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void format_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("text");

        // 24-hour clocks, with and without the leading zero, and with another separator.
        QTest::newRow("de_DE morning") << "de_DE"
                                       << "HH:mm:ss" << QTime(7, 5, 3) << "07:05:03";
        QTest::newRow("de_DE evening") << "de_DE"
                                       << "HH:mm:ss" << QTime(19, 45, 9) << "19:45:09";
        QTest::newRow("fi_FI") << "fi_FI"
                               << "H.mm.ss" << QTime(7, 5, 3) << "7.05.03";
        QTest::newRow("da_DK") << "da_DK"
                               << "HH.mm.ss" << QTime(0, 0, 0) << "00.00.00";
        // The long format joins hour and minutes with words; the short one has the separator.
        QTest::newRow("ja_JP") << "ja_JP"
                               << "H:mm:ss" << QTime(19, 45, 9) << "19:45:09";
        // Words and no separator anywhere: the colon.
        QTest::newRow("fr_CA") << "fr_CA"
                               << "HH:mm:ss" << QTime(7, 5, 3) << "07:05:03";

        // 12-hour clocks with the marker after the time.
        QTest::newRow("en_US morning") << "en_US"
                                       << "h:mm:ss AP" << QTime(7, 5, 3) << "7:05:03 AM";
        QTest::newRow("en_US evening") << "en_US"
                                       << "h:mm:ss AP" << QTime(19, 45, 9) << "7:45:09 PM";
        QTest::newRow("en_US midnight") << "en_US"
                                        << "h:mm:ss AP" << QTime(0, 0, 0) << "12:00:00 AM";
        QTest::newRow("en_US noon") << "en_US"
                                    << "h:mm:ss AP" << QTime(12, 0, 1) << "12:00:01 PM";
        QTest::newRow("gu_IN leading zero") << "gu_IN"
                                            << "hh:mm:ss AP" << QTime(7, 5, 3) << "07:05:03 AM";

        // 12-hour clocks with the marker before the time, in the locale's own words.
        QTest::newRow("ko_KR morning")
            << "ko_KR"
            << "AP h:mm:ss" << QTime(7, 5, 3) << QStringLiteral("오전 7:05:03");
        QTest::newRow("ko_KR evening")
            << "ko_KR"
            << "AP h:mm:ss" << QTime(19, 45, 9) << QStringLiteral("오후 7:45:09");
        // A day period in place of AM/PM still puts the marker before.
        QTest::newRow("zh_TW") << "zh_TW"
                               << "AP h:mm:ss" << QTime(19, 45, 9)
                               << QStringLiteral("下午 7:45:09");
    }

    void format()
    {
        QFETCH(QString, locale);
        QFETCH(QString, format);
        QFETCH(QTime, time);
        QFETCH(QString, text);

        const QLocale loc(locale);
        QCOMPARE(longTimeFormat(loc), format);
        QCOMPARE(loc.toString(time, longTimeFormat(loc)), text);
    }
};

QTEST_MAIN(TestTimeFormat)
#include "tst_timeformat.moc"
