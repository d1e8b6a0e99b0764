#include <gtest/gtest.h>

#include <cstring>

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
    ::testing::Values(Refusal{"no digits in the type string",
                              [](auto& b) { std::memcpy(&b[0x36], "FAT     ", 8); }},
                      Refusal{"NTFS boot sector",
                              [](auto& b) {
                                  std::memset(&b[0x36], 0, 8);
                                  std::memcpy(&b[3], "NTFS    ", 8);
                              }},
                      Refusal{"missing signature", [](auto& b) { b[0x1FF] = 0; }},
                      Refusal{"zero sectors per cluster", [](auto& b) { b[0x0D] = 0; }},
                      Refusal{"sectors per cluster not a power of two",
                              [](auto& b) { b[0x0D] = 3; }},
                      Refusal{"odd sector size", [](auto& b) { put16(b, 0x0B, 520); }},
                      Refusal{"zero sector size", [](auto& b) { put16(b, 0x0B, 0); }}));

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
