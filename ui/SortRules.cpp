#include "ui/SortRules.h"

#include <algorithm>
#include <system_error>
#include <thread>
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

// The first 24 bytes of a text as compareNames orders them, as three numbers, with where the
// text is and its length: texts whose numbers differ compare as their numbers do; with equal
// numbers, two texts of at most 24 bytes compare by their lengths, and only longer ones compare
// their whole texts. A sort by them seldom reads the texts themselves.
struct TextLead {
    std::uint64_t lead[3] = {};
    const char* text = nullptr;
    std::uint32_t length = 0;
};
constexpr std::size_t kLeadBytes = 24;

TextLead leadOf(std::string_view text) {
    TextLead key;
    for (std::size_t i = 0; i < kLeadBytes; ++i)
        key.lead[i / 8] = (key.lead[i / 8] << 8) | (i < text.size() ? upper(text[i]) : 0u);
    key.text = text.data();
    key.length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), UINT32_MAX));
    return key;
}

// -1, 0 or +1 as `x` comes before, with or after `y` in the order asked for.
template <typename T>
int threeWay(T x, T y, bool ascending) {
    if (x == y) return 0;
    return (x < y) == ascending ? -1 : 1;
}

// -1, 0 or +1 as compareNames orders the two texts.
int compareLeads(const TextLead& x, const TextLead& y) {
    for (std::size_t i = 0; i < 3; ++i)
        if (x.lead[i] != y.lead[i]) return x.lead[i] < y.lead[i] ? -1 : 1;
    // The first 24 bytes match (a text shorter than that is padded with zeros).
    if (x.length <= kLeadBytes || y.length <= kLeadBytes)
        return x.length == y.length ? 0 : (x.length < y.length ? -1 : 1);
    return compareNames({x.text + kLeadBytes, x.length - kLeadBytes},
                        {y.text + kLeadBytes, y.length - kLeadBytes});
}

// Sorts `rows` (indices into a list of `entries`) by `makeKey` of each row's representative,
// `order` comparing two keys (-1, 0 or +1); rows of equal keys keep their order. The keys are made
// in the list's own order, which reads it front to back, and sorted as small records by one
// introsort (with the row's position as the last key) rather than by a stable sort and its extra
// buffer.
template <typename Key, typename MakeKey, typename Order>
void sortByKey(std::vector<std::uint32_t>& rows, const std::vector<std::uint32_t>& representative,
               std::size_t entries, MakeKey makeKey, Order order) {
    struct Row {
        Key key;
        std::uint32_t position;
    };
    constexpr std::uint32_t kNotShown = UINT32_MAX;
    std::vector<std::uint32_t> positionOf(entries, kNotShown);
    for (std::uint32_t position = 0; position < rows.size(); ++position)
        positionOf[rows[position]] = position;
    std::vector<Row> keyed;
    keyed.reserve(rows.size());
    for (std::uint32_t index = 0; index < entries; ++index)
        if (positionOf[index] != kNotShown)
            keyed.push_back({makeKey(representative[index]), positionOf[index]});
    positionOf = {};
    const auto less = [&](const Row& a, const Row& b) {
        const int c = order(a.key, b.key);
        return c != 0 ? c < 0 : a.position < b.position;
    };
    // A long list is sorted in two halves side by side (the keys and the list are only read),
    // then merged as the rows are put in their new order: no buffer for the merge.
    std::size_t half = keyed.size();
    if (keyed.size() >= kParallelSortRows) {
        half = keyed.size() / 2;
        const auto middle = keyed.begin() + static_cast<std::ptrdiff_t>(half);
        std::thread other;
        try {
            other = std::thread([&] { std::sort(keyed.begin(), middle, less); });
        } catch (const std::system_error&) {
            half = keyed.size();  // no second thread: one sort of the whole
        }
        if (other.joinable()) {
            std::sort(middle, keyed.end(), less);
            other.join();
        }
    }
    if (half == keyed.size()) std::sort(keyed.begin(), keyed.end(), less);
    const std::vector<std::uint32_t> was = rows;
    std::size_t a = 0, b = half;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool second = a == half || (b < keyed.size() && less(keyed[b], keyed[a]));
        rows[i] = was[keyed[second ? b++ : a++].position];
    }
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
    const std::size_t entries = list.size();
    if (column == kFolderColumn) {
        // Entries share few folders: the folders are ranked once, and the rows sort by rank.
        std::vector<std::uint32_t> byText(list.folderCount());
        for (std::uint32_t f = 0; f < byText.size(); ++f)
            byText[f] = f;
        const auto folderLess = [&](std::uint32_t a, std::uint32_t b) {
            return compareNames(list.folderText(a), list.folderText(b)) < 0;
        };
        std::sort(byText.begin(), byText.end(), folderLess);
        std::vector<std::uint32_t> rank(byText.size());
        for (std::uint32_t r = 0; r < byText.size(); ++r)
            rank[byText[r]] =
                r > 0 && !folderLess(byText[r - 1], byText[r]) ? rank[byText[r - 1]] : r;
        sortByKey<std::uint32_t>(
            rows, representative, entries,
            [&](std::uint32_t entry) { return rank[list.folderId(entry)]; },
            [ascending](std::uint32_t x, std::uint32_t y) { return threeWay(x, y, ascending); });
    } else if (isTextColumn(column)) {
        sortByKey<TextLead>(
            rows, representative, entries,
            [&](std::uint32_t entry) { return leadOf(textKey(list, entry, column)); },
            [ascending](const TextLead& x, const TextLead& y) {
                return ascending ? compareLeads(x, y) : compareLeads(y, x);
            });
    } else {
        sortByKey<std::uint64_t>(
            rows, representative, entries,
            [&](std::uint32_t entry) { return numericKey(list, entry, column); },
            [ascending](std::uint64_t x, std::uint64_t y) { return threeWay(x, y, ascending); });
    }
}

}  // namespace rekkon::ui
