// A FAT32 volume whose boot sector claims 2^28 clusters on a source that holds only its first
// table sectors and the start of its data area: everything else is unreadable or past the end.
// Listing and recovering must give the right results with work bounded by what the source
// holds, not by what the boot sector claims.
#include <gtest/gtest.h>

#include <cstring>

#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using test::put16;
using test::put32;

constexpr std::uint64_t kReserved = 32;
constexpr std::uint64_t kTableSectors = std::uint64_t{1} << 21;  // 2^28 four-byte entries
constexpr std::uint64_t kDataSector = kReserved + kTableSectors;
constexpr std::uint64_t kDataSectorsHeld = 64;  // clusters 2..65; the source ends after them

std::vector<std::uint8_t> bootSector() {
    std::vector<std::uint8_t> b(512, 0);
    put16(b, 0x0B, 512);
    b[0x0D] = 1;
    put16(b, 0x0E, kReserved);
    b[0x10] = 1;
    put32(b, 0x20, static_cast<std::uint32_t>(kDataSector + (std::uint64_t{1} << 28)));
    put32(b, 0x24, static_cast<std::uint32_t>(kTableSectors));
    put32(b, 0x2C, 2);
    b[0x1FE] = 0x55;
    b[0x1FF] = 0xAA;
    return b;
}

void putEntry(std::vector<std::uint8_t>& folder, std::size_t index, const char* name83,
              std::uint8_t attributes, std::uint32_t cluster, std::uint32_t size) {
    const std::size_t at = index * 32;
    std::memcpy(&folder[at], name83, 11);
    folder[at + 0x0B] = attributes;
    put16(folder, at + 0x18, 0x5A21);
    put16(folder, at + 0x14, static_cast<std::uint16_t>(cluster >> 16));
    put16(folder, at + 0x1A, static_cast<std::uint16_t>(cluster));
    put32(folder, at + 0x1C, size);
}

struct ClaimedHugeVolume : ::testing::Test {
    ClaimedHugeVolume() {
        auto dev = std::make_unique<test::SparseDevice>((kDataSector + kDataSectorsHeld) * 512);
        dev->put(0, bootSector());
        std::vector<std::uint8_t> table(8 * 512, 0);  // entries 0..1023; the rest is unreadable
        put32(table, 0, 0x0FFFFFF8);
        put32(table, 4, 0x0FFFFFFF);
        put32(table, 8, 0x0FFFFFFF);   // the root folder, one cluster
        put32(table, 12, 0x0FFFFFFF);  // a live file
        dev->put(kReserved, table);
        std::vector<std::uint8_t> root(512, 0);
        putEntry(root, 0, "\xE5ILE    TXT", 0x20, 5, 512);
        putEntry(root, 1, "\xE5IG     BIN", 0x20, 8, 0xFFFFFE00);
        putEntry(root, 2, "\xE5OLD       ", 0x10, 10, 0);
        putEntry(root, 3,
                 "\xE5"
                 "DGE    TXT",
                 0x20, 60, 8 * 512);
        putEntry(root, 4,
                 "\xE5"
                 "AR     TXT",
                 0x20, 5000, 512);  // its table entry is unreadable
        putEntry(root, 5, "LIVE    TXT", 0x20, 3, 10);
        dev->put(kDataSector, root);
        std::vector<std::uint8_t> old(512, 0);
        putEntry(old, 0, "\xE5NNER   TXT", 0x20, 30, 1024);
        for (std::uint64_t s = 1; s < kDataSectorsHeld; ++s)  // cluster s + 2
            dev->put(kDataSector + s, std::vector<std::uint8_t>(512, 'D'));
        dev->put(kDataSector + 8, old);
        dev->put(kDataSector + 3, std::vector<std::uint8_t>(512, 'Q'));
        stats = dev->stats();
        attachDevice(volume, std::move(dev));
    }
    const FatFoundFile* named(const std::string& name) const {
        for (const auto& f : found)
            if (f.name == name) return &f;
        return nullptr;
    }

    VolumeContext volume;
    FatVolume fat{volume, {}};
    std::shared_ptr<test::MemoryDevice::Stats> stats;
    std::vector<FatFoundFile> found;
};

TEST_F(ClaimedHugeVolume, ListsAndRecoversWithBoundedWork) {
    ASSERT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    EXPECT_EQ(volume.kind, FileSystemKind::Fat32);
    EXPECT_GT(fat.geometry.maxCluster(), 1u << 27);
    ASSERT_EQ(scanFat(fat, "", [this](FatFoundFile f) { found.push_back(std::move(f)); }), 0);

    ASSERT_EQ(found.size(), 4u);
    ASSERT_TRUE(named("?ILE.TXT"));
    EXPECT_EQ(named("?ILE.TXT")->score, 100);
    // 1 + 1,015 free clusters can be seen before the table becomes unreadable, of 8,388,607.
    ASSERT_TRUE(named("?IG.BIN"));
    EXPECT_EQ(named("?IG.BIN")->score, 0);
    ASSERT_TRUE(named("?NNER.TXT"));
    EXPECT_EQ(named("?NNER.TXT")->folder, "\\?OLD");
    ASSERT_TRUE(named("?DGE.TXT"));
    EXPECT_EQ(named("?DGE.TXT")->score, 75);  // clusters 66 and 67 lie past the source
    EXPECT_FALSE(named("?AR.TXT"));

    std::vector<std::uint8_t> buf(1 << 20);
    EXPECT_EQ(FreeClusterWalk(fat, 5).read(0, std::span(buf).first(512)), 512u);
    EXPECT_EQ(buf[0], 'Q');
    // Clusters 60..65 are held; 66 lies past the source's end.
    EXPECT_EQ(FreeClusterWalk(fat, 60).read(0, std::span(buf).first(8 * 512)), 6u * 512);
    // The big file's free clusters run on past the end of the source: what is there is read.
    EXPECT_EQ(FreeClusterWalk(fat, 8).read(0, buf), (66u - 8) * 512);

    EXPECT_LT(stats->readCalls, 300) << "work follows the source, not the claimed size";
}

}  // namespace
}  // namespace rekkon
