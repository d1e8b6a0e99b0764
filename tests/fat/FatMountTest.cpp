#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "fat/FatMount.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using test::put16;
using test::put32;

std::vector<std::uint8_t> fat16Boot() {
    std::vector<std::uint8_t> b(512, 0);
    put16(b, 0x0B, 512);
    b[0x0D] = 4;
    put16(b, 0x0E, 4);
    b[0x10] = 2;
    put16(b, 0x11, 512);
    put16(b, 0x16, 200);
    put32(b, 0x20, 40'000);
    std::memcpy(&b[0x36], "FAT16   ", 8);
    b[0x1FE] = 0x55;
    b[0x1FF] = 0xAA;
    return b;
}

std::vector<std::uint8_t> fat32Boot() {
    std::vector<std::uint8_t> b(512, 0);
    put16(b, 0x0B, 512);
    b[0x0D] = 8;
    put16(b, 0x0E, 32);
    b[0x10] = 2;
    put32(b, 0x20, 2'000'000);
    put32(b, 0x24, 1000);
    put32(b, 0x2C, 2);
    std::memcpy(&b[0x52], "FAT32   ", 8);
    b[0x1FE] = 0x55;
    b[0x1FF] = 0xAA;
    return b;
}

TEST(FatMountTest, Fat16TotalsAndLayout) {
    auto b = fat16Boot();
    put32(b, 0x20, 1'000'000);
    auto info = parseFatBootSector(b);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, FileSystemKind::Fat12Or16);
    EXPECT_EQ(info->geometry.totalSectors, 1'000'000u);  // 16-bit count is 0
    EXPECT_EQ(info->geometry.rootDirSectors, 32u);
    EXPECT_EQ(info->geometry.firstDataSector, 436u);
    EXPECT_EQ(info->geometry.rootCluster, 1u);
    EXPECT_EQ(info->geometry.fatBits, 16);

    put16(b, 0x13, 40'000);  // both set: the 16-bit count wins
    put16(b, 0x11, 513);
    info = parseFatBootSector(b);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->geometry.totalSectors, 40'000u);
    EXPECT_EQ(info->geometry.rootDirSectors, 33u);
}

TEST(FatMountTest, Fat32Layout) {
    auto info = parseFatBootSector(fat32Boot());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, FileSystemKind::Fat32);
    EXPECT_EQ(info->geometry.firstDataSector, 2032u);
    EXPECT_EQ(info->geometry.rootDirSectors, 0u);
    EXPECT_EQ(info->geometry.rootCluster, 2u);
    EXPECT_EQ(info->geometry.fatBits, 32);
}

TEST(FatMountTest, SmallFat1xVolumesHavePacked12BitTables) {
    auto b = fat16Boot();
    std::memcpy(&b[0x36], "FAT12   ", 8);
    put16(b, 0x13, 2880);
    b[0x0D] = 1;
    put16(b, 0x16, 9);
    put16(b, 0x11, 224);
    put16(b, 0x0E, 1);
    auto info = parseFatBootSector(b);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->geometry.fatBits, 12);
    EXPECT_EQ(info->geometry.firstDataSector, 33u);
}

TEST(FatMountTest, LargeSectorsAreConvertedTo512ByteUnits) {
    auto b = fat32Boot();
    put16(b, 0x0B, 4096);
    b[0x0D] = 1;
    put16(b, 0x0E, 32);
    put32(b, 0x20, 70'000);
    put32(b, 0x24, 70);
    auto info = parseFatBootSector(b);
    ASSERT_TRUE(info);
    const FatGeometry& g = info->geometry;
    EXPECT_EQ(g.bytesPerSector, 4096);
    EXPECT_EQ(g.sectorsPerCluster, 8u);
    EXPECT_EQ(g.clusterBytes(), 4096u);
    EXPECT_EQ(g.reservedSectors, 256u);
    EXPECT_EQ(g.totalSectors, 560'000u);
    EXPECT_EQ(g.sectorsPerFat, 560u);
    EXPECT_EQ(g.firstDataSector, 256u + 2 * 560u);
}

struct Refusal {
    const char* what;
    void (*damage)(std::vector<std::uint8_t>&);
};

class FatMountRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(FatMountRefusalTest, IsNotMounted) {
    auto b = fat16Boot();
    GetParam().damage(b);
    EXPECT_FALSE(parseFatBootSector(b)) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    BadBootSectors, FatMountRefusalTest,
    ::testing::Values(Refusal{"NTFS boot sector",
                              [](auto& b) {
                                  std::memset(&b[0x36], 0, 8);
                                  std::memcpy(&b[3], "NTFS    ", 8);
                                  put16(b, 0x0E, 0);  // NTFS keeps these BPB fields 0
                                  b[0x10] = 0;
                                  put16(b, 0x11, 0);
                                  put16(b, 0x16, 0);
                                  put32(b, 0x20, 0);
                              }},
                      Refusal{"no reserved sector", [](auto& b) { put16(b, 0x0E, 0); }},
                      Refusal{"no table copy", [](auto& b) { b[0x10] = 0; }},
                      Refusal{"no table size", [](auto& b) { put16(b, 0x16, 0); }},
                      Refusal{"FAT32 layout without a table size",
                              [](auto& b) {
                                  put16(b, 0x16, 0);
                                  put16(b, 0x11, 0);
                              }},
                      Refusal{"data area past the volume", [](auto& b) { put32(b, 0x20, 436); }},
                      Refusal{"missing signature", [](auto& b) { b[0x1FF] = 0; }},
                      Refusal{"zero sectors per cluster", [](auto& b) { b[0x0D] = 0; }},
                      Refusal{"sectors per cluster not a power of two",
                              [](auto& b) { b[0x0D] = 3; }},
                      Refusal{"odd sector size", [](auto& b) { put16(b, 0x0B, 520); }},
                      Refusal{"zero sector size", [](auto& b) { put16(b, 0x0B, 0); }}));

TEST(FatMountTest, TheKindFollowsLayoutAndClusterCountNotTheTypeText) {
    auto b = fat16Boot();  // 40,000 sectors of 4: about 9,900 clusters
    std::memset(&b[0x36], ' ', 8);
    auto info = parseFatBootSector(b);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, FileSystemKind::Fat12Or16);
    EXPECT_EQ(info->geometry.fatBits, 16);
    std::memcpy(&b[0x36], "FAT12   ", 8);  // disagrees with the count
    EXPECT_EQ(parseFatBootSector(b)->geometry.fatBits, 16);
    std::memcpy(&b[0x52], "FAT32   ", 8);  // a FAT32 text on a FAT16 layout
    EXPECT_EQ(parseFatBootSector(b)->kind, FileSystemKind::Fat12Or16);
    std::memcpy(&b[0x36], "FAT16   ", 8);
    put32(b, 0x20, 8000);  // about 1,900 clusters: packed 12-bit entries whatever the text says
    EXPECT_EQ(parseFatBootSector(b)->geometry.fatBits, 12);

    auto f = fat32Boot();
    std::memset(&f[0x52], 0, 8);
    info = parseFatBootSector(f);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, FileSystemKind::Fat32);
    EXPECT_EQ(info->geometry.firstDataSector, 2032u);
}

