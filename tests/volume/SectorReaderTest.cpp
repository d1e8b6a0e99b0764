#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "support/MemoryDevice.h"
#include "volume/SectorReader.h"
#include "volume/VolumeContext.h"

namespace rekkon {
namespace {

using test::MemoryDevice;

// A source of `sectors` sectors whose byte at absolute offset x is (x * 7 + x / 512) & 0xFF, so a
// byte from the wrong sector or position never compares equal by accident.
std::vector<std::uint8_t> patternBytes(std::size_t sectors) {
    std::vector<std::uint8_t> bytes(sectors * kSectorSize);
    for (std::size_t x = 0; x < bytes.size(); ++x)
        bytes[x] = static_cast<std::uint8_t>(x * 7 + x / 512);
    return bytes;
}

struct ReaderFixture : ::testing::Test {
    void open(std::size_t sectors) {
        bytes = patternBytes(sectors);
        auto dev = std::make_unique<MemoryDevice>(bytes);
        device = dev.get();
        stats = dev->stats();
        reader.attach(std::move(dev));
    }
    std::size_t deviceReadsOf(std::uint64_t sector) const {
        return static_cast<std::size_t>(
            std::count(stats->sectorsRead.begin(), stats->sectorsRead.end(), sector));
    }
    std::vector<std::uint8_t> readAt(std::uint64_t base, std::uint64_t offset, std::size_t count) {
        std::vector<std::uint8_t> out(count, 0xEE);
        lastResult = reader.readAt(base, offset, out);
        return out;
    }
    std::vector<std::uint8_t> expected(std::uint64_t base, std::uint64_t offset,
                                       std::size_t count) const {
        const auto from = static_cast<std::ptrdiff_t>(base * kSectorSize + offset);
        return {bytes.begin() + from, bytes.begin() + from + static_cast<std::ptrdiff_t>(count)};
    }

    std::vector<std::uint8_t> bytes;
    SectorReader reader;
    MemoryDevice* device = nullptr;
    std::shared_ptr<MemoryDevice::Stats> stats;
    std::size_t lastResult = 0;
};

TEST_F(ReaderFixture, UncachedReadsPassTheCacheByAndStillCountBadSectors) {
    open(5000);
    device->badSectors.insert(4500);
    std::vector<std::uint8_t> out(4000 * kSectorSize);
    ASSERT_EQ(reader.readSectorsUncached(100, out), out.size());
    EXPECT_EQ(out, expected(100, 0, out.size()));
    // Nothing of it was kept: reading a sector again asks the device again.
    std::vector<std::uint8_t> one(kSectorSize);
    ASSERT_EQ(reader.readSectorsUncached(4099, one), kSectorSize);
    EXPECT_EQ(deviceReadsOf(4099), 2u);
    // A bad sector ends the read there and is counted once; a later read that meets it (now
    // known) takes the cached path and stops at the same place.
    std::vector<std::uint8_t> tail(600 * kSectorSize);
    EXPECT_EQ(reader.readSectorsUncached(4400, tail), 100 * kSectorSize);
    EXPECT_EQ(reader.unreadableSectors(), 1u);
    EXPECT_EQ(reader.readSectorsUncached(4400, tail), 100 * kSectorSize);
    EXPECT_EQ(reader.unreadableSectors(), 1u);
    EXPECT_EQ(reader.readSectorsUncached(4990, tail), 10 * kSectorSize);  // the source ends
}

TEST_F(ReaderFixture, ReadAtGivesExactBytesAcrossSectorBoundaries) {
    open(64);
    struct Case {
        std::uint64_t base, offset;
        std::size_t count;
    };
    const Case cases[] = {
        {0, 510, 4},               // two bytes from each of two sectors
        {3, 512 * 2 + 100, 1536},  // starts mid-sector, ends mid-sector: four sectors
        {1, 0, 512},               // exactly one aligned sector
        {1, 0, 1024 + 1},          // whole sectors then one byte
        {0, 511, 1},               // last byte of a sector
        {5, 300, 212},             // ends exactly on a boundary
        {2, 7000, 10000},          // large, unaligned both ends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.base << "+" << c.offset << " x" << c.count);
        EXPECT_EQ(readAt(c.base, c.offset, c.count), expected(c.base, c.offset, c.count));
        EXPECT_EQ(lastResult, c.count);
    }
}

TEST_F(ReaderFixture, ReadAtAtTheEndOfTheImage) {
    open(8);
    EXPECT_EQ(readAt(7, 500, 12), expected(7, 500, 12));
    EXPECT_EQ(lastResult, 12u);
    readAt(7, 500, 13);  // one byte past the end
    EXPECT_EQ(lastResult, 0u);
    readAt(8, 0, 1);
    EXPECT_EQ(lastResult, 0u);
    readAt(~std::uint64_t{0}, 512, 1);  // sector number wraps
    EXPECT_EQ(lastResult, 0u);
}

TEST_F(ReaderFixture, ReadSectorsIgnoresTheRemainderOfALength) {
    open(8);
    std::vector<std::uint8_t> buf(1000);
    reader.seekSector(2);
    EXPECT_EQ(reader.readSectors(std::span(buf).first(511)), 0u);
    EXPECT_TRUE(stats->sectorsRead.empty());
    EXPECT_EQ(reader.readSectors(buf), 512u);
    EXPECT_EQ(reader.currentSector(), 3u);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 512, bytes.begin() + 1024));
}

