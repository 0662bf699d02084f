#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QWidget;

// A file-open dialog for an existing file. It keeps the file last confirmed in it and the filter
// entry selected at that confirmation, and offers both again at its next opening; a cancelled
// opening changes neither.
class OpenDialog : public QObject {
    Q_OBJECT

public:
    struct Filter {
        QString description;
        QString pattern;
    };

    OpenDialog(const QString& title, const QList<Filter>& filters, QWidget* parent);

    // The folder the dialog opens in while it keeps no file; empty leaves the choice to the dialog.
    void setInitialDir(const QString& folder) { m_initialDir = folder; }
    // Appended to a name typed without an extension.
    void setDefaultExt(const QString& extension) { m_defaultExt = extension; }

    // Shows the dialog modally; true when the user confirmed a file.
    bool execute();

    // Keeps the file as if the user had confirmed it, with the first filter entry that shows it.
    void keep(const QString& fileName);

    // The full path of the file last confirmed, empty before the first confirmation.
    QString fileName() const { return m_fileName; }
    int filterIndex() const { return m_filterIndex; }

private:
    QString m_title;
    QStringList m_descriptions;
    QStringList m_nameFilters;
    QStringList m_patterns;
    QWidget* m_parent;
    QString m_initialDir;
    QString m_defaultExt;
    QString m_fileName;
    int m_filterIndex = 0;
};
