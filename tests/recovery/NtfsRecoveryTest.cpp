// The recovery writer on an NTFS volume made by mkntfs and ntfs-3g: records are read through
// their data attributes, named streams are written as "file-stream", and no name is asked for.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "recovery/DataCopy.h"
#include "recovery/FileData.h"
#include "recovery/RecoveryWriter.h"
#include "support/Fixtures.h"
#include "support/Md5.h"
#include "support/MemoryDevice.h"
#include "support/Mounted.h"

namespace rekkon {
namespace {

struct NeverAsked final : FirstCharAsker {
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        ADD_FAILURE() << "NTFS names are whole";
        return std::nullopt;
    }
};

TEST(NtfsRecoveryTest, RecordsAndStreamsAreWrittenWithTheirBytes) {
    ScanContext context;
    int error = 0;
    ASSERT_EQ(mountVolume(context, test::fixtureImage("ntfs/ntfs-512-4k.img"), error),
              MountStatus::Mounted);
    EXPECT_EQ(context.volume.kind, FileSystemKind::Ntfs);
    EXPECT_GT(scanVolume(context), 0);

    std::vector<DeletedFileEntry> entries;
    std::map<std::string, std::string> md5ByOutput;
    for (const auto& row :
         test::readManifest(test::fixtureSource("ntfs/ntfs-512-4k.manifest.tsv"))) {
        const std::string record = row.at("record");
        if (row.at("type") != "file" || (record != "70" && record != "71" && record != "73"))
            continue;
        DeletedFileEntry e;
        e.location = std::stoull(record);
        e.size = std::stoull(row.at("size"));
        e.stream = row.at("stream") == "-" ? "" : row.at("stream");
        e.name = row.at("path") + (e.stream.empty() ? "" : ":" + e.stream);
        entries.push_back(e);
        md5ByOutput[row.at("path") + (row.at("stream") == "-" ? "" : "-" + row.at("stream"))] =
            row.at("md5");
    }
    ASSERT_EQ(entries.size(), 5u);  // fragmented, sparse, and a deleted file with two streams
    std::vector<const DeletedFileEntry*> pointers;
    for (const auto& e : entries)
        pointers.push_back(&e);
    test::TempDir out;
    NeverAsked asker;
    RecoveryOptions options;
    options.destination = out.path();
    options.chunkBytes = 4096;
    for (const auto& o : recoverEntries(context, pointers, options, asker)) {
        ASSERT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
        const std::string name = o.outputPath.substr(out.path().size() + 1);
        EXPECT_EQ(test::md5OfFile(o.outputPath), md5ByOutput.at(name)) << name;
    }
    EXPECT_FALSE(openFileData(context, 1ULL << 40, 1)) << "a record past the MFT cannot be opened";
}

std::vector<std::uint8_t> imageBytes() {
    std::ifstream in(test::fixtureImage("ntfs/ntfs-512-4k.img"), std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::vector<std::uint8_t> readAll(ScanContext& context, std::uint64_t record) {
    auto data = openFileData(context, record, 0);
    std::vector<std::uint8_t> bytes;
    if (!data) return bytes;
    copyFileData(*data, data->size(), 4096, [&](std::span<const std::uint8_t> b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return true;
    });
    return bytes;
}

// Record 70 (frag-b.bin, 24576 bytes in fragments) on the fixture image, with its layout.
struct FragmentedFile : ::testing::Test {
    void SetUp() override {
        image = imageBytes();
        ASSERT_EQ(mountVolume(clean, std::make_unique<test::MemoryDevice>(image)),
                  MountStatus::Mounted);
        original = readAll(clean, 70);
        ASSERT_EQ(test::md5Hex(std::string(original.begin(), original.end())),
                  "f86efc0c0250a667bef46d4d44068dac");
        MftFile file;
        ASSERT_EQ(openMftFile(file, test::ntfsOf(clean), 70), kNtfsOk);
        const AttributeDescriptor* data = findAttribute(file, test::ntfsOf(clean).typeData);
        ASSERT_TRUE(data && !data->isResident && data->runs.size() > 1);
        firstSector = static_cast<std::uint64_t>(data->runs[0].lcn) *
                      test::ntfsOf(clean).bytesPerCluster / 512;
        record = file.recordBuffer;
        closeMftFile(file);
    }
    std::vector<RecoveryOutcome> recover(ScanContext& context, const std::string& dir) {
        entry.location = 70;
        entry.size = original.size();
        entry.name = "frag-b.bin";
        NeverAsked asker;
        RecoveryOptions options;
        options.destination = dir;
        return recoverEntries(context, {&entry}, options, asker);
    }

    std::vector<std::uint8_t> image;
    ScanContext clean;
    std::vector<std::uint8_t> original;
    std::uint64_t firstSector = 0;
    std::vector<std::uint8_t> record;
    DeletedFileEntry entry;
};

TEST_F(FragmentedFile, AnUnreadableSectorCostsOnlyItsOwnBytes) {
    auto device = std::make_unique<test::MemoryDevice>(image);
    device->badSectors = {firstSector + 1};
    ScanContext context;
    ASSERT_EQ(mountVolume(context, std::move(device)), MountStatus::Mounted);
    test::TempDir out;
    const auto outcomes = recover(context, out.path());
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::NotWhole) << describeOutcome(outcomes[0]);
    EXPECT_EQ(outcomes[0].unreadableBytes, 512u);
    EXPECT_EQ(outcomes[0].bytesWritten, original.size());
    std::vector<std::uint8_t> expected = original;
    std::fill_n(expected.begin() + 512, 512, std::uint8_t{0});
    std::ifstream in(outcomes[0].outputPath, std::ios::binary);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), std::istreambuf_iterator<char>(in),
                           [](std::uint8_t a, char b) { return a == std::uint8_t(b); }));
}

