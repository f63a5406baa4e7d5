#include "intake/folder_search.h"

#include "intake/display_text.h"
#include "platform/code_page.h"
#include "platform/folder_listing.h"

#include <QFile>
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

// The bytes of a path below a folder: the folder's bytes (or its exact text) and the name's.
QByteArray nativeJoined(const QString& folder, const QByteArray& nativeFolder, QChar separator,
                        QByteArrayView name, QStringView shownName)
{
    QByteArray path = nativeFolder.isEmpty() ? QFile::encodeName(folder) : nativeFolder;
    path += QFile::encodeName(QString(separator));
    path += name.isEmpty() ? QFile::encodeName(shownName.toString()) : name.toByteArray();
    return path;
}

// The folders searched so far, by identity. Where identities are stable, a second folder with a
// known identity is the same folder reached again, whatever its path (a bind mount gives no link
// to resolve). Where they are not (FAT, exFAT), the real paths are compared as well, because two
// folders there may share an identity and neither may be passed over.
class SearchedFolders
{
public:
    bool contains(const OpenFolder& opened, const QString& folder) const
    {
        const auto seen = m_paths.find(opened.identity());
        if (seen == m_paths.end())
            return false;
        if (opened.hasStableIdentity())
            return true;
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

void FoundFiles::append(QString&& path, QByteArray&& nativePath)
{
    if (!nativePath.isEmpty())
        nativePaths.append({paths.size(), std::move(nativePath)});
    paths.append(std::move(path));
}

void FoundFiles::append(FoundFiles&& more)
{
    const qsizetype shift = paths.size();
    for (auto& [index, native] : more.nativePaths)
        nativePaths.append({index + shift, std::move(native)});
    paths += std::move(more.paths);
    more = FoundFiles();
}

SearchReport SearchFolder(const QString& folder, const FoundFileSink& sink, QChar separator,
                          const std::atomic_bool* cancelled, const QByteArray& nativeFolder)
{
    // A folder to search: its path as text, and as bytes when the text is not exact.
    struct Pending
    {
        QString path;
        QByteArray native;
    };
    SearchReport report;
    SearchedFolders searched;
    std::vector<Pending> pending{{folder, nativeFolder}};
    FolderListing listing;
    std::vector<ListedItem> order;
    std::vector<Pending> subfolders;
    while (!pending.empty()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            report.cancelled = true;
            break;
        }
        const Pending next = std::move(pending.back());
        pending.pop_back();
        const QString& current = next.path;
        OpenFolder opened = next.native.isEmpty() ? OpenFolder(current) : OpenFolder(next.native);
        if (opened.isOpen() && searched.contains(opened, current)) {
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
            const QStringView name = listing.name(entry);
            QString path = joined(prefix, name);
            QByteArray native;
            if (!next.native.isEmpty() || entry.nativeSize != 0)
                native = nativeJoined(current, next.native, separator, listing.nativeName(entry),
                                      name);
            if (entry.isFolder) {
                subfolders.push_back({std::move(path), std::move(native)});
            } else {
                sink(std::move(path), std::move(native));
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
        folder, [&found](QString&& path, QByteArray&&) { found += std::move(path); }, separator);
    if (report)
        *report = result;
    return found;
}
