// Evidence file sets (tests/data/ewf, made by tools/make-ewf-fixtures.sh) read as sources.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "recovery/ScanContext.h"
#include "support/DiskBuilder.h"
#include "support/Fixtures.h"
#include "volume/EwfSectorDevice.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon {
namespace {

namespace fs = std::filesystem;

std::string ewf(const std::string& name) {
    return test::fixtureImage("ewf/" + name);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<SectorDevice> openSource(const std::string& path, int& error) {
    error = 0;
    return openFileSource(path, error);
}

// Reads the whole source in `step`-byte reads.
std::vector<std::uint8_t> readAll(SectorDevice& device, std::size_t step) {
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> buffer(step);
    device.seekSector(0);
    while (true) {
        const std::size_t n = device.readSectors(buffer);
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < buffer.size()) return all;
    }
}

TEST(EwfSource, VolumeAndSplitSetsReadAsTheImagesTheyHold) {
    for (const auto& [set, image] :
         {std::pair{"fat16.E01", "fat/fat16.img"}, std::pair{"fat12-split.E01", "fat/fat12.img"},
          std::pair{"fat12-split.E02", "fat/fat12.img"}}) {
        SCOPED_TRACE(set);
        int error = 0;
        auto device = openSource(ewf(set), error);
        ASSERT_TRUE(device) << error;
        const std::vector<std::uint8_t> expected = readFile(test::fixtureImage(image));
        EXPECT_EQ(device->sizeBytes(), expected.size());
        EXPECT_EQ(device->logicalSectorSize(), 512u);
        EXPECT_FALSE(device->descriptor());
        // Reads of 67 sectors cross the 32 KiB chunks (and the first segment's end) unaligned.
        EXPECT_TRUE(readAll(*device, 67 * kSectorSize) == expected);
        std::vector<std::uint8_t> past(kSectorSize);
        device->seekSector(expected.size() / kSectorSize);
        EXPECT_EQ(device->readSectors(past), 0u);
    }
}

TEST(EwfSource, RecognisedBySignatureNotName) {
    test::TempDir dir;
    const std::string renamed = dir.path() + "/evidence.bin";
    fs::copy_file(ewf("fat16.E01"), renamed);
    int error = 0;
    auto device = openSource(renamed, error);
    ASSERT_TRUE(device) << error;
    EXPECT_EQ(device->sizeBytes(), 16u << 20);
    EXPECT_FALSE(device->descriptor());
    // And a plain image named like a segment stays a plain image.
    const std::string named = dir.path() + "/plain.E01";
    fs::copy_file(test::fixtureImage("fat/fat12.img"), named);
    auto plain = openSource(named, error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->descriptor());
}

TEST(EwfSource, WholeDiskSetGivesItsPartitionTable) {
    int error = 0;
    auto device = openSource(ewf("dos-disk.E01"), error);
    ASSERT_TRUE(device) << error;
    const auto table = readPartitionTable(*device);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->scheme, "dos");
    const auto oracle = nlohmann::json::parse(
        readFile(test::fixtureSource("ewf/dos-disk.sfdisk.json")))["partitiontable"]["partitions"];
    ASSERT_EQ(table->partitions.size(), oracle.size());
    for (std::size_t i = 0; i < oracle.size(); ++i) {
        const PartitionInfo& p = table->partitions[i];
        const std::string node = oracle[i]["node"];
        EXPECT_EQ(std::to_string(p.number), node.substr(node.find_last_not_of("0123456789") + 1));
        EXPECT_EQ(p.offset, oracle[i]["start"].get<std::uint64_t>() * 512);
        EXPECT_EQ(p.length, oracle[i]["size"].get<std::uint64_t>() * 512);
        EXPECT_EQ(std::stoi(p.type, nullptr, 16),
                  std::stoi(oracle[i]["type"].get<std::string>(), nullptr, 16));
    }
    EXPECT_EQ(table->partitions[0].fileSystem, "FAT16");
    EXPECT_EQ(table->partitions[2].number, 5);
    EXPECT_EQ(table->partitions[2].fileSystem, "FAT12");
}

