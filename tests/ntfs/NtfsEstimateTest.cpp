#include <gtest/gtest.h>

#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsEstimate.h"

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
    const Bytes freeBitmap(8, 0);
    AttributeDescriptor d;
    d.isResident = true;
    EXPECT_EQ(estimateAttribute(d, {}), kEstimateGood);
    d.isResident = false;
    d.runs = {{2, 4}};
    EXPECT_EQ(estimateAttribute(d, freeBitmap), kEstimateGood);
    d.sizeBeyondRuns = true;  // its record claimed more than the runs hold
    EXPECT_EQ(estimateAttribute(d, freeBitmap), kEstimateSizeBeyondRuns);
    EXPECT_EQ(estimateAttribute(d, Bytes(8, 0xFF)), kEstimatePoor);
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
    EXPECT_EQ(readClusterBitmap(m.ntfs), bitmap);
    MftFile file;
    ASSERT_EQ(openMftFile(file, m.ntfs, 12), 0);
    EXPECT_EQ(estimateAttribute(*findAttribute(file, 0x80), readClusterBitmap(m.ntfs)), 50);
}

}  // namespace
}  // namespace rekkon
