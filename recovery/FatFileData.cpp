#include "fat/FatTable.h"
#include "recovery/FileData.h"

namespace rekkon {

namespace {

// A deleted FAT file: its first cluster, then the free clusters after it. The walk keeps its
// place, so each chunk continues where the previous one ended.
class FatFileData final : public FileDataHandle {
  public:
    FatFileData(const FatVolume& fat, std::uint32_t firstCluster, std::uint64_t size)
        : fat_(fat), walk_(fat_, firstCluster), size_(size) {}

    std::size_t read(const std::string&, std::span<std::uint8_t> buffer) override {
        if (offset_ >= size_) return 0;
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - offset_));
        const std::size_t got = walk_.read(offset_, buffer.first(n));
        offset_ += got;
        return got;
    }

  private:
    FatVolume fat_;
    FreeClusterWalk walk_;
    std::uint64_t size_;
    std::uint64_t offset_ = 0;
};

}  // namespace

std::unique_ptr<FileDataHandle> openFatFileData(ScanContext& context, std::uint64_t location,
                                                std::uint64_t size) {
    if (location < 2 || location > context.fatGeometry.maxCluster()) return nullptr;
    return std::make_unique<FatFileData>(context.fat(), static_cast<std::uint32_t>(location), size);
}

}  // namespace rekkon
