#include <gtest/gtest.h>

#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsBuilder.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::ImageBuilder;
using test::NonResident;

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 3 + i / 512);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out = out + p;
    return out;
}

struct MftRecordFixture : ::testing::Test {
    // Mounts the image as built so far and opens `record`.
    int open(std::uint64_t record) {
        mounted = std::make_unique<test::MountedImage>(builder.image());
        EXPECT_TRUE(mounted->mounted);
        return openMftFile(file, mounted->ntfs, record);
    }
    Bytes readAll(const std::string& stream = "") {
        const AttributeDescriptor* d = findAttribute(file, 0x80, stream);
        if (d == nullptr) return {};
        Bytes out(d->dataSize, 0xEE);
        TransferRequest request{true, out.data(), out.size()};
        EXPECT_EQ(readAttribute(file, 0x80, stream, 0, request), 0);
        out.resize(request.count);
        return out;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& d : file.attributes)
            out.push_back(std::to_string(d.typeCode) + ":" + d.nameUtf8());
        return out;
    }
    // A file 20 whose attributes lie in records 20, 21 and 22; its $DATA is split over 21 and 22.
    void buildSpreadFile(const Bytes& list, std::uint64_t secondBase = 20) {
        const std::uint64_t size = 4 * 512 - 10;
        builder.setRecord(
            20, test::fileRecord({test::residentAttribute(0x10, u"", Bytes(48, 0)), list}));
        builder.setRecord(
            21, test::fileRecord({test::residentAttribute(0x80, u"b", {'B'}),
                                  test::nonResidentAttribute(0x80, u"", {0, 1, 2048, size, size, 0},
                                                             test::mappingPairs({{200, 2}}))},
                                 1024, 21 - 1));
        builder.setRecord(
            22, test::fileRecord({test::nonResidentAttribute(0x80, u"", {2, 3, 0, 0, 0, 0},
                                                             test::mappingPairs({{300, 2}})),
                                  test::residentAttribute(0x80, u"a", {'A'})},
                                 1024, secondBase));
        builder.put(200, pattern(1024, 1));
        builder.put(300, pattern(1024, 2));
    }

    ImageBuilder builder;
    std::unique_ptr<test::MountedImage> mounted;
    MftFile file;
};

TEST_F(MftRecordFixture, RecordZeroComesFromTheCopyReadAtMount) {
    mounted = std::make_unique<test::MountedImage>(builder.image());
    ASSERT_TRUE(mounted->mounted);
    // $STANDARD_INFORMATION's value starts at 0x38 + 0x18 of record 0.
    mounted->ntfs.mftRecordZero[0x38 + 0x18] = 0x77;
    ASSERT_EQ(openMftFile(file, mounted->ntfs, 0), 0);
    EXPECT_EQ(findAttribute(file, 0x10)->content[0], 0x77);
}

TEST_F(MftRecordFixture, RecordNotInUseOpensAsLeft) {
    Bytes record = test::fileRecord({test::residentAttribute(0x80, u"", {'x', 'y'})});
    record[0x16] = 0;  // in-use flag clear
    builder.setRecord(12, record);
    ASSERT_EQ(open(12), 0);
    EXPECT_EQ(readAll(), (Bytes{'x', 'y'}));
}

TEST_F(MftRecordFixture, UnreadableRecordsFailTheOpen) {
    Bytes badFixup = test::fileRecord({});
    badFixup[1022] ^= 0xFF;
    builder.setRecord(12, badFixup);
    builder.setRecord(13, Bytes(1024, 0));
    for (const std::uint64_t record : {12ull, 13ull, 32ull, 1ull << 47}) {
        EXPECT_EQ(open(record), -1) << record;
        EXPECT_FALSE(file.isOpen());
        EXPECT_TRUE(file.attributes.empty());
    }
}

TEST_F(MftRecordFixture, AttributeWalkStopsAtALengthOutsideTheRecord) {
    Bytes record = test::fileRecord({test::residentAttribute(0x10, u"", {1}),
                                     test::residentAttribute(0x30, u"", {2}),
                                     test::residentAttribute(0x80, u"", {3})});
    const std::size_t second = 0x38 + 0x20;  // after the first attribute record
    test::put32(record, second + 4, 0x1000);
    builder.setRecord(12, record);
    ASSERT_EQ(open(12), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"16:"}));
    Bytes offsetOutside = test::fileRecord({});
    test::put16(offsetOutside, 0x14, 0x3FE);
    builder.setRecord(13, offsetOutside);
    ASSERT_EQ(open(13), 0);
    EXPECT_TRUE(file.attributes.empty());
}

