// A partition of a disk as a source of its own: translated, bounded, 64-bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "recovery/ScanContext.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "support/RecoverAll.h"
#include "volume/PartitionSectorDevice.h"

namespace rekkon {
namespace {

// A disk whose every sector holds its own number, that remembers every sector it was asked for
// (delivered or not).
class RequestLog final : public SectorDevice {
  public:
    struct Log {
        std::uint64_t highestAsked = 0;
        bool askedAny = false;
    };
    RequestLog(std::uint64_t sectors, std::shared_ptr<Log> log, std::optional<int> fd = {})
        : sectors_(sectors), log_(std::move(log)), fd_(fd) {}
    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        const std::uint64_t count = buffer.size() / kSectorSize;
        if (count == 0) return 0;
        log_->highestAsked = std::max(log_->highestAsked, sector_ + count - 1);
        log_->askedAny = true;
        std::size_t done = 0;
        for (; done < count && sector_ < sectors_; ++done, ++sector_)
            std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(done * kSectorSize),
                        kSectorSize, static_cast<std::uint8_t>(sector_));
        return done * kSectorSize;
    }
    std::optional<std::uint64_t> sizeBytes() const override { return sectors_ * kSectorSize; }
    std::optional<int> descriptor() const override { return fd_; }
    std::optional<std::uint32_t> logicalSectorSize() const override { return 4096; }

  private:
    std::uint64_t sectors_;
    std::shared_ptr<Log> log_;
    std::optional<int> fd_;
    std::uint64_t sector_ = 0;
};

TEST(PartitionSectorDeviceTest, TranslatesAndStopsAtTheEnd) {
    auto log = std::make_shared<RequestLog::Log>();
    // Sectors 10..18 of a 40-sector disk; the length's partial sector does not count.
    PartitionSectorDevice part(std::make_unique<RequestLog>(40, log, 7), 10 * kSectorSize,
                               9 * kSectorSize + 100);
    EXPECT_EQ(part.sizeBytes(), 9 * kSectorSize);
    EXPECT_EQ(part.descriptor(), std::nullopt);  // the disk's offsets are not the partition's
    EXPECT_EQ(part.logicalSectorSize(), 4096u);

    std::vector<std::uint8_t> buffer(4 * kSectorSize);
    part.seekSector(2);
    ASSERT_EQ(part.readSectors(buffer), buffer.size());
    EXPECT_EQ(buffer[0], 12);
    EXPECT_EQ(buffer[3 * kSectorSize], 15);
    // The position advances: the next read goes on from sector 6 and is cut after sector 8.
    ASSERT_EQ(part.readSectors(buffer), 3 * kSectorSize);
    EXPECT_EQ(buffer[0], 16);
    EXPECT_EQ(buffer[2 * kSectorSize], 18);
    EXPECT_EQ(part.readSectors(buffer), 0u);
    part.seekSector(9);
    EXPECT_EQ(part.readSectors(buffer), 0u);
    part.seekSector(UINT64_MAX);
    EXPECT_EQ(part.readSectors(buffer), 0u);
    EXPECT_EQ(log->highestAsked, 18u);
}

TEST(PartitionSectorDeviceTest, ReachesSectorsPastTwoToThe32) {
    // A 4 TiB disk with data in a partition that starts at 3 TiB (sector 3 * 2^31).
    constexpr std::uint64_t kStart = 3ull << 31;
    auto owned = std::make_unique<test::SparseDevice>(4ull << 40);
    test::SparseDevice* disk = owned.get();
    std::vector<std::uint8_t> marker(kSectorSize, 0xAB);
    disk->put(kStart + 5, marker);
    PartitionSectorDevice part(std::move(owned), kStart * kSectorSize, 1ull << 40);
    std::vector<std::uint8_t> buffer(kSectorSize);
    part.seekSector(5);
    ASSERT_EQ(part.readSectors(buffer), kSectorSize);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(disk->stats()->sectorsRead, std::vector<std::uint64_t>{kStart + 5});
}

TEST(PartitionSectorDeviceTest, ScanOfAVolumeLargerThanItsPartitionStaysInside) {
    // A FAT16 volume of 8192 sectors in a partition of 4096 at sector 64; a deleted file's
    // clusters lie past the partition's end, where the next partition's data is.
    test::FatBuilder fat(test::FatBuilder::Type::Fat16, 8192, 1);
    const std::uint32_t farCluster =
        2 + (4096 + 100 - fat.firstDataSector());  // well past the partition's end
    fat.putEntry(1, 0,
                 "\xE5"
                 "AR     BIN",
                 0x20, farCluster, 8 * 512);
    fat.putEntry(1, 1,
                 "\xE5"
                 "EAR    BIN",
                 0x20, 3, 512);
    fat.fillCluster(3, 0x5A);
    std::vector<std::uint8_t> disk(64 * kSectorSize);
    disk.insert(disk.end(), fat.bytes().begin(), fat.bytes().end());
    constexpr std::uint64_t kPartitionEnd = 64 + 4096;  // in disk sectors

    auto log = std::make_shared<test::MemoryDevice::Stats>();
    auto device = std::make_unique<test::MemoryDevice>(disk, log);
    ScanContext context;
    ASSERT_EQ(mountVolume(context, std::make_unique<PartitionSectorDevice>(
                                       std::move(device), 64 * kSectorSize, 4096 * kSectorSize)),
              MountStatus::Mounted);
    ASSERT_EQ(scanVolume(context), 2);
    test::TempDir out;
    const auto outcomes = test::recoverAllFound(context, out.path(), "F");
    ASSERT_EQ(outcomes.size(), 2u);
    for (const RecoveryOutcome& o : outcomes)
        EXPECT_EQ(o.result,
                  o.entry->location == 3 ? RecoveryResult::Written : RecoveryResult::NotWhole)
            << o.entry->name;
    ASSERT_FALSE(log->sectorsRead.empty());
    EXPECT_LT(*std::max_element(log->sectorsRead.begin(), log->sectorsRead.end()), kPartitionEnd);
}

}  // namespace
}  // namespace rekkon
