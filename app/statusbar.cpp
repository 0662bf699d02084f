// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/statusbar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace {

// Space between neighbouring panels and above them.
constexpr int PanelGap = 2;

// Screen readers find the bar as a status bar and read its panels, which are named by the text
// they show.
QAccessibleInterface* statusBarAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("StatusBar") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StatusBar);
    return nullptr;
}

} // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    [[maybe_unused]] static const bool accessibleInstalled = [] {
        QAccessible::installFactory(statusBarAccessible);
        return true;
    }();
    for (int i = 0; i < PanelCount; ++i) {
        auto* panel = new QLabel(this);
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setLineWidth(1);
        panel->setIndent(2);
        m_panels[size_t(i)] = panel;
    }
}

int StatusBar::panelWidth(int index) const
{
    return m_widths.at(size_t(index));
}

void StatusBar::setPanelWidth(int index, int width)
{
    if (m_widths.at(size_t(index)) == width)
        return;
    m_widths[size_t(index)] = width;
    placePanels();
}

QString StatusBar::panelText(int index) const
{
    return panel(index)->text();
}

void StatusBar::setPanelText(int index, const QString& text)
{
    panel(index)->setText(text);
}

void StatusBar::setPanelAlignment(int index, Qt::Alignment alignment)
{
    panel(index)->setAlignment(alignment | Qt::AlignVCenter);
}

QLabel* StatusBar::panel(int index) const
{
    return m_panels.at(size_t(index));
}

void StatusBar::resizeEvent(QResizeEvent* event)
{
    placePanels();
    QWidget::resizeEvent(event);
}

void StatusBar::placePanels()
{
    int left = 0;
    for (int i = 0; i < PanelCount; ++i) {
        const int width = m_widths[size_t(i)];
        m_panels[size_t(i)]->setGeometry(left, PanelGap, qMax(width - PanelGap, 0),
                                         height() - PanelGap);
        left += width;
    }
}
