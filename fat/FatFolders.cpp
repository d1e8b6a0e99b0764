#include "fat/FatFolders.h"

#include <span>

#include "fat/DirLookup.h"
#include "fat/FatTable.h"
#include "fat/LongName.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

constexpr std::uint8_t kAttrVolumeLabel = 0x08;

}  // namespace

std::vector<FatFolder> listLiveFolders(FatVolume& fat, std::uint32_t folderCluster) {
    std::vector<FatFolder> folders;
    const std::uint64_t blockBytes = fat.geometry.clusterBytes();
    if (blockBytes == 0 || folderCluster == 0) return folders;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockBytes));
    LongNameCollector longName;
    ChainReader chain(fat, folderCluster);
    for (std::uint64_t offset = 0; offset < kMaxFolderBytes; offset += blockBytes) {
        const std::size_t got = chain.read(offset, block);
        for (std::size_t pos = 0; pos + kDirEntrySize <= got; pos += kDirEntrySize) {
            std::span<std::uint8_t, kDirEntrySize> raw(block.data() + pos, kDirEntrySize);
            if (isEndOfFolder(raw)) return folders;
            if (isLongNamePiece(raw)) {
                longName.collect(raw);
                continue;
            }
            DirEntry entry = *parseDirEntry(raw);
            const std::optional<std::string> name = longName.name();
            longName.drop();
            if (entry.name[0] == kDeletedMarker || !entry.isFolder() ||
                (entry.attributes & kAttrVolumeLabel) != 0 || entry.name[0] == '.')
                continue;
            if (entry.name[0] == kKanjiE5Marker) entry.name[0] = kDeletedMarker;
            const std::uint32_t cluster = entry.firstCluster(fat.volume.kind);
            if (cluster < 2) continue;  // a damaged entry: it leads nowhere
            FatFolder folder;
            folder.shortName = cp437ToUtf8(entry.displayBytes());
            folder.longName = name && !name->empty() ? *name : folder.shortName;
            folder.cluster = cluster;
            folders.push_back(std::move(folder));
        }
        if (got < block.size()) break;
    }
    return folders;
}

}  // namespace rekkon
