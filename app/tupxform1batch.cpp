// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// The page "Mehrere Dateien": its list of files and the batch that runs a packer on each.

#include "app/hinttracker.h"
#include "app/memotranscript.h"
#include "app/messages.h"
#include "app/statusbar.h"
#include "app/tupxform1.h"
#include "packer/filesettling.h"
#include "packer/packerbatch.h"
#include "packer/packercommands.h"
#include "platform/files.h"
#include "widgets/opendialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

enum Column { NameColumn, FolderColumn, BeforeColumn, AfterColumn, RatioColumn, StateColumn };
// The number a column sorts by, where it shows one; the file's path.
constexpr int SortRole = Qt::UserRole;
constexpr int PathRole = Qt::UserRole + 1;

// A row of the list: numbers sort by their value, text by the locale's order.
class FileRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : NameColumn;
        const QVariant mine = data(column, SortRole);
        const QVariant theirs = other.data(column, SortRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toDouble() < theirs.toDouble();
        if (mine.isValid() != theirs.isValid())
            return mine.isValid();
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};

// What makes a file the same whatever it is called: its device and inode, or, where it cannot
// be looked at, its clean absolute path.
QString identity(const QString& path)
{
    const FileState file = FileState::of(QFile::encodeName(path), true);
    if (!file.exists)
        return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return QStringLiteral("%1:%2").arg(file.info.st_dev).arg(file.info.st_ino);
}

void setNumber(QTreeWidgetItem* row, int column, const QString& text, const QVariant& value)
{
    row->setText(column, text);
    row->setData(column, SortRole, value);
    row->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

void setSize(QTreeWidgetItem* row, int column, qint64 size)
{
    if (size < 0)
        setNumber(row, column, QString(), QVariant());
    else
        setNumber(row, column, QLocale(QLocale::German).toString(size), size);
}

// The programs and libraries directly in the folder, by name.
QStringList programsIn(const QString& folder)
{
    QStringList programs;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        if (OpenDialog::isProgramOrLibrary(entry))
            programs << entry.absoluteFilePath();
    }
    return programs;
}

} // namespace

void TUPXForm1::HinzuBtnClick()
{
    if (OpenDialog3->execute())
        FuegeDateienHinzu(OpenDialog3->fileNames());
}

void TUPXForm1::FuegeDateienHinzu(const QStringList& files)
{
    // A listed file may have become another since (packing writes a new one in its place).
    QSet<QString> known;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        known << identity(ListView1->topLevelItem(i)->data(NameColumn, PathRole).toString());
    // The rows keep the order in which they come until a column is clicked.
    ListView1->setSortingEnabled(false);
    for (const QString& given : files) {
        const QFileInfo info(given);
        QStringList found = info.isDir() ? programsIn(given) : QStringList();
        if (found.isEmpty())
            found << QDir::cleanPath(info.absoluteFilePath());
        for (const QString& path : found) {
            const QString id = identity(path);
            if (known.contains(id))
                continue;
            known << id;
            auto* row = new FileRow(ListView1);
            const QFileInfo file(path);
            row->setText(NameColumn, file.fileName());
            row->setText(FolderColumn, QDir::toNativeSeparators(file.absolutePath()));
            row->setData(NameColumn, PathRole, path);
            setSize(row, BeforeColumn, file.isFile() ? file.size() : -1);
            row->setText(StateColumn, file.isDir() ? PackerBatch::FolderWithoutProgramsText
                                                   : PackerBatch::WaitingText);
        }
    }
    ListView1->setSortingEnabled(true);
}

void TUPXForm1::openFiles(const QStringList& files)
{
    if (files.size() == 1 && !QFileInfo(files.constFirst()).isDir()) {
        openFile(files.constFirst());
    } else if (!files.isEmpty()) {
        FuegeDateienHinzu(files);
        PageControl1->setCurrentWidget(TS4);
    }
}

void TUPXForm1::EntfernenBtnClick()
{
    if (Batch1->isRunning()) {
        QApplication::beep();
        return;
    }
    // The other rows keep their transcripts.
    for (QTreeWidgetItem* row : ListView1->selectedItems()) {
        if (const qsizetype index = m_batchRows.indexOf(row); index >= 0)
            m_batchRows[index] = nullptr;
        delete row;
    }
}

void TUPXForm1::LeerenBtnClick()
{
    if (Batch1->isRunning()) {
        QApplication::beep();
        return;
    }
    ListView1->clear();
    m_batchRows.clear();
    Memo3->clear();
    ProgressBar1->setValue(0);
}

void TUPXForm1::AlleKompressBtnClick()
{
    StarteStapel(PackerAction::Compress);
}

void TUPXForm1::AlleDekompressBtnClick()
{
    StarteStapel(PackerAction::Decompress);
}