TEST(EwfSource, MediaSectorSizeIsTheSourcesAndFindsA4096ByteGpt) {
    if (!test::commandAvailable("ewfacquire")) GTEST_SKIP() << "ewfacquire is needed";
    test::TempDir dir;
    test::GptDisk gpt(4096, 256, {{1, 40, 99}});
    writeFile(dir.path() + "/disk.img", gpt.bytes());
    int status = 0;
    test::runCommand("ewfacquire -u -q -P 4096 -c deflate:fast -t " + dir.path() + "/disk " +
                         dir.path() + "/disk.img >/dev/null",
                     status);
    ASSERT_EQ(status, 0);
    int error = 0;
    auto device = openSource(dir.path() + "/disk.E01", error);
    ASSERT_TRUE(device) << error;
    EXPECT_EQ(device->logicalSectorSize(), 4096u);
    const auto table = readPartitionTable(*device);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->sectorSize, 4096u);
    ASSERT_EQ(table->partitions.size(), 1u);
    EXPECT_EQ(table->partitions[0].number, 2);
    EXPECT_EQ(table->partitions[0].offset, 40u * 4096);
}

// A copy of the split set in a folder of its own, to damage.
struct DamagedSet : ::testing::Test {
    test::TempDir dir;
    std::string first = dir.path() + "/fat12-split.E01";
    void SetUp() override {
        fs::copy_file(ewf("fat12-split.E01"), first);
        fs::copy_file(ewf("fat12-split.E02"), dir.path() + "/fat12-split.E02");
    }
    void expectRefused(int expectedError, const std::string& words) {
        int error = 0;
        EXPECT_FALSE(openSource(first, error));
        EXPECT_EQ(error, expectedError);
        const auto problem = evidenceOpenProblem(first);
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find(words), std::string::npos) << *problem;
    }
};

TEST_F(DamagedSet, MissingSegmentIsNamed) {
    fs::remove(dir.path() + "/fat12-split.E02");
    expectRefused(ENOENT, "segment \"fat12-split.E02\" is missing");
}

TEST_F(DamagedSet, CutShortOrBrokenSegmentsAreRefused) {
    std::vector<std::uint8_t> bytes = readFile(first);
    writeFile(first, std::span(bytes).first(50000));
    expectRefused(EINVAL, "damaged or cut short");
    writeFile(first, std::span(bytes).first(8));
    expectRefused(EINVAL, "damaged");
    // A healthy set and any other file have no problem to tell.
    writeFile(first, bytes);
    EXPECT_FALSE(evidenceOpenProblem(first));
    EXPECT_FALSE(evidenceOpenProblem(test::fixtureImage("fat/fat12.img")));
    EXPECT_FALSE(evidenceOpenProblem(dir.path() + "/none.E01"));
}

TEST_F(DamagedSet, ChunkFailingItsChecksumFailsEveryReadOfIt) {
    // The set is stored uncompressed: find the data of chunks 2 and 3 (file data, found once
    // each) in the first segment and change a byte of each.
    constexpr std::size_t kChunk = 32768;
    const std::vector<std::uint8_t> media = readFile(test::fixtureImage("fat/fat12.img"));
    std::vector<std::uint8_t> bytes = readFile(first);
    for (const std::size_t chunk : {2, 3}) {
        const auto data = media.begin() + static_cast<std::ptrdiff_t>(chunk * kChunk);
        const auto at = std::search(bytes.begin(), bytes.end(), data, data + 512);
        ASSERT_NE(at, bytes.end());
        ASSERT_EQ(std::search(at + 1, bytes.end(), data, data + 512), bytes.end());
        at[700] ^= 0xFF;  // in the chunk's second sector
    }
    writeFile(first, bytes);

    int error = 0;
    auto device = openSource(first, error);
    ASSERT_TRUE(device) << error;
    std::vector<std::uint8_t> buffer(3 * kChunk);
    const auto sameAsMedia = [&](std::size_t chunk) {
        return std::equal(buffer.begin(), buffer.begin() + kChunk, media.begin() + chunk * kChunk);
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        // From chunk 1 on: the read delivers chunk 1 and stops where chunk 2 starts, each time.
        device->seekSector(kChunk / kSectorSize);
        EXPECT_EQ(device->readSectors(buffer), kChunk);
        EXPECT_TRUE(sameAsMedia(1));
        device->seekSector(2 * kChunk / kSectorSize + 5);
        EXPECT_EQ(device->readSectors(std::span(buffer).first(kSectorSize)), 0u);
        // The library merges the two bad chunks into one range as it meets the second.
        device->seekSector(3 * kChunk / kSectorSize);
        EXPECT_EQ(device->readSectors(std::span(buffer).first(kSectorSize)), 0u);
    }
    device->seekSector(4 * kChunk / kSectorSize);
    EXPECT_EQ(device->readSectors(std::span(buffer).first(kChunk)), kChunk);
    EXPECT_TRUE(sameAsMedia(4));
}

}  // namespace
}  // namespace rekkon
