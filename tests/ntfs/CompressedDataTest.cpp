#include <gtest/gtest.h>

#include "ntfs/NtfsBuilder.h"

namespace rekkon {
namespace {

using test::Bytes;

constexpr std::uint64_t kCs = 512;
constexpr std::size_t kUnit = 16 * kCs;

// A unit of 4096 'a' then 4096 'b': per block one literal and one copy of 4095 bytes.
const Bytes kRunsOfAB = {0x03, 0xB0, 0x02, 'a', 0xFC, 0x0F, 0x03, 0xB0, 0x02, 'b', 0xFC, 0x0F};

Bytes repeated(std::uint8_t c, std::size_t n) {
    return Bytes(n, c);
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct AttributeCompressedFixture : ::testing::Test {
    AttributeCompressedFixture() {
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i % 253);
    }
    void place(std::uint64_t cluster, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(cluster * kCs));
    }
    Bytes clusters(std::uint64_t first, std::size_t count) const {
        return {image.begin() + static_cast<std::ptrdiff_t>(first * kCs),
                image.begin() + static_cast<std::ptrdiff_t>((first + count) * kCs)};
    }
    // Reads through a volume over the image as it is now.
    test::ReadOutcome read(std::vector<DataRun> runs, std::uint64_t position, std::size_t count,
                           std::uint16_t flags = 0x0001, std::set<std::uint64_t> bad = {},
                           std::uint64_t dataSize = 0) {
        test::RawVolume v(image, kCs);
        v.device->badSectors = std::move(bad);
        MftFile file;
        file.volume = &v.ntfs;
        AttributeDescriptor d;
        d.isResident = false;
        d.flags = flags;
        d.runs = std::move(runs);
        d.dataSize = d.initializedSize = d.allocatedSize =
            dataSize != 0 ? dataSize : d.runClusters() * kCs;
        return test::readData(file, d, position, count);
    }
    Bytes image = Bytes(1024 * kCs);
};

TEST_F(AttributeCompressedFixture, StoredUnitIsDeliveredUnchanged) {
    auto o = read({{100, 16}}, 100, kUnit - 100);
    EXPECT_EQ(o.result, 0);
    const Bytes unit = clusters(100, 16);
    EXPECT_EQ(o.bytes, Bytes(unit.begin() + 100, unit.end()));
}

TEST_F(AttributeCompressedFixture, CompressedUnitDecompressesFromAnyOffset) {
    place(100, kRunsOfAB);
    auto whole = read({{100, 1}, {-1, 15}}, 0, kUnit);
    EXPECT_EQ(whole.count, kUnit);
    EXPECT_EQ(whole.bytes, repeated('a', 4096) + repeated('b', 4096));
    auto inSparseTail = read({{100, 1}, {-1, 15}}, 5000, 100);
    EXPECT_EQ(inSparseTail.bytes, repeated('b', 100));
}

TEST_F(AttributeCompressedFixture, UnitGatheredFromTwoRuns) {
    Bytes stream = {0xFF, 0xB2};  // one chunk of 0x300 bytes: flag bytes 0 and literals
    Bytes literals;
    for (std::size_t i = 0; i < 0x300; ++i) {
        if (i % 9 == 0) {
            stream.push_back(0);
            continue;
        }
        stream.push_back(static_cast<std::uint8_t>(i));
        literals.push_back(static_cast<std::uint8_t>(i));
    }
    place(100, Bytes(stream.begin(), stream.begin() + kCs));
    place(200, Bytes(stream.begin() + kCs, stream.end()));
    auto o = read({{100, 1}, {200, 1}, {-1, 14}}, 0, kUnit);
    EXPECT_EQ(o.bytes, literals + Bytes(kUnit - literals.size(), 0));
}

TEST_F(AttributeCompressedFixture, SparseUnitsAfterCompressedOneReadAsZeros) {
    place(100, kRunsOfAB);
    auto o = read({{100, 1}, {-1, 15}, {-1, 48}}, 0, 4 * kUnit);
    EXPECT_EQ(o.count, 4 * kUnit);
    EXPECT_EQ(o.bytes, repeated('a', 4096) + repeated('b', 4096) + Bytes(3 * kUnit, 0));
    auto shortRequest = read({{100, 1}, {-1, 15}, {-1, 48}}, 4090, 10);
    EXPECT_EQ(shortRequest.count, 10u);
    EXPECT_EQ(shortRequest.bytes, repeated('a', 6) + repeated('b', 4));
}

TEST_F(AttributeCompressedFixture, RunsEndingInsideUnitGiveZerosForMissingClusters) {
    auto o = read({{300, 10}}, 0, kUnit, 0x0001, {}, kUnit);
    EXPECT_EQ(o.bytes, clusters(300, 10) + Bytes(6 * kCs, 0));
}

TEST_F(AttributeCompressedFixture, UnitKeptFromLastReadIsReadAgainOnceRunsGrow) {
    test::RawVolume v(image, kCs);
    MftFile file;
    file.volume = &v.ntfs;
    AttributeDescriptor d;
    d.isResident = false;
    d.flags = 0x0001;
    d.runs = {{300, 10}};
    d.dataSize = d.initializedSize = d.allocatedSize = kUnit;
    EXPECT_EQ(test::readData(file, d, 0, kUnit).bytes, clusters(300, 10) + Bytes(6 * kCs, 0));
    // The rest of the unit's clusters arrive with a later fragment of the runs.
    d.runs.push_back({400, 6});
    EXPECT_EQ(test::readData(file, d, 0, kUnit).bytes, clusters(300, 10) + clusters(400, 6));
}

TEST_F(AttributeCompressedFixture, SparseFlagAloneIsNotCompression) {
    auto o = read({{300, 10}, {-1, 6}, {400, 16}}, 0, 2 * kUnit, 0x8000);
    EXPECT_EQ(o.bytes, clusters(300, 10) + Bytes(6 * kCs, 0) + clusters(400, 16));
}

TEST_F(AttributeCompressedFixture, FailedTransferFailsWithBytesSoFar) {
    auto o = read({{100, 16}, {300, 1}, {-1, 15}}, 0, 2 * kUnit, 0x0001, {300});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.count, kUnit);
}

}  // namespace
}  // namespace rekkon
