// The mount needs only the boot sector and the $MFT's own record: damaged copies of the other
// system records fall back to defaults, and a damaged boot sector or record 0 to their copies.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsEstimate.h"
#include "ntfs/NtfsMount.h"
#include "support/Fixtures.h"
#include "support/Md5.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::ImageBuilder;

// Record 12 of the builder image: 700 bytes of data in clusters 200 and 201.
Bytes withDataFile(ImageBuilder& builder) {
    Bytes data(700);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 5 + 1);
    builder.put(200, data);
    builder.setRecord(
        12, test::fileRecord({test::nonResidentAttribute(0x80, u"", {0, 1, 1024, 700, 700, 0},
                                                         test::mappingPairs({{200, 2}}))}));
    return data;
}

Bytes readStream(NtfsVolume& ntfs, std::uint64_t record, const std::string& stream = "") {
    MftFile file;
    if (openMftFile(file, ntfs, record) != kNtfsOk) return {};
    const AttributeDescriptor* d = findAttribute(file, ntfs.typeData, stream);
    if (d == nullptr) return {};
    Bytes out(static_cast<std::size_t>(d->dataSize), 0xEE);
    TransferRequest request{true, out.data(), out.size()};
    readAttributeData(file, *d, 0, request);
    return out;
}

struct Fallback {
    const char* what;
    std::function<void(ImageBuilder&)> damage;
    std::function<void(const NtfsVolume&)> check;
};

TEST(NtfsFallback, DamagedSystemRecordsGiveDefaults) {
    const Bytes badFixup = [] {
        Bytes r = test::fileRecord({});
        r[510] ^= 0xFF;
        return r;
    }();
    const std::vector<Fallback> cases = {
        {"$MFTMirr", [&](ImageBuilder& b) { b.setRecord(1, badFixup); },
         [](const NtfsVolume& v) {
             EXPECT_TRUE(v.mftMirrorUnavailable);
             EXPECT_EQ(v.mftMirrFile, nullptr);
         }},
        {"$AttrDef", [&](ImageBuilder& b) { b.setRecord(4, badFixup); },
         [](const NtfsVolume& v) { EXPECT_TRUE(v.usedDefaultTypeCodes); }},
        {"$AttrDef without data", [](ImageBuilder& b) { b.setRecord(4, test::fileRecord({})); },
         [](const NtfsVolume& v) { EXPECT_TRUE(v.usedDefaultTypeCodes); }},
        {"$AttrDef giving $DATA another code",
         [](ImageBuilder& b) {
             b.setAttributeDefinitions({{u"$SECURITY_DESCRIPTOR", 0x55}, {u"$data", 0x90}});
         },
         [](const NtfsVolume& v) {
             EXPECT_TRUE(v.usedDefaultTypeCodes);
             EXPECT_EQ(v.typeData, 0x80u);
             EXPECT_EQ(v.typeSecurityDescriptor, 0x50u);  // the entry before it undone
         }},
        {"$Bitmap", [&](ImageBuilder& b) { b.setRecord(6, Bytes(1024, 0)); },
         [](const NtfsVolume& v) {
             EXPECT_TRUE(v.bitmapUnavailable);
             EXPECT_EQ(v.volumeBitmapFile, nullptr);
         }},
        {"$Bitmap without data", [](ImageBuilder& b) { b.setRecord(6, test::fileRecord({})); },
         [](const NtfsVolume& v) { EXPECT_EQ(v.volumeBitmapFile, nullptr); }},
        {"$UpCase", [&](ImageBuilder& b) { b.setRecord(10, badFixup); },
         [](const NtfsVolume& v) {
             EXPECT_TRUE(v.usedDefaultUpcase);
             EXPECT_EQ(v.upcaseTableLength, 512u);
             EXPECT_EQ(upcaseChar(v, u'q'), u'Q');
             EXPECT_EQ(upcaseChar(v, 0xE9), 0xC9);  // é to É
             EXPECT_EQ(upcaseChar(v, 0xFE), 0xDE);  // þ to Þ
             EXPECT_EQ(upcaseChar(v, 0xF7), 0xF7);  // ÷ stays
             EXPECT_EQ(upcaseChar(v, 0xFF), 0xFF);  // ÿ: its capital lies beyond the table
             EXPECT_EQ(upcaseChar(v, 0xC9), 0xC9);
         }},
    };
    for (const Fallback& c : cases) {
        ImageBuilder builder;
        const Bytes data = withDataFile(builder);
        c.damage(builder);
        test::MountedImage m(builder.image());
        ASSERT_TRUE(m.mounted) << c.what;
        c.check(m.ntfs);
        EXPECT_EQ(readStream(m.ntfs, 12), data) << c.what;
    }
}

