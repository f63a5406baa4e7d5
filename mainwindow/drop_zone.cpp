// Drag and drop onto the file list: the white overlay that covers the list while something is
// dragged over it, and the two drop handlers.

#include "intake/display_text.h"
#include "intake/dropped_names.h"
#include "intake/folder_search.h"
#include "intake/staging.h"
#include "mainwindow/frm_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeView>

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    const bool overList = watched == m_LV->viewport() || watched == m_picText;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (overList) {
            // Anything dragged over the list brings up the overlay, which then takes the drop.
            m_picDrop->show();
            m_picDrop->raise();
        }
        if (overList || watched == m_picDrop) {
            auto* drag = static_cast<QDropEvent*>(event);
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        break;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (watched == m_picDrop || overList) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            const QList<QUrl> urls =
                drop->mimeData()->hasUrls() ? drop->mimeData()->urls() : QList<QUrl>();
            // Qt may deliver the drop to the widget the drag entered first; while the overlay
            // covers the list, the drop belongs to the overlay.
            if (watched == m_picDrop || m_picDrop->isVisible())
                dropOnOverlay(urls);
            else
                dropOnList(urls);
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (watched == m_picDrop) {
            m_picDrop->hide();
            return true;
        }
        break;
    default:
        break;
    }
    return SkinnedWindow::eventFilter(watched, event);
}

void frmMain::dropOnOverlay(const QList<QUrl>& urls)
{
    PrepareStagingFolder(m_context.stagingFolder);
    const DroppedNames dropped = ReadDroppedNames(urls);
    QVector<FileEntry> entries;
    for (const DroppedName& name : dropped.names) {
        if (name.isFolder) {
            m_files.appendEntries(entries);
            entries.clear();
            appendDroppedFolder(name.path);
            continue;
        }
        const QString display = CleanDisplayText(name.path, *m_codePage, QDir::separator());
        entries.append(FileEntry{display, FileListModel::formatCellFor(name.path),
                                 m_stager->StageSource(name.path).queuePath, {}});
    }
    m_files.appendEntries(entries);
    m_picDrop->hide();
    if (!m_files.isEmpty()) {
        QCoreApplication::processEvents();
        m_picText->hide();
    }
}

void frmMain::dropOnList(const QList<QUrl>& urls)
{
    const DroppedNames dropped = ReadDroppedNames(urls);
    for (const DroppedName& name : dropped.names) {
        if (name.isFolder)
            appendDroppedFolder(name.path);
        else
            m_files.AppendEntry(name.path, name.path, name.path);
    }
    if (!m_files.isEmpty()) {
        QCoreApplication::processEvents();
        m_picText->hide();
    }
}

// A dropped folder is searched like Add Folder, instead of being queued as if it were a file.
void frmMain::appendDroppedFolder(const QString& folder)
{
    appendFound(SearchFolder(folder), folder);
}
