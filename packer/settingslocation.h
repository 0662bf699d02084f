// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QString>

// The file in the program's folder that marks the folder as an installation. Installing puts it
// there; a copy of the program carried around has none.
inline const QString InstallationMarkerName = QStringLiteral("kompaktor.installed");

// Where the settings file "Kompaktor.INI" lives. A portable copy, in a folder that the running
// user owns and that is not marked as an installation, keeps its settings beside itself: in the
// file there when the user owns it or may write it, or in a new one when the user may write the
// folder. Otherwise, always for an installation (root's start included) and for a copy in
// somebody else's folder, the settings live in the user's configuration folder:
// "Kompaktor/Kompaktor.INI" below $XDG_CONFIG_HOME, or below ~/.config when that value is not an
// absolute path. So no start writes into an installation, and a file the user may not write
// never stands in for the user's own.
QString settingsFilePath(const QString& programDir);

// Makes the folder of the settings file when it is missing, as the user's configuration folder
// may be before the first save. False when it cannot be made.
bool makeSettingsFolder(const QString& settingsFile);
