#include "intake/folder_search.h"

#include "intake/display_text.h"
#include "platform/code_page.h"
#include "platform/folder_listing.h"

#include <QFileInfo>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// One allocation of exactly the path's size: a large search keeps every path it finds.
QString joined(const QString& prefix, QStringView name)
{
    QString path(prefix.size() + name.size(), Qt::Uninitialized);
    QChar* out = path.data();
    std::copy_n(prefix.constData(), prefix.size(), out);
    std::copy_n(name.data(), name.size(), out + prefix.size());
    return path;
}

// The folders searched so far. A folder is known by its identity first, which costs nothing
// extra; only when the identity has been seen before are the real paths compared, because some
// file systems give two folders the same identity and neither may be passed over.
class SearchedFolders
{
public:
    bool contains(FolderIdentity identity, const QString& folder) const
    {
        const auto seen = m_paths.find(identity);
        if (seen == m_paths.end())
            return false;
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        return std::any_of(seen->second.begin(), seen->second.end(), [&](const QString& earlier) {
            return QFileInfo(earlier).canonicalFilePath() == canonical;
        });
    }
    void insert(FolderIdentity identity, const QString& folder)
    {
        m_paths[identity].push_back(folder);
    }

private:
    std::map<FolderIdentity, std::vector<QString>> m_paths;
};

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

SearchReport SearchFolder(const QString& folder, const FoundFileSink& sink, QChar separator,
                          const std::atomic_bool* cancelled)
{
    SearchReport report;
    SearchedFolders searched;
    std::vector<QString> pending{folder};
    FolderListing listing;
    std::vector<ListedItem> order;
    std::vector<QString> subfolders;
    while (!pending.empty()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            report.cancelled = true;
            break;
        }
        const QString current = std::move(pending.back());
        pending.pop_back();
        OpenFolder opened(current);
        if (opened.isOpen() && searched.contains(opened.identity(), current)) {
            report.repeatedFolders += current;
            continue;
        }
        if (!opened.read(listing)) {
            report.unreadableFolders += current;
            continue;
        }
        searched.insert(opened.identity(), current);
        ++report.foldersSearched;
        SortListed(listing, order);

        const QString prefix = current + separator;
        for (const ListedItem& item : order) {
            const FolderListing::Entry& entry = listing.entries[item.entry];
            QString path = joined(prefix, listing.name(entry));
            if (entry.isFolder) {
                subfolders.push_back(std::move(path));
            } else {
                sink(std::move(path));
                ++report.filesFound;
            }
        }
        // The first subfolder goes on top, so it is searched whole before the second.
        pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                       std::make_move_iterator(subfolders.rend()));
        subfolders.clear();
    }
    return report;
}

QStringList SearchFolder(const QString& folder, SearchReport* report, QChar separator)
{
    QStringList found;
    const SearchReport result = SearchFolder(
        folder, [&found](QString&& path) { found += std::move(path); }, separator);
    if (report)
        *report = result;
    return found;
}