void TUPXForm1::AlleTestBtnClick()
{
    StarteStapel(PackerAction::Test);
}

void TUPXForm1::AbbrechenBtnClick()
{
    Batch1->cancel();
}

bool TUPXForm1::refuseWhileBusy()
{
    if (!m_run && !Batch1->isRunning())
        return false;
    QApplication::beep();
    return true;
}

void TUPXForm1::StarteStapel(PackerAction action)
{
    if (refuseWhileBusy())
        return;
    if (ListView1->topLevelItemCount() == 0) {
        showErrorBox(this, QStringLiteral("Die Liste enthält keine Dateien.\rBitte fügen Sie "
                                          "zuerst Dateien hinzu!"));
        return;
    }
    // Two rows that have come to name one file meanwhile are one row again: two packers on
    // one file would spoil each other's work.
    m_batchRows.clear();
    QStringList files;
    QSet<QString> known;
    QList<QTreeWidgetItem*> repeated;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        const QString id = identity(row->data(NameColumn, PathRole).toString());
        if (known.contains(id))
            repeated << row;
        known << id;
    }
    qDeleteAll(repeated);
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        m_batchRows << ListView1->topLevelItem(i);
        files << m_batchRows.constLast()->data(NameColumn, PathRole).toString();
    }
    // The options as they are now, also for the files that start later.
    const CompressOptions options = compressOptions();
    const AdvancedOptions advanced = advancedOptions();
    const QString packerPath = PackerPath;
    PackerBatch::CommandMaker make = [=](const QString& file, const QVersionNumber& version) {
        if (action == PackerAction::Compress)
            return compressCommand(packerPath, options, file, version, advanced);
        if (action == PackerAction::Decompress)
            return decompressCommand(packerPath, file, advanced);
        return fileCommand(packerPath, QStringLiteral("-t"), file);
    };
    PackerBatch::Extras extras;
    if (advanced.newFile && action != PackerAction::Test) {
        // A new file that is there already is never overwritten.
        extras.refuse = [action](const QString& file) {
            const QString made = newFileName(file, action == PackerAction::Compress);
            return nameTaken(made) ? QStringLiteral("Die neue Datei %1 gibt es schon")
                                         .arg(QFileInfo(made).fileName())
                                   : QString();
        };
    }
    if (advanced.testAfter && action == PackerAction::Compress) {
        extras.followUp = [packerPath](const RunResult& packed) {
            const PackerCommand& command = packed.command;
            return fileCommand(packerPath, QStringLiteral("-t"),
                               command.outputFile.isEmpty() ? command.workFile
                                                            : command.outputFile);
        };
    }
    for (QPushButton* button :
         {EntfernenBtn, LeerenBtn, AlleKompressBtn, AlleDekompressBtn, AlleTestBtn})
        button->setEnabled(false);
    AbbrechenBtn->setEnabled(true);
    ProgressBar1->setValue(0);
    Batch1->start(action, files, make, action == PackerAction::Compress ? packerVersion() : nullptr,
                  parallelPackers(), extras);
}

void TUPXForm1::Batch1FileChange(qsizetype index)
{
    QTreeWidgetItem* row = m_batchRows.value(index);
    if (!row)
        return;
    const BatchFile& file = Batch1->file(index);
    row->setText(StateColumn, file.stateText);
    if (file.state == BatchFile::State::Running)
        setSize(row, BeforeColumn, file.sizeBefore);
    const bool sized = file.succeeded && file.sizeBefore > 0 && file.sizeAfter >= 0;
    setSize(row, AfterColumn, sized ? file.sizeAfter : -1);
    if (sized) {
        const double ratio = 100.0 * double(file.sizeAfter) / double(file.sizeBefore);
        setNumber(row, RatioColumn,
                  QLocale(QLocale::German).toString(ratio, 'f', 1) + QStringLiteral(" %"), ratio);
    } else {
        setNumber(row, RatioColumn, QString(), QVariant());
    }
    if (ListView1->currentItem() == row)
        ListView1SelectionChange();
}

void TUPXForm1::Batch1Finish()
{
    for (QPushButton* button :
         {EntfernenBtn, LeerenBtn, AlleKompressBtn, AlleDekompressBtn, AlleTestBtn})
        button->setEnabled(true);
    AbbrechenBtn->setEnabled(false);
    StatusBar1->setPanelText(0, QLatin1Char(' ') + Batch1->summary());
    ApplicationHint->takeCurrentHint();
}

void TUPXForm1::ListView1SelectionChange()
{
    QTreeWidgetItem* current = ListView1->currentItem();
    const qsizetype index = current ? m_batchRows.indexOf(current) : -1;
    const QString transcript =
        index >= 0 && index < Batch1->count() ? Batch1->transcript(index) : QString();
    MemoTranscript memo(Memo3);
    memo.clear();
    memo.append(transcript);
}
