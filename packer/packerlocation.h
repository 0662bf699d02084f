// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QString>
#include <QStringList>

// The file name of the packer that every command runs.
inline const QString PackerFileName = QStringLiteral("upx");

// Looks for a file by the name in each directory of the list, in order. Empty entries are
// skipped; every other entry is used as it stands. Returns the first candidate that names an
// existing file that is not a directory, or the empty text.
QString searchFile(const QString& name, const QStringList& directories);

// The directories searched for the packer: the program's directory, then the entries of the
// PATH value (separated by ":"; no entries when it is empty). Entries that are not absolute paths
// are left out: they would name folders below wherever the user happens to stand, and a "upx"
// there may be anything a download left behind. The current directory is searched only as the
// program's own folder, which comes first anyway.
QStringList packerSearchDirectories(const QString& programDir, const QString& pathValue);

// The packer the program beside the directory uses: its full path, or empty when none is found.
QString findPacker(const QString& programDir, const QString& pathValue);

// The directory part of a path: everything up to and including its last "/".
QString directoryPart(const QString& path);
