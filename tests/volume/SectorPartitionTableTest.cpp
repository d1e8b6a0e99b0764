#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "volume/Crc32.h"
#include "volume/MemorySectorDevice.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon {
namespace {

constexpr const char* kBasicDataGuidText = "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7";
// The same GUID as stored: the first three fields little-endian.
constexpr std::array<std::uint8_t, 16> kBasicDataGuid = {
    0xa2, 0xa0, 0xd0, 0xeb, 0xe5, 0xb9, 0x33, 0x44, 0x87, 0xc0, 0x68, 0xb6, 0xb7, 0x26, 0x99, 0xc7};

void putLe(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// The boot sector of the FAT16 fixture, to put where a partition starts.
std::vector<std::uint8_t> fat16BootSector() {
    std::vector<std::uint8_t> boot(kSectorSize);
    std::ifstream in(test::fixtureImage("fat/fat16.img"), std::ios::binary);
    in.read(reinterpret_cast<char*>(boot.data()), static_cast<std::streamsize>(boot.size()));
    return boot;
}

std::optional<PartitionTable> readFromFile(const std::string& path) {
    int error = 0;
    auto device = FileSectorDevice::open(path, error);
    if (!device) ADD_FAILURE() << path << ": " << error;
    return device ? readPartitionTable(*device) : std::nullopt;
}

// An MBR or EBR entry, `start` and `sectors` in 512-byte sectors.
void putEntry(std::vector<std::uint8_t>& disk, std::uint64_t sector, int index, std::uint8_t type,
              std::uint64_t start, std::uint64_t sectors, std::uint8_t flag = 0) {
    const std::uint64_t at = sector * kSectorSize + 446 + 16 * index;
    disk.at(at) = flag;
    disk.at(at + 4) = type;
    putLe(disk, at + 8, start, 4);
    putLe(disk, at + 12, sectors, 4);
    putLe(disk, sector * kSectorSize + 510, 0xAA55, 2);
}

// An MBR disk of 4096 sectors: a FAT16 primary at 64, an extended partition over 1024..4095
// whose chain holds `logicals` EBRs (at 1024, 1040, ...), each with an 8-sector logical
// partition right after it.
std::vector<std::uint8_t> mbrDisk(int logicals) {
    std::vector<std::uint8_t> disk(4096 * kSectorSize);
    putEntry(disk, 0, 0, 0x0e, 64, 512, 0x80);
    putEntry(disk, 0, 1, 0x05, 1024, 3072);
    const std::vector<std::uint8_t> boot = fat16BootSector();
    std::copy(boot.begin(), boot.end(), disk.begin() + 64 * kSectorSize);
    for (int i = 0; i < logicals; ++i) {
        const std::uint64_t ebr = 1024 + 16 * static_cast<std::uint64_t>(i);
        putEntry(disk, ebr, 0, 0x83, 1, 8);
        if (i + 1 < logicals) putEntry(disk, ebr, 1, 0x05, ebr + 16 - 1024, 16);
    }
    return disk;
}

// A GPT disk of `sectors` logical sectors of `sectorSize` bytes: protective MBR, the header
// at LBA 1 and its copy at the last LBA, 128 entries of 128 bytes at LBA 2 (and before the
// copy); `used` lists (entry index, first LBA, last LBA).
struct GptPart {
    std::uint32_t index;
    std::uint64_t first;
    std::uint64_t last;
};

class GptDisk {
  public:
    GptDisk(std::uint32_t sectorSize, std::uint64_t sectors, std::vector<GptPart> used)
        : size_(sectorSize), sectors_(sectors), bytes_(sectors * sectorSize) {
        putEntry(bytes_, 0, 0, 0xEE, 1, static_cast<std::uint32_t>(sectors - 1));
        std::vector<std::uint8_t> entries(128 * 128);
        for (const GptPart& p : used) {
            std::copy(kBasicDataGuid.begin(), kBasicDataGuid.end(),
                      entries.begin() + p.index * 128);
            putLe(entries, p.index * 128 + 32, p.first, 8);
            putLe(entries, p.index * 128 + 40, p.last, 8);
        }
        const std::uint64_t entrySectors = entries.size() / sectorSize;
        writeCopy(1, 2, entries, sectors - 1);
        writeCopy(sectors - 1, sectors - 1 - entrySectors, entries, 1);
    }

    std::vector<std::uint8_t>& bytes() { return bytes_; }
    // Byte offset of the primary header and of the primary entry array.
    std::uint64_t header() const { return size_; }
    std::uint64_t entries() const { return 2 * size_; }
    std::uint64_t backupHeader() const { return (sectors_ - 1) * size_; }

  private:
    void writeCopy(std::uint64_t headerLba, std::uint64_t entriesLba,
                   const std::vector<std::uint8_t>& entries, std::uint64_t otherLba) {
        std::copy(entries.begin(), entries.end(), bytes_.begin() + entriesLba * size_);
        std::vector<std::uint8_t> h(92);
        const std::string signature = "EFI PART";
        std::copy(signature.begin(), signature.end(), h.begin());
        putLe(h, 8, 0x00010000, 4);
        putLe(h, 12, 92, 4);
        putLe(h, 24, headerLba, 8);
        putLe(h, 32, otherLba, 8);
        putLe(h, 40, 34, 8);
        putLe(h, 48, sectors_ - 34, 8);
        putLe(h, 72, entriesLba, 8);
        putLe(h, 80, 128, 4);
        putLe(h, 84, 128, 4);
        putLe(h, 88, crc32(entries), 4);
        putLe(h, 16, crc32(h), 4);
        std::copy(h.begin(), h.end(), bytes_.begin() + headerLba * size_);
    }

    std::uint32_t size_;
    std::uint64_t sectors_;
    std::vector<std::uint8_t> bytes_;
};

std::optional<PartitionTable> readFrom(std::vector<std::uint8_t> bytes) {
    MemorySectorDevice device(std::move(bytes));
    return readPartitionTable(device);
}

TEST(Crc32, MatchesTheStandardCheckValue) {
    const std::string text = "123456789";
    EXPECT_EQ(crc32(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
              0xCBF43926u);
}

TEST(MbrTable, PrimaryExtendedAndLogicalPartitionsAreNumberedAsLinuxDoes) {
    const auto table = readFrom(mbrDisk(3));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->scheme, "dos");
    EXPECT_EQ(table->sectorSize, 512u);
    ASSERT_EQ(table->partitions.size(), 5u);
    const PartitionInfo& fat = table->partitions[0];
    EXPECT_EQ(fat.number, 1);
    EXPECT_EQ(fat.offset, 64u * 512);
    EXPECT_EQ(fat.length, 512u * 512);
    EXPECT_EQ(fat.type, "0x0e");
    EXPECT_EQ(fat.fileSystem, "FAT16");
    EXPECT_EQ(table->partitions[1].number, 2);
    EXPECT_EQ(table->partitions[1].type, "0x05");
    for (int i = 0; i < 3; ++i) {
        const PartitionInfo& logical = table->partitions[2 + i];
        EXPECT_EQ(logical.number, 5 + i);
        // Each logical partition starts relative to its own EBR.
        EXPECT_EQ(logical.offset, (1024u + 16 * i + 1) * 512);
        EXPECT_EQ(logical.length, 8u * 512);
        EXPECT_EQ(logical.type, "0x83");
        EXPECT_EQ(logical.fileSystem, "");
    }
}

TEST(MbrTable, ExtendedChainsThatLoopOrRunLongAreCut) {
    // The third EBR links back to the second: three logical partitions, and the reading stops
    // there instead of going round until the link limit.
    std::vector<std::uint8_t> looping = mbrDisk(3);
    putEntry(looping, 1056, 1, 0x0f, 16, 16);
    test::MemoryDevice device(looping);
    auto table = readPartitionTable(device);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->partitions.size(), 5u);
    EXPECT_LT(device.stats()->readCalls, 20);

    // 300 links: only the first kMaxExtendedLinks are followed.
    std::vector<std::uint8_t> longChain(8192 * kSectorSize);
    putEntry(longChain, 0, 0, 0x05, 1, 8000);
    for (int i = 0; i < 300; ++i) {
        const std::uint64_t ebr = 1 + 2 * static_cast<std::uint64_t>(i);
        putEntry(longChain, ebr, 0, 0x83, 1, 1);
        putEntry(longChain, ebr, 1, 0x05, ebr + 2 - 1, 2);
    }
    table = readFrom(longChain);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->partitions.size(), 1u + kMaxExtendedLinks);
    EXPECT_EQ(table->partitions.back().number, 4 + kMaxExtendedLinks);
}

