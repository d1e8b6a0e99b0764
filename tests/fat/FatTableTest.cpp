#include <gtest/gtest.h>

#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "fat/FatTable.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using test::FatBuilder;

struct MountedFat {
    explicit MountedFat(FatBuilder& builder) {
        auto dev = std::make_unique<test::MemoryDevice>(builder.bytes());
        stats = dev->stats();
        attachDevice(volume, std::move(dev));
        EXPECT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    }
    VolumeContext volume;
    FatVolume fat{volume, {}};
    std::shared_ptr<test::MemoryDevice::Stats> stats;
};

TEST(FatTableTest, Fat16EntriesAreNormalised) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 4);
    b.setFat(10, 0xFFF8);
    b.setFat(11, 0xFFFF);
    b.setFat(12, 0xFFF7);
    b.setFat(13, 0x0003);
    b.setFat(255, 0x1234);  // the last two bytes of the first table sector
    b.setFat(256, 0x0321);
    b.setFat(257, 0x4321);  // past the volume's last cluster (about 5,000): ends the chain
    MountedFat m(b);
    EXPECT_EQ(FatTableWindow(m.fat).entry(10), 0xFFFFFFF8u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(11), 0xFFFFFFFFu);
    EXPECT_EQ(FatTableWindow(m.fat).entry(12), kFatBadCluster);
    EXPECT_EQ(FatTableWindow(m.fat).entry(13), 3u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(255), 0x1234u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(256), 0x0321u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(257), kFatEndOfChain);
    EXPECT_EQ(FatTableWindow(m.fat).entry(14), 0u);
}

TEST(FatTableTest, Fat12EntriesArePacked) {
    // 2880 sectors, one per cluster: a floppy. Entries are 12 bits, two per three bytes.
    FatBuilder b(FatBuilder::Type::Fat12, 2880, 1);
    b.setFat(2, 0x003);
    b.setFat(3, 0xFFF);
    b.setFat(4, 0xFF7);
    b.setFat(5, 0xABC);
    b.setFat(340, 0x155);
    b.setFat(341, 0x2AA);  // 341 * 1.5 = 511.5: this entry straddles two table sectors
    b.setFat(342, 0xFF8);
    MountedFat m(b);
    ASSERT_EQ(m.fat.geometry.fatBits, 12);
    EXPECT_EQ(FatTableWindow(m.fat).entry(2), 3u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(3), 0xFFFFFFFFu);
    EXPECT_EQ(FatTableWindow(m.fat).entry(4), kFatBadCluster);
    EXPECT_EQ(FatTableWindow(m.fat).entry(5), 0xABCu);
    EXPECT_EQ(FatTableWindow(m.fat).entry(340), 0x155u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(341), 0x2AAu);
    EXPECT_EQ(FatTableWindow(m.fat).entry(342), 0xFFFFFFF8u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(6), 0u);
}

TEST(FatTableTest, Fat32EntriesAreNormalisedAndBounded) {
    FatBuilder b(FatBuilder::Type::Fat32, 70'000, 1);
    MountedFat probe(b);
    const std::uint32_t max = probe.fat.geometry.maxCluster();
    b.setFat(10, 0x0FFFFFFF);
    b.setFat(11, 0x0FFFFFF8);
    b.setFat(12, max + 1);
    b.setFat(13, 0xF0000014);  // reserved top bits set: still cluster 20
    b.setFat(max, 7);
    MountedFat m(b);
    EXPECT_EQ(FatTableWindow(m.fat).entry(10), 0xFFFFFFFFu);
    EXPECT_EQ(FatTableWindow(m.fat).entry(11), kFatEndOfChain);
    EXPECT_EQ(FatTableWindow(m.fat).entry(12), kFatEndOfChain);
    EXPECT_EQ(FatTableWindow(m.fat).entry(13), 20u);
    EXPECT_EQ(FatTableWindow(m.fat).entry(max), 7u);
    m.stats->sectorsRead.clear();
    EXPECT_EQ(FatTableWindow(m.fat).entry(max + 1), kFatEndOfChain);
    EXPECT_TRUE(m.stats->sectorsRead.empty()) << "a cluster past the volume is not looked up";
}

TEST(FatTableTest, ClusterChainsAreFollowed) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 1);  // 512-byte clusters
    b.chain({5, 9});
    b.fillCluster(5, 0x55);
    b.fillCluster(9, 0x99);
    b.setFat(20, 21);  // a damaged chain that loops
    b.setFat(21, 20);
    MountedFat m(b);
    const std::size_t cb = 512;

    std::vector<std::uint8_t> buf(3 * cb);
    EXPECT_EQ(ChainReader(m.fat, 5).read(0, buf), 2 * cb);
    EXPECT_EQ(buf[0], 0x55);
    EXPECT_EQ(buf[cb], 0x99);
    EXPECT_EQ(ChainReader(m.fat, 5).read(2 * cb, buf), 0u);
    EXPECT_EQ(ChainReader(m.fat, 5).read(cb + 10, std::span(buf).first(100)), 100u);
    EXPECT_EQ(buf[0], 0x99);

    // The loop ends where it would come back to a cluster already read.
    std::vector<std::uint8_t> big(cb * 4);
    EXPECT_EQ(ChainReader(m.fat, 20).read(0, big), 2 * cb);
    EXPECT_EQ(ChainReader(m.fat, 20).read(std::uint64_t{cb} * 1'000'000, std::span(big).first(1)),
              0u);
}

