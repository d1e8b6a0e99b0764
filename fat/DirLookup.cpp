#include "fat/DirLookup.h"

#include <algorithm>
#include <array>
#include <vector>

#include "fat/FatTable.h"
#include "fat/SlotNames.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

bool longNameMatches(const std::optional<std::string>& longName, std::string_view componentUtf8) {
    return longName && asciiUpper(*longName) == componentUtf8;
}

}  // namespace

namespace {

// The 8.3 comparison: the component's base (up to its first '.', or all of "." and "..") must
// fill the 8 base bytes with blank padding, and the (up to) 3 characters after the '.' the
// extension bytes.
// Neither name is read past its end.
bool shortNameMatches(const DirEntry& entry, std::string_view t) {
    const bool dots = t == "." || t == "..";
    const std::size_t dot = dots ? std::string_view::npos : t.find('.');
    const std::string_view base = t.substr(0, dot);
    // Only the first three characters after the '.' count.
    const std::string_view ext = dot == std::string_view::npos ? "" : t.substr(dot + 1, 3);
    if (base.size() > 8) return false;
    auto fieldMatches = [&](std::string_view part, std::size_t from, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            const std::uint8_t want = i < part.size() ? static_cast<std::uint8_t>(part[i]) : ' ';
            if (entry.name[from + i] != want) return false;
        }
        return true;
    };
    return fieldMatches(base, 0, 8) && fieldMatches(ext, 8, 3);
}

}  // namespace

bool matchEntryName(const DirEntry& entry, const std::optional<std::string>& longName,
                    const std::optional<std::string>& componentOem,
                    std::string_view componentUtf8) {
    if (componentOem && shortNameMatches(entry, *componentOem)) return true;
    // Any long name assembled before the entry is compared too, so a folder can be named by
    // the name the user sees ("My Documents") as well as by its 8.3 form ("MYDOCU~1").
    return longNameMatches(longName, componentUtf8);
}

int findDirEntry(FatVolume& fat, std::uint32_t folderCluster, std::string_view component,
                 DirEntry& result, std::string* shownName) {
    const std::uint64_t blockBytes = fat.geometry.clusterBytes();
    if (blockBytes == 0) return fat.lastError = ENOENT;
    const std::string upper = asciiUpper(component);
    const std::optional<std::string> upperOem = utf8ToCp437(upper);
    const bool wantsDeleted = !component.empty() && component.front() == '?';
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockBytes));
    SlotNames names;
    ChainReader folder(fat, folderCluster);  // read on link by link, each cluster once

    for (std::uint64_t offset = 0; offset < kMaxFolderBytes; offset += blockBytes) {
        const std::size_t got = folder.read(offset, block);
        // The root area may end inside a block: examine what arrived, then stop.
        for (std::size_t pos = 0; pos + kDirEntrySize <= got; pos += kDirEntrySize) {
            std::span<std::uint8_t, kDirEntrySize> raw(block.data() + pos, kDirEntrySize);
            if (isEndOfFolder(raw)) return fat.lastError = ENOENT;
            names.advance(raw);
            if (isLongNamePiece(raw)) continue;
            DirEntry entry = *parseDirEntry(raw);
            const bool deleted = entry.name[0] == kDeletedMarker;
            if (deleted) {
                if (!wantsDeleted) continue;
                entry.name[0] = '?';
            } else if (entry.name[0] == kKanjiE5Marker) {
                entry.name[0] = kDeletedMarker;
            }
            if (matchEntryName(entry, names.liveName(), upperOem, upper)) {
                result = entry;
                if (shownName != nullptr) {
                    std::optional<std::string> longName = names.liveName();
                    if (deleted) {
                        const auto recovered = names.deletedName();
                        longName = recovered ? std::optional(recovered->name) : std::nullopt;
                    }
                    *shownName = longName && !longName->empty() ? *longName
                                                                : cp437ToUtf8(entry.displayBytes());
                }
                return fat.lastError = 0;
            }
        }
        if (got < block.size()) break;
    }
    return fat.lastError = ENOENT;
}

int findPathEntry(FatVolume& fat, std::uint32_t startCluster, const std::string* path,
                  DirEntry& result, std::string* shownPath) {
    if (path == nullptr) return fat.lastError = EINVAL;
    std::string_view rest(*path);
    auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    while (!rest.empty() && isSeparator(rest.front()))
        rest.remove_prefix(1);
    result.attributes |= kAttrFolder;
    std::uint32_t cluster = startCluster;
    fat.lastError = 0;
    auto fail = [&]() {
        return fat.lastError = (fat.lastError != 0 ? fat.lastError : ENOENT), ENOENT;
    };
    while (!rest.empty()) {
        if (cluster == 0 || !result.isFolder()) return fail();
        const std::size_t cut = static_cast<std::size_t>(
            std::find_if(rest.begin(), rest.end(), isSeparator) - rest.begin());
        const std::string_view component = rest.substr(0, cut);
        rest.remove_prefix(cut == rest.size() ? cut : cut + 1);
        if (component.empty()) continue;  // doubled separators
        std::string shown;
        if (findDirEntry(fat, cluster, component, result, &shown) != 0) return fail();
        if (shownPath != nullptr) *shownPath += "\\" + shown;
        cluster = result.firstCluster(fat.volume.kind);
    }
    return fat.lastError = 0;
}

}  // namespace rekkon
