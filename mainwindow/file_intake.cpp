// The main window's ways of filling and emptying the file list, and the output folder choice.

#include "intake/display_text.h"
#include "intake/folder_search.h"
#include "intake/folder_search_job.h"
#include "intake/staging.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/window_services.h"
#include "settings/settings_files.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

namespace {
const QString DropHere = QStringLiteral("Drag & Drop Files Here");
const QString Searching = QStringLiteral("Searching Files...");
} // namespace

void frmMain::updatePlaceholder()
{
    m_picText->setVisible(m_files.isEmpty());
}

void frmMain::imgAdd_Click()
{
    m_dialogs.Filter = AddFilesFilter();
    m_dialogs.FileName.clear();
    if (!m_services->showOpen(m_dialogs, this) || m_dialogs.FileName.isEmpty())
        return;
    PrepareStagingFolder(m_context.stagingFolder);
    const QString chosen = QDir::toNativeSeparators(m_dialogs.FileName);
    const StageResult staged = m_stager->StageSource(chosen);
    const QString display = CleanDisplayText(chosen, *m_codePage, QDir::separator());
    m_files.AppendEntry(staged.queuePath, display, display.trimmed());
    updatePlaceholder();
}

void frmMain::AddFolder()
{
    const QString folder = m_services->chooseFolder(this);
    if (folder.isEmpty())
        return;
    // The placeholder is the busy notice over the list while the search runs.
    m_picText->show();
    m_picText->raise();
    m_lblText->setText(Searching);
    if (!m_search) {
        m_search = new FolderSearchJob(this);
        connect(m_search, &FolderSearchJob::filesFound, this,
                [this](const QStringList& paths) { m_found += paths; });
        connect(m_search, &FolderSearchJob::finished, this, [this] { folderSearchFinished(); });
    }
    if (!m_search->start(QDir::toNativeSeparators(folder)))
        updatePlaceholder(); // a search is still running; its results come first
}

bool frmMain::folderSearchRunning() const
{
    return m_search && m_search->isRunning();
}

void frmMain::folderSearchFinished()
{
    // Entries added while the search ran stay ahead of the searched ones.
    appendFound(m_found);
    m_found.clear();
    if (!m_files.isEmpty())
        m_picText->hide();
}

void frmMain::appendFound(const QStringList& paths)
{
    QVector<FileEntry> entries;
    entries.reserve(paths.size());
    for (const QString& path : paths)
        entries.append(FileEntry{path, FileListModel::formatCellFor(path.trimmed()), path});
    m_files.appendEntries(entries);
}

void frmMain::imgRemove_Click()
{
    if (m_files.isEmpty())
        return updatePlaceholder();
    const QModelIndexList rows = m_LV->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        m_files.removeEntry(rows.first().row());
    if (m_files.isEmpty())
        m_picText->show();
}

void frmMain::menuRemoveAll_Click()
{
    m_files.removeAll();
    m_picText->show();
    m_lblText->setText(DropHere);
}

void frmMain::imgBrowse_Click()
{
    const QString chosen = m_services->chooseFolder(this);
    if (!SetupFileCanHoldFolder(chosen)) {
        const QString stays = QStringLiteral("\r\nThe output folder stays %1.");
        const QString text = FolderWithQuoteMessage(QDir::toNativeSeparators(chosen)) +
                             stays.arg(m_txtPath->text());
        m_services->message(this, text, QStringLiteral("Path"), WindowServices::Icon::Exclamation);
        return;
    }
    m_txtPath->setText(chosen.isEmpty() ? m_context.defaultOutputFolder
                                        : QDir::toNativeSeparators(chosen));
    if (FolderExists(m_txtPath->text(), *m_codePage))
        return;
    m_txtPath->setText(m_context.defaultOutputFolder);
    m_services->message(this,
                        QStringLiteral("The path has unknown characters.\r\n"
                                       "Changed to the default path %1.")
                            .arg(m_context.defaultOutputFolder),
                        QStringLiteral("Path"), WindowServices::Icon::None);
}
