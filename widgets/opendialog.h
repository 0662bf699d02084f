// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QFileInfo;
class QWidget;

// A file-open dialog for an existing file. It keeps the file last confirmed in it and the filter
// entry selected at that confirmation, and offers both again at its next opening; a cancelled
// opening changes neither. A filter entry either matches names by its pattern or lists programs
// and libraries by their content, as Linux programs carry no extension.
class OpenDialog : public QObject {
    Q_OBJECT

public:
    struct Filter {
        QString description;
        QString pattern;
        // Lists the files that isProgramOrLibrary() accepts instead of matching the pattern.
        bool programs = false;
    };

    // An executable regular file, or one that begins with the magic of an ELF or a Windows (MZ)
    // executable, as libraries need no executable bit. Only files without that bit are read, and
    // only their first four bytes.
    static bool isProgramOrLibrary(const QFileInfo& file);

    OpenDialog(const QString& title, const QList<Filter>& filters, QWidget* parent);

    // The folder the dialog opens in while it keeps no file; empty leaves the choice to the dialog.
    void setInitialDir(const QString& folder) { m_initialDir = folder; }
    // Appended to a name typed without an extension.
    void setDefaultExt(const QString& extension) { m_defaultExt = extension; }

    // Lets the user pick several files at once.
    void setMultiSelect(bool multiple) { m_multiple = multiple; }

    // Shows the dialog modally; true when the user confirmed a file.
    bool execute();

    // Keeps the file as if the user had confirmed it, with the first filter entry that shows it.
    void keep(const QString& fileName);

    // The full path of the file last confirmed, empty before the first confirmation.
    QString fileName() const { return m_fileName; }
    // All the files last confirmed, the first of them fileName().
    QStringList fileNames() const { return m_fileNames; }
    int filterIndex() const { return m_filterIndex; }

private:
    QString m_title;
    QStringList m_descriptions;
    QStringList m_nameFilters;
    QStringList m_patterns;
    QList<bool> m_programs;
    QWidget* m_parent;
    QString m_initialDir;
    QString m_defaultExt;
    QString m_fileName;
    QStringList m_fileNames;
    bool m_multiple = false;
    int m_filterIndex = 0;
};
