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

std::uint64_t numericKey(const FoundList& list, std::size_t i, int column) {
    switch (column) {
        case kSizeColumn:
            return list.fileSize(i);
        case kCreateTimeColumn:
            return reducedTime(list.createTime(i));
        case kAccessTimeColumn:
            return reducedTime(list.accessTime(i));
        case kStatusColumn:
            return list.status(i);
        default:
            return 0;
    }
}

std::string_view textKey(const FoundList& list, std::size_t i, int column) {
    if (column == kTypeColumn) return extensionOf(list.name(i));
    if (column == kLongNameColumn) return list.longName(i).value_or(std::string_view());
    if (column == kFolderColumn) return list.folder(i);
    return list.name(i);
}

// The first eight bytes of a text as compareNames orders them, as one number: texts whose
// numbers differ compare as their numbers do, and only equal numbers need the whole texts.
std::uint64_t leadingKey(std::string_view text) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i)
        key = (key << 8) | (i < text.size() ? upper(text[i]) : 0u);
    return key;
}

template <typename Row, typename Key, typename Less>
void sortByKey(std::vector<std::uint32_t>& rows, const std::vector<std::uint32_t>& representative,
               Key key, Less less) {
    std::vector<Row> keyed;
    keyed.reserve(rows.size());
    for (const auto index : rows)
        keyed.push_back(key(representative[index], index));
    std::stable_sort(keyed.begin(), keyed.end(), less);
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
    for (std::uint32_t i = 0; i < owner.size(); ++i)
        owner[i] = i;
    // Only entries named "file:stream" can be streams: the first entry of their origin and
    // location is looked for, among the places they name alone.
    using Place = std::pair<std::string_view, std::uint64_t>;
    struct PlaceHash {
        std::size_t operator()(const Place& p) const {
            return std::hash<std::string_view>()(p.first) ^ (p.second * 0x9E3779B97F4A7C15ULL);
        }
    };
    constexpr std::uint32_t kNoEntry = UINT32_MAX;
    std::unordered_map<Place, std::uint32_t, PlaceHash> first;
    for (std::uint32_t i = 0; i < owner.size(); ++i)
        if (list.name(i).find(':') != std::string_view::npos)
            first.try_emplace(Place{list.origin(i), list.location(i)}, kNoEntry);
    if (first.empty()) return owner;
    for (std::uint32_t i = 0; i < owner.size(); ++i) {
        const auto it = first.find(Place{list.origin(i), list.location(i)});
        if (it == first.end()) continue;
        if (it->second == kNoEntry) it->second = i;
        const std::uint32_t f = it->second;
        const std::string_view file = list.name(f);
        const std::string_view name = list.name(i);
        const bool streamOfFirst = f != i && name.size() > file.size() &&
                                   name[file.size()] == ':' && name.starts_with(file);
        if (streamOfFirst) owner[i] = f;
    }
    return owner;
}

void sortRows(const FoundList& list, const std::vector<std::uint32_t>& representative,
              std::vector<std::uint32_t>& rows, int column, std::uint16_t previous) {
    if (column < 0 || column >= kColumnCount || rows.empty()) return;
    const bool ascending = ascendingFor(column, previous);
    if (isTextColumn(column)) {
        struct Row {
            std::uint64_t lead;
            std::string_view text;
            std::uint32_t index;
        };
        const auto before = [](const Row& a, const Row& b) {
            if (a.lead != b.lead) return a.lead < b.lead;
            return compareNames(a.text, b.text) < 0;
        };
        sortByKey<Row>(
            rows, representative,
            [&](std::uint32_t entry, std::uint32_t index) {
                const std::string_view text = textKey(list, entry, column);
                return Row{leadingKey(text), text, index};
            },
            [&](const Row& a, const Row& b) { return ascending ? before(a, b) : before(b, a); });
    } else {
        struct Row {
            std::uint64_t key;
            std::uint32_t index;
        };
        sortByKey<Row>(
            rows, representative,
            [&](std::uint32_t entry, std::uint32_t index) {
                return Row{numericKey(list, entry, column), index};
            },
            [ascending](const Row& a, const Row& b) {
                return ascending ? a.key < b.key : b.key < a.key;
            });
    }
}

}  // namespace rekkon::ui