// Mounts `image` from memory; the kind, or None when it is refused.
FileSystemKind mountedKind(const std::vector<std::uint8_t>& image, FatGeometry& g,
                           std::set<std::uint64_t> bad = {}) {
    VolumeContext volume;
    auto dev = std::make_unique<test::MemoryDevice>(image);
    dev->badSectors = std::move(bad);
    attachDevice(volume, std::move(dev));
    mountFatOnOpenDevice(volume, g);
    return volume.kind;
}

TEST(FatMountTest, Fat32FallsBackToTheBootSectorCopy) {
    test::FatBuilder fat(test::FatBuilder::Type::Fat32, 70'000, 1);
    FatGeometry intact;
    ASSERT_EQ(mountedKind(fat.bytes(), intact), FileSystemKind::Fat32);
    FatGeometry g;
    EXPECT_EQ(mountedKind(fat.bytes(), g, {0}), FileSystemKind::Fat32) << "unreadable";
    EXPECT_EQ(g.firstDataSector, intact.firstDataSector);
    auto damaged = fat.bytes();
    damaged[0x1FE] = 0;
    EXPECT_EQ(mountedKind(damaged, g), FileSystemKind::Fat32) << "no signature";
    std::memset(damaged.data(), 0, 512);
    EXPECT_EQ(mountedKind(damaged, g), FileSystemKind::Fat32) << "zeroed";
    EXPECT_EQ(g.firstDataSector, intact.firstDataSector);
    EXPECT_EQ(g.rootCluster, 2u);
    std::memset(damaged.data() + 6 * 512, 0, 512);
    EXPECT_EQ(mountedKind(damaged, g), FileSystemKind::None) << "copy damaged too";

    // 4096-byte sectors: the copy lies at byte 6 * 4096, found with or without the primary.
    test::FatBuilder big(test::FatBuilder::Type::Fat32, 70'000, 1, 4096);
    auto bytes = big.bytes();
    bytes[0x1FE] = 0;
    EXPECT_EQ(mountedKind(bytes, g), FileSystemKind::Fat32);
    EXPECT_EQ(g.bytesPerSector, 4096);
    std::memset(bytes.data(), 0, 512);
    EXPECT_EQ(mountedKind(bytes, g), FileSystemKind::Fat32);
    EXPECT_EQ(g.bytesPerSector, 4096);

    // FAT12/16 volumes have no copy.
    test::FatBuilder small(test::FatBuilder::Type::Fat16, 20'000, 4);
    auto b16 = small.bytes();
    b16[0x1FE] = 0;
    EXPECT_EQ(mountedKind(b16, g), FileSystemKind::None);
}

TEST(FatMountTest, BootSectorReadIsRetriedFiveTimes) {
    test::FatBuilder fat(test::FatBuilder::Type::Fat16, 20'000, 4);
    for (int failures : {4, 5}) {
        VolumeContext volume;
        auto dev = std::make_unique<test::MemoryDevice>(fat.bytes());
        dev->failNextReads = failures;
        attachDevice(volume, std::move(dev));
        FatGeometry g;
        EXPECT_EQ(mountFatOnOpenDevice(volume, g), failures < 5 ? 1 : 0) << failures;
        EXPECT_EQ(volume.isOpen(), failures < 5);
        EXPECT_EQ(volume.kind, failures < 5 ? FileSystemKind::Fat12Or16 : FileSystemKind::None);
    }
}

TEST(FatMountTest, MissingOrEmptySourceFails) {
    VolumeContext volume;
    FatGeometry g;
    EXPECT_EQ(mountFat(volume, g, "/nonexistent/card.img"), 0);
    EXPECT_FALSE(volume.isOpen());
    attachDevice(volume, std::make_unique<test::MemoryDevice>(std::vector<std::uint8_t>(4096, 0)));
    EXPECT_EQ(mountFatOnOpenDevice(volume, g), 0);
    EXPECT_FALSE(volume.isOpen());
}

}  // namespace
}  // namespace rekkon
