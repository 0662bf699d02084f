// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The text with its line breaks (CR, LF, CR LF or LF CR) turned into single line feeds.
QString displayLines(const QString& text);

// A modal message box with the text as given and one OK button. Without a parent it stands in
// the middle of the screen.
void showMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text);

// The modal error box: title "Fehler", the error icon and one OK button.
void showErrorBox(QWidget* parent, const QString& text);

// An error for the application's standard error display.
struct ApplicationError {
    QString message;
};

// The application's standard error display: a box with the application's title, the error icon
// and the message with a full stop added.
void showApplicationError(const QString& message);
