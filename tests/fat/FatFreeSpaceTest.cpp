#include <gtest/gtest.h>

#include "fat/FatFreeSpace.h"
#include "fat/FatMount.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

// Runs end at used clusters, at the cap and at a table sector that neither copy can give; the
// clusters of that sector are passed over and counted, and the walk stops at the last cluster
// inside a cut-short source.
TEST(FatFreeSpaceTest, WalksFreeRunsPastUsedAndUnreadableTableParts) {
    test::FatBuilder b(test::FatBuilder::Type::Fat16, 8192, 1);
    b.chain({5, 6, 7});
    b.setFat(9, 0xFFF7);  // bad cluster
    const std::uint32_t dataStart = b.firstDataSector();
    b.bytes().resize((dataStart + 4000) * kSectorSize);  // clusters 2..4001 inside the source
    auto device = std::make_unique<test::MemoryDevice>(b.bytes());
    test::MemoryDevice& dev = *device;
    VolumeContext volume;
    attachDevice(volume, std::move(device));
    FatVolume fat{volume, {}};
    ASSERT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    // Table sector 2 (entries 512..767) of both copies.
    dev.badSectors = {fat.geometry.reservedSectors + 2,
                      fat.geometry.reservedSectors + fat.geometry.sectorsPerFat + 2};

    FatFreeSpace space(fat);
    EXPECT_EQ(space.firstCluster(), 2u);
    EXPECT_EQ(space.clusterCount(), 4000u);
    EXPECT_EQ(space.clusterOffset(3), (dataStart + 1) * kSectorSize);
    EXPECT_EQ(space.nextFreeRun(0), (ClusterRun{2, 3}));
    EXPECT_EQ(space.nextFreeRun(5), (ClusterRun{8, 1}));
    EXPECT_EQ(space.nextFreeRun(10, 100), (ClusterRun{10, 100}));
    EXPECT_EQ(space.nextFreeRun(300), (ClusterRun{300, 212}));
    EXPECT_FALSE(space.unreadable());
    EXPECT_EQ(space.nextFreeRun(512), (ClusterRun{768, 4001 - 768 + 1}));
    EXPECT_EQ(space.unknownClusters(), 256u);
    EXPECT_EQ(space.nextFreeRun(600), (ClusterRun{768, 4001 - 768 + 1}));
    EXPECT_EQ(space.unknownClusters(), 256u);  // counted once
    EXPECT_EQ(space.nextFreeRun(4002), std::nullopt);
}

}  // namespace
}  // namespace rekkon
