// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QWidget>

#include <array>

class QLabel;

// The main window's status bar: two sunken panels side by side, each with its own width,
// text and alignment.
class StatusBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int PanelCount = 2;

    explicit StatusBar(QWidget* parent = nullptr);

    int panelWidth(int index) const;
    void setPanelWidth(int index, int width);
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    void setPanelAlignment(int index, Qt::Alignment alignment);
    QLabel* panel(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placePanels();

    std::array<QLabel*, PanelCount> m_panels{};
    std::array<int, PanelCount> m_widths{};
};
