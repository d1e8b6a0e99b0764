// Scans of sources that cannot be read in a stretch, as on a failing card: the scan runs to its
// end, finds what lies elsewhere and counts the sectors that could not be read.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "fat/DirLookup.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"
#include "volume/LeReader.h"

namespace rekkon {
namespace {

std::vector<std::uint8_t> imageBytes(const std::string& relative) {
    std::ifstream in(test::fixtureImage(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Scanned {
    std::set<std::string> paths;  // FOLDER\NAME of every entry
    std::set<std::uint64_t> locations;
    std::uint64_t unreadable = 0;
};

// Mounts `bytes` with sectors [badFrom, badTo) failing every read, and scans the whole volume.
Scanned scan(const std::vector<std::uint8_t>& bytes, std::uint64_t badFrom = 0,
             std::uint64_t badTo = 0) {
    auto device = std::make_unique<test::MemoryDevice>(bytes);
    device->badFrom = badFrom;
    device->badTo = badTo;
    ScanContext context;
    Scanned s;
    if (mountVolume(context, std::move(device)) != MountStatus::Mounted) {
        ADD_FAILURE() << "not mounted";
        return s;
    }
    EXPECT_GE(scanVolume(context), 0);
    for (const DeletedFileEntry& e : context.foundList) {
        s.paths.insert(e.folder + "\\" + e.name);
        s.locations.insert(e.location);
    }
    s.unreadable = context.volume.reader.unreadableSectors();
    return s;
}

TEST(UnreadableScanTest, FatScanPassesOverAnUnreadableFolderAndTableSector) {
    const auto bytes = imageBytes("fat/fat16.img");
    const Scanned intact = scan(bytes);
    EXPECT_EQ(intact.unreadable, 0u);

    // Where the live folder LETTERS and the first copy of the table lie.
    std::uint64_t letters = 0;
    FatGeometry geometry;
    {
        ScanContext context;
        ASSERT_EQ(mountVolume(context, std::make_unique<test::MemoryDevice>(bytes)),
                  MountStatus::Mounted);
        FatVolume fat = test::fatOf(context).fat();
        std::string path = "LETTERS";
        DirEntry entry;
        ASSERT_EQ(findPathEntry(fat, fat.geometry.rootCluster, &path, entry), 0);
        letters = fat.geometry.clusterSector(entry.firstCluster(context.volume.kind));
        geometry = fat.geometry;
    }
    std::set<std::string> outsideLetters;
    for (const std::string& p : intact.paths)
        if (p.rfind("\\LETTERS\\", 0) != 0) outsideLetters.insert(p);
    ASSERT_LT(outsideLetters.size(), intact.paths.size());
    ASSERT_GT(outsideLetters.size(), 3u);

    // The folder's cluster: its files are lost, every other folder is still walked.
    const Scanned noFolder = scan(bytes, letters, letters + geometry.sectorsPerCluster);
    EXPECT_EQ(noFolder.paths, outsideLetters);
    EXPECT_GE(noFolder.unreadable, 1u);
    EXPECT_LE(noFolder.unreadable, geometry.sectorsPerCluster);

    // The table's first sector, which holds the entries of every file here: the second copy
    // stands in for it, so nothing is lost.
    const Scanned noTable = scan(bytes, geometry.reservedSectors, geometry.reservedSectors + 1);
    EXPECT_EQ(noTable.paths, intact.paths);
    EXPECT_EQ(noTable.unreadable, 1u);
}

// The 512-byte sector of the source where MFT record `number` starts.
std::uint64_t recordSector(const std::vector<std::uint8_t>& bytes, std::uint32_t number) {
    const LeReader r(bytes);
    for (std::size_t at = 0; at + 1024 <= bytes.size(); at += 1024)
        if (r.u32(at) == 0x454C4946u && r.u32(at + 0x2C) == number) return at / kSectorSize;
    ADD_FAILURE() << "no record " << number;
    return 0;
}

TEST(UnreadableScanTest, NtfsScanPassesOverUnreadableMftRecords) {
    const auto bytes = imageBytes("ntfs/ntfs-scan-4k.img");
    const Scanned intact = scan(bytes);
    EXPECT_EQ(intact.unreadable, 0u);

    // Records 90..99: deleted files and folders of \home\alice among them.
    const std::uint64_t from = recordSector(bytes, 90);
    ASSERT_EQ(recordSector(bytes, 99), from + 9 * 2);
    const Scanned damaged = scan(bytes, from, from + 10 * 2);
    std::set<std::uint64_t> outside;
    for (std::uint64_t location : intact.locations)
        if (location < 90 || location > 99) outside.insert(location);
    ASSERT_LT(outside.size(), intact.locations.size());
    EXPECT_EQ(damaged.locations, outside);
    // Each record is given up on at its first sector.
    EXPECT_GE(damaged.unreadable, 10u);
    EXPECT_LE(damaged.unreadable, 20u);
}

}  // namespace
}  // namespace rekkon