TEST_F(MftRecordFixture, AttributeListGathersExtensionRecords) {
    const Bytes list = concat(
        {test::attributeListEntry(0x10, u"", 0, 20), test::attributeListEntry(0x80, u"", 0, 21),
         test::attributeListEntry(0x80, u"", 2, 22), test::attributeListEntry(0x80, u"a", 0, 22),
         test::attributeListEntry(0x80, u"b", 0, 21)});
    buildSpreadFile(test::residentAttribute(0x20, u"", list));
    ASSERT_EQ(open(20), 0);
    EXPECT_EQ(file.loadedRecords, (std::vector<std::uint64_t>{20, 21, 22}));
    EXPECT_EQ(names(), (std::vector<std::string>{"16:", "32:", "128:a", "128:b", "128:"}));
    const Bytes second = pattern(1024, 2);
    EXPECT_EQ(readAll(), pattern(1024, 1) + Bytes(second.begin(), second.end() - 10));
    EXPECT_EQ(readAll("A"), Bytes{'A'});
}

TEST_F(MftRecordFixture, ExtensionRecordOfAnotherFileIsLeftOut) {
    const Bytes list = concat(
        {test::attributeListEntry(0x80, u"", 0, 21), test::attributeListEntry(0x80, u"", 2, 22)});
    buildSpreadFile(test::residentAttribute(0x20, u"", list), 9);
    ASSERT_EQ(open(20), 0);
    EXPECT_EQ(findAttribute(file, 0x80, "a"), nullptr);
    EXPECT_EQ(findAttribute(file, 0x80)->runs, (std::vector<DataRun>{{200, 2}}));
}

TEST_F(MftRecordFixture, DamagedListEntriesEndTheGathering) {
    Bytes zeroLength = test::attributeListEntry(0x80, u"", 2, 22);
    test::put16(zeroLength, 4, 0);
    Bytes tooLong = test::attributeListEntry(0x80, u"", 2, 22);
    test::put16(tooLong, 4, 0x400);
    for (const Bytes& damaged :
         {zeroLength, tooLong, test::attributeListEntry(0x80, u"", 2, 4000)}) {
        buildSpreadFile(test::residentAttribute(0x20, u"",
                                                test::attributeListEntry(0x80, u"", 0, 21) +
                                                    damaged +
                                                    test::attributeListEntry(0x80, u"a", 0, 22)));
        ASSERT_EQ(open(20), 0);
        EXPECT_EQ(file.loadedRecords, (std::vector<std::uint64_t>{20, 21}));
    }
}

// A non-resident list of 2000 bytes in 40-byte entries: entry 25 straddles the first 1024-byte
// window and names record 22; the last names record 23.
TEST_F(MftRecordFixture, NonResidentListEntryStraddlingTheWindow) {
    Bytes list;
    for (int i = 0; i < 50; ++i) {
        const std::uint64_t record = i == 25 ? 22 : i == 49 ? 23 : i == 0 ? 21 : 20;
        list = list + test::attributeListEntry(0x80, u"abcd", 0, record);
    }
    ASSERT_EQ(list.size(), 2000u);
    builder.put(400, list);
    buildSpreadFile(test::nonResidentAttribute(0x20, u"", {0, 3, 2048, 2000, 2000, 0},
                                               test::mappingPairs({{400, 4}})));
    builder.setRecord(23, test::fileRecord({test::residentAttribute(0x80, u"c", {'C'})}, 1024, 20));
    ASSERT_EQ(open(20), 0);
    EXPECT_EQ(file.loadedRecords, (std::vector<std::uint64_t>{20, 21, 22, 23}));
    EXPECT_EQ(readAll("c"), Bytes{'C'});
}

}  // namespace
}  // namespace rekkon

