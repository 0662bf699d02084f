#pragma once

#include <QRadioButton>

// A radio button that is exclusive in one direction only: switching it on switches every
// other radio button of the same parent off, switching it off changes no other button.
// A click always switches it on.
class RadioButton : public QRadioButton {
    Q_OBJECT

public:
    explicit RadioButton(const QString& text, QWidget* parent = nullptr);

protected:
    void nextCheckState() override;
};
