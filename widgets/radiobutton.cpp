// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/radiobutton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>

namespace {

// Qt announces a checkable button that is not auto-exclusive as a check box; this interface
// announces a radio button.
class RadioButtonAccessible : public QAccessibleWidget {
public:
    explicit RadioButtonAccessible(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        return state;
    }

    QString text(QAccessible::Text type) const override
    {
        if (type != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(type);
        // The caption without the marks of its access key ("&&" stands for "&").
        const QString caption = button()->text();
        QString name;
        for (qsizetype i = 0; i < caption.size(); ++i) {
            if (caption[i] == QLatin1Char('&') && ++i == caption.size())
                break;
            name += caption[i];
        }
        return name;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled())
            names.prepend(toggleAction());
        return names;
    }

    void doAction(const QString& name) override
    {
        if (name == toggleAction() || name == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* radioButtonAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("RadioButton") && object && object->isWidgetType())
        return new RadioButtonAccessible(static_cast<RadioButton*>(object));
    return nullptr;
}

bool reachable(const QWidget* button)
{
    return button->isEnabled() && button->isVisibleTo(button->parentWidget());
}

} // namespace

RadioButton::RadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent)
{
    [[maybe_unused]] static const bool accessibleInstalled = [] {
        QAccessible::installFactory(radioButtonAccessible);
        return true;
    }();

    setAutoExclusive(false);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on) {
            for (QRadioButton* sibling : group()) {
                if (sibling != this)
                    sibling->setChecked(false);
            }
        }
        updateTabStops();
    });
    updateTabStops();
}

void RadioButton::nextCheckState()
{
    setChecked(true);
}

QList<QRadioButton*> RadioButton::group() const
{
    if (!parentWidget())
        return {const_cast<RadioButton*>(this)};
    return parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
}

void RadioButton::updateTabStops() const
{
    const QList<QRadioButton*> buttons = group();
    QRadioButton* stop = buttons.first();
    for (QRadioButton* button : buttons) {
        if (button->isChecked()) {
            stop = button;
            break;
        }
    }
    for (QRadioButton* button : buttons) {
        const Qt::FocusPolicy policy = button->focusPolicy();
        button->setFocusPolicy(button == stop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                              : Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

void RadioButton::keyPressEvent(QKeyEvent* event)
{
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        step = -1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        step = 1;
        break;
    default:
        QRadioButton::keyPressEvent(event);
        return;
    }
    // The next reachable button of the group, past either end round to the other.
    const QList<QRadioButton*> buttons = group();
    const qsizetype count = buttons.size();
    const qsizetype here = buttons.indexOf(this);
    for (qsizetype i = 1; i < count; ++i) {
        QRadioButton* next = buttons.at(((here + step * i) % count + count) % count);
        if (reachable(next)) {
            next->setFocus(Qt::OtherFocusReason);
            next->click();
            break;
        }
    }
    event->accept();
}

bool RadioButton::event(QEvent* event)
{
    const bool result = QRadioButton::event(event);
    if (event->type() == QEvent::ParentChange)
        updateTabStops();
    return result;
}
