#pragma once

class Form;
class QApplication;

// Chooses the X11 display connection where Wayland offers one through XWayland: only there may
// the program place its own windows. Must run before the QApplication is made; true when it
// chose.
bool selectDisplayPlatform();

// Gives the application its title, the classic look, and the fonts of the layout.
void setUpApplication(QApplication& application);

// What a second start asks of the running instance: its main window restored and in front.
void bringToFront(Form& form);

// The program: one instance per user; a second start brings the running one to the front.
int runKompaktor(char* programName);
