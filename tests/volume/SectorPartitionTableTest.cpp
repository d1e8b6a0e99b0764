#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "support/DiskBuilder.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "volume/Crc32.h"
#include "volume/MemorySectorDevice.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon {
namespace {

using test::GptDisk;
using test::putLe;
using test::putMbrEntry;

constexpr const char* kBasicDataGuidText = "ebd0a0a2-b9e5-4433-87c0-68b6b72699c7";

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

// An MBR disk of 4096 sectors: a FAT16 primary at 64, an extended partition over 1024..4095
// whose chain holds `logicals` EBRs (at 1024, 1040, ...), each with an 8-sector logical
// partition right after it.
std::vector<std::uint8_t> mbrDisk(int logicals) {
    std::vector<std::uint8_t> disk(4096 * kSectorSize);
    putMbrEntry(disk, 0, 0, 0x0e, 64, 512, 0x80);
    putMbrEntry(disk, 0, 1, 0x05, 1024, 3072);
    const std::vector<std::uint8_t> boot = fat16BootSector();
    std::copy(boot.begin(), boot.end(), disk.begin() + 64 * kSectorSize);
    for (int i = 0; i < logicals; ++i) {
        const std::uint64_t ebr = 1024 + 16 * static_cast<std::uint64_t>(i);
        putMbrEntry(disk, ebr, 0, 0x83, 1, 8);
        if (i + 1 < logicals) putMbrEntry(disk, ebr, 1, 0x05, ebr + 16 - 1024, 16);
    }
    return disk;
}

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
    EXPECT_TRUE(table->partitions[1].extended);
    EXPECT_FALSE(fat.extended);
    for (int i = 0; i < 3; ++i) {
        const PartitionInfo& logical = table->partitions[2 + i];
        EXPECT_EQ(logical.number, 5 + i);
        // Each logical partition starts relative to its own EBR.
        EXPECT_EQ(logical.offset, (1024u + 16 * i + 1) * 512);
        EXPECT_EQ(logical.length, 8u * 512);
        EXPECT_EQ(logical.type, "0x83");
        EXPECT_EQ(logical.fileSystem, "");
        EXPECT_FALSE(logical.extended);
    }
}

TEST(MbrTable, ExtendedChainsThatLoopOrRunLongAreCut) {
    // The third EBR links back to the second: three logical partitions, and the reading stops
    // there instead of going round until the link limit.
    std::vector<std::uint8_t> looping = mbrDisk(3);
    putMbrEntry(looping, 1056, 1, 0x0f, 16, 16);
    test::MemoryDevice device(looping);
    auto table = readPartitionTable(device);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->partitions.size(), 5u);
    EXPECT_LT(device.stats()->readCalls, 20);

    // 300 links: only the first kMaxExtendedLinks are followed.
    std::vector<std::uint8_t> longChain(8192 * kSectorSize);
    putMbrEntry(longChain, 0, 0, 0x05, 1, 8000);
    for (int i = 0; i < 300; ++i) {
        const std::uint64_t ebr = 1 + 2 * static_cast<std::uint64_t>(i);
        putMbrEntry(longChain, ebr, 0, 0x83, 1, 1);
        putMbrEntry(longChain, ebr, 1, 0x05, ebr + 2 - 1, 2);
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
    putMbrEntry(disk, 0, 0, 0x0c, 1024, 4096);  // runs past the end: cut to it
    putMbrEntry(disk, 0, 1, 0x07, 4096, 64);    // starts past the end: left out
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
