// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/opendialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSortFilterProxyModel>

namespace {

// Between the dialog's file model and its views: while a programs entry is selected, only
// folders and programs or libraries pass.
class ProgramsOnlyModel : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setActive(bool active)
    {
        if (active == m_active)
            return;
        m_active = active;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (!m_active)
            return true;
        const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
        const QFileInfo file = files->fileInfo(files->index(row, 0, parent));
        return file.isDir() || OpenDialog::isProgramOrLibrary(file);
    }

private:
    bool m_active = false;
};

} // namespace

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
        m_programs << filter.programs;
        m_nameFilters << filter.description + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
}

bool OpenDialog::execute()
{
    QFileDialog dialog(m_parent, m_title);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(m_multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(m_nameFilters);
    dialog.selectNameFilter(m_nameFilters.value(m_filterIndex));
    dialog.setDefaultSuffix(m_defaultExt);
    // A typed name gets the default extension only where it names no file as it stands: Linux
    // programs carry none. (Qt's dialog names its name field so.)
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name && !m_defaultExt.isEmpty()) {
        connect(name, &QLineEdit::textChanged, &dialog, [this, &dialog](const QString& text) {
            const bool named = QFileInfo(dialog.directory().absoluteFilePath(text)).isFile();
            dialog.setDefaultSuffix(named ? QString() : m_defaultExt);
        });
    }
    auto* programsOnly = new ProgramsOnlyModel(&dialog);
    dialog.setProxyModel(programsOnly);
    // The entry chosen in the dialog's list of types (Qt's dialog names that list so), by the
    // user or by the program.
    const auto followFilter = [this, programsOnly](int index) {
        programsOnly->setActive(m_programs.value(index));
    };
    if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        connect(types, &QComboBox::currentIndexChanged, programsOnly, followFilter);
    followFilter(m_filterIndex);
    if (!m_initialDir.isEmpty())
        dialog.setDirectory(m_initialDir);
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileNames = dialog.selectedFiles();
    m_fileName = m_fileNames.constFirst();
    m_filterIndex = qMax(0, m_descriptions.indexOf(dialog.selectedNameFilter()));
    return true;
}

void OpenDialog::keep(const QString& fileName)
{
    m_fileName = fileName;
    m_fileNames = {fileName};
    // The dialog's filters see no letter case.
    const QString name = QFileInfo(fileName).fileName();
    for (qsizetype i = 0; i < m_patterns.size(); ++i) {
        if (m_programs.at(i) ? isProgramOrLibrary(QFileInfo(fileName))
                             : QDir::match(m_patterns.at(i), name)) {
            m_filterIndex = int(i);
            return;
        }
    }
}

bool OpenDialog::isProgramOrLibrary(const QFileInfo& file)
{
    if (!file.isFile())
        return false;
    if (file.permissions() &
        (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther))
        return true;
    // Too short for a magic number; so are the files of /proc, whose size shows as 0 and of
    // which some, such as the kernel's log, lose what is read from them.
    QFile content(file.absoluteFilePath());
    if (file.size() < 4 || !content.open(QIODevice::ReadOnly))
        return false;
    const QByteArray magic = content.read(4);
    return magic == QByteArrayLiteral("\x7f"
                                      "ELF") ||
           magic.startsWith("MZ");
}
