// The strict reading of a lone cluster as folder content, on byte-built clusters: real folder
// layouts pass, and one impossible field anywhere refuses the whole cluster.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fat/FolderClusterCheck.h"
#include "support/FatBuilder.h"

namespace rekkon {
namespace {

using test::put16;
using test::put32;

constexpr std::uint32_t kCluster = 300;
constexpr std::uint16_t kDate = 0x5221;  // 2021-01-01
constexpr std::uint16_t kTime = 0x6000;  // 12:00:00

const FolderClusterLimits kLimits{FileSystemKind::Fat12Or16, 8000, 8000ull * 512};

// A 512-byte cluster filled slot by slot.
class ClusterBytes {
  public:
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(512, 0);
    std::size_t next = 0;

    std::size_t shortEntry(const std::string& name83, std::uint8_t attributes,
                           std::uint32_t cluster, std::uint32_t size, bool deleted = false) {
        const std::size_t at = next++ * 32;
        std::string padded = name83;
        padded.resize(11, ' ');
        std::memcpy(&bytes[at], padded.data(), 11);
        bytes[at + 0x0B] = attributes;
        put16(bytes, at + 0x0E, kTime);
        put16(bytes, at + 0x10, kDate);
        put16(bytes, at + 0x12, kDate);
        put16(bytes, at + 0x16, kTime);
        put16(bytes, at + 0x18, kDate);
        put16(bytes, at + 0x1A, static_cast<std::uint16_t>(cluster));
        put32(bytes, at + 0x1C, size);
        if (deleted) bytes[at] = 0xE5;
        return at;
    }
    void dots(std::uint32_t self, std::uint32_t parent) {
        shortEntry(".", kAttrFolder, self, 0);
        shortEntry("..", kAttrFolder, parent, 0);
    }
    // Long-name pieces of `name` (ASCII) for the 8.3 name that follows, highest piece first.
    void longName(const std::string& name, const std::string& name83, bool deleted = false,
                  std::size_t skipPieces = 0) {
        std::string padded = name83;
        padded.resize(11, ' ');
        std::array<std::uint8_t, 11> shortName{};
        std::memcpy(shortName.data(), padded.data(), 11);
        const std::uint8_t checksum = shortNameChecksum(shortName);
        static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        const std::size_t pieces = (name.size() + 12) / 13;
        for (std::size_t p = pieces - skipPieces; p >= 1; --p) {
            const std::size_t at = next++ * 32;
            bytes[at] = static_cast<std::uint8_t>(deleted ? 0xE5 : p | (p == pieces ? 0x40 : 0));
            bytes[at + 0x0B] = kAttrLongNamePiece;
            bytes[at + 0x0D] = checksum;
            for (std::size_t k = 0; k < 13; ++k) {
                const std::size_t i = (p - 1) * 13 + k;
                const std::uint16_t unit = i < name.size()    ? static_cast<std::uint8_t>(name[i])
                                           : i == name.size() ? 0x0000
                                                              : 0xFFFF;
                put16(bytes, at + kOffsets[k], unit);
            }
        }
    }
};

// A folder's first cluster: dots, a live long-named file, a deleted long-named file, a deleted
// 8.3 folder, then the end marker.
ClusterBytes goodFirstCluster() {
    ClusterBytes c;
    c.dots(kCluster, 0);
    c.longName("Budget Forecast 2020.txt", "BUDGET~1TXT");
    c.shortEntry("BUDGET~1TXT", 0x20, 310, 1500);
    c.longName("Meeting Minutes.txt", "MEETIN~1TXT", true);
    c.shortEntry("MEETIN~1TXT", 0x20, 320, 700, true);
    c.shortEntry("DRAFTS", kAttrFolder, 330, 0, true);
    return c;
}

TEST(FolderClusterCheck, ReadsARealFolderLayout) {
    const auto folder = readFolderCluster(goodFirstCluster().bytes, kCluster, kLimits);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->first);
    EXPECT_EQ(folder->parentCluster, 0u);
    ASSERT_EQ(folder->entries.size(), 3u);
    EXPECT_FALSE(folder->entries[0].deleted);
    EXPECT_EQ(folder->entries[0].longName, "Budget Forecast 2020.txt");
    EXPECT_TRUE(folder->entries[1].deleted);
    // Deleted pieces keep their name: the checksum fits the short name with a valid first byte.
    EXPECT_EQ(folder->entries[1].longName, "Meeting Minutes.txt");
    EXPECT_EQ(folder->entries[2].longName, std::nullopt);
    EXPECT_TRUE(folder->entries[2].entry.isFolder());
}

TEST(FolderClusterCheck, MarksADeletedLongNameWhoseEndWasTaken) {
    ClusterBytes c;
    c.dots(kCluster, 0);
    c.shortEntry("NEWER   TXT", 0x20, 300, 10);  // took the farthest piece's slot
    c.longName("B file with long name.bin", "BFILEW~1BIN", true, 1);
    c.shortEntry("BFILEW~1BIN", 0x20, 340, 900, true);
    const auto folder = readFolderCluster(c.bytes, kCluster, kLimits);
    ASSERT_TRUE(folder);
    ASSERT_EQ(folder->entries.size(), 2u);
    EXPECT_EQ(folder->entries[1].longName, "B file with l\u2026");
    EXPECT_TRUE(folder->entries[1].longNameCut);
    EXPECT_EQ(folder->entries[1].firstByte, 'B');
}

TEST(FolderClusterCheck, ReadsLaterClustersOfAFolder) {
    // A later cluster has no dots; it may open with the rest of a name begun in the cluster
    // before, and end with the start of one that goes on in the next.
    ClusterBytes c;
    c.longName("A Name Spanning Two Clusters.txt", "ANAMES~1TXT", false, 1);
    c.shortEntry("ANAMES~1TXT", 0x20, 400, 10);
    c.shortEntry("PLAIN   TXT", 0x20, 401, 10, true);
    c.longName("Goes On", "GOESON  TXT");  // one piece, its short entry in the next cluster
    c.bytes.resize(c.next * 32);           // a cluster of four slots
    const auto folder = readFolderCluster(c.bytes, kCluster, kLimits);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(folder->first);
    ASSERT_EQ(folder->entries.size(), 2u);
    EXPECT_EQ(folder->entries[0].longName, std::nullopt);  // only part of it is here
    // Deleted pieces left from a name whose slots a short entry took over are no name.
    ClusterBytes reused;
    reused.dots(kCluster, 77);
    reused.longName("Some Old Long Name.txt", "SOMEOL~1TXT", true);
    reused.shortEntry("NEWFILE TXT", 0x20, 500, 10);
    const auto other = readFolderCluster(reused.bytes, kCluster, kLimits);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->parentCluster, 77u);
    ASSERT_EQ(other->entries.size(), 1u);
    EXPECT_EQ(other->entries[0].longName, std::nullopt);
}

