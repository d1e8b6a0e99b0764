// Partition tables found through libblkid on whole-disk images, and bare volumes that have none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/DiskFixtures.h"
#include "support/Fixtures.h"
#include "volume/PartitionTable.h"

namespace rekkon {
namespace {

constexpr const char* kBasicData = "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7";

std::optional<PartitionTable> tableOf(const std::string& path) {
    int error = 0;
    auto device = FileSectorDevice::open(path, error);
    if (!device) ADD_FAILURE() << "cannot open " << path;
    return device ? findPartitions(*device) : std::nullopt;
}

void expectPartition(const PartitionInfo& p, int number, std::uint64_t offset, std::uint64_t length,
                     const std::string& type, const std::string& fs, const std::string& label) {
    SCOPED_TRACE("partition " + std::to_string(number));
    EXPECT_EQ(p.number, number);
    EXPECT_EQ(p.offset, offset);
    EXPECT_EQ(p.length, length);
    EXPECT_EQ(p.type, type);
    EXPECT_EQ(p.fileSystem, fs);
    EXPECT_EQ(p.label, label);
}

TEST(PartitionTableTest, BareVolumesHoldNoTable) {
    // Every FAT boot sector and NTFS boot sector ends in 55 AA, as an MBR does.
    int checked = 0;
    for (const char* folder : {"fat", "ntfs"})
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(test::fixtureImage(folder))) {
            if (!entry.is_regular_file()) continue;
            EXPECT_EQ(tableOf(entry.path().string()), std::nullopt) << entry.path();
            ++checked;
        }
    EXPECT_GE(checked, 10);

    // Not even when the boot code happens to read as a plausible partition entry.
    test::TempDir dir;
    for (const char* volume : {"fat/fat16.img", "ntfs/ntfs-512-4k.img"}) {
        const std::string copy = dir.path() + "/volume.img";
        std::filesystem::copy_file(test::fixtureImage(volume), copy,
                                   std::filesystem::copy_options::overwrite_existing);
        std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
        const unsigned char entry[16] = {0, 0, 0, 0, 0x07, 0, 0, 0, 63, 0, 0, 0, 0xe8, 0x03, 0, 0};
        file.seekp(446);
        file.write(reinterpret_cast<const char*>(entry), sizeof entry);
        file.write(std::string(48, '\0').data(), 48);
        file.close();
        EXPECT_EQ(tableOf(copy), std::nullopt) << volume;
    }
}

TEST(PartitionTableTest, DosDiskWithALogicalPartition) {
    const std::string disk = test::diskImage("dos.img");
    if (disk.empty()) GTEST_SKIP() << "dos.img was not built (sfdisk missing)";
    const auto table = tableOf(disk);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->scheme, "dos");
    EXPECT_EQ(table->sectorSize, 512u);
    ASSERT_EQ(table->partitions.size(), 3u);
    expectPartition(table->partitions[0], 1, 2048 * 512, 16 << 20, "0x06", "FAT16", "REKKON16");
    EXPECT_FALSE(table->partitions[0].extended);
    // The extended container is listed (as tables show it) but holds no file system itself.
    expectPartition(table->partitions[1], 2, 34816 * 512, 26624 * 512, "0x05", "", "");
    EXPECT_TRUE(table->partitions[1].extended);
    expectPartition(table->partitions[2], 5, 36864 * 512, 12 << 20, "0x07", "NTFS", "rekkon");
    EXPECT_FALSE(table->partitions[2].extended);
}

TEST(PartitionTableTest, GptDisks) {
    const std::string disk = test::diskImage("gpt.img");
    if (disk.empty()) GTEST_SKIP() << "gpt.img was not built (sgdisk missing)";
    const auto table = tableOf(disk);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->scheme, "gpt");
    EXPECT_EQ(table->sectorSize, 512u);
    ASSERT_EQ(table->partitions.size(), 2u);
    expectPartition(table->partitions[0], 1, 2048 * 512, 33300 * 1024, kBasicData, "FAT32",
                    "REKKON32");
    expectPartition(table->partitions[1], 2, 69632 * 512, 12 << 20, kBasicData, "NTFS", "rekkon");

    // 4096-byte logical sectors: the header is at byte 4096, which a 512-byte reading misses.
    const auto wide = tableOf(test::diskImage("gpt-4k.img"));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->scheme, "gpt");
    EXPECT_EQ(wide->sectorSize, 4096u);
    ASSERT_EQ(wide->partitions.size(), 2u);
    expectPartition(wide->partitions[0], 1, 256 * 4096, 12 << 20, kBasicData, "NTFS", "rekkon");
    expectPartition(wide->partitions[1], 2, 3328 * 4096, 65700ull * 4096, kBasicData, "FAT32",
                    "REKKON4K");
}

}  // namespace
}  // namespace rekkon
