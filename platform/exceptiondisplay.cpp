// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/exceptiondisplay.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <exception>
#include <utility>

namespace {

void showBox(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    message + QLatin1Char('.'), QMessageBox::Ok);
    box.exec();
}

ExceptionDisplay& display()
{
    static ExceptionDisplay current = showBox;
    return current;
}

} // namespace

ExceptionDisplay setExceptionDisplay(ExceptionDisplay newDisplay)
{
    return std::exchange(display(), std::move(newDisplay));
}

void showCurrentException()
{
    QString message;
    try {
        throw;
    } catch (const std::exception& error) {
        message = QString::fromLocal8Bit(error.what());
    } catch (...) {
        message = QStringLiteral("Unbekannter Fehler");
    }
    if (display())
        display()(message);
}
