// Drag and drop onto the file list: the white overlay that covers the list while something is
// dragged over it, and the two drop handlers.

#include "intake/display_text.h"
#include "intake/dropped_names.h"
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
    appendInDropOrder(ReadDroppedNames(urls), [this](const QString& path) {
        const QString display = CleanDisplayText(path, *m_codePage, QDir::separator());
        return FileEntry{display, FileListModel::formatCellFor(path),
                         m_stager->StageSource(path).queuePath, {}};
    });
    m_picDrop->hide();
    finishDrop();
}

void frmMain::dropOnList(const QList<QUrl>& urls)
{
    appendInDropOrder(ReadDroppedNames(urls), [](const QString& path) {
        return FileEntry{path, FileListModel::formatCellFor(path), path, {}};
    });
    finishDrop();
}

// A dropped folder is searched in the background like Add Folder, behind any search still
// running; the files dropped after it wait for its search, so one drop joins the list in the
// order it was made.
void frmMain::appendInDropOrder(const DroppedNames& dropped,
                                const std::function<FileEntry(const QString&)>& entryFor)
{
    QVector<FileEntry> entries;
    QString folder;
    const auto flush = [&] {
        if (folder.isEmpty())
            m_files.appendEntries(entries);
        else
            searchFolderInBackground(folder, std::move(entries));
        entries.clear();
    };
    for (const DroppedName& name : dropped.names) {
        if (name.isFolder) {
            flush();
            folder = name.path;
        } else {
            entries.append(entryFor(name.path));
        }
    }
    flush();
}

void frmMain::finishDrop()
{
    if (m_files.isEmpty())
        return;
    QCoreApplication::processEvents();
    // A folder search still running keeps its notice up.
    if (!folderSearchRunning())
        m_picText->hide();
}
