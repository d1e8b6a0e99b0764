// Holes of an attribute's data as the reads see them: sparse runs, compression units without
// clusters, and the bytes past the initialized size.
#include <gtest/gtest.h>

#include <algorithm>

#include "ntfs/AttributeData.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsHoles.h"

namespace rekkon {
namespace {

using test::Bytes;

constexpr std::uint64_t kCs = 512;
constexpr std::uint64_t kBig = 1 << 20;

struct NtfsHoles : ::testing::Test {
    NtfsHoles() : volume(Bytes(1024 * kCs, 0xAB)) {
        file.volume = &volume.ntfs;
        d.isResident = false;
        d.typeCode = 0x80;
    }
    void set(std::vector<DataRun> runs, std::uint64_t dataSize, std::uint64_t initialized,
             std::uint16_t flags = 0) {
        d.runs = std::move(runs);
        d.dataSize = d.allocatedSize = dataSize;
        d.initializedSize = initialized;
        d.flags = flags;
        d.readPosition = {};
    }
    std::uint64_t hole(std::uint64_t position) { return attributeHoleBytes(d, kCs, position); }
    std::uint64_t before(std::uint64_t position, std::uint64_t limit = kBig) {
        return bytesBeforeHole(d, kCs, position, limit);
    }
    // Every hole reported anywhere in the data reads as zeros, and a stored stretch ends where
    // the next hole starts.
    void expectHolesReadAsZeros() {
        for (std::uint64_t p = 0; p < d.dataSize; p += 128) {
            const std::uint64_t h = hole(p);
            ASSERT_LE(h, d.dataSize - p);
            if (h == 0) {
                const std::uint64_t b = before(p);
                if (p + b < d.dataSize) {
                    EXPECT_NE(hole(p + b), 0u) << p;
                }
                continue;
            }
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(h, 64 * 1024));
            const auto o = test::readData(file, d, p, n);
            EXPECT_EQ(o.result, 0) << p;
            EXPECT_EQ(o.bytes, Bytes(n, 0)) << p;
        }
    }

    test::RawVolume volume;
    MftFile file;
    AttributeDescriptor d;
};

TEST_F(NtfsHoles, SparseRunsTogetherMakeOneHoleThatEndsAtTheDataSize) {
    set({{10, 2}, {-1, 3}, {-1, 1}, {20, 2}, {-1, 4}}, 12 * kCs - 100, 12 * kCs - 100);
    EXPECT_EQ(hole(0), 0u);
    EXPECT_EQ(hole(2 * kCs), 4 * kCs);
    EXPECT_EQ(hole(2 * kCs + 10), 4 * kCs - 10);
    EXPECT_EQ(hole(6 * kCs + 511), 0u);
    EXPECT_EQ(hole(8 * kCs), 4 * kCs - 100);
    EXPECT_EQ(hole(12 * kCs), 0u) << "nothing past the data size";
    EXPECT_EQ(before(0), 2 * kCs);
    EXPECT_EQ(before(100), 2 * kCs - 100);
    EXPECT_EQ(before(0, 10), 10u);
    EXPECT_EQ(before(6 * kCs), 2 * kCs);
    expectHolesReadAsZeros();
}

TEST_F(NtfsHoles, BytesPastTheInitializedSizeAreAHole) {
    set({{10, 2}, {-1, 4}, {20, 2}, {-1, 4}}, 12 * kCs, 7 * kCs);
    EXPECT_EQ(hole(6 * kCs), 0u);
    EXPECT_EQ(hole(7 * kCs), 5 * kCs) << "stored clusters past it read as zeros too";
    EXPECT_EQ(before(6 * kCs), kCs);
    expectHolesReadAsZeros();
    // A sparse stretch that reaches the initialized size runs on to the data size.
    set({{10, 2}, {-1, 4}, {20, 6}}, 12 * kCs, 3 * kCs);
    EXPECT_EQ(hole(2 * kCs), 10 * kCs);
    expectHolesReadAsZeros();
}

TEST_F(NtfsHoles, CompressedDataHasHolesOnlyWhereAWholeUnitHasNoClusters) {
    set({{100, 5},
         {-1, 11},   // unit 0: compressed, its sparse tail is not a hole
         {200, 16},  // unit 1: stored whole
         {-1, 40},   // units 2 and 3, and the start of unit 4, which makes unit 4 all zeros
         {300, 8},
         {400, 4},  // unit 5: compressed
         {-1, 12}},
        96 * kCs, 96 * kCs, 0x0001);
    EXPECT_EQ(hole(0), 0u);
    EXPECT_EQ(hole(5 * kCs), 0u);
    EXPECT_EQ(hole(32 * kCs), 48 * kCs);
    EXPECT_EQ(hole(75 * kCs), 5 * kCs);
    EXPECT_EQ(hole(80 * kCs), 0u);
    EXPECT_EQ(before(0), 32 * kCs);
    EXPECT_EQ(before(3 * kCs, 100), 100u);
    EXPECT_EQ(before(80 * kCs), 16 * kCs) << "no further than the data size";
    expectHolesReadAsZeros();
}

TEST_F(NtfsHoles, NoHoleWhereTheReadsCannotTell) {
    // Runs that end before the initialized size: what lies past them is missing, not a hole.
    set({{10, 2}}, 8 * kCs, 8 * kCs);
    EXPECT_EQ(hole(3 * kCs), 0u);
    EXPECT_EQ(before(0), 8 * kCs) << "the read tells what is there";
    // Compression beyond 64 KiB clusters cannot be read, so its units are not told apart.
    set({{-1, 16}}, 16 * kCs, 16 * kCs, 0x0001);
    EXPECT_EQ(attributeHoleBytes(d, 128 * 1024, 0), 0u);
    d.isResident = true;
    EXPECT_EQ(hole(0), 0u);
}

TEST_F(NtfsHoles, AHoleOfManyRunsIsWalkedOnce) {
    std::vector<DataRun> runs{{10, 1}};
    constexpr std::uint64_t kRuns = 100'000;
    for (std::uint64_t i = 0; i < kRuns; ++i)
        runs.push_back({-1, 1});
    runs.push_back({20, 1});
    set(runs, (kRuns + 2) * kCs, (kRuns + 2) * kCs);
    EXPECT_EQ(hole(kCs), kRuns * kCs);
    EXPECT_LE(d.runSteps, kRuns + 1);
    EXPECT_EQ(hole((kRuns + 1) * kCs), 0u);
    EXPECT_LE(d.runSteps, kRuns + 2) << "the next query goes on from where the walk ended";
}

TEST_F(NtfsHoles, ReadsThatAskForTheNextHoleFirstStillWalkTheRunsOnce) {
    constexpr std::uint64_t kRuns = 10'000;
    std::vector<DataRun> runs;
    for (std::uint64_t i = 0; i < kRuns; ++i)
        runs.push_back({static_cast<std::int64_t>(10 + (i * 7) % 900), 1});
    set(runs, kRuns * kCs, kRuns * kCs);
    for (std::uint64_t p = 0; p < kRuns * kCs;) {
        const std::uint64_t n = std::min<std::uint64_t>(before(p, 4096), 4096);
        ASSERT_EQ(n, std::min<std::uint64_t>(4096, kRuns * kCs - p));
        ASSERT_EQ(test::readData(file, d, p, static_cast<std::size_t>(n)).count, n);
        p += n;
    }
    EXPECT_LE(d.runSteps, 2 * kRuns) << "the reads go on from where the look ahead started";
}

}  // namespace
}  // namespace rekkon
