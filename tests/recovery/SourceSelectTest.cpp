// Which volume of a source is opened: the source itself, a partition, or a volume at an offset.
#include <gtest/gtest.h>

#include <fstream>

#include "recovery/SourceSelect.h"
#include "support/DiskFixtures.h"
#include "support/FatBuilder.h"
#include "support/Fixtures.h"

namespace rekkon {
namespace {

std::vector<std::uint8_t> smallFat16() {
    return test::FatBuilder(test::FatBuilder::Type::Fat16, 8192, 1).bytes();
}

SelectedSource select(const std::string& path, std::optional<int> partition,
                      std::optional<std::uint64_t> offset = std::nullopt) {
    return selectSource(path, SourceChoice{partition, offset});
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> smallFat32() {
    return test::FatBuilder(test::FatBuilder::Type::Fat32, 8192, 1).bytes();
}

// libblkid refuses a FAT boot sector whose media byte is 0 and reads sector 0 as an empty DOS
// table; rekkon's own boot-sector check still takes it for the volume it is.
TEST(SourceSelectTest, BareVolumeWhoseBootSectorLibblkidRefuses) {
    test::TempDir dir;
    std::vector<std::uint8_t> volume = smallFat32();
    volume[0x15] = 0x00;
    const std::string path = dir.path() + "/bare.img";
    writeFile(path, volume);
    auto bare = select(path, std::nullopt);
    EXPECT_EQ(bare.status, SourceStatus::Opened);
    EXPECT_TRUE(bare.device);
    EXPECT_FALSE(bare.table);
    EXPECT_FALSE(bare.partition);
    auto numbered = select(path, 1);
    EXPECT_EQ(numbered.status, SourceStatus::NoSuchPartition);
    EXPECT_FALSE(numbered.table);
}

// The superblock magic of an earlier ext2 volume left at byte 1080 makes libblkid's answer
// ambiguous; the FAT volume is still the partition's.
TEST(SourceSelectTest, PartitionWithALeftoverSuperblockIsItsFatVolume) {
    test::TempDir dir;
    std::vector<std::uint8_t> volume = smallFat32();
    volume[1080] = 0x53;
    volume[1081] = 0xEF;
    auto one = select(test::writeOnePartitionDisk(dir.path(), 0x0c, volume), std::nullopt);
    ASSERT_EQ(one.status, SourceStatus::Opened);
    EXPECT_EQ(one.partition, 1);
    EXPECT_EQ(one.fileSystemName, "FAT32");
}

TEST(SourceSelectTest, BareVolumesAndOffsets) {
    const std::string bare = test::fixtureImage("fat/fat16.img");
    auto plain = select(bare, std::nullopt);
    EXPECT_EQ(plain.status, SourceStatus::Opened);
    ASSERT_TRUE(plain.device);
    EXPECT_EQ(plain.device->sizeBytes(), 16u << 20);
    EXPECT_FALSE(plain.table);
    EXPECT_FALSE(plain.partition);
    EXPECT_EQ(select(bare, 1).status, SourceStatus::NoSuchPartition);

    auto missing = select("/nonexistent/disk.img", std::nullopt);
    EXPECT_EQ(missing.status, SourceStatus::CannotOpen);
    EXPECT_EQ(missing.error, ENOENT);

    // An offset makes a source of the rest of the disk, from there on.
    auto atOffset = select(bare, std::nullopt, 4096);
    EXPECT_EQ(atOffset.status, SourceStatus::Opened);
    ASSERT_TRUE(atOffset.device);
    EXPECT_EQ(atOffset.device->sizeBytes(), (16u << 20) - 4096);
    EXPECT_EQ(atOffset.device->descriptor(), std::nullopt);
    for (const std::uint64_t bad : {std::uint64_t{100}, std::uint64_t{16} << 20, ~std::uint64_t{0}})
        EXPECT_EQ(select(bare, std::nullopt, bad).status, SourceStatus::BadOffset) << bad;
    EXPECT_EQ(select(bare, 1, 4096).status, SourceStatus::BadOffset);
}

TEST(SourceSelectTest, OneVolumePartitionIsTakenAndOthersAreNot) {
    test::TempDir dir;
    auto one = select(test::writeOnePartitionDisk(dir.path(), 0x06, smallFat16()), std::nullopt);
    ASSERT_EQ(one.status, SourceStatus::Opened);
    EXPECT_EQ(one.partition, 1);
    EXPECT_EQ(one.fileSystemName, "FAT16");
    ASSERT_TRUE(one.device);
    EXPECT_EQ(one.device->sizeBytes(), 8192u * kSectorSize);
    ASSERT_TRUE(one.table);
    EXPECT_EQ(one.table->partitions.size(), 1u);

    // A partition libblkid finds nothing in is no candidate, but may still be asked for.
    const std::string blank = test::writeOnePartitionDisk(
        dir.path(), 0x83, std::vector<std::uint8_t>(8192 * kSectorSize));
    auto none = select(blank, std::nullopt);
    EXPECT_EQ(none.status, SourceStatus::NoVolumePartition);
    EXPECT_FALSE(none.device);
    ASSERT_TRUE(none.table);
    EXPECT_EQ(none.table->scheme, "dos");
    auto forced = select(blank, 1);
    EXPECT_EQ(forced.status, SourceStatus::Opened);
    EXPECT_EQ(forced.partition, 1);
    EXPECT_EQ(forced.fileSystemName, "");
}

TEST(SourceSelectTest, DisksWithSeveralVolumes) {
    const std::string disk = test::diskImage("dos.img");
    if (disk.empty()) GTEST_SKIP() << "dos.img was not built";
    auto several = select(disk, std::nullopt);
    EXPECT_EQ(several.status, SourceStatus::PartitionNeeded);
    EXPECT_FALSE(several.device);
    ASSERT_TRUE(several.table);
    EXPECT_EQ(several.table->partitions.size(), 3u);

    auto logical = select(disk, 5);
    ASSERT_EQ(logical.status, SourceStatus::Opened);
    EXPECT_EQ(logical.partition, 5);
    EXPECT_EQ(logical.fileSystemName, "NTFS");
    ASSERT_TRUE(logical.device);
    EXPECT_EQ(logical.device->sizeBytes(), 12u << 20);
    // The extended container is not a volume; numbers the table lacks are refused.
    for (const int number : {2, 3, 6})
        EXPECT_EQ(select(disk, number).status, SourceStatus::NoSuchPartition) << number;
}

}  // namespace
}  // namespace rekkon
