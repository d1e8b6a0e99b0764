#include <gtest/gtest.h>

#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsFreeSpace.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::ImageBuilder;

// A 20,000-cluster volume whose $Bitmap covers 16,384 clusters in four 512-byte blocks, the
// second of which lies in a sector the source cannot read.
TEST(NtfsFreeSpaceTest, WalksFreeRunsPastUsedUnreadableAndUncoveredClusters) {
    constexpr std::uint64_t kVolumeClusters = 20000;
    Bytes bitmap(2048, 0);
    const auto setUsed = [&](std::uint64_t first, std::uint64_t count) {
        for (std::uint64_t k = first; k < first + count; ++k)
            bitmap[k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
    };
    setUsed(0, 100);
    setUsed(4000, 10);
    setUsed(4096, 4096);  // block 1: what the unreadable sector would have said
    setUsed(12288, 12);
    ImageBuilder builder;
    builder.put(200, bitmap);
    builder.setRecord(
        6, test::fileRecord({test::nonResidentAttribute(0x80, u"", {0, 3, 2048, 2048, 2048, 0},
                                                        test::mappingPairs({{200, 4}}))}));
    test::put64(builder.image(), 0x28, kVolumeClusters);
    builder.image().resize(kVolumeClusters * ImageBuilder::kCluster);
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    m.device->badSectors.insert(201);

    NtfsFreeSpace space(m.ntfs);
    EXPECT_TRUE(space.hasBitmap());
    EXPECT_EQ(space.firstCluster(), 0u);
    EXPECT_EQ(space.clusterCount(), kVolumeClusters);
    EXPECT_EQ(space.clusterOffset(3), 3 * ImageBuilder::kCluster);
    EXPECT_EQ(space.nextFreeRun(0), (ClusterRun{100, 3900}));
    EXPECT_EQ(space.nextFreeRun(100, 50), (ClusterRun{100, 50}));
    EXPECT_EQ(space.nextFreeRun(4000), (ClusterRun{4010, 86}));
    EXPECT_FALSE(space.unreadable());
    EXPECT_EQ(space.nextFreeRun(4096), (ClusterRun{8192, 4096}));
    EXPECT_EQ(space.unknownClusters(), 4096u);
    EXPECT_EQ(space.nextFreeRun(12288), (ClusterRun{12300, 4084}));
    EXPECT_EQ(space.nextFreeRun(16384), std::nullopt);  // past the bitmap: not known
    EXPECT_EQ(space.unknownClusters(), 4096u + (kVolumeClusters - 16384));

    // Without a $Bitmap no cluster is known to be free.
    builder.setRecord(6, Bytes(1024, 0));
    test::MountedImage none(builder.image());
    ASSERT_TRUE(none.mounted);
    NtfsFreeSpace unknown(none.ntfs);
    EXPECT_FALSE(unknown.hasBitmap());
    EXPECT_EQ(unknown.nextFreeRun(0), std::nullopt);
    EXPECT_EQ(unknown.unknownClusters(), kVolumeClusters);
}

}  // namespace
}  // namespace rekkon