TEST_F(ReaderFixture, ASectorReadTwiceReachesTheDeviceOnce) {
    open(600);
    readAt(10, 0, 4);
    readAt(10, 100, 4);
    EXPECT_EQ(deviceReadsOf(10), 1u);
    // 256 other sectors push it out; then it comes from the device again, with the same bytes.
    for (std::uint64_t s = 100; s < 356; ++s)
        readAt(s, 0, 1);
    EXPECT_EQ(readAt(10, 0, 512), expected(10, 0, 512));
    EXPECT_EQ(deviceReadsOf(10), 2u);
}

TEST_F(ReaderFixture, TheLeastRecentlyUsedSectorIsReplaced) {
    open(600);
    for (std::uint64_t s = 0; s < 256; ++s)
        readAt(s, 0, 1);  // fills every slot
    readAt(0, 0, 1);      // 0 is now the most recent; 1 the oldest
    readAt(400, 0, 1);    // replaces 1
    stats->sectorsRead.clear();
    readAt(0, 0, 1);
    readAt(2, 0, 1);
    EXPECT_TRUE(stats->sectorsRead.empty()) << "0 and 2 must still be cached";
    readAt(1, 0, 1);
    EXPECT_EQ(deviceReadsOf(1), 1u);
}

TEST_F(ReaderFixture, NeverUsedSlotsAreTakenBeforeUsedOnes) {
    open(600);
    // 255 sectors leave exactly one slot never used: the next new sector must take it rather
    // than replace the oldest.
    for (std::uint64_t s = 0; s < 255; ++s)
        readAt(s, 0, 1);
    readAt(500, 0, 1);
    stats->sectorsRead.clear();
    for (std::uint64_t s = 0; s < 255; ++s)
        readAt(s, 0, 1);
    readAt(500, 0, 1);
    EXPECT_TRUE(stats->sectorsRead.empty());
}

// A long run of sectors read through the cache leaves its last ones there; a long byte read
// (file data, read once) passes the cache.
TEST_F(ReaderFixture, ALongReadLeavesItsLastSectorsCached) {
    open(3000);
    readAt(0, 0, 2500 * 512);
    stats->sectorsRead.clear();
    readAt(2499, 0, 1);
    EXPECT_EQ(deviceReadsOf(2499), 1u);
    std::vector<std::uint8_t> run(2500 * 512);
    reader.seekSector(0);
    ASSERT_EQ(reader.readSectors(run), run.size());
    stats->sectorsRead.clear();
    for (std::uint64_t s = 2500 - 256; s < 2500; ++s)
        EXPECT_EQ(readAt(s, 0, 512), expected(s, 0, 512));
    EXPECT_TRUE(stats->sectorsRead.empty());
    readAt(2500 - 257, 0, 1);
    EXPECT_EQ(deviceReadsOf(2500 - 257), 1u);
}