TEST(FolderClusterCheck, RefusesAClusterWithOneImpossibleField) {
    struct Damage {
        const char* what;
        std::size_t at;  // byte offset in the cluster
        std::vector<std::uint8_t> bytes;
    };
    // Slots of goodFirstCluster: 0 ".", 1 "..", 2-3 pieces, 4 BUDGET~1, 5-6 pieces,
    // 7 MEETIN~1, 8 DRAFTS, 9 the end.
    const std::vector<Damage> damages = {
        {"write month 13", 4 * 32 + 0x18, {0xA1, 0x53}},
        {"write day 0", 7 * 32 + 0x18, {0x20, 0x52}},
        {"hour 24", 4 * 32 + 0x17, {0xC0}},
        {"reserved attribute bit", 4 * 32 + 0x0B, {0xA0}},
        {"volume label", 8 * 32 + 0x0B, {0x08}},
        {"first cluster past the volume", 4 * 32 + 0x1A, {0xF0, 0xFF}},
        {"first cluster 1", 7 * 32 + 0x1A, {0x01, 0x00}},
        {"file larger than the volume", 4 * 32 + 0x1C, {0, 0, 0, 0x40}},
        {"folder with a size", 8 * 32 + 0x1C, {0x10}},
        {"high cluster word on FAT16", 4 * 32 + 0x14, {0x01}},
        {"reserved byte 0x0C", 4 * 32 + 0x0C, {0x40}},
        {"lower-case short name", 4 * 32 + 1, {'u'}},
        {"control byte in a short name", 7 * 32 + 3, {0x07}},
        {"blank inside a short name", 4 * 32 + 2, {' '}},
        {"dot naming another cluster", 0x1A, {0x2D, 0x01}},
        {"live piece checksum", 2 * 32 + 0x0D, {0x00}},
        {"live piece numbers", 3 * 32, {0x03}},
        {"piece with a first cluster", 5 * 32 + 0x1A, {0x05}},
        {"piece unit after the end", 2 * 32 + 0x1E, {'x', 0}},
        {"bytes after the end marker", 300, {0x41}},
    };
    for (const Damage& d : damages) {
        ClusterBytes c = goodFirstCluster();
        std::copy(d.bytes.begin(), d.bytes.end(), c.bytes.begin() + static_cast<long>(d.at));
        EXPECT_FALSE(readFolderCluster(c.bytes, kCluster, kLimits)) << d.what;
    }
    ClusterBytes noDotDot;
    noDotDot.shortEntry(".", kAttrFolder, kCluster, 0);
    noDotDot.shortEntry("FILE    TXT", 0x20, 400, 10);
    EXPECT_FALSE(readFolderCluster(noDotDot.bytes, kCluster, kLimits)) << "\".\" without \"..\"";
    ClusterBytes dotsLater;
    dotsLater.shortEntry("FILE    TXT", 0x20, 400, 10);
    dotsLater.dots(kCluster, 0);
    EXPECT_FALSE(readFolderCluster(dotsLater.bytes, kCluster, kLimits)) << "dots not first";
    ClusterBytes piecesOnly;
    piecesOnly.longName("Only Pieces.txt", "ONLYPI~1TXT");
    EXPECT_FALSE(readFolderCluster(piecesOnly.bytes, kCluster, kLimits)) << "no short entry";
}

TEST(FolderClusterCheck, RefusesDataThatIsNoFolder) {
    EXPECT_FALSE(readFolderCluster(std::vector<std::uint8_t>(512, 0), kCluster, kLimits));
    EXPECT_FALSE(readFolderCluster(std::vector<std::uint8_t>(512, 0xFF), kCluster, kLimits));
    std::vector<std::uint8_t> text;
    while (text.size() < 512) {
        const std::string line = std::to_string(text.size()) + " Meeting Minutes January.txt\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    text.resize(512);
    EXPECT_FALSE(readFolderCluster(text, kCluster, kLimits));
    EXPECT_FALSE(readFolderCluster(std::vector<std::uint8_t>(31, 0x41), kCluster, kLimits));
}

}  // namespace
}  // namespace rekkon
