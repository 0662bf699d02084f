#pragma once

#include <QLabel>

// A label that acts as a link: it shows the hand cursor and reports a click of the left
// mouse button.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