TEST(NtfsFallback, IntactVolumeUsesNoDefault) {
    ImageBuilder builder;
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    const NtfsVolume& v = m.ntfs;
    EXPECT_FALSE(v.usedBackupBootSector || v.usedMftMirror || v.mftMirrorUnavailable ||
                 v.usedDefaultTypeCodes || v.usedDefaultUpcase || v.bitmapUnavailable);
    EXPECT_NE(v.volumeBitmapFile, nullptr);
}

TEST(NtfsFallback, WithoutBitmapEveryClusterCountsAsInUse) {
    ImageBuilder builder;
    withDataFile(builder);
    builder.setRecord(6, Bytes(1024, 0));
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    ClusterBitmap bitmap(m.ntfs);
    EXPECT_EQ(bitmap.clusters(), 0u);
    MftFile file;
    ASSERT_EQ(openMftFile(file, m.ntfs, 12), 0);
    EXPECT_EQ(estimateAttribute(*findAttribute(file, 0x80), bitmap), kEstimatePoor);
}

TEST(NtfsFallback, DamagedBootSectorIsReadFromItsCopy) {
    ImageBuilder builder;
    const Bytes data = withDataFile(builder);
    std::copy_n(builder.image().begin(), 512, builder.image().end() - 512);
    std::fill_n(builder.image().begin(), 512, 0);
    test::MountedImage m(builder.image());
    ASSERT_TRUE(m.mounted);
    EXPECT_TRUE(m.ntfs.usedBackupBootSector);
    EXPECT_EQ(m.context.bytesPerCluster, 512u);
    EXPECT_EQ(readStream(m.ntfs, 12), data);
}

// A boot sector that still names NTFS but leads to no MFT: the copy is tried too.
TEST(NtfsFallback, BootSectorLeadingNowhereIsReadFromItsCopy) {
    ImageBuilder builder;
    const Bytes data = withDataFile(builder);
    Bytes& image = builder.image();
    std::copy_n(image.begin(), 512, image.end() - 512);
    test::put64(image, 0x30, 700);  // the MFT's cluster
    test::put64(image, 0x38, 701);  // and its mirror's
    test::MountedImage m(image);
    ASSERT_TRUE(m.mounted);
    EXPECT_TRUE(m.ntfs.usedBackupBootSector);
    EXPECT_FALSE(m.ntfs.usedMftMirror);
    EXPECT_EQ(readStream(m.ntfs, 12), data);
}

TEST(NtfsFallback, DamagedRecordZeroIsReadFromTheMirror) {
    ImageBuilder builder;
    const Bytes data = withDataFile(builder);
    Bytes& image = builder.image();
    test::put64(image, 0x38, 900);  // $MFTMirr at cluster 900
    std::copy_n(image.begin() + 16 * 512, 1024, image.begin() + 900 * 512);
    image[16 * 512 + 510] ^= 1;  // record 0's first fixup
    test::MountedImage m(image);
    ASSERT_TRUE(m.mounted);
    EXPECT_TRUE(m.ntfs.usedMftMirror);
    EXPECT_EQ(readStream(m.ntfs, 12), data);
}

// The fixtures made by mkntfs: every stream of the manifest reads back after the damage.
Bytes loadImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void expectEveryStream(NtfsVolume& ntfs, const std::string& name) {
    int checked = 0;
    for (const auto& row :
         test::readManifest(test::fixtureSource("ntfs/" + name + ".manifest.tsv"))) {
        if (row.at("type") != "file") continue;
        const std::string stream = row.at("stream") == "-" ? "" : row.at("stream");
        const Bytes bytes = readStream(ntfs, std::stoull(row.at("record")), stream);
        EXPECT_EQ(test::md5Hex(bytes), row.at("md5")) << row.at("path") << ":" << stream;
        ++checked;
    }
    EXPECT_GT(checked, 10);
}

TEST(NtfsFallback, FixtureWithDamagedBootSectorAndSystemRecords) {
    Bytes image = loadImage(test::fixtureImage("ntfs/ntfs-512-4k.img"));
    ASSERT_GT(image.size(), 65536u);
    // $MFT at cluster 4 (4096-byte clusters), 1024-byte records; the first fixup of a record
    // sits at byte 510.
    const std::size_t mft = 4 * 4096;
    for (const std::size_t record : {0, 1, 4, 6, 10})
        image[mft + record * 1024 + 510] ^= 0x5A;
    std::fill_n(image.begin(), 512, 0);
    test::MountedImage m(std::move(image));
    ASSERT_TRUE(m.mounted);
    EXPECT_TRUE(m.ntfs.usedBackupBootSector);
    EXPECT_TRUE(m.ntfs.usedMftMirror);
    EXPECT_TRUE(m.ntfs.mftMirrorUnavailable);
    EXPECT_TRUE(m.ntfs.usedDefaultTypeCodes);
    EXPECT_TRUE(m.ntfs.usedDefaultUpcase);
    EXPECT_TRUE(m.ntfs.bitmapUnavailable);
    expectEveryStream(m.ntfs, "ntfs-512-4k");
}

}  // namespace
}  // namespace rekkon