TEST(MbrTable, BareVolumesAndOddBootFlagsAreNoTable) {
    EXPECT_FALSE(readFromFile(test::fixtureImage("fat/fat16.img")));
    EXPECT_FALSE(readFromFile(test::fixtureImage("fat/fat12.img")));
    EXPECT_FALSE(readFromFile(test::fixtureImage("fat/fat32.img")));
    std::vector<std::uint8_t> ntfs = mbrDisk(0);
    const std::string oem = "NTFS    ";
    std::copy(oem.begin(), oem.end(), ntfs.begin() + 3);
    EXPECT_FALSE(readFrom(ntfs));
    std::vector<std::uint8_t> flagged = mbrDisk(0);
    flagged[446 + 16] = 0x01;
    EXPECT_FALSE(readFrom(flagged));
    std::vector<std::uint8_t> unsigned_ = mbrDisk(0);
    unsigned_[510] = 0;
    EXPECT_FALSE(readFrom(unsigned_));
}

TEST(MbrTable, PartitionsPastTheEndAreCutOrLeftOut) {
    std::vector<std::uint8_t> disk(2048 * kSectorSize);
    putEntry(disk, 0, 0, 0x0c, 1024, 4096);  // runs past the end: cut to it
    putEntry(disk, 0, 1, 0x07, 4096, 64);    // starts past the end: left out
    const auto table = readFrom(disk);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->partitions.size(), 1u);
    EXPECT_EQ(table->partitions[0].offset, 1024u * 512);
    EXPECT_EQ(table->partitions[0].length, 1024u * 512);
}

