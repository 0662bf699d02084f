#pragma once

#include <QString>

// Where the settings file "Kompaktor.INI" lives. Beside the program when it is there already or
// the program's folder may be written (a copy of the program carried around keeps its settings
// with it); otherwise, as for a program installed by the administrator, in the user's
// configuration folder: "Kompaktor/Kompaktor.INI" below $XDG_CONFIG_HOME or ~/.config.
QString settingsFilePath(const QString& programDir);

// Makes the folder of the settings file when it is missing, as the user's configuration folder
// may be before the first save. False when it cannot be made.
bool makeSettingsFolder(const QString& settingsFile);
