// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

class QFileInfo;

// Reader and writer of profile (INI) files such as the settings file: "[section]" lines, each
// followed by "key=value" lines. Every call opens the file, does its work and closes it again.
//
// The file is handled as bytes split at line feeds; a carriage return before the line feed
// belongs to the line break. Section and key names are found without regard to letter case and
// without the blanks (spaces, tabs) around them; a section ends at the next section line. When a
// section name occurs twice, only the first such section counts. Lines before the first section,
// lines starting with ";" (comments) and lines without "=" hold no keys. A UTF-8 byte-order mark
// at the start is skipped. Names and values are UTF-8.

// Write protection is taken from the permission bits alone: root may write anywhere, but a file
// or folder that grants nobody write access is meant to stay as it is.
bool isWriteProtected(const QFileInfo& info);

// The value of the key in the section: the text after the first "=" without the blanks at both
// ends, then without one pair of enclosing quotes (both " or both '), at most its first 1023
// characters. A key with nothing after "=" gives the empty text; a missing file, section or key
// gives defaultValue.
QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);

// The key's value read as an integer by profileTextToInteger; defaultValue when the key is
// missing, empty or not a number.
qint32 readProfileInteger(const QString& path, const QString& section, const QString& key,
                          qint32 defaultValue);

// Stores "key=value" in the section: replaces the key's line where it stands, or adds the line
// after the last non-empty line of the section; a missing section is added at the end of the
// file, a missing file is created. All other bytes of the file stay as they are; new lines end
// with CR LF. Line breaks in the value are written as blanks, so the value stays one line.
//
// The file is replaced as a whole (new file beside it, then renamed over it), so it never ends
// up half written; only where its folder cannot take a new file is an existing file written in
// place. Returns false, and leaves the file as it was, when it cannot be written: the file
// cannot be written or is write-protected (no write permission bit set, which also holds for
// root), it does not exist and its folder cannot be written, the file cannot be read, the path
// is not a regular file, or the name is not usable as a section or key (empty, a line break,
// "=" in a key, "]" in a section, a key starting with "[" or ";").
bool writeProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value);

// Stores several keys of one section as writeProfileString stores one, in their order, with one
// replacement of the file: afterwards it holds all of them or, on failure, none. Temporary files
// that an earlier replacement left behind when it was killed are removed.
bool writeProfileStrings(const QString& path, const QString& section,
                         const QList<std::pair<QString, QString>>& entries);

// The keys of one section, in their order.
struct ProfileSection {
    QString name;
    QList<std::pair<QString, QString>> entries;
};

// Stores the keys of several sections as writeProfileStrings stores those of one, section after
// section, with one replacement of the file: afterwards it holds all of them or none.
bool writeProfileSections(const QString& path, const QList<ProfileSection>& sections);

// Converts the text of an integer value: a leading "0x" or "0X" (in a text longer than two
// characters) counts as "$". Then, after leading spaces, either "$" and one or more hexadecimal
// digits using up to all 32 bits ("$FFFFFFFF" is -1), or an optional sign and decimal digits in
// the range of a signed 32-bit integer. Nothing may follow the digits. std::nullopt otherwise.
std::optional<qint32> profileTextToInteger(QString text);
