#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

struct FoundFiles;

// One entry of the file list: what the user sees and what the converter is given, kept together so
// the visible rows and the queue can never drift apart.
struct FileEntry
{
    QString displayText; // the "FileName" column
    QString formatCell;  // the "Format" column
    QString queuePath;   // the path the converter is given (the source or its staged copy)
    QString addedFolder; // the folder the user added that this file was found in; empty for a file
                         // added on its own
    QByteArray nativePath{}; // the source's bytes when queuePath does not name it exactly (a name
                           // that is not UTF-8, shown with replacement characters); else empty
    QString outputName{}; // names from tags: the output's path below the output folder without
                         // extension, '/'-separated; empty: named after the source as usual

    // The queue path as the file system takes it.
    QByteArray queueBytes() const;

    bool operator==(const FileEntry&) const = default;
};
// Implicitly shared strings: the list may grow by moving its memory, not copying entries.
Q_DECLARE_TYPEINFO(FileEntry, Q_RELOCATABLE_TYPE);

// The program's work queue, shown by a list view with the columns "FileName" and "Format".
// Rows are 0-based here; the batch converts row 0 and takes it off when its job is over.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { FileNameColumn = 0, FormatColumn = 1, ColumnCount = 2 };
    // The share done (0 to 1) of an entry being converted together with others; none otherwise.
    static constexpr int ProgressRole = Qt::UserRole + 1;

    explicit FileListModel(QObject* parent = nullptr);

    // Appends one entry; the Format cell is the last three characters of formatSource, upper-cased.
    void AppendEntry(const QString& queuePath, const QString& displayText,
                     const QString& formatSource);
    void appendEntries(const QVector<FileEntry>& entries);
    // Appends the files a search of addedFolder found: each path is both the queue path and the
    // display text, and its Format cell comes from the path without outer spaces. Rows with the
    // same Format cell share one string, which matters for searches of many thousand files.
    void appendFoundPaths(const QStringList& paths, const QString& addedFolder);
    // The same, taking the paths over instead of sharing them: a large search's results are
    // neither counted up nor down once more.
    void appendFoundPaths(QStringList&& paths, const QString& addedFolder);
    // The same, with the bytes of the paths whose text is not exact kept in their entries.
    void appendFoundPaths(FoundFiles&& found, const QString& addedFolder);

    bool isEmpty() const { return m_entries.isEmpty(); }
    int count() const { return static_cast<int>(m_entries.size()); }
    const FileEntry& entry(int row) const { return m_entries.at(row); }
    const QVector<FileEntry>& entries() const { return m_entries; }

    bool removeEntry(int row);
    bool removeHead();
    void removeAll();

    static QString formatCellFor(const QString& formatSource);

    // The progress of an entry being converted: its row shows the caption in the Format column
    // and offers the share under ProgressRole until it is cleared or the entry leaves the list.
    void setEntryProgress(int row, double share, const QString& caption);
    void clearEntryProgress();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct RowProgress
    {
        int row;
        double share;
        QString caption;
    };
    const RowProgress* progressOf(int row) const;

    QVector<FileEntry> m_entries;
    QList<RowProgress> m_progress; // only the few rows being converted, kept beside the entries
};