TEST_F(ReaderFixture, LargeReadsMatchTheDeviceAcrossCachedAndUncachedSectors) {
    open(1200);
    for (std::uint64_t s = 0; s < 1200; s += 3)
        readAt(s, 10, 1);  // a scattering of cached sectors
    EXPECT_EQ(readAt(1, 77, 1100 * 512), expected(1, 77, 1100 * 512));
    EXPECT_EQ(lastResult, 1100u * 512);
}

TEST_F(ReaderFixture, AFailingSourceEndsTheReadWithWhatWasDelivered) {
    open(32);
    device->badSectors = {12};
    std::vector<std::uint8_t> buf(8 * 512);
    reader.seekSector(8);
    EXPECT_EQ(reader.readSectors(buf), 4u * 512);  // sectors 8..11
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 2048, bytes.begin() + 8 * 512));
    readAt(11, 500, 20);  // crosses into the bad sector
    EXPECT_EQ(lastResult, 0u);
    readAt(13, 0, 20);
    EXPECT_EQ(lastResult, 20u);
}

TEST_F(ReaderFixture, SectorsPastTheEndOfTheSourceAreNeverAskedFor) {
    open(32);
    std::vector<std::uint8_t> buf(8 * 512);
    reader.seekSector(28);
    EXPECT_EQ(reader.readSectors(buf), 4u * 512);  // 28..31, then the source ends
    // A read that asks for sectors past the end is a failed read (a cut-short image): the first
    // sector it could not have is counted, once.
    EXPECT_EQ(reader.unreadableSectors(), 1u);
    EXPECT_EQ(reader.readAt(32, 0, std::span(buf).first(4)), 0u);
    EXPECT_EQ(reader.unreadableSectors(), 1u);
    const int calls = stats->readCalls;
    for (std::uint64_t s = 32; s < 100'000; s += 7)
        EXPECT_EQ(reader.readAt(s, 0, std::span(buf).first(4)), 0u);
    EXPECT_EQ(reader.readAt(UINT64_MAX / 2, 0, std::span(buf).first(4)), 0u);
    EXPECT_EQ(stats->readCalls, calls);
    EXPECT_EQ(reader.pastEndSectors(), reader.unreadableSectors());
    EXPECT_GT(reader.unreadableSectors(), 4096u);
}

TEST_F(ReaderFixture, AFailingSectorIsAskedForAFewTimesAtMost) {
    open(64);
    device->badSectors = {20};
    std::vector<std::uint8_t> buf(4);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(reader.readAt(20, 100, buf), 0u);
    EXPECT_EQ(stats->readCalls, SectorReader::kDeviceAttemptsPerSector);
    EXPECT_TRUE(reader.knownUnreadable(20));
    EXPECT_FALSE(reader.knownUnreadable(19));
    // A long read across it stops there without asking again; sectors before it still read.
    std::vector<std::uint8_t> run(16 * 512);
    reader.seekSector(10);
    const int calls = stats->readCalls;
    EXPECT_EQ(reader.readSectors(run), 10u * 512);
    reader.seekSector(20);
    EXPECT_EQ(reader.readSectors(run), 0u);
    EXPECT_EQ(stats->readCalls, calls + 1);
    // A new source forgets the old one's failures.
    open(64);
    EXPECT_FALSE(reader.knownUnreadable(20));
    EXPECT_EQ(reader.readAt(20, 100, buf), 4u);
}

TEST_F(ReaderFixture, RememberedFailuresAreBounded) {
    // Every other sector fails, so each is a stretch of its own.
    const std::uint64_t bad = SectorReader::kMaxUnreadableStretches + 100;
    open(2 * bad + 10);
    for (std::uint64_t s = 0; s < bad; ++s)
        device->badSectors.insert(2 * s);
    std::vector<std::uint8_t> buf(4);
    for (std::uint64_t s = 0; s < bad; ++s)
        reader.readAt(2 * s, 0, buf);
    EXPECT_FALSE(reader.knownUnreadable(0));  // the lowest were forgotten
    EXPECT_TRUE(reader.knownUnreadable(2 * (bad - 1)));
    EXPECT_EQ(reader.unreadableSectors(), bad);
}

TEST_F(ReaderFixture, EachUnreadableSectorIsCountedOnce) {
    open(64);
    device->badSectors = {20, 21, 40};
    std::vector<std::uint8_t> buf(4);
    std::vector<std::uint8_t> run(30 * 512);
    for (int pass = 0; pass < 3; ++pass) {
        reader.readAt(20, 0, buf);
        reader.readAt(21, 500, buf);  // crosses into 22, which reads
        reader.readAt(40, 0, buf);
        reader.seekSector(15);
        EXPECT_EQ(reader.readSectors(run), 5u * 512);  // 15..19, then 20 is known unreadable
    }
    EXPECT_EQ(reader.unreadableSectors(), 3u);
    EXPECT_TRUE(reader.knownUnreadable(21));
    EXPECT_FALSE(reader.knownUnreadable(22));
    // Sector 64, past the end of the source, is asked for twice: counted once, as past the end.
    reader.readAt(64, 0, buf);
    reader.readAt(63, 511, buf);
    EXPECT_EQ(reader.unreadableSectors(), 4u);
    EXPECT_EQ(reader.pastEndSectors(), 1u);
    // A sector that reads on its last attempt is not counted.
    device->failNextReads = SectorReader::kDeviceAttemptsPerSector - 1;
    EXPECT_EQ(reader.readAt(50, 0, buf), 4u);
    EXPECT_EQ(reader.unreadableSectors(), 4u);
    // The count belongs to the attached source.
    open(64);
    EXPECT_EQ(reader.unreadableSectors(), 0u);
}

TEST_F(ReaderFixture, ASourceThatFailsWholeReadsLosesOnlyTheBadSector) {
    open(3000);
    device->failWholeReads = true;
    device->badSectors = {1234};
    std::vector<std::uint8_t> run(2048 * 512);
    reader.seekSector(100);
    EXPECT_EQ(reader.readSectors(run), (1234u - 100) * 512);
    EXPECT_TRUE(
        std::equal(run.begin(), run.begin() + (1234 - 100) * 512, bytes.begin() + 100 * 512));
    EXPECT_TRUE(reader.knownUnreadable(1234));
    EXPECT_FALSE(reader.knownUnreadable(100));
    EXPECT_FALSE(reader.knownUnreadable(1233));
    EXPECT_EQ(reader.unreadableSectors(), 1u);
    EXPECT_LT(stats->readCalls, 40) << "found by halving, not sector by sector";
    // What follows it reads on.
    reader.seekSector(1235);
    EXPECT_EQ(reader.readSectors(std::span(run).first(100 * 512)), 100u * 512);
}

TEST_F(ReaderFixture, ALongDeadStretchCostsOneReadPerSector) {
    // Longer than the number of stretches remembered: it is remembered as one.
    const std::uint64_t from = 1000, to = from + 2 * SectorReader::kMaxUnreadableStretches;
    open(to + 100);
    device->badFrom = from;
    device->badTo = to;
    std::vector<std::uint8_t> sector(512);
    // Probed sector by sector, each read tried five times, as readWithRetry does.
    for (std::uint64_t s = from; s < to; ++s) {
        for (int attempt = 0; attempt < 5; ++attempt)
            EXPECT_EQ(reader.readAt(s, 0, sector), 0u);
    }
    const std::uint64_t stretch = to - from;
    EXPECT_EQ(reader.unreadableSectors(), stretch);
    const auto dead = SectorReader::kDeadStretchSectors;
    EXPECT_EQ(static_cast<std::uint64_t>(stats->readCalls),
              dead * SectorReader::kDeviceAttemptsPerSector + (stretch - dead));
    EXPECT_TRUE(reader.knownUnreadable(from));
    EXPECT_TRUE(reader.knownUnreadable(to - 1));
    EXPECT_FALSE(reader.knownUnreadable(to));
    // Once the device delivers again, a failing sector gets all its attempts.
    EXPECT_EQ(reader.readAt(to + 10, 0, sector), 512u);
    device->badSectors = {to + 20};
    const int calls = stats->readCalls;
    EXPECT_EQ(reader.readAt(to + 20, 0, sector), 0u);
    EXPECT_EQ(stats->readCalls - calls, SectorReader::kDeviceAttemptsPerSector);
}

TEST(VolumeContextTest, ANewVolumeNeverSeesTheOldOnesSectors) {
    VolumeContext volume;
    std::vector<std::uint8_t> first(4 * 512, 0xAA), second(4 * 512, 0x55);
    attachDevice(volume, std::make_unique<MemoryDevice>(first));
    std::array<std::uint8_t, 4> out{};
    ASSERT_EQ(volume.reader.readAt(1, 0, out), 4u);
    EXPECT_EQ(out[0], 0xAA);
    attachDevice(volume, std::make_unique<MemoryDevice>(second));
    ASSERT_EQ(volume.reader.readAt(1, 0, out), 4u);
    EXPECT_EQ(out[0], 0x55);
}

TEST(VolumeContextTest, OpenDeviceReportsWhyItFailed) {
    VolumeContext volume;
    EXPECT_EQ(openDevice(volume, "/nonexistent/rekkon.img"), ENOENT);
    EXPECT_FALSE(volume.isOpen());
    EXPECT_EQ(volume.lastOpenError, ENOENT);
}

TEST(VolumeContextTest, CursorMovesAndRetries) {
    VolumeContext volume;
    auto dev = std::make_unique<MemoryDevice>(patternBytes(16));
    MemoryDevice* raw = dev.get();
    attachDevice(volume, std::move(dev));

    volume.sector = 10;
    volume.byteInSector = 500;
    EXPECT_EQ(setPosition(volume, 0, 30, PositionMode::Relative), 11u);
    EXPECT_EQ(volume.byteInSector, 18u);
    EXPECT_EQ(setPosition(volume, 2, 1030, PositionMode::Absolute), 4u);
    EXPECT_EQ(volume.byteInSector, 6u);

    // The fifth attempt succeeds; the cursor then advances by the count.
    raw->failNextReads = 4;
    std::array<std::uint8_t, 8> out{};
    EXPECT_EQ(readWithRetry(volume, out), 8u);
    EXPECT_EQ(volume.sector, 4u);
    EXPECT_EQ(volume.byteInSector, 14u);
    // Five failures leave the cursor where it was. (Sector 4 is cached now, so read elsewhere.)
    raw->failNextReads = 5;
    volume.sector = 9;
    volume.byteInSector = 14;
    EXPECT_EQ(readWithRetry(volume, out), 0u);
    EXPECT_EQ(volume.sector, 9u);
    EXPECT_EQ(volume.byteInSector, 14u);
    EXPECT_EQ(raw->failNextReads, 0);
}

TEST(VolumeContextTest, TransferAtClusterUsesBytesPerCluster) {
    VolumeContext volume;
    const auto bytes = patternBytes(64);
    attachDevice(volume, std::make_unique<MemoryDevice>(bytes));
    volume.bytesPerCluster = 4096;
    std::vector<std::uint8_t> out(100);
    TransferRequest request{true, out.data(), out.size()};
    EXPECT_EQ(transferAtCluster(volume, 3, 10, request), 100u);
    EXPECT_EQ(request.cursor, out.data() + 100);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + 3 * 4096 + 10));

    TransferRequest write{false, out.data(), out.size()};
    EXPECT_EQ(transferAtCluster(volume, 3, 0, write), 0u);
    EXPECT_EQ(write.cursor, out.data());
    TransferRequest beyond{true, out.data(), out.size()};
    EXPECT_EQ(transferAtCluster(volume, 1000, 0, beyond), 0u);
    EXPECT_EQ(beyond.cursor, out.data());
}

}  // namespace
}  // namespace rekkon
