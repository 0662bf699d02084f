#include "app/statusbar.h"

#include <QLabel>

namespace {
// Space between neighbouring panels and above them.
constexpr int PanelGap = 2;
} // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent)
{
    for (int i = 0; i < PanelCount; ++i) {
        auto* panel = new QLabel(this);
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setLineWidth(1);
        panel->setIndent(2);
        panel->setAccessibleName(QStringLiteral("Statuszeile %1").arg(i + 1));
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
