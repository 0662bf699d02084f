#include "widgets/opendialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

OpenDialog::OpenDialog(const QString& title, const QList<Filter>& filters, QWidget* parent)
    : QObject(parent), m_title(title), m_parent(parent)
{
    // The dialog shows only the description; the pattern in parentheses after it is what
    // filters. "*.*" means every file, also names without a dot.
    for (const Filter& filter : filters) {
        const QString pattern =
            filter.pattern == QLatin1String("*.*") ? QStringLiteral("*") : filter.pattern;
        m_descriptions << filter.description;
        m_patterns << pattern;
        m_nameFilters << filter.description + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
}

bool OpenDialog::execute()
{
    QFileDialog dialog(m_parent, m_title);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(m_nameFilters);
    dialog.selectNameFilter(m_nameFilters.value(m_filterIndex));
    dialog.setDefaultSuffix(m_defaultExt);
    if (!m_initialDir.isEmpty())
        dialog.setDirectory(m_initialDir);
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileName = dialog.selectedFiles().constFirst();
    m_filterIndex = qMax(0, m_descriptions.indexOf(dialog.selectedNameFilter()));
    return true;
}

void OpenDialog::keep(const QString& fileName)
{
    m_fileName = fileName;
    // The dialog's filters see no letter case.
    const QString name = QFileInfo(fileName).fileName();
    for (qsizetype i = 0; i < m_patterns.size(); ++i) {
        if (QDir::match(m_patterns.at(i), name)) {
            m_filterIndex = int(i);
            return;
        }
    }
}