TEST(FatTableTest, TheRootAreaIsClusterOneAndEndsAtItsEnd) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 4);
    b.putEntry(1, 0, "FIRST   TXT", 0x20, 3, 10);
    MountedFat m(b);
    const std::uint64_t rootBytes = std::uint64_t{m.fat.geometry.rootDirSectors} * 512;
    std::vector<std::uint8_t> buf(32);
    ASSERT_EQ(ChainReader(m.fat, 1).read(0, buf), 32u);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 5), "FIRST");
    EXPECT_EQ(ChainReader(m.fat, 1).read(rootBytes - 32, buf), 32u);
    EXPECT_EQ(ChainReader(m.fat, 1).read(rootBytes - 16, buf), 16u);
    EXPECT_EQ(ChainReader(m.fat, 1).read(rootBytes, buf), 0u);
}

TEST(FatTableTest, FreeClusterWalkSkipsClustersInUse) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 2);  // 1024-byte clusters
    for (std::uint32_t c : {10u, 11u, 12u, 13u})
        b.fillCluster(c, static_cast<std::uint8_t>(c));
    b.setFat(11, 0xFFFF);
    MountedFat m(b);
    const std::size_t cb = 1024;

    std::vector<std::uint8_t> all(3 * cb);
    ASSERT_EQ(FreeClusterWalk(m.fat, 10).read(0, all), 3 * cb);
    EXPECT_EQ(all[0], 10);
    EXPECT_EQ(all[cb], 12);
    EXPECT_EQ(all[2 * cb], 13);

    // Piece by piece, growing offsets, the same bytes: a fresh call each time and one walk kept.
    for (std::size_t piece : {cb, std::size_t{1000}, std::size_t{32}}) {
        FreeClusterWalk walk(m.fat, 10);
        std::vector<std::uint8_t> pieces(3 * cb);
        std::vector<std::uint8_t> fresh(3 * cb);
        for (std::size_t at = 0; at < pieces.size(); at += piece) {
            const std::size_t n = std::min(piece, pieces.size() - at);
            ASSERT_EQ(walk.read(at, std::span(pieces).subspan(at, n)), n);
            ASSERT_EQ(FreeClusterWalk(m.fat, 10).read(at, std::span(fresh).subspan(at, n)), n);
        }
        EXPECT_EQ(pieces, all) << piece;
        EXPECT_EQ(fresh, all) << piece;
    }
}

TEST(FatTableTest, FreeClusterWalkStopsAtTheLastCluster) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 4);
    MountedFat m(b);
    const std::uint32_t last = m.fat.geometry.maxCluster();
    const std::size_t cb = 2048;
    std::vector<std::uint8_t> buf(5 * cb);
    EXPECT_EQ(FreeClusterWalk(m.fat, last - 1).read(0, buf), 2 * cb);
    EXPECT_EQ(FreeClusterWalk(m.fat, last + 1).read(0, buf), 0u);
    EXPECT_EQ(FreeClusterWalk(m.fat, 0).read(0, buf), 0u);
}

TEST(FatTableTest, FreeClusterWalkEndsWhereTheTableCannotBeRead) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 1);
    auto dev = std::make_unique<test::MemoryDevice>(b.bytes());
    // The table's second sector, entries 256..511, in both copies.
    dev->badSectors = {1 + 1, 1 + b.fatSectors() + 1};
    auto stats = dev->stats();
    VolumeContext volume;
    attachDevice(volume, std::move(dev));
    FatVolume fat{volume, {}};
    ASSERT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    std::vector<std::uint8_t> buf(20 * 512);
    for (int i = 0; i < 20; ++i)  // clusters 250..255, then nothing is known to be free
        EXPECT_EQ(FreeClusterWalk(fat, 250).read(0, buf), 6u * 512);
    EXPECT_LT(stats->readCalls, 40);
    // The estimate counts what it cannot see as taken.
    DirEntry entry;
    entry.clusterLow = 250;
    entry.size = 12 * 512;
    EXPECT_EQ(estimateFatStatus(fat, entry), 50);
}

TEST(FatTableTest, FreeClusterWalkCoalescesButKeepsWholeClustersBeforeABadSector) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 1);
    for (std::uint32_t c = 30; c < 40; ++c)
        b.fillCluster(c, static_cast<std::uint8_t>(c));
    auto dev = std::make_unique<test::MemoryDevice>(b.bytes());
    dev->badSectors = {b.firstDataSector() + (34 - 2)};
    VolumeContext volume;
    attachDevice(volume, std::move(dev));
    FatVolume fat{volume, {}};
    ASSERT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    std::vector<std::uint8_t> buf(10 * 512);
    EXPECT_EQ(FreeClusterWalk(fat, 30).read(0, buf), 4u * 512);
    EXPECT_EQ(buf[3 * 512], 33);
}

}  // namespace
}  // namespace rekkon
