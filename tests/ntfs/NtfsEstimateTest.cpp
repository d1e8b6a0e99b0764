#include <gtest/gtest.h>

#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsEstimate.h"
#include "recovery/ScanContext.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"

namespace rekkon {
namespace {

using test::Bytes;

TEST(NtfsEstimate, CountsWholeBytesAndPartOnes) {
    // Clusters 0..63: 5, 17 and 40..47 in use.
    Bytes bitmap(8, 0);
    bitmap[0] = 1 << 5;
    bitmap[2] = 1 << 1;
    bitmap[5] = 0xFF;
    const std::vector<DataRun> runs = {{3, 50}};  // 3..52: 10 used of 50
    EXPECT_EQ(estimateFromBitmap(bitmap, runs), 80);
    EXPECT_EQ(estimateFromBitmap(bitmap, std::vector<DataRun>{{48, 16}}), 255);
    EXPECT_EQ(estimateFromBitmap(bitmap, std::vector<DataRun>{{40, 8}}), 0);
    // A run that starts past the bitmap, or clusters far beyond it, end the examination.
    EXPECT_EQ(estimateFromBitmap(bitmap, std::vector<DataRun>{{1ll << 62, 1ull << 42}}), 0);
    EXPECT_EQ(estimateFromBitmap(bitmap, std::vector<DataRun>{{60, 1ull << 42}, {5, 1}}), 255);
    EXPECT_EQ(estimateFromBitmap({}, runs), 0);  // no bitmap: every cluster in use
}

TEST(NtfsEstimate, AttributeEstimate) {
    const Bytes freeBytes(8, 0), usedBytes(8, 0xFF);
    BitmapInMemory freeBitmap(freeBytes), usedBitmap(usedBytes), none({});
    AttributeDescriptor d;
    d.isResident = true;
    EXPECT_EQ(estimateAttribute(d, none), kEstimateGood);
    d.isResident = false;
    d.runs = {{2, 4}};
    EXPECT_EQ(estimateAttribute(d, freeBitmap), kEstimateGood);
    d.sizeBeyondRuns = true;  // its record claimed more than the runs hold
    EXPECT_EQ(estimateAttribute(d, freeBitmap), kEstimateSizeBeyondRuns);
    EXPECT_EQ(estimateAttribute(d, usedBitmap), kEstimatePoor);
}

TEST(NtfsEstimate, ReadsTheVolumeBitmap) {
    test::ImageBuilder builder;
    Bytes bitmap(128, 0);
    bitmap[25] = 0x0F;  // clusters 200..203 in use
    builder.setRecord(6, test::fileRecord({test::residentAttribute(0x80, u"", bitmap)}));
    builder.setRecord(
        12, test::fileRecord({test::nonResidentAttribute(0x80, u"", {0, 7, 4096, 4096, 4096, 0},
                                                         test::mappingPairs({{200, 8}}))}));
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    ClusterBitmap clusters(m.ntfs);
    EXPECT_EQ(clusters.clusters(), 128u * 8);
    EXPECT_EQ(clusters.pagesRead(), 0u);  // nothing is read before an estimate asks
    MftFile file;
    ASSERT_EQ(openMftFile(file, m.ntfs, 12), 0);
    EXPECT_EQ(estimateAttribute(*findAttribute(file, 0x80), clusters), 50);
    EXPECT_EQ(estimateAttribute(*findAttribute(file, 0x80), clusters), 50);
    EXPECT_EQ(clusters.pagesRead(), 1u);  // and a page once read is kept
}

// A bitmap far larger than what the estimates touch is read only where they look: runs on a
// 64 MiB bitmap cost one page each, and a page that cannot be read counts as in use.
TEST(NtfsEstimate, BitmapPagesAreReadOnDemand) {
    test::ImageBuilder builder;
    constexpr std::uint64_t kBitmapBytes = 64ull << 20;
    constexpr std::uint64_t kBitmapClusters = kBitmapBytes / test::ImageBuilder::kCluster;
    // The first page of $Bitmap's data is zeros inside the image; the rest lies in sectors the
    // source cannot read.
    builder.setRecord(
        6, test::fileRecord({test::nonResidentAttribute(
               0x80, u"", {0, kBitmapClusters - 1, kBitmapBytes, kBitmapBytes, kBitmapBytes, 0},
               test::mappingPairs({{200, 8}, {5000, kBitmapClusters - 8}}))}));
    auto device = std::make_unique<test::SparseDevice>(std::uint64_t{1} << 41);
    device->put(0, builder.image());
    ScanContext context;
    ASSERT_EQ(mountVolume(context, std::move(device)), MountStatus::Mounted);
    ClusterBitmap clusters(test::ntfsOf(context));
    EXPECT_EQ(clusters.clusters(), kBitmapBytes * 8);
    EXPECT_EQ(clusters.pagesRead(), 0u);
    EXPECT_EQ(estimateFromBitmap(clusters, std::vector<DataRun>{{300, 10}}), kEstimateGood);
    EXPECT_EQ(estimateFromBitmap(clusters, std::vector<DataRun>{{100000000, 10}}), kEstimatePoor);
    EXPECT_EQ(estimateFromBitmap(clusters, std::vector<DataRun>{{310, 10}}), kEstimateGood);
    EXPECT_EQ(clusters.pagesRead(), 2u);
}

}  // namespace
}  // namespace rekkon