TEST(GptTable, EntriesAreNumberedByIndexAtBothSectorSizes) {
    for (const std::uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        const std::uint64_t sectors = sectorSize == 512 ? 2048 : 512;
        GptDisk gpt(sectorSize, sectors, {{0, 40, 99}, {2, 100, sectors - 40}});
        const std::vector<std::uint8_t> boot = fat16BootSector();
        std::copy(boot.begin(), boot.end(), gpt.bytes().begin() + 100 * sectorSize);
        const auto table = readFrom(gpt.bytes());
        ASSERT_TRUE(table);
        EXPECT_EQ(table->scheme, "gpt");
        EXPECT_EQ(table->sectorSize, sectorSize);
        ASSERT_EQ(table->partitions.size(), 2u);
        EXPECT_EQ(table->partitions[0].number, 1);
        EXPECT_EQ(table->partitions[0].offset, 40u * sectorSize);
        EXPECT_EQ(table->partitions[0].length, 60u * sectorSize);
        EXPECT_EQ(table->partitions[0].type, kBasicDataGuidText);
        EXPECT_EQ(table->partitions[1].number, 3);
        EXPECT_EQ(table->partitions[1].fileSystem, "FAT16");
    }
}

TEST(GptTable, DeviceSectorSizeIsTheOnlyOneTried) {
    // A 4096-byte-sector GPT on a source that says its sectors are 512 bytes holds no table.
    GptDisk gpt(4096, 512, {{0, 40, 99}});
    test::MemoryDevice device(gpt.bytes());
    EXPECT_TRUE(readPartitionTable(device));
    struct Sized final : SectorDevice {
        MemorySectorDevice inner;
        explicit Sized(std::vector<std::uint8_t> b) : inner(std::move(b)) {}
        void seekSector(std::uint64_t s) override { inner.seekSector(s); }
        std::size_t readSectors(std::span<std::uint8_t> b) override { return inner.readSectors(b); }
        std::optional<std::uint64_t> sizeBytes() const override { return inner.sizeBytes(); }
        std::optional<std::uint32_t> logicalSectorSize() const override { return 512; }
    } sized(gpt.bytes());
    EXPECT_FALSE(readPartitionTable(sized));
}

