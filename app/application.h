// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QStringList>

class Form;
class QApplication;
class TUPXForm1;

// Chooses the X11 display connection where Wayland offers one through XWayland: only there may
// the program place its own windows. Must run before the QApplication is made; true when it
// chose.
bool selectDisplayPlatform();

// Gives the application its title, the classic look, and the fonts of the layout.
void setUpApplication(QApplication& application);

// What a second start asks of the running instance: its main window restored and in front.
void bringToFront(Form& form);

// The file named on the command line, made absolute against the current folder; empty when
// none is named. Only the first argument counts. An argument beginning with "-" is an option,
// and the program has none, unless a file of that name exists; after "--" the next argument is
// the file whatever it begins with.
QString fileArgument(const QStringList& arguments);

// A later start's request to the running instance: the main window takes the file it hands
// over, if any, as if chosen in the first file dialog, and comes to the front.
void answerLaterStart(TUPXForm1& form, const QString& file);

// The program: one instance per user; a second start brings the running one to the front and
// hands its file over to it, before it makes anything of its own. A second start whose running
// instance does not answer says so on standard error and ends with 1.
int runKompaktor(int argc, char** argv);
