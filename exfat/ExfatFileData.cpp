#include <algorithm>

#include "exfat/ExfatFileSystem.h"
#include "exfat/ExfatScan.h"

namespace rekkon {

namespace {

// A deleted file's bytes over its runs; from the valid data length on, a hole.
class ExfatFileData final : public FileDataHandle {
  public:
    ExfatFileData(ExfatVolume& volume, std::vector<ExfatRun> runs, std::uint64_t size,
                  std::uint64_t valid)
        : volume_(volume), runs_(std::move(runs)), size_(size), valid_(std::min(valid, size)) {
        std::uint64_t room = 0;
        for (const ExfatRun& run : runs_)
            room += run.count * volume.geometry.bytesPerCluster;
        // Bytes past the clusters the runs hold have no place on the volume.
        size_ = std::min(size_, room);
        valid_ = std::min(valid_, size_);
    }

    std::uint64_t size() const override { return size_; }

    std::size_t read(std::uint64_t position, std::span<std::uint8_t> buffer) override {
        if (position >= valid_) return 0;
        std::uint64_t want = std::min<std::uint64_t>(buffer.size(), valid_ - position);
        std::uint64_t runStart = 0;
        const std::uint64_t clusterBytes = volume_.geometry.bytesPerCluster;
        for (const ExfatRun& run : runs_) {
            const std::uint64_t runBytes = run.count * clusterBytes;
            if (position < runStart + runBytes) {
                const std::uint64_t inRun = position - runStart;
                want = std::min(want, runBytes - inRun);
                const std::uint64_t offset = volume_.geometry.clusterOffset(run.first) + inRun;
                const auto n = static_cast<std::size_t>(want);
                return volume_.volume.reader.readAt(0, offset, buffer.first(n)) == n ? n : 0;
            }
            runStart += runBytes;
        }
        return 0;
    }

    std::uint64_t holeBytesAt(std::uint64_t position) const override {
        return position >= valid_ && position < size_ ? size_ - position : 0;
    }

    std::optional<StoredExtent> storedAt(std::uint64_t position) override {
        if (position >= valid_) return std::nullopt;
        const std::uint64_t clusterBytes = volume_.geometry.bytesPerCluster;
        std::uint64_t runStart = 0;
        for (const ExfatRun& run : runs_) {
            const std::uint64_t runBytes = run.count * clusterBytes;
            if (position < runStart + runBytes) {
                const std::uint64_t inRun = position - runStart;
                return StoredExtent{volume_.geometry.clusterOffset(run.first) + inRun,
                                    std::min(runBytes - inRun, valid_ - position)};
            }
            runStart += runBytes;
        }
        return std::nullopt;
    }

  private:
    ExfatVolume& volume_;
    std::vector<ExfatRun> runs_;
    std::uint64_t size_;
    std::uint64_t valid_;
};

}  // namespace

std::unique_ptr<FileDataHandle> openExfatFileData(ExfatVolume& volume, std::uint32_t firstCluster,
                                                  std::uint64_t dataLength,
                                                  std::uint64_t validDataLength, bool noFatChain) {
    if (dataLength == 0)
        return std::make_unique<ExfatFileData>(volume, std::vector<ExfatRun>{}, 0, 0);
    auto runs = exfatDataRuns(volume, firstCluster, dataLength, noFatChain);
    if (runs.empty()) return nullptr;
    return std::make_unique<ExfatFileData>(volume, std::move(runs), dataLength, validDataLength);
}

}  // namespace rekkon
