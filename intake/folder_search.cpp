#include "intake/folder_search.h"

#include "intake/display_text.h"
#include "platform/code_page.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <vector>

namespace {

QString listingKey(const QString& name)
{
    QString key = name;
    for (QChar& unit : key)
        unit = unit.toUpper();
    return key;
}

struct ListedEntry
{
    QString key;
    QString name;
    bool isFolder = false;
};

// Lists a folder's files and folders (hidden ones too) in ListedBefore order.
std::vector<ListedEntry> listFolder(const QString& folder)
{
    std::vector<ListedEntry> entries;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QString name = it.fileName();
        entries.push_back({listingKey(name), std::move(name), info.isDir()});
    }
    std::sort(entries.begin(), entries.end(), [](const ListedEntry& a, const ListedEntry& b) {
        const int byKey = QString::compare(a.key, b.key, Qt::CaseSensitive);
        return byKey != 0 ? byKey < 0 : a.name < b.name;
    });
    return entries;
}

bool listable(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

} // namespace

QString TrimFixedName(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && (text.at(end - 1) == QChar(u'\0') || text.at(end - 1) == QLatin1Char(' ')))
        --end;
    return text.left(end);
}

bool FolderExists(const QString& path, const CodePage& codePage)
{
    return !path.isEmpty() && AnsiRoundTrip(path, codePage) == path && QFileInfo(path).isDir();
}

bool ListedBefore(const QString& left, const QString& right)
{
    const int byKey = QString::compare(listingKey(left), listingKey(right), Qt::CaseSensitive);
    return byKey != 0 ? byKey < 0 : left < right;
}

SearchReport SearchFolder(const QString& folder, const FoundFileSink& sink, QChar separator,
                          const std::atomic_bool* cancelled)
{
    SearchReport report;
    QSet<QString> searched; // canonical paths, so a folder reached twice is searched once
    std::vector<QString> pending{folder};
    while (!pending.empty()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            report.cancelled = true;
            break;
        }
        const QString current = std::move(pending.back());
        pending.pop_back();
        if (!listable(current)) {
            report.unreadableFolders += current;
            continue;
        }
        const QString canonical = QFileInfo(current).canonicalFilePath();
        if (searched.contains(canonical)) {
            report.repeatedFolders += current;
            continue;
        }
        searched.insert(canonical);
        ++report.foldersSearched;

        const QString prefix = current + separator;
        std::vector<QString> subfolders;
        for (const ListedEntry& entry : listFolder(current)) {
            if (entry.isFolder) {
                subfolders.push_back(prefix + entry.name);
            } else {
                sink(prefix + entry.name);
                ++report.filesFound;
            }
        }
        // The first subfolder goes on top, so it is searched whole before the second.
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                       std::make_move_iterator(subfolders.rend()));
    }
    return report;
}

QStringList SearchFolder(const QString& folder, SearchReport* report, QChar separator)
{
    QStringList found;
    const SearchReport result =
        SearchFolder(folder, [&found](const QString& path) { found += path; }, separator);
    if (report)
        *report = result;
    return found;
}
