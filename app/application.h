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

// The files named on the command line, made absolute against the current folder. An argument
// beginning with "-" is an option, and the program has none, unless a file of that name exists;
// after "--" every argument is a file whatever it begins with.
QStringList fileArguments(const QStringList& arguments);

// Stands between the files that a later start hands over: no file name holds it.
inline constexpr QChar FileSeparator = u'\0';

// A later start's request to the running instance: the main window takes the files it hands
// over, if any (one as if chosen in the first file dialog, several into its list), and comes
// to the front.
void answerLaterStart(TUPXForm1& form, const QString& files);

// The program: one instance per user; a second start brings the running one to the front and
// hands its file over to it, before it makes anything of its own. A second start whose running
// instance does not answer says so on standard error and ends with 1.
int runKompaktor(int argc, char** argv);
