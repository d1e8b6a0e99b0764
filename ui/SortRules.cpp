#include "ui/SortRules.h"

#include <algorithm>
#include <unordered_map>

namespace rekkon::ui {

namespace {

unsigned char upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

// The first order of a column: true for A to Z, false for largest first.
bool isTextColumn(int column) {
    return column == kNameColumn || column == kTypeColumn || column == kLongNameColumn ||
           column == kFolderColumn;
}

bool firstOrderAscending(int column) {
    return isTextColumn(column);
}

bool ascendingFor(int column, std::uint16_t previous) {
    const bool repeated = static_cast<std::uint16_t>(column) == previous;
    return firstOrderAscending(column) != repeated;
}

std::uint64_t numericKey(const DeletedFileEntry& e, int column) {
    switch (column) {
        case kSizeColumn:
            return e.size;
        case kCreateTimeColumn:
            return reducedTime(e.createTime);
        case kAccessTimeColumn:
            return reducedTime(e.accessTime);
        case kStatusColumn:
            return e.status;
        default:
            return 0;
    }
}

std::string_view textKey(const DeletedFileEntry& e, int column) {
    if (column == kTypeColumn) return extensionOf(e.name);
    if (column == kLongNameColumn) return e.longName ? std::string_view(*e.longName) : "";
    if (column == kFolderColumn) return e.folder;
    return e.name;
}

template <typename Key, typename Less>
void sortByKey(std::vector<std::uint32_t>& rows, const std::vector<std::uint32_t>& representative,
               const FoundList& list, Key key, Less less) {
    using K = decltype(key(list.front()));
    struct Row {
        K key;
        std::uint32_t index;
    };
    std::vector<Row> keyed;
    keyed.reserve(rows.size());
    for (const auto index : rows)
        keyed.push_back({key(list[representative[index]]), index});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](const Row& a, const Row& b) { return less(a.key, b.key); });
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = keyed[i].index;
}

}  // namespace

std::uint16_t previousAfterClick(int column, std::uint16_t previous) {
    const auto clicked = static_cast<std::uint16_t>(column);
    return clicked == previous ? kReversedSort : clicked;
}

bool sortsAscending(int column, std::uint16_t previous) {
    return ascendingFor(column, previous);
}

int compareNames(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = upper(a[i]);
        const unsigned char y = upper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string_view extensionOf(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

std::uint32_t reducedTime(std::uint64_t fileTime) {
    const auto high = static_cast<std::uint32_t>(fileTime >> 32);
    const auto low = static_cast<std::uint32_t>(fileTime);
    return ((high & 0x7FFFFFu) << 8) + (low >> 24);
}

int compareEntries(const DeletedFileEntry& a, const DeletedFileEntry& b, int column,
                   std::uint16_t previous) {
    if (column < 0 || column >= kColumnCount) return 0;
    int ascendingResult = 0;
    if (isTextColumn(column)) {
        ascendingResult = compareNames(textKey(a, column), textKey(b, column));
    } else {
        const auto x = numericKey(a, column);
        const auto y = numericKey(b, column);
        ascendingResult = x == y ? 0 : (x < y ? -1 : 1);
    }
    return ascendingFor(column, previous) ? ascendingResult : -ascendingResult;
}

std::vector<std::uint32_t> streamOwners(const FoundList& list) {
    std::vector<std::uint32_t> owner(list.size());
    // The first entry of each origin and location: the file, where its streams follow it.
    using Place = std::pair<std::string_view, std::uint64_t>;
    struct PlaceHash {
        std::size_t operator()(const Place& p) const {
            return std::hash<std::string_view>()(p.first) ^ (p.second * 0x9E3779B97F4A7C15ULL);
        }
    };
    std::unordered_map<Place, std::uint32_t, PlaceHash> first;
    first.reserve(list.size());
    for (std::uint32_t i = 0; i < list.size(); ++i) {
        const Place place{list[i].origin, list[i].location};
        const std::uint32_t f = first.try_emplace(place, i).first->second;
        const std::string& file = list[f].name;
        const std::string& name = list[i].name;
        const bool streamOfFirst = f != i && name.size() > file.size() &&
                                   name[file.size()] == ':' &&
                                   name.compare(0, file.size(), file) == 0;
        owner[i] = streamOfFirst ? f : i;
    }
    return owner;
}

void sortRows(const FoundList& list, const std::vector<std::uint32_t>& representative,
              std::vector<std::uint32_t>& rows, int column, std::uint16_t previous) {
    if (column < 0 || column >= kColumnCount || rows.empty()) return;
    const bool ascending = ascendingFor(column, previous);
    if (isTextColumn(column)) {
        sortByKey(
            rows, representative, list,
            [column](const DeletedFileEntry& e) { return textKey(e, column); },
            [ascending](std::string_view x, std::string_view y) {
                return ascending ? compareNames(x, y) < 0 : compareNames(y, x) < 0;
            });
    } else {
        sortByKey(
            rows, representative, list,
            [column](const DeletedFileEntry& e) { return numericKey(e, column); },
            [ascending](std::uint64_t x, std::uint64_t y) { return ascending ? x < y : y < x; });
    }
}

}  // namespace rekkon::ui