TEST(GptTable, BadChecksumsFallBackToTheCopyOrGiveNoTable) {
    GptDisk gpt(512, 2048, {{0, 40, 99}});
    std::vector<std::uint8_t> badHeader = gpt.bytes();
    badHeader[gpt.header() + 40] ^= 1;  // first usable LBA changed: header CRC fails
    auto table = readFrom(badHeader);
    ASSERT_TRUE(table);  // read from the copy at the last LBA
    EXPECT_EQ(table->partitions.size(), 1u);

    std::vector<std::uint8_t> badEntries = gpt.bytes();
    badEntries[gpt.entries() + 32] ^= 1;  // first LBA of entry 0: entries CRC fails
    EXPECT_TRUE(readFrom(badEntries));    // the copy's entries are whole

    badEntries[gpt.backupHeader() + 40] ^= 1;  // and the copy's header is damaged too
    EXPECT_FALSE(readFrom(badEntries));
    badHeader[gpt.backupHeader() + 16] ^= 1;
    EXPECT_FALSE(readFrom(badHeader));
}

TEST(GptTable, PartitionBeyondTwoTebibytesKeepsItsOffset) {
    // A 5 TiB disk whose partition starts at LBA 2^33 (4 TiB): offsets need 64 bits.
    const std::uint64_t sectors = 5ull << 31;
    const std::uint64_t first = 1ull << 33;
    GptDisk small(512, 2048, {{0, first, first + 999}});
    test::SparseDevice device(sectors * kSectorSize);
    // The small disk's tables, with the header's usable area and the copy moved to the end.
    std::vector<std::uint8_t> head(small.bytes().begin(), small.bytes().begin() + 34 * 512);
    putLe(head, 512 + 32, sectors - 1, 8);
    putLe(head, 512 + 48, sectors - 34, 8);
    putLe(head, 512 + 16, 0, 4);
    std::vector<std::uint8_t> header(head.begin() + 512, head.begin() + 512 + 92);
    putLe(head, 512 + 16, crc32(header), 4);
    device.put(0, head);
    device.put(first, fat16BootSector());
    const auto table = readPartitionTable(device);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->partitions.size(), 1u);
    EXPECT_EQ(table->partitions[0].offset, first * 512);
    EXPECT_EQ(table->partitions[0].length, 1000u * 512);
    EXPECT_EQ(table->partitions[0].fileSystem, "FAT16");
}

TEST(GptTable, EqualsWhatSfdiskReadsOnADiskMadeBySgdisk) {
    if (!test::commandAvailable("sgdisk") || !test::commandAvailable("sfdisk"))
        GTEST_SKIP() << "sgdisk and sfdisk are needed";
    test::TempDir dir;
    const std::string disk = dir.path() + "/gpt.img";
    int status = 0;
    test::runCommand("truncate -s 24M " + disk + " && sgdisk -n 1:2048:+16M -t 1:0700 -n 3:0:0 " +
                         "-t 3:8300 " + disk +
                         " >/dev/null && dd if=" + test::fixtureImage("fat/fat16.img") +
                         " of=" + disk + " bs=512 seek=2048 conv=notrunc status=none",
                     status);
    ASSERT_EQ(status, 0);
    const auto oracle = nlohmann::json::parse(test::runCommand("sfdisk --json " + disk, status));
    ASSERT_EQ(status, 0);
    const auto& expected = oracle["partitiontable"]["partitions"];
    const auto table = readFromFile(disk);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->scheme, "gpt");
    ASSERT_EQ(table->partitions.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const PartitionInfo& p = table->partitions[i];
        const std::string node = expected[i]["node"];
        EXPECT_EQ(std::to_string(p.number), node.substr(node.find_last_not_of("0123456789") + 1));
        EXPECT_EQ(p.offset, expected[i]["start"].get<std::uint64_t>() * 512);
        EXPECT_EQ(p.length, expected[i]["size"].get<std::uint64_t>() * 512);
        std::string type = expected[i]["type"];
        std::transform(type.begin(), type.end(), type.begin(), ::tolower);
        EXPECT_EQ(p.type, type);
    }
    EXPECT_EQ(table->partitions[0].fileSystem, "FAT16");
}

}  // namespace
}  // namespace rekkon
