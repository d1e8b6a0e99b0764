#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::ui {

// How the results list sorts when a column header is clicked.
//
// The list remembers the previous sort column: 0 for a freshly filled list, afterwards the column
// last clicked, or kReversedSort after a click that repeated the previous column (and so reversed
// the order). A click on a column other than the previous one sorts in the column's first order:
// names, long names and types A to Z, sizes, times and status largest first. A click on the
// previous column sorts in the opposite order. As the previous column starts at 0, the very first
// click on "File Name" gives Z to A.

inline constexpr std::uint16_t kReversedSort = 0xFFF;

// Columns of the results list, also the sort columns.
enum Column : int {
    kNameColumn = 0,
    kSizeColumn = 1,
    kCreateTimeColumn = 2,
    kAccessTimeColumn = 3,
    kStatusColumn = 4,
    kTypeColumn = 5,
    // Added after the six above, so their numbers stay; the list shows it after "File Name".
    // Entries without a long name sort as an empty one.
    kLongNameColumn = 6,
    // The folder path the entry was found in, shown after "Long Name"; sorts A to Z first.
    kFolderColumn = 7,
};
inline constexpr int kColumnCount = 8;

// Lists of this many rows or more are sorted on two threads (sortRows).
inline constexpr std::size_t kParallelSortRows = std::size_t{1} << 14;

// The previous sort column after a click on `column`.
std::uint16_t previousAfterClick(int column, std::uint16_t previous);

// Names compared with the letters a to z upper-cased, byte by byte as unsigned characters; a
// name that is a prefix of the other comes first. Names are compared whole, however long.
// Returns -1, 0 or +1.
int compareNames(std::string_view a, std::string_view b);
// The text after the last point of `name`; empty without a point.
std::string_view extensionOf(std::string_view name);
// A FILETIME reduced to its bits 24 to 54 (steps of about 1.68 s): times closer than that
// may compare equal.
std::uint32_t reducedTime(std::uint64_t fileTime);

// Whether a click on `column` after the previous sort column `previous` sorts A to Z or
// smallest first.
bool sortsAscending(int column, std::uint16_t previous);

// Negative when `a` is to come before `b` after a click on `column` with the previous sort column
// `previous`; 0 for equal keys and for columns outside the list.
int compareEntries(const DeletedFileEntry& a, const DeletedFileEntry& b, int column,
                   std::uint16_t previous);

// For each index of `list`, the index of the entry it sorts as: a named stream of an NTFS file
// (the file's name, ':' and the stream's, with the file's record as its location) sorts as the
// first entry of that record and name, so a file's streams stay with it; every other entry sorts
// by its own values, also where it shares its location with another file (on FAT a later file
// can take a deleted file's first cluster).
std::vector<std::uint32_t> streamOwners(const FoundList& list);

// Sorts `rows` (indices into `list`) in place, stably, by compareEntries of their
// representatives (`representative` as from streamOwners).
void sortRows(const FoundList& list, const std::vector<std::uint32_t>& representative,
              std::vector<std::uint32_t>& rows, int column, std::uint16_t previous);

}  // namespace rekkon::ui
