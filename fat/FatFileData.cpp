#include <algorithm>

#include "fat/FatFileSystem.h"
#include "fat/FatTable.h"

namespace rekkon {

namespace {

// A deleted FAT file: its first cluster, then the free clusters after it. The walk keeps its
// place, so a read that follows the previous one continues where that one ended.
class FatFileData final : public FileDataHandle {
  public:
    FatFileData(const FatVolume& fat, std::uint32_t firstCluster, std::uint64_t size)
        : fat_(fat), walk_(fat_, firstCluster), size_(size) {}

    std::uint64_t size() const override { return size_; }

    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        if (position >= size_) return 0;
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - position));
        return walk_.read(position, buffer.first(n));
    }

    std::optional<StoredExtent> storedAt(std::uint64_t position) override {
        if (position >= size_) return std::nullopt;
        const std::optional<std::uint32_t> cluster = walk_.clusterAt(position);
        if (!cluster) return std::nullopt;
        const std::uint64_t clusterBytes = fat_.geometry.clusterBytes();
        const std::uint64_t inCluster = position % clusterBytes;
        return StoredExtent{fat_.geometry.clusterSector(*cluster) * kSectorSize + inCluster,
                            std::min(clusterBytes - inCluster, size_ - position)};
    }

  private:
    FatVolume fat_;
    FreeClusterWalk walk_;
    std::uint64_t size_;
};

}  // namespace

std::unique_ptr<FileDataHandle> openFatFileData(const FatVolume& fat, std::uint64_t location,
                                                std::uint64_t size) {
    const FatGeometry& g = fat.geometry;
    if (location < 2 || location > g.maxCluster()) return nullptr;
    // Members of the walk rise cluster by cluster, so no more than the clusters from the first
    // one to the volume's last can hold the file: bytes past them have no place on the volume.
    const std::uint64_t room = (std::uint64_t{g.maxCluster()} - location + 1) * g.clusterBytes();
    return std::make_unique<FatFileData>(fat, static_cast<std::uint32_t>(location),
                                         std::min(size, room));
}

}  // namespace rekkon
