// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/messages.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace {

// Qt places a box before it has its final size, and without a parent it guesses the size of
// the window manager's frame from the program's windows, which draw their own. This box stands
// in the middle of the screen instead, and once more when the frame around it is known.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override
    {
        // The box takes its final size here.
        QMessageBox::showEvent(event);
        if (parentWidget() || !windowHandle())
            return;
        centreOnScreen();
        windowHandle()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == windowHandle() && event->type() == QEvent::Expose) {
            watched->removeEventFilter(this);
            centreOnScreen();
        }
        return QMessageBox::eventFilter(watched, event);
    }

private:
    void centreOnScreen()
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QSize outer = size().grownBy(windowHandle()->frameMargins());
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
    }
};

} // namespace

QString displayLines(const QString& text)
{
    QString lines;
    lines.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            lines += c;
            continue;
        }
        lines += QLatin1Char('\n');
        // A pair of two different break characters is one break.
        if (i + 1 < text.size() &&
            (text[i + 1] == QLatin1Char('\r') || text[i + 1] == QLatin1Char('\n')) &&
            text[i + 1] != c)
            ++i;
    }
    return lines;
}

void showMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text)
{
    MessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void showErrorBox(QWidget* parent, const QString& text)
{
    showMessageBox(parent, QMessageBox::Critical, QStringLiteral("Fehler"), displayLines(text));
}

void showApplicationError(const QString& message)
{
    showMessageBox(nullptr, QMessageBox::Critical, QCoreApplication::applicationName(),
                   displayLines(message) + QLatin1Char('.'));
}
