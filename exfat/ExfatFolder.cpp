#include "exfat/ExfatFolder.h"

#include <algorithm>

namespace rekkon {

bool isExfatFolderEntryType(std::uint8_t type) {
    switch (type | kExfatInUse) {
        case 0x80:  // end of folder (0x00), or an unused entry
        case kExfatBitmapEntry:
        case kExfatUpcaseEntry:
        case kExfatLabelEntry:
        case kExfatFileEntry:
        case 0xA0:  // volume GUID
        case 0xA1:  // padding
        case kExfatStreamEntry:
        case kExfatNameEntry:
        case 0xE0:  // vendor extension
        case 0xE1:  // vendor allocation
            return true;
        default:
            return false;
    }
}

bool readsAsExfatFolder(std::span<const std::uint8_t> cluster) {
    bool any = false;
    for (std::size_t at = 0; at + kExfatEntrySize <= cluster.size(); at += kExfatEntrySize) {
        if (!isExfatFolderEntryType(cluster[at])) return false;
        any = any || cluster[at] != 0;
    }
    return any;
}

ExfatFolderReader::ExfatFolderReader(ExfatVolume& volume, const ExfatFolderPlace& place)
    : volume_(volume), place_(place) {
    const ExfatGeometry& g = volume.geometry;
    limit_ = place.bytes == 0 ? kExfatMaxFolderBytes : std::min(place.bytes, kExfatMaxFolderBytes);
    if (!place.noFatChain) {
        // A deleted folder's chain counts where the FAT still links its first cluster on.
        const auto link = volume.fatEntry(place.firstCluster);
        followChain_ =
            !place.deleted || (link && g.isCluster(*link)) || (link && *link >= 0xFFFFFFF8u);
        checkContent_ = !followChain_;
    }
    if (!g.isCluster(place.firstCluster) || g.bytesPerCluster > (std::uint64_t{1} << 25))
        ended_ = true;
    else
        cluster_.resize(static_cast<std::size_t>(g.bytesPerCluster));
    offset_ = cluster_.size();
}

std::optional<std::uint32_t> ExfatFolderReader::nextCluster() {
    const ExfatGeometry& g = volume_.geometry;
    if (loaded_ == 0) return place_.firstCluster;
    if (!followChain_) {
        if (current_ >= g.lastCluster()) return std::nullopt;
        return current_ + 1;
    }
    const auto link = volume_.fatEntry(current_);
    if (!link || !g.isCluster(*link)) return std::nullopt;
    return *link;
}

bool ExfatFolderReader::loadNext() {
    const ExfatGeometry& g = volume_.geometry;
    if (ended_ || loaded_ * g.bytesPerCluster >= limit_ || loaded_ > g.clusterCount) return false;
    const auto cluster = nextCluster();
    if (!cluster) return false;
    if (volume_.volume.reader.readAt(0, g.clusterOffset(*cluster), cluster_) != cluster_.size()) {
        unreadable_ = true;
        return false;
    }
    // Past its first cluster a deleted folder without a chain goes on only through clusters
    // that read as folder content.
    if (checkContent_ && loaded_ != 0 && !readsAsExfatFolder(cluster_)) return false;
    current_ = *cluster;
    if (record_ != nullptr) record_->insert(current_);
    ++loaded_;
    offset_ = 0;
    return true;
}

const std::uint8_t* ExfatFolderReader::next() {
    if (ended_) return nullptr;
    if (offset_ + kExfatEntrySize > cluster_.size() && !loadNext()) {
        ended_ = true;
        return nullptr;
    }
    if ((loaded_ - 1) * volume_.geometry.bytesPerCluster + offset_ >= limit_) {
        ended_ = true;
        return nullptr;
    }
    const std::uint8_t* entry = cluster_.data() + offset_;
    offset_ += kExfatEntrySize;
    ++index_;
    return entry;
}

}  // namespace rekkon
