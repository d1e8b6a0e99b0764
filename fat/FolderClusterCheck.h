#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fat/DeletedLongName.h"
#include "fat/DirEntry.h"
#include "fat/FatGeometry.h"

namespace rekkon {

// What is known of the volume when one cluster is judged on its own.
struct FolderClusterLimits {
    FileSystemKind kind = FileSystemKind::Fat32;
    std::uint32_t maxCluster = 0;  // highest cluster number of the volume
    std::uint64_t dataBytes = 0;   // bytes of the data area: no file is larger
};

// The limits of `fat`'s volume.
FolderClusterLimits folderClusterLimits(const FatVolume& fat);

// One short entry of a cluster that reads as folder content.
struct FolderSlot {
    DirEntry entry;         // as stored; byte 0 of a deleted entry's name stays 0xE5
    std::size_t index = 0;  // slot number in the cluster
    bool deleted = false;
    // The long name its pieces give, when they come right before it, agree on one checksum and
    // that checksum matches the short name (for a deleted entry: for a valid first byte).
    std::optional<std::string> longName;
    // A deleted entry's long name may be only the start of a longer one (it then ends in
    // kCutNameMark; see fullPiecesMayBeCut).
    bool longNameCut = false;
    // A deleted entry's lost first byte, as the checksum of its long-name pieces proves it.
    std::optional<std::uint8_t> firstByte;
};

// Live long-name pieces at one end of a cluster that continue across the boundary with the
// folder's neighbouring cluster: their characters in name order, the checksum they agree on and
// the lowest and highest piece numbers among them.
struct NamePart {
    std::vector<std::uint16_t> units;
    std::uint8_t checksum = 0;
    std::uint8_t lowest = 0;
    std::uint8_t highest = 0;
};

// The first short entry of a cluster that may be the end of a name begun in another cluster:
// live, with no long name of its own, only continuing pieces before it (`rest`) or none.
struct NameHead {
    std::size_t entry = 0;      // its place in FolderCluster::entries
    std::uint8_t checksum = 0;  // of its short name
    std::optional<NamePart> rest;
};

// A cluster whose 32-byte slots are all plausible folder entries up to an end marker.
struct FolderCluster {
    bool first = false;               // it opens with "." (naming this cluster) and ".."
    std::uint32_t parentCluster = 0;  // what ".." names (0: the root); when `first`
    std::vector<FolderSlot> entries;  // short entries other than "." and ".."
    // Live pieces that end the cluster, the name going on in the folder's next cluster.
    std::optional<NamePart> tail;
    std::optional<NameHead> head;
};

// Judges `bytes`, the content of cluster `cluster`, as folder content. Strict, so that file data
// that merely resembles a folder is refused: every slot up to the end marker is a long-name piece
// or a short entry with sane name bytes, attributes, reserved bytes, DOS dates and times, first
// cluster and size; live long-name pieces verify against the short entry that follows; "." and
// ".." appear only as the first two slots, "." naming this cluster; at least one real short
// entry is there; every slot after an end marker is zero. nullopt when the cluster fails.
std::optional<FolderCluster> readFolderCluster(std::span<const std::uint8_t> bytes,
                                               std::uint32_t cluster,
                                               const FolderClusterLimits& limits);

}  // namespace rekkon
