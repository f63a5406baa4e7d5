#include "intake/folder_search.h"

#include "intake/display_text.h"
#include "platform/code_page.h"
#include "platform/folder_listing.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace {

char16_t upper(QChar unit)
{
    const char16_t code = unit.unicode();
    if (code < 0x80)
        return code >= u'a' && code <= u'z' ? char16_t(code - (u'a' - u'A')) : code;
    return unit.toUpper().unicode();
}

// Negative, zero or positive as the left name lists before, with or after the right one.
// Names in one folder often share a long prefix ("track 0001", "track 0002"), so equal units are
// skipped in bulk and only the first differing pair is compared by its upper-case form.
int compareListed(QStringView left, QStringView right)
{
    const char16_t* a = left.utf16();
    const char16_t* b = right.utf16();
    const qsizetype common = std::min(left.size(), right.size());
    qsizetype i = 0;
    while (i < common) {
        i = std::mismatch(a + i, a + common, b + i).first - a;
        if (i == common)
            break;
        const char16_t upperA = upper(QChar(a[i]));
        const char16_t upperB = upper(QChar(b[i]));
        if (upperA != upperB)
            return upperA < upperB ? -1 : 1;
        ++i;
    }
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    return left.compare(right, Qt::CaseSensitive);
}

// Where a folder's names first differ: every name in a folder often starts the same way
// ("track 0001.mp3", "track 0002.mp3"), and those units decide no comparison.
qsizetype sharedStart(const FolderListing& listing)
{
    if (listing.entries.empty())
        return 0;
    const QStringView first = listing.name(listing.entries.front());
    qsizetype shared = first.size();
    for (const FolderListing::Entry& entry : listing.entries) {
        const QStringView name = listing.name(entry);
        const qsizetype limit = std::min(shared, name.size());
        shared = std::mismatch(first.utf16(), first.utf16() + limit, name.utf16()).first -
                 first.utf16();
    }
    return shared;
}

// The four units after the shared start in upper case, as one number that orders as
// compareListed does: a name that ends early counts as zeros, and no unit of a name is zero.
std::uint64_t orderKey(QStringView name, qsizetype start)
{
    std::uint64_t key = 0;
    for (qsizetype at = start; at < start + 4; ++at)
        key = key << 16 | (at < name.size() ? upper(name.at(at)) : 0u);
    return key;
}

struct ListedItem
{
    std::uint64_t key;
    std::uint32_t entry; // index into the listing's entries
};

// The listing's entries in ListedBefore order. The keys settle most comparisons as integers;
// names whose keys tie are compared whole.
void sortListed(const FolderListing& listing, std::vector<ListedItem>& order)
{
    order.clear();
    const qsizetype start = sharedStart(listing);
    for (std::uint32_t index = 0; index < listing.entries.size(); ++index)
        order.push_back({orderKey(listing.name(listing.entries[index]), start), index});
    std::sort(order.begin(), order.end(), [&listing](const ListedItem& a, const ListedItem& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return compareListed(listing.name(listing.entries[a.entry]),
                             listing.name(listing.entries[b.entry])) < 0;
    });
}

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

bool ListedBefore(const QString& left, const QString& right)
{
    return compareListed(left, right) < 0;
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
        sortListed(listing, order);

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
