// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"
#include "app/tsysinf.h"
#include "platform/memorystatus.h"

#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

namespace {

constexpr quint64 KiB = 1024;
constexpr quint64 MiB = 1024 * KiB;
constexpr quint64 GiB = 1024 * MiB;
constexpr quint64 TiB = 1024 * GiB;

const QStringList Labels = {QStringLiteral("phys. Speicher"), QStringLiteral("phys. Speicher frei"),
                            QStringLiteral("Auslagerungsspeicher"),
                            QStringLiteral("Auslagerungsspeicher frei")};

QString cell(const QTableWidget* grid, int row, int column)
{
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

// A memory source that counts its reads and reports more memory at each one.
struct CountingSource {
    int reads = 0;
    MemoryStatus operator()()
    {
        ++reads;
        const quint64 n = quint64(reads);
        return {n * GiB, n * MiB, 2 * n * GiB, 2 * n * MiB};
    }
};

// Opens the dialog as the main window does and waits until it has the keyboard.
bool openAndActivate(TSysInf& dialog)
{
    dialog.open();
    dialog.activateWindow();
    return QTest::qWaitForWindowActive(&dialog);
}

} // namespace

Q_DECLARE_METATYPE(MemoryStatus)

class TestTSysInf : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void layout()
    {
        TSysInf dialog([] { return MemoryStatus{}; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Speicherinformationen"));
        QCOMPARE(dialog.size(), QSize(355, 201));
        QCOMPARE(dialog.pos(), QPoint(338, 301));
        QCOMPARE(QFontInfo(dialog.font()).pixelSize(), 13);
        QCOMPARE(dialog.font().family(), QStringLiteral("Arial"));
        QVERIFY(!dialog.font().bold() && !dialog.font().italic());
        QCOMPARE(dialog.palette().color(QPalette::WindowText), QColor(Qt::black));

        // Found by name, as the main window and tools find them.
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1")), dialog.BitBtn1);
        QCOMPARE(dialog.findChild<QTableWidget*>(QStringLiteral("StringGrid1")),
                 dialog.StringGrid1);

        QCOMPARE(dialog.BitBtn1->geometry(), QRect(103, 120, 127, 37));
        QCOMPARE(dialog.BitBtn1->text(), QStringLiteral("&Schließen"));
        QCOMPARE(dialog.BitBtn1->accessibleName(), QStringLiteral("Schließen"));
        QVERIFY(!dialog.BitBtn1->icon().isNull());

        QCOMPARE(dialog.StringGrid1->geometry(), QRect(6, 6, 331, 103));
        QCOMPARE(dialog.StringGrid1->columnCount(), 2);
        QCOMPARE(dialog.StringGrid1->rowCount(), 17);
        QCOMPARE(dialog.StringGrid1->accessibleName(), QStringLiteral("Speicherinformationen"));

        // Opening puts the keyboard on the button; Tab goes on to the grid, which cannot be
        // edited.
        QVERIFY(openAndActivate(dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.BitBtn1);
        QTest::keyClick(dialog.BitBtn1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.StringGrid1);
        dialog.StringGrid1->setCurrentCell(1, 1);
        QTest::keyClick(dialog.StringGrid1, Qt::Key_F2);
        QTest::keyClicks(dialog.StringGrid1, QStringLiteral("12"));
        QTest::mouseDClick(
            dialog.StringGrid1->viewport(), Qt::LeftButton, {},
            dialog.StringGrid1->visualItemRect(dialog.StringGrid1->item(1, 1)).center());
        QCOMPARE(QApplication::focusWidget(), dialog.StringGrid1);
        QVERIFY(!dialog.StringGrid1->findChild<QLineEdit*>());
        QCOMPARE(cell(dialog.StringGrid1, 1, 1), QStringLiteral("0 KByte"));
    }

    void figures_data()
    {
        QTest::addColumn<MemoryStatus>("status");
        QTest::addColumn<QStringList>("texts");

        QTest::newRow("64 MiB, 1023 bytes, 3 GiB, 6 TiB")
            << MemoryStatus{64 * MiB, 1023, 3 * GiB, 6 * TiB}
            << QStringList{"65536 KByte", "0 KByte", "3145728 KByte", "6442450944 KByte"};
        QTest::newRow("remainders dropped")
            << MemoryStatus{1024, 2047, 4 * GiB - 1, 4 * GiB}
            << QStringList{"1 KByte", "1 KByte", "4194303 KByte", "4194304 KByte"};
        QTest::newRow("nothing") << MemoryStatus{0, 0, 0, 0}
                                 << QStringList{"0 KByte", "0 KByte", "0 KByte", "0 KByte"};
        QTest::newRow("largest count")
            << MemoryStatus{~quint64(0), 0, 0, 0}
            << QStringList{"18014398509481983 KByte", "0 KByte", "0 KByte", "0 KByte"};
    }

    void figures()
    {
        QFETCH(MemoryStatus, status);
        QFETCH(QStringList, texts);

        TSysInf dialog([status] { return status; });
        dialog.show();
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(cell(dialog.StringGrid1, row, 0), Labels.at(row));
            QCOMPARE(cell(dialog.StringGrid1, row, 1), texts.at(row));
        }
        for (int row = 4; row < dialog.StringGrid1->rowCount(); ++row) {
            QVERIFY(cell(dialog.StringGrid1, row, 0).isEmpty());
            QVERIFY(cell(dialog.StringGrid1, row, 1).isEmpty());
        }
    }

    void realSource()
    {
        const MemoryStatus status = GlobalMemoryStatus();
        QVERIFY(status.totalPhys > 0);
        QVERIFY(status.availPhys > 0);
        QVERIFY(status.availPhys <= status.totalPhys);
        // A machine may have no swap at all; then both figures are zero.
        QVERIFY(status.availPageFile <= status.totalPageFile);

        TSysInf dialog;
        dialog.show();
        QCOMPARE(cell(dialog.StringGrid1, 0, 1),
                 QString::number(status.totalPhys / 1024) + QStringLiteral(" KByte"));
    }

    void memInfo_data()
    {
        QTest::addColumn<QByteArray>("meminfo");
        QTest::addColumn<MemoryStatus>("expected");

        const MemoryStatus fallback{4096, 2048, 1024, 512};
        QTest::newRow("current kernel")
            << QByteArray("MemTotal:       24683736 kB\n"
                          "MemFree:        23813308 kB\n"
                          "MemAvailable:   24172524 kB\n"
                          "Buffers:            6884 kB\n"
                          "Cached:           528496 kB\n"
                          "SwapTotal:      8388604 kB\n"
                          "SwapFree:       8388000 kB\n"
                          "HugePages_Total:       0\n")
            << MemoryStatus{24683736 * KiB, 24172524 * KiB, 8388604 * KiB, 8388000 * KiB};
        QTest::newRow("old kernel without estimate")
            << QByteArray("MemTotal: 8000 kB\nMemFree: 1000 kB\nBuffers: 200 kB\n"
                          "Cached: 3000 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n")
            << MemoryStatus{8000 * KiB, 4200 * KiB, 0, 0};
        QTest::newRow("free above total is capped")
            << QByteArray("MemTotal: 100 kB\nMemAvailable: 150 kB\nSwapTotal: 10 kB\n"
                          "SwapFree: 11 kB\n")
            << MemoryStatus{100 * KiB, 100 * KiB, 10 * KiB, 10 * KiB};
        QTest::newRow("missing and broken lines")
            << QByteArray("MemTotal: lots kB\nSwapTotal 5 kB\nSwapFree: 7 MB\n") << fallback;
        QTest::newRow("empty") << QByteArray() << fallback;
    }

    void memInfo()
    {
        QFETCH(QByteArray, meminfo);
        QFETCH(MemoryStatus, expected);

        const MemoryStatus status = memoryStatusFromMemInfo(meminfo, {4096, 2048, 1024, 512});
        QCOMPARE(status.totalPhys, expected.totalPhys);
        QCOMPARE(status.availPhys, expected.availPhys);
        QCOMPARE(status.totalPageFile, expected.totalPageFile);
        QCOMPARE(status.availPageFile, expected.availPageFile);
    }

    // Each opening reads the figures afresh; switching windows while open does not.
    void readsAtEachOpening()
    {
        CountingSource source;
        TSysInf dialog([&source] { return source(); });
        QCOMPARE(source.reads, 0);

        QVERIFY(openAndActivate(dialog));
        QCOMPARE(source.reads, 1);
        QCOMPARE(cell(dialog.StringGrid1, 0, 1), QStringLiteral("1048576 KByte"));

        QWidget other;
        other.setGeometry(0, 0, 100, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!dialog.isActiveWindow());
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(source.reads, 1);
        QCOMPARE(cell(dialog.StringGrid1, 0, 1), QStringLiteral("1048576 KByte"));

        dialog.BitBtn1->click();
        QVERIFY(!dialog.isVisible());
        QVERIFY(openAndActivate(dialog));
        QCOMPARE(source.reads, 2);
        QCOMPARE(cell(dialog.StringGrid1, 0, 1), QStringLiteral("2097152 KByte"));
        QCOMPARE(cell(dialog.StringGrid1, 3, 1), QStringLiteral("4096 KByte"));
    }

    void columnsAndRows()
    {
        TSysInf dialog([] { return MemoryStatus{}; });
        dialog.show();
        const QTableWidget* grid = dialog.StringGrid1;
        const QSize viewport = grid->viewport()->size();
        QVERIFY(viewport.width() > 0);
        QCOMPARE(grid->columnWidth(0), viewport.width() / 2);
        QCOMPARE(grid->columnWidth(1), viewport.width() / 2);

        // Rows 0 to 3 show with their text; row 4 begins below the visible area.
        const int textHeight = grid->fontMetrics().height();
        for (int row = 0; row < 4; ++row) {
            QVERIFY(grid->rowViewportPosition(row) + textHeight <= viewport.height());
            QCOMPARE(grid->rowAt(grid->rowViewportPosition(row)), row);
        }
        QVERIFY(grid->rowViewportPosition(4) >= viewport.height());
        QCOMPARE(grid->rowAt(viewport.height() - 1), 3);
    }

    void resizingMovesNothing_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("larger") << QSize(640, 480);
        QTest::newRow("smaller") << QSize(200, 90);
    }