TEST_F(FragmentedFile, BytesPastTheInitializedSizeAreWrittenAsZeros) {
    // Lower the initialized size of the unnamed $DATA in record 70 on the image.
    const std::uint64_t mftOffset =
        test::ntfsOf(clean).mftStartCluster * test::ntfsOf(clean).bytesPerCluster;
    const std::uint64_t recordOffset = mftOffset + 70 * test::ntfsOf(clean).mftRecordSize;
    ASSERT_EQ(std::memcmp(image.data() + recordOffset, "FILE", 4), 0);
    std::size_t at = record[0x14] | (record[0x15] << 8);
    std::size_t field = 0;
    while (at + 0x40 <= record.size()) {
        const std::uint32_t type = record[at] | (record[at + 1] << 8) | (record[at + 2] << 16) |
                                   (std::uint32_t{record[at + 3]} << 24);
        const std::uint32_t length = record[at + 4] | (record[at + 5] << 8);
        if (type == 0xFFFFFFFF || length == 0) break;
        if (type == 0x80 && record[at + 8] == 1 && record[at + 9] == 0) field = at + 0x38;
        at += length;
    }
    ASSERT_NE(field, 0u);
    ASSERT_LT(field % 512, 504u) << "the field must not hold a fixup";
    const std::uint64_t initialized = 10'000;
    for (int i = 0; i < 8; ++i)
        image[recordOffset + field + i] = static_cast<std::uint8_t>(initialized >> (8 * i));

    ScanContext context;
    ASSERT_EQ(mountVolume(context, std::make_unique<test::MemoryDevice>(image)),
              MountStatus::Mounted);
    test::TempDir out;
    const auto outcomes = recover(context, out.path());
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, RecoveryResult::Written) << describeOutcome(outcomes[0]);
    EXPECT_EQ(outcomes[0].bytesWritten, original.size());
    std::vector<std::uint8_t> expected = original;
    std::fill(expected.begin() + initialized, expected.end(), std::uint8_t{0});
    std::ifstream in(outcomes[0].outputPath, std::ios::binary);
    const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(in),
                                            std::istreambuf_iterator<char>()};
    EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace rekkon
