#include "intake/listing_order.h"

#include <algorithm>

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

} // namespace

bool ListedBefore(const QString& left, const QString& right)
{
    return compareListed(left, right) < 0;
}

// The keys settle most comparisons as integers; names whose keys tie are compared whole.
void SortListed(const FolderListing& listing, std::vector<ListedItem>& order)
{
    order.clear();
    const qsizetype start = sharedStart(listing);
    for (std::uint32_t index = 0; index < listing.entries.size(); ++index)
        order.push_back({orderKey(listing.name(listing.entries[index]), start), index});
    std::sort(order.begin(), order.end(), [&listing](const ListedItem& a, const ListedItem& b) {
        if (a.key != b.key)
            return a.key < b.key;
        const FolderListing::Entry& left = listing.entries[a.entry];
        const FolderListing::Entry& right = listing.entries[b.entry];
        if (const int compared = compareListed(listing.name(left), listing.name(right)))
            return compared < 0;
        // Names that are not UTF-8 may show alike; their bytes keep the order fixed.
        return listing.nativeName(left) < listing.nativeName(right);
    });
}
