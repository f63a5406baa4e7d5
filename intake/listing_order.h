#pragma once

#include "platform/folder_listing.h"

#include <QString>

#include <cstdint>
#include <vector>

// The order a folder's names are listed in: the order of the file system the program was first
// written for, which keeps names sorted by their UTF-16 code units after mapping each to upper
// case, one unit at a time. So "a" and "A" sort together, and letters come before "_" and the
// other characters between "Z" and "a". Names that differ only in case follow in code-unit order.
bool ListedBefore(const QString& left, const QString& right);

struct ListedItem
{
    std::uint64_t key;   // decides most comparisons on its own
    std::uint32_t entry; // index into the listing's entries
};

// The listing's entries in ListedBefore order.
void SortListed(const FolderListing& listing, std::vector<ListedItem>& order);