namespace rekkon {
namespace {

// A record whose non-resident $DATA has `sizes` over `runs`, opened as record 12.
struct SizeClampFixture : MftRecordFixture {
    const AttributeDescriptor& openData(const NonResident& sizes,
                                        const std::vector<test::Run>& runs) {
        builder.setRecord(12, test::fileRecord({test::nonResidentAttribute(
                                  0x80, u"", sizes, test::mappingPairs(runs))}));
        builder.put(200, pattern(2048, 9));
        EXPECT_EQ(open(12), 0);
        return *findAttribute(file, 0x80);
    }
};

TEST_F(SizeClampFixture, DataSizeBeyondTheRunsIsCutToThem) {
    // One damaged byte: the data size claims 61 PB over two clusters.
    const std::uint64_t claimed = 0x00DA'0000'0000'0400ull;
    const AttributeDescriptor& d = openData({0, 1, 1024, claimed, claimed, 0}, {{200, 2}});
    EXPECT_TRUE(d.sizeBeyondRuns);
    EXPECT_EQ(d.claimedDataSize, claimed);
    EXPECT_EQ(d.dataSize, 1024u);
    EXPECT_EQ(d.initializedSize, 1024u);
    EXPECT_EQ(readAll(), pattern(1024, 9));
}

TEST_F(SizeClampFixture, ConsistentAllocationBelowTheRunsBoundsTheData) {
    const AttributeDescriptor& d = openData({0, 3, 1024, 2000, 2000, 0}, {{200, 4}});
    EXPECT_TRUE(d.sizeBeyondRuns);
    EXPECT_EQ(d.dataSize, 1024u);
    // An allocation that is no whole number of clusters is not trusted over the runs.
    const AttributeDescriptor& odd = openData({0, 3, 1000, 2000, 2000, 0}, {{200, 4}});
    EXPECT_FALSE(odd.sizeBeyondRuns);
    EXPECT_EQ(odd.dataSize, 2000u);
    EXPECT_EQ(odd.allocatedSize, 1000u);
    // An allocation beyond the runs is cut to them.
    const AttributeDescriptor& wide = openData({0, 3, 1u << 30, 2000, 2000, 0}, {{200, 4}});
    EXPECT_EQ(wide.allocatedSize, 2048u);
    EXPECT_FALSE(wide.sizeBeyondRuns);
}

TEST_F(SizeClampFixture, InitializedSizeStaysWithinTheDataSize) {
    const AttributeDescriptor& d = openData({0, 1, 1024, 700, 5000, 0}, {{200, 2}});
    EXPECT_FALSE(d.sizeBeyondRuns);
    EXPECT_EQ(d.dataSize, 700u);
    EXPECT_EQ(d.initializedSize, 700u);
}

TEST_F(SizeClampFixture, CompressedDataIsMeasuredAgainstTheWholeUnits) {
    // One compression unit: 4 real clusters and 12 sparse ones.
    const std::uint64_t unit = 16 * 512;
    const AttributeDescriptor& d =
        openData({0, 15, unit, unit - 10, unit - 10, 0x0001}, {{200, 4}, {-1, 12}});
    EXPECT_FALSE(d.sizeBeyondRuns);
    EXPECT_EQ(d.dataSize, unit - 10);
    const AttributeDescriptor& beyond =
        openData({0, 15, unit, unit + 1, unit + 1, 0x0001}, {{200, 4}, {-1, 12}});
    EXPECT_TRUE(beyond.sizeBeyondRuns);
    EXPECT_EQ(beyond.dataSize, unit);
}

TEST_F(SizeClampFixture, ResidentValuesKeepTheirSize) {
    builder.setRecord(12, test::fileRecord({test::residentAttribute(0x80, u"", Bytes(40, 3))}));
    ASSERT_EQ(open(12), 0);
    const AttributeDescriptor& d = *findAttribute(file, 0x80);
    EXPECT_EQ(d.dataSize, 40u);
    EXPECT_EQ(d.claimedDataSize, 40u);
    EXPECT_FALSE(d.sizeBeyondRuns);
}

// One record parsed from memory with only the geometry: the entry point of the record fuzzer.
TEST(MftRecordFromBuffer, BuildsTheTableWithoutASource) {
    NtfsVolume geometry;
    geometry.bytesPerSector = 512;
    geometry.bytesPerCluster = 512;
    geometry.mftRecordSize = 1024;
    const std::uint64_t claimed = 1ull << 40;
    const Bytes record = test::fileRecord(
        {test::residentAttribute(0x80, u"b", {'B'}), test::residentAttribute(0x30, u"", {1}),
         test::residentAttribute(0x80, u"a", {'A'}),
         test::nonResidentAttribute(0x80, u"", {0, 1, 1024, claimed, claimed, 0},
                                    test::mappingPairs({{200, 2}}))});
    MftFile file;
    ASSERT_EQ(openMftRecordFromBuffer(file, geometry, record, 7), 0);
    EXPECT_TRUE(file.isOpen());
    EXPECT_EQ(file.recordNumber, 7u);
    std::vector<std::string> names;
    for (const auto& d : file.attributes)
        names.push_back(std::to_string(d.typeCode) + ":" + d.nameUtf8());
    EXPECT_EQ(names, (std::vector<std::string>{"48:", "128:a", "128:b", "128:"}));
    const AttributeDescriptor* data = findAttribute(file, 0x80);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->sizeBeyondRuns);
    EXPECT_EQ(data->dataSize, 1024u);
    // A resident value reads without a source.
    Bytes value(1);
    TransferRequest request{true, value.data(), 1};
    EXPECT_EQ(readAttribute(file, 0x80, "A", 0, request), 0);
    EXPECT_EQ(value, Bytes{'A'});

    Bytes damaged = record;
    damaged[1022] ^= 1;  // the second block's fixup
    EXPECT_EQ(openMftRecordFromBuffer(file, geometry, damaged, 7), -1);
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.attributes.empty());
    EXPECT_EQ(openMftRecordFromBuffer(file, geometry, std::span(record).first(1000), 7), -1);
}

}  // namespace
}  // namespace rekkon
