#include "intake/folder_search.h"

#include "intake/display_text.h"
#include "platform/code_page.h"
#include "platform/folder_listing.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
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

// A folder's files and folders in ListedBefore order; false when it cannot be listed.
bool listFolder(const QString& folder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    if (!ListFolder(folder, entries))
        return false;
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return compareListed(a.name, b.name) < 0;
    });
    return true;
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
    return compareListed(left, right) < 0;
}

SearchReport SearchFolder(const QString& folder, const FoundFileSink& sink, QChar separator,
                          const std::atomic_bool* cancelled)
{
    SearchReport report;
    QSet<QString> searched; // canonical paths, so a folder reached twice is searched once
    std::vector<QString> pending{folder};
    std::vector<FolderEntry> listed;
    while (!pending.empty()) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            report.cancelled = true;
            break;
        }
        const QString current = std::move(pending.back());
        pending.pop_back();
        const QString canonical = QFileInfo(current).canonicalFilePath();
        if (searched.contains(canonical)) {
            report.repeatedFolders += current;
            continue;
        }
        if (!listFolder(current, listed)) {
            report.unreadableFolders += current;
            continue;
        }
        searched.insert(canonical);
        ++report.foldersSearched;

        const QString prefix = current + separator;
        std::vector<QString> subfolders;
        for (const FolderEntry& entry : listed) {
            // Sized exactly: a large search keeps every found path.
            QString path;
            path.reserve(prefix.size() + entry.name.size());
            path.append(prefix).append(entry.name);
            if (entry.isFolder) {
                subfolders.push_back(std::move(path));
            } else {
                sink(path);
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
