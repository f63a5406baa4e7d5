#include "intake/file_list_model.h"

#include "intake/folder_search.h"

#include <QFile>

#include <algorithm>
#include <utility>
#include <vector>

QByteArray FileEntry::queueBytes() const
{
    return nativePath.isEmpty() ? QFile::encodeName(queuePath) : nativePath;
}

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

QString FileListModel::formatCellFor(const QString& formatSource)
{
    return formatSource.right(3).toUpper();
}

void FileListModel::AppendEntry(const QString& queuePath, const QString& displayText,
                                const QString& formatSource)
{
    appendEntries({FileEntry{displayText, formatCellFor(formatSource), queuePath, {}, {}}});
}

void FileListModel::appendEntries(const QVector<FileEntry>& entries)
{
    if (entries.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    m_entries += entries;
    endInsertRows();
}

void FileListModel::appendFoundPaths(const QStringList& paths, const QString& addedFolder)
{
    appendFoundPaths(QStringList(paths), addedFolder);
}

void FileListModel::appendFoundPaths(QStringList&& paths, const QString& addedFolder)
{
    FoundFiles found;
    found.paths = std::move(paths);
    appendFoundPaths(std::move(found), addedFolder);
}

void FileListModel::appendFoundPaths(FoundFiles&& found, const QString& addedFolder)
{
    QStringList& paths = found.paths;
    if (paths.isEmpty())
        return;
    auto native = found.nativePaths.begin();
    qsizetype index = 0;
    // Each distinct source tail of this batch and its cell; a search yields only a few.
    std::vector<std::pair<QString, QString>> cells;
    const int first = count();
    beginInsertRows({}, first, first + static_cast<int>(paths.size()) - 1);
    for (QString& path : paths) {
        const QStringView tail = QStringView(path).trimmed().right(3);
        auto known = std::find_if(cells.begin(), cells.end(),
                                  [tail](const auto& cell) { return cell.first == tail; });
        if (known == cells.end()) {
            if (cells.size() >= 64)
                cells.clear();
            known = cells.insert(cells.end(), {tail.toString(), formatCellFor(tail.toString())});
        }
        QByteArray nativePath;
        if (native != found.nativePaths.end() && native->first == index) {
            nativePath = std::move(native->second);
            ++native;
        }
        m_entries.append(
            FileEntry{path, known->second, std::move(path), addedFolder, std::move(nativePath)});
        ++index;
    }
    endInsertRows();
}

bool FileListModel::removeEntry(int row)
{
    if (row < 0 || row >= count())
        return false;
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    m_progress.removeIf([row](const RowProgress& progress) { return progress.row == row; });
    for (RowProgress& progress : m_progress) {
        if (progress.row > row)
            --progress.row;
    }
    endRemoveRows();
    return true;
}

bool FileListModel::removeHead()
{
    return removeEntry(0);
}

void FileListModel::removeAll()
{
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    m_progress.clear();
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const FileEntry& row = m_entries.at(index.row());
    if (role == Qt::DisplayRole) {
        if (index.column() == FileNameColumn)
            return row.displayText;
        const RowProgress* progress = progressOf(index.row());
        return progress ? progress->caption : row.formatCell;
    }
    if (role == ProgressRole) {
        const RowProgress* progress = progressOf(index.row());
        return progress ? QVariant(progress->share) : QVariant();
    }
    if (role == Qt::ToolTipRole)
        return row.queuePath;
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == FileNameColumn ? QStringLiteral("FileName") : QStringLiteral("Format");
}

const FileListModel::RowProgress* FileListModel::progressOf(int row) const
{
    for (const RowProgress& progress : m_progress) {
        if (progress.row == row)
            return &progress;
    }
    return nullptr;
}

void FileListModel::setEntryProgress(int row, double share, const QString& caption)
{
    if (row < 0 || row >= count())
        return;
    auto found = std::find_if(m_progress.begin(), m_progress.end(),
                              [row](const RowProgress& progress) { return progress.row == row; });
    if (found == m_progress.end())
        m_progress.append({row, share, caption});
    else
        *found = {row, share, caption};
    emit dataChanged(index(row, FileNameColumn), index(row, FormatColumn));
}

void FileListModel::clearEntryProgress()
{
    const QList<RowProgress> cleared = std::exchange(m_progress, {});
    for (const RowProgress& progress : cleared)
        emit dataChanged(index(progress.row, FileNameColumn), index(progress.row, FormatColumn));
}
