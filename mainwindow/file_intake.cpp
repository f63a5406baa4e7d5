// The main window's ways of filling and emptying the file list, and the output folder choice.

#include "intake/display_text.h"
#include "intake/folder_search.h"
#include "intake/folder_search_queue.h"
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
    // While folders are being searched the placeholder is the busy notice, even over a full list.
    m_picText->setVisible(m_files.isEmpty() || folderSearchRunning());
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
    searchFolderInBackground(QDir::toNativeSeparators(folder));
}

// Queues the folder behind any search still running; its files, then `then`, join the list when
// its own search ends, so entries added meanwhile stay ahead of them.
void frmMain::searchFolderInBackground(const QString& folder, QVector<FileEntry> then)
{
    // The placeholder is the busy notice over the list while the searches run.
    m_picText->show();
    m_picText->raise();
    m_lblText->setText(Searching);
    if (!m_folderSearches) {
        m_folderSearches = new FolderSearchQueue(this);
        connect(m_folderSearches, &FolderSearchQueue::folderSearched, this,
                [this](const QString& searched, const FoundFiles& found,
                       const QVector<FileEntry>& after) {
                    m_files.appendFoundPaths(FoundFiles(found), searched);
                    m_files.appendEntries(after);
                });
        connect(m_folderSearches, &FolderSearchQueue::idle, this, [this] {
            if (!m_files.isEmpty())
                m_picText->hide();
        });
    }
    m_folderSearches->enqueue(folder, std::move(then));
}

bool frmMain::folderSearchRunning() const
{
    return m_folderSearches && m_folderSearches->isBusy();
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
