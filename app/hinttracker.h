// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class QWidget;

// The application's hint: the hint text of the control under the mouse pointer. It is looked up
// once the events that can change that control have been handled (pointer movement, windows and
// controls shown, hidden, enabled or activated), never while the program is idle. A control's hint
// is its status tip; a control without one takes the hint of the nearest parent that has one.
// hintChanged() reports a new hint only.
class HintTracker : public QObject {
    Q_OBJECT

public:
    explicit HintTracker(QObject* parent = nullptr);

    // Starts following the pointer.
    void start();

    QString hint() const { return m_hint; }
    // Takes the hint under the pointer as the current one without announcing it: what the panel
    // shows instead (a command's result) then stays until the pointer reaches another hint.
    void takeCurrentHint();
    // While held, as while a packer command runs, the hint stays as it is.
    void hold(bool held) { m_held = held; }

    // The control under a point of the screen: the innermost visible and enabled control that
    // is not a label (a disabled one counts as its parent), then a visible label inside it at
    // that point, enabled or not. Null outside the program's windows.
    static QWidget* controlAt(const QPoint& globalPos);

    // The hint that a control shows: its own or its nearest parent's.
    static QString hintOf(const QWidget* control);

signals:
    void hintChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    QString m_hint;
    bool m_started = false;
    bool m_updatePending = false;
    bool m_held = false;
};

// The parts of a hint "short|long": the text before or after the first "|", or the whole text.
QString shortHint(const QString& hint);
QString longHint(const QString& hint);
