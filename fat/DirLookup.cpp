#include "fat/DirLookup.h"

#include <algorithm>
#include <array>
#include <vector>

#include "fat/FatTable.h"
#include "fat/LongName.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

bool longNameMatches(const std::optional<std::string>& longName, std::string_view componentUtf8) {
    return longName && asciiUpper(*longName) == componentUtf8;
}

}  // namespace

namespace {

// The 8.3 comparison: base up to the first blank, then up to three extension characters.
bool shortNameMatches(const DirEntry& entry, const std::string& t) {
    auto at = [&](std::size_t i) -> int {
        return i < t.size() ? static_cast<unsigned char>(t[i]) : 0;
    };
    std::size_t i = 0;
    for (; i < 8; ++i) {
        const int c = at(i);
        if ((c == '.' || c == 0) && entry.name[i] == ' ') break;
        if (entry.name[i] != c) return false;
    }
    if (i == t.size()) return entry.name[8] == ' ';
    if (t[i] != '.') return false;
    std::array<std::uint8_t, 3> ext = {' ', ' ', ' '};
    for (std::size_t k = 0; k < 3 && i + 1 + k < t.size(); ++k)
        ext[k] = static_cast<std::uint8_t>(t[i + 1 + k]);
    return std::equal(ext.begin(), ext.end(), entry.name.begin() + 8);
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
                 DirEntry& result) {
    const std::uint64_t blockBytes = fat.geometry.clusterBytes();
    if (blockBytes == 0) return fat.lastError = ENOENT;
    const std::string upper = asciiUpper(component);
    const std::optional<std::string> upperOem = utf8ToCp437(upper);
    const bool wantsDeleted = !component.empty() && component.front() == '?';
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockBytes));
    LongNameCollector longName;
    ChainReader folder(fat, folderCluster);  // read on link by link, each cluster once

    for (std::uint64_t offset = 0; offset < kMaxFolderBytes; offset += blockBytes) {
        const std::size_t got = folder.read(offset, block);
        // The root area may end inside a block: examine what arrived, then stop.
        for (std::size_t pos = 0; pos + kDirEntrySize <= got; pos += kDirEntrySize) {
            std::span<std::uint8_t, kDirEntrySize> raw(block.data() + pos, kDirEntrySize);
            if (isEndOfFolder(raw)) return fat.lastError = ENOENT;
            if (isLongNamePiece(raw)) {
                longName.collect(raw);
                continue;
            }
            DirEntry entry = *parseDirEntry(raw);
            if (entry.name[0] == kDeletedMarker) {
                if (!wantsDeleted) {
                    longName.drop();
                    continue;
                }
                entry.name[0] = '?';
            } else if (entry.name[0] == kKanjiE5Marker) {
                entry.name[0] = kDeletedMarker;
            }
            const bool match = matchEntryName(entry, longName.name(), upperOem, upper);
            longName.drop();
            if (match) {
                result = entry;
                return fat.lastError = 0;
            }
        }
        if (got < block.size()) break;
    }
    return fat.lastError = ENOENT;
}

int findPathEntry(FatVolume& fat, std::uint32_t startCluster, const std::string* path,
                  DirEntry& result) {
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
        if (findDirEntry(fat, cluster, component, result) != 0) return fail();
        cluster = result.firstCluster(fat.volume.kind);
    }
    return fat.lastError = 0;
}

}  // namespace rekkon
