// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/hinttracker.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QTimer>
#include <QWidget>

HintTracker::HintTracker(QObject* parent) : QObject(parent) {}

void HintTracker::start()
{
    if (m_started)
        return;
    m_started = true;
    qApp->installEventFilter(this);
    update();
}

bool HintTracker::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::EnabledChange:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        // One look-up after the events at hand, however many of them there are.
        if (!m_updatePending) {
            m_updatePending = true;
            QMetaObject::invokeMethod(this, &HintTracker::update, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void HintTracker::takeCurrentHint()
{
    m_hint = longHint(hintOf(controlAt(QCursor::pos())));
}

void HintTracker::update()
{
    m_updatePending = false;
    if (m_held)
        return;
    const QString hint = longHint(hintOf(controlAt(QCursor::pos())));
    if (hint == m_hint)
        return;
    m_hint = hint;
    emit hintChanged();
}

namespace {

// The topmost visible child at the point (in the parent's coordinates) that is a label, or that
// is not one; children listed later lie on top.
QWidget* childAt(const QWidget* parent, const QPoint& point, bool label)
{
    const QObjectList& children = parent->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        auto* child = qobject_cast<QWidget*>(*it);
        if (child && !child->isWindow() && child->isVisible() &&
            (qobject_cast<QLabel*>(child) != nullptr) == label && child->geometry().contains(point))
            return child;
    }
    return nullptr;
}

} // namespace

QWidget* HintTracker::controlAt(const QPoint& globalPos)
{
    QWidget* control = QApplication::topLevelAt(globalPos);
    if (!control)
        return nullptr;
    // A disabled control takes no mouse input: the point belongs to its parent.
    while (QWidget* inner = childAt(control, control->mapFromGlobal(globalPos), false)) {
        if (!inner->isEnabled())
            break;
        control = inner;
    }
    QWidget* label = childAt(control, control->mapFromGlobal(globalPos), true);
    return label ? label : control;
}

QString HintTracker::hintOf(const QWidget* control)
{
    for (; control; control = control->parentWidget()) {
        if (!control->statusTip().isEmpty())
            return control->statusTip();
    }
    return {};
}

QString shortHint(const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.left(bar);
}

QString longHint(const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}
