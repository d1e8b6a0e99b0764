#include <gtest/gtest.h>

#include "ntfs/NtfsBuilder.h"
#include "ntfs/RunList.h"

namespace rekkon {
namespace {

using test::Bytes;

struct PairCase {
    Bytes pairs;
    std::int64_t lcnBefore;
    bool ok;
    std::uint64_t length;
    std::int64_t lcnAfter;  // -1: sparse, the running first cluster stays
};

class RunListDecodeRun : public ::testing::TestWithParam<PairCase> {};

TEST_P(RunListDecodeRun, DecodesOnePair) {
    const PairCase& c = GetParam();
    std::size_t offset = 0;
    std::int64_t lcn = c.lcnBefore;
    DecodedRun run;
    ASSERT_EQ(decodeRun(c.pairs, offset, lcn, run) == 0, c.ok);
    if (!c.ok) {
        EXPECT_EQ(offset, 0u);
        EXPECT_EQ(lcn, c.lcnBefore);
        return;
    }
    EXPECT_EQ(offset, c.pairs.size());
    EXPECT_EQ(run.length, c.length);
    EXPECT_EQ(run.sparse, c.lcnAfter < 0);
    EXPECT_EQ(lcn, c.lcnAfter < 0 ? c.lcnBefore : c.lcnAfter);
}

INSTANTIATE_TEST_SUITE_P(
    RunList, RunListDecodeRun,
    ::testing::Values(PairCase{{0x21, 0x18, 0x34, 0x56}, 0, true, 0x18, 0x5634},
                      PairCase{{0x11, 0x10, 0xF0}, 0x5634, true, 0x10, 0x5624},  // 16 back
                      PairCase{{0x31, 1, 0x00, 0x80, 0xFF}, 0x900000, true, 1, 0x8F8000},
                      PairCase{{0x03, 0x00, 0x10, 0x00}, 77, true, 0x1000, -1},  // sparse
                      // Clusters above 2^31 and runs longer than 2^32 clusters.
                      PairCase{{0x51, 1, 0, 0, 0, 0, 1}, 0, true, 1, 0x1'0000'0000},
                      PairCase{{0x15, 0, 0, 0, 0, 2, 1}, 0, true, 0x2'0000'0000, 1},
                      PairCase{{0x00}, 0, false, 0, 0},  // no length field
                      PairCase{{0x09, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0, false, 0, 0},  // 9 bytes
                      PairCase{{0x91, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, false, 0, 0},
                      PairCase{{0x01, 0x00}, 0, false, 0, 0},           // no clusters
                      PairCase{{0x11, 0x05, 0x80}, 0x10, false, 0, 0},  // before cluster 0
                      PairCase{{0x21, 0x18, 0x34}, 0, false, 0, 0}));   // cut off

struct RunListFixture : ::testing::Test {
    RunListFixture() { volume.bytesPerCluster = 512; }
    int decode(const test::NonResident& s, const Bytes& pairs) {
        return decodeRunList(volume, d, test::nonResidentAttribute(0x80, u"", s, pairs));
    }
    NtfsVolume volume;
    AttributeDescriptor d;
};

TEST_F(RunListFixture, LastVcnZeroIsTakenFromAllocatedSize) {
    const Bytes pairs = test::mappingPairs({{10, 1}, {20, 1}, {30, 1}, {40, 1}});
    EXPECT_EQ(decode({0, 0, 3 * 512, 0, 0, 0}, pairs), 0);
    EXPECT_EQ(d.runs, (std::vector<DataRun>{{10, 1}, {20, 1}, {30, 1}}));
}

TEST_F(RunListFixture, LastVcnBelowFirstDescribesNoRuns) {
    EXPECT_EQ(decode({0, ~0ull, 0, 0, 0, 0}, test::mappingPairs({{10, 1}})), 0);
    EXPECT_TRUE(d.runs.empty());
}

TEST_F(RunListFixture, UndecodablePairKeepsTheRunsBeforeIt) {
    Bytes pairs = test::mappingPairs({{10, 2}, {50, 3}});
    pairs[3] = 0x09;  // the second pair's header: a 9-byte length field
    EXPECT_EQ(decode({0, 9, 0, 0, 0, 0}, pairs), -1);
    EXPECT_EQ(d.runs, (std::vector<DataRun>{{10, 2}}));
}

TEST_F(RunListFixture, PairsEndWithTheAttribute) {
    // The last VCN asks for more runs than the pairs hold; the terminator byte and then the
    // attribute's end stop the decoding.
    Bytes attribute = test::nonResidentAttribute(0x80, u"", {0, 99, 0, 0, 0, 0},
                                                 test::mappingPairs({{10, 2}, {0x123456, 3}}));
    attribute.resize(0x40 + 5);  // cuts into the second pair
    EXPECT_EQ(decodeRunList(volume, d, attribute), -1);
    EXPECT_EQ(d.runs, (std::vector<DataRun>{{10, 2}}));
}

TEST_F(RunListFixture, SparseRunsKeepTheRunningCluster) {
    EXPECT_EQ(decode({0, 9, 0, 0, 0, 0}, test::mappingPairs({{100, 2}, {-1, 4}, {90, 4}})), 0);
    EXPECT_EQ(d.runs, (std::vector<DataRun>{{100, 2}, {-1, 4}, {90, 4}}));
}

}  // namespace
}  // namespace rekkon