    void resizingMovesNothing()
    {
        QFETCH(QSize, size);
        TSysInf dialog([] { return MemoryStatus{}; });
        dialog.show();
        const int column = dialog.StringGrid1->columnWidth(0);
        dialog.resize(size);
        QCOMPARE(dialog.size(), size);
        QCOMPARE(dialog.BitBtn1->geometry(), QRect(103, 120, 127, 37));
        QCOMPARE(dialog.StringGrid1->geometry(), QRect(6, 6, 331, 103));
        QCOMPARE(dialog.StringGrid1->columnWidth(0), column);
    }

    void closing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("closes");
        QTest::newRow("button") << "button" << true;
        QTest::newRow("Alt+S") << "Alt+S" << true;
        QTest::newRow("Escape") << "Escape" << true;
        QTest::newRow("close box") << "close box" << true;
        QTest::newRow("Return on the button") << "Return on the button" << true;
        QTest::newRow("Space on the button") << "Space on the button" << true;
        // The button is no default button: Enter in the grid leaves the dialog open.
        QTest::newRow("Enter in the grid") << "Enter" << false;
        QTest::newRow("S without Alt in the grid") << "S" << false;
    }

    void closing()
    {
        QFETCH(QString, how);
        QFETCH(bool, closes);

        TSysInf dialog([] { return MemoryStatus{}; });
        QSignalSpy finished(&dialog, &QDialog::finished);
        QVERIFY(openAndActivate(dialog));

        if (how == QLatin1String("button")) {
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        } else if (how == QLatin1String("Alt+S")) {
            QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
        } else if (how == QLatin1String("Escape")) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else if (how == QLatin1String("close box")) {
            dialog.windowHandle()->close();
        } else if (how.endsWith(QLatin1String(" on the button"))) {
            dialog.BitBtn1->setFocus();
            QTest::keyClick(dialog.BitBtn1, how.startsWith(QLatin1String("Return"))
                                                ? Qt::Key_Return
                                                : Qt::Key_Space);
        } else {
            dialog.StringGrid1->setFocus();
            QTest::keyClick(dialog.StringGrid1,
                            how == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_S);
        }

        // The access key presses the button visibly before it clicks, as a click would.
        if (closes)
            QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.count(), closes ? 1 : 0);
        QCOMPARE(dialog.isVisible(), !closes);
    }
};

QTEST_MAIN(TestTSysInf)
#include "tst_tsysinf.moc"
