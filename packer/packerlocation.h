#pragma once

#include <QString>
#include <QStringList>

// The file name of the packer that every command runs.
inline const QString PackerFileName = QStringLiteral("upx");

// Looks for a file: first the name itself (relative to the current directory), then the name
// in each directory of the list, in order. Empty entries are skipped; every other entry is
// used as it stands. Returns the first candidate that names an existing file that is not a
// directory, or the empty text.
QString searchFile(const QString& name, const QStringList& directories);

// The directories searched for the packer: the program's directory, the current directory,
// then the entries of the PATH value (separated by ":"; no entries when it is empty).
QStringList packerSearchDirectories(const QString& programDir, const QString& currentDir,
                                    const QString& pathValue);

// The directory part of a path: everything up to and including its last "/".
QString directoryPart(const QString& path);
