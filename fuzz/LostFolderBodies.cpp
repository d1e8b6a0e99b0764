#include <optional>

#include "fat/FolderClusterCheck.h"
#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon::fuzz {

void fuzzFolderCluster(std::span<const std::uint8_t> data) {
    const LeReader r(data);
    const auto head = r.u32(0);
    if (!head) return;
    // Top bit: FAT32 (else FAT12/16); the rest: the cluster the bytes are said to come from.
    FolderClusterLimits limits;
    limits.kind = (*head & 0x80000000u) != 0 ? FileSystemKind::Fat32 : FileSystemKind::Fat12Or16;
    limits.maxCluster = limits.kind == FileSystemKind::Fat32 ? 0x0FFFFFF6 : 0xFFF6;
    limits.dataBytes = std::uint64_t{1} << 32;
    const std::uint32_t cluster = *head & 0x0FFFFFFF;
    const auto bytes = data.subspan(4);
    const std::optional<FolderCluster> folder = readFolderCluster(bytes, cluster, limits);
    if (!folder) return;
    const std::size_t slots = bytes.size() / kDirEntrySize;
    fuzzCheck(folder->first || !folder->entries.empty(), "a folder cluster with no real entry");
    fuzzCheck(!folder->first || folder->parentCluster <= limits.maxCluster,
              "\"..\" names a cluster past the volume");
    std::size_t last = folder->first ? 1 : 0;
    bool any = folder->first;
    for (const FolderSlot& slot : folder->entries) {
        fuzzCheck(slot.index < slots && (!any || slot.index > last),
                  "folder entries out of order or outside the cluster");
        fuzzCheck(slot.entry.firstCluster(limits.kind) <= limits.maxCluster,
                  "an entry's first cluster lies past the volume");
        fuzzCheck(slot.deleted == (slot.entry.name[0] == kDeletedMarker), "deleted mark mismatch");
        last = slot.index;
        any = true;
        (void)cp437ToUtf8(slot.entry.displayBytes());
    }
}

}  // namespace rekkon::fuzz
