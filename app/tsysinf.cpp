// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/tsysinf.h"

#include "platform/sysmetrics.h"

#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>

#include <utility>

namespace {

// The window's outer rectangle: a sizeable frame around the client area.
constexpr QRect OuterRect(338, 301, 355, 201);

constexpr int GridColumns = 2;
constexpr int GridRows = 17;
// The grid's height shows this many rows; the others lie below.
constexpr int VisibleRows = 4;

// A byte count in whole KiB, the remainder dropped.
QString kiloBytes(quint64 bytes)
{
    return QString::number(bytes / 1024) + QStringLiteral(" KByte");
}

} // namespace

TSysInf::TSysInf(std::function<MemoryStatus()> source, QWidget* parent)
    : Form(OuterRect.size().shrunkBy(Form::frameMargins(TFormBorderStyle::bsSizeable)),
           TFormBorderStyle::bsSizeable, parent, Qt::Dialog),
      m_source(std::move(source))
{
    buildControls();
    connect(BitBtn1, &QPushButton::clicked, this, &TSysInf::BitBtn1Click);
}

void TSysInf::buildControls()
{
    setObjectName(QStringLiteral("SysInf"));
    setWindowTitle(QStringLiteral("Speicherinformationen"));
    setBorderIcons(biSystemMenu);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    QPalette palette = this->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            palette.setColor(group, role, GetSysColor(COLOR_WINDOWTEXT));
    }
    setPalette(palette);

    // No layout: resizing the window leaves the controls where they are.
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                              QStringLiteral("&Schließen"), clientArea());
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(103, 120, 127, 37);
    BitBtn1->setDefault(false);
    BitBtn1->setAutoDefault(false);
    BitBtn1->setAccessibleName(QStringLiteral("Schließen"));

    StringGrid1 = new QTableWidget(GridRows, GridColumns, clientArea());
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(6, 6, 331, 103);
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setTabKeyNavigation(false);
    StringGrid1->setAccessibleName(QStringLiteral("Speicherinformationen"));
    // Rows as high as needed for exactly the first four to fill the client area (without
    // headers and scroll bars, the grid inside its frame); the last of them may lose its bottom
    // grid line, as nothing of the fifth may show.
    const int visibleHeight = StringGrid1->contentsRect().height();
    QHeaderView* rows = StringGrid1->verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize((visibleHeight + VisibleRows - 1) / VisibleRows);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    setTabOrder(BitBtn1, StringGrid1);

    setGeometry(OuterRect);
}

void TSysInf::FormActivate()
{
    const int columnWidth = StringGrid1->contentsRect().width() / 2;
    StringGrid1->setColumnWidth(0, columnWidth);
    StringGrid1->setColumnWidth(1, columnWidth);

    const MemoryStatus status = m_source();
    const std::pair<QString, quint64> figures[] = {
        {QStringLiteral("phys. Speicher"), status.totalPhys},
        {QStringLiteral("phys. Speicher frei"), status.availPhys},
        {QStringLiteral("Auslagerungsspeicher"), status.totalPageFile},
        {QStringLiteral("Auslagerungsspeicher frei"), status.availPageFile},
    };
    int row = 0;
    for (const auto& [label, bytes] : figures) {
        StringGrid1->setItem(row, 0, new QTableWidgetItem(label));
        StringGrid1->setItem(row, 1, new QTableWidgetItem(kiloBytes(bytes)));
        ++row;
    }
}

void TSysInf::BitBtn1Click()
{
    close();
}

void TSysInf::showEvent(QShowEvent* event)
{
    Form::showEvent(event);
    // Each opening shows fresh figures. The window system's own show events (a restore from
    // the task bar, say) are no opening.
    if (!event->spontaneous())
        FormActivate();
}
