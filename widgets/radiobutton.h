// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QRadioButton>

// A radio button that is exclusive in one direction only: switching it on switches every
// other radio button of the same parent off, switching it off changes no other button.
// A click always switches it on.
//
// The buttons of one parent still form a group for the keyboard: the arrow keys move to the
// next or previous button of the group and switch it on, and Tab enters the group at its
// checked button only (at the first when none is checked). Screen readers are told of a radio
// button with its checked state.
class RadioButton : public QRadioButton {
    Q_OBJECT

public:
    explicit RadioButton(const QString& text, QWidget* parent = nullptr);

protected:
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The radio buttons of the same parent, this one among them, in the order of the parent's
    // children.
    QList<QRadioButton*> group() const;
    void updateTabStops() const;
};
