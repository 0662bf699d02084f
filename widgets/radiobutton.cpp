#include "widgets/radiobutton.h"

RadioButton::RadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent)
{
    setAutoExclusive(false);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (!on || !parentWidget())
            return;
        const auto siblings =
            parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
        for (QRadioButton* sibling : siblings) {
            if (sibling != this)
                sibling->setChecked(false);
        }
    });
}

void RadioButton::nextCheckState()
{
    setChecked(true);
}
