#include "fat/FatLabel.h"

#include <algorithm>
#include <array>

#include "fat/DirEntry.h"
#include "fat/DirLookup.h"
#include "fat/FatTable.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

constexpr std::uint8_t kAttrVolumeLabel = 0x08;
// Root bytes read at once while looking for the label entry.
constexpr std::size_t kRootPieceBytes = 4096;

}  // namespace

std::string fatLabelText(std::span<const std::uint8_t> field) {
    std::string bytes(field.begin(), field.end());
    bytes.erase(bytes.find_last_not_of(std::string(" \0", 2)) + 1);
    if (bytes.empty() || bytes == "NO NAME") return {};
    return cp437ToUtf8(bytes);
}

std::string fatVolumeLabel(FatVolume& fat) {
    ChainReader root(fat, fat.geometry.rootCluster);
    std::array<std::uint8_t, kRootPieceBytes> piece{};
    for (std::uint64_t offset = 0; offset < kMaxFolderBytes; offset += piece.size()) {
        const std::size_t got = root.read(offset, piece);
        for (std::size_t at = 0; at + kDirEntrySize <= got; at += kDirEntrySize) {
            const std::span<const std::uint8_t, kDirEntrySize> entry(piece.data() + at,
                                                                     kDirEntrySize);
            if (isEndOfFolder(entry)) return fat.geometry.bootLabel;
            if (entry[0] == kDeletedMarker || isLongNamePiece(entry)) continue;
            const std::uint8_t attributes = entry[11] & 0x3F;
            if (attributes == kAttrLongNamePiece ||
                (attributes & (kAttrVolumeLabel | kAttrFolder)) != kAttrVolumeLabel)
                continue;
            std::array<std::uint8_t, 11> name{};
            std::copy_n(entry.begin(), name.size(), name.begin());
            if (name[0] == kKanjiE5Marker) name[0] = kDeletedMarker;
            if (std::string label = fatLabelText(name); !label.empty()) return label;
        }
        if (got < piece.size()) break;
    }
    return fat.geometry.bootLabel;
}

}  // namespace rekkon
