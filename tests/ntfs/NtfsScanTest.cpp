// The NTFS deleted-file scan on volumes built byte by byte: which free records are files, the
// names, times and streams they are shown with, the folders they were deleted from, and damaged
// records that must end in a partial result rather than a hang or a wrong file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "ntfs/FolderPaths.h"
#include "ntfs/NtfsBuilder.h"
#include "ntfs/NtfsScan.h"
#include "recovery/ScanContext.h"
#include "support/Fixtures.h"
#include "support/RecoverAll.h"
#include "volume/MemorySectorDevice.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::ImageBuilder;
using test::put64;

constexpr std::uint64_t kRoot = 5;

std::uint64_t reference(std::uint64_t record, std::uint16_t sequence) {
    return record | std::uint64_t{sequence} << 48;
}

struct Name {
    std::u16string text;
    std::uint64_t parent = reference(kRoot, 5);
    std::uint32_t flags = 0x20;
    std::uint8_t nameSpace = 1;
    std::uint64_t createTime = 0x01D0000000000001;
    std::uint64_t accessTime = 0x01D0000000000004;
};

Bytes fileNameValue(const Name& n) {
    Bytes v(0x42 + 2 * n.text.size(), 0);
    put64(v, 0x00, n.parent);
    put64(v, 0x08, n.createTime);
    put64(v, 0x10, 0x01D0000000000002);
    put64(v, 0x18, 0x01D0000000000003);
    put64(v, 0x20, n.accessTime);
    test::put32(v, 0x38, n.flags);
    v[0x40] = static_cast<std::uint8_t>(n.text.size());
    v[0x41] = n.nameSpace;
    for (std::size_t i = 0; i < n.text.size(); ++i)
        test::put16(v, 0x42 + 2 * i, n.text[i]);
    return v;
}

Bytes fileName(const Name& n) {
    return test::residentAttribute(0x30, u"", fileNameValue(n));
}

Bytes standardInformation(std::uint64_t create, std::uint64_t change, std::uint64_t access) {
    Bytes v(48, 0);
    put64(v, 0x00, create);
    put64(v, 0x10, change);
    put64(v, 0x18, access);
    return test::residentAttribute(0x10, u"", v);
}

Bytes residentData(std::size_t size, const std::u16string& stream = u"") {
    return test::residentAttribute(0x80, stream, Bytes(size, 'x'));
}

Bytes folderIndex() {
    return test::residentAttribute(0x90, u"$I30", Bytes(32, 0));
}

// A record as NTFS leaves it: `flags` (1 in use, 2 folder) and `sequence` in its header.
Bytes record(const std::vector<Bytes>& attributes, std::uint16_t flags, std::uint16_t sequence,
             std::uint64_t baseRecord = 0) {
    Bytes r = test::fileRecord(attributes, ImageBuilder::kRecord, baseRecord);
    test::put16(r, 0x10, sequence);
    test::put16(r, 0x16, flags);
    return r;
}

Bytes deletedFile(const Name& name, std::vector<Bytes> more = {}) {
    std::vector<Bytes> attributes = {fileName(name), residentData(10)};
    attributes.insert(attributes.end(), more.begin(), more.end());
    return record(attributes, 0, 2);
}

// Replaces record 0 with one whose $MFT has a $BITMAP: bit n set for each record in `inUse`.
void setMftBitmap(ImageBuilder& builder, const std::vector<std::uint64_t>& inUse) {
    const std::uint64_t mftBytes = ImageBuilder::kMftRecords * ImageBuilder::kRecord;
    Bytes bits(8, 0);
    for (std::uint64_t n : inUse)
        bits[n / 8] |= static_cast<std::uint8_t>(1u << (n % 8));
    builder.setRecord(
        0, test::fileRecord(
               {test::residentAttribute(0x10, u"", Bytes(48, 0)),
                test::nonResidentAttribute(
                    0x80, u"",
                    {0, mftBytes / ImageBuilder::kCluster - 1, mftBytes, mftBytes, mftBytes, 0},
                    test::mappingPairs({{static_cast<std::int64_t>(ImageBuilder::kMftCluster),
                                         mftBytes / ImageBuilder::kCluster}})),
                test::residentAttribute(0xB0, u"", bits)}));
}

struct Scan {
    std::vector<NtfsFoundFile> files;
    NtfsScanStats stats;
    bool started = false;
    std::map<std::string, NtfsFoundFile> byName() const {
        std::map<std::string, NtfsFoundFile> out;
        for (const auto& f : files)
            out[f.name] = f;
        return out;
    }
};

Scan scan(const ImageBuilder& builder) {
    test::MountedImage m(Bytes(const_cast<ImageBuilder&>(builder).image()));
    Scan s;
    EXPECT_TRUE(m.mounted);
    if (!m.mounted) return s;
    s.started = scanNtfs(
        m.ntfs, [&](const NtfsFoundFile& f) { s.files.push_back(f); }, &s.stats);
    return s;
}

TEST(NtfsScan, ListsFreeRecordsThatAreFilesOnly) {
    ImageBuilder b;
    b.setRecord(16, deletedFile({u"kept.txt"}));
    b.setRecord(17, record({fileName({u"live.txt"}), residentData(5)}, 1, 1));
    b.setRecord(
        18,
        record({fileName({u"old-folder", reference(kRoot, 5), 0x10000000}), folderIndex()}, 2, 3));
    b.setRecord(19, record({fileName({u"no-data.txt"})}, 0, 2));
    b.setRecord(20, record({residentData(5)}, 0, 2));  // no name
    // A folder that has no index root left still says what it is in its $FILE_NAME.
    b.setRecord(
        21,
        record({fileName({u"folder", reference(kRoot, 5), 0x10000000}), residentData(1)}, 0, 2));
    const Scan s = scan(b);
    ASSERT_TRUE(s.started);
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].record, 16u);
    EXPECT_EQ(s.files[0].name, "kept.txt");
    EXPECT_EQ(s.files[0].folder, "\\");
    EXPECT_EQ(s.files[0].status, 255);     // resident data
    EXPECT_TRUE(s.stats.usedRecordFlags);  // this $MFT has no bitmap
}

// Only the MFT bitmap says which records are free: a record it marks in use is not opened,
// whatever its header says, and a free record is examined even when its header still says "in
// use".
TEST(NtfsScan, TheMftBitmapDecidesWhichRecordsAreFree) {
    ImageBuilder b;
    b.setRecord(16, deletedFile({u"marked-used.txt"}));
    b.setRecord(17, record({fileName({u"header-in-use.txt"}), residentData(3)}, 1, 1));
    setMftBitmap(b, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16});
    const Scan s = scan(b);
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].name, "header-in-use.txt");
    EXPECT_FALSE(s.stats.usedRecordFlags);

    std::vector<std::uint64_t> all(ImageBuilder::kMftRecords);
    for (std::uint64_t n = 0; n < all.size(); ++n)
        all[n] = n;
    setMftBitmap(b, all);
    EXPECT_TRUE(scan(b).files.empty());
}

// A walk over a few known records lists what the whole walk lists for them, and nothing else.
TEST(NtfsScan, AWalkOverChosenRecords) {
    ImageBuilder b;
    b.setRecord(16, deletedFile({u"wanted.txt"}));
    b.setRecord(17, deletedFile({u"not-asked.txt"}));
    b.setRecord(18, record({fileName({u"live.txt"}), residentData(5)}, 1, 1));
    setMftBitmap(b, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 18});
    test::MountedImage m(b.image());
    ASSERT_TRUE(m.mounted);
    std::vector<std::string> names;
    const std::vector<std::uint64_t> records = {18, 16, 16, 1000000};
    EXPECT_TRUE(
        scanNtfsRecords(m.ntfs, records, [&](const NtfsFoundFile& f) { names.push_back(f.name); }));
    EXPECT_EQ(names, std::vector<std::string>{"wanted.txt"});
}

TEST(NtfsScan, NamesTimesAndStreams) {
    ImageBuilder b;
    // The long name wins over its 8.3 form, whichever comes first.
    b.setRecord(16, record({fileName({u"LONGFI~1.TXT", reference(kRoot, 5), 0x20, 2}),
                            fileName({u"longfilename.txt"}), residentData(4)},
                           0, 2));
    // Without $STANDARD_INFORMATION the times are the $FILE_NAME's creation and access times.
    b.setRecord(17, record({fileName({u"no-info.txt", reference(kRoot, 5), 0x20, 1, 111, 444}),
                            residentData(4)},
                           0, 2));
    // A last-access time with an empty upper half gives way to the change time.
    b.setRecord(
        18, record({standardInformation(7, 8, 9), fileName({u"unset-access.txt"}), residentData(4)},
                   0, 2));
    b.setRecord(19, record({standardInformation(0x01D1000000000000, 8, 0x01D2000000000000),
                            fileName({u"😀 é.txt"}), residentData(1), residentData(7, u"b"),
                            residentData(3, u"a")},
                           0, 2));
    const auto files = scan(b).byName();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_TRUE(files.contains("longfilename.txt"));
    EXPECT_EQ(files.at("no-info.txt").createTime, 111u);
    EXPECT_EQ(files.at("no-info.txt").accessTime, 444u);
    EXPECT_EQ(files.at("unset-access.txt").createTime, 7u);
    EXPECT_EQ(files.at("unset-access.txt").accessTime, 8u);
    const NtfsFoundFile& f = files.at("😀 é.txt");
    EXPECT_EQ(f.createTime, 0x01D1000000000000u);
    EXPECT_EQ(f.accessTime, 0x01D2000000000000u);
    EXPECT_EQ(f.size, 1u);
    ASSERT_EQ(f.streams.size(), 2u);  // in the table's order: by name
    EXPECT_EQ(f.streams[0].name, "a");
    EXPECT_EQ(f.streams[0].size, 3u);
    EXPECT_EQ(f.streams[1].name, "b");
    EXPECT_EQ(f.streams[1].size, 7u);
}

// A deleted file whose attribute list puts the second half of its data, and its long name, in an
// extension record: the file is listed once, with all of it; the extension record, free as well
// and holding a name and unnamed data of its own, is not a second file.
TEST(NtfsScan, ExtensionRecordsBelongToTheirFile) {
    ImageBuilder b;
    Bytes list;
    for (const Bytes& e :
         {test::attributeListEntry(0x30, u"", 0, 16), test::attributeListEntry(0x30, u"", 0, 20),
          test::attributeListEntry(0x80, u"", 0, 16), test::attributeListEntry(0x80, u"", 4, 20)})
        list.insert(list.end(), e.begin(), e.end());
    const std::uint64_t bytes = 8 * ImageBuilder::kCluster;
    b.setRecord(16, record({test::residentAttribute(0x20, u"", list),
                            fileName({u"BASEFI~1.TXT", reference(kRoot, 5), 0x20, 2}),
                            test::nonResidentAttribute(0x80, u"", {0, 3, bytes, bytes, bytes, 0},
                                                       test::mappingPairs({{200, 4}}))},
                           0, 2));
    b.setRecord(20, record({fileName({u"base file name.txt"}),
                            test::nonResidentAttribute(0x80, u"", {4, 7, 0, 0, 0, 0},
                                                       test::mappingPairs({{300, 4}}))},
                           0, 2, reference(16, 2)));
    const Scan s = scan(b);
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].record, 16u);
    EXPECT_EQ(s.files[0].name, "base file name.txt");
    EXPECT_EQ(s.files[0].size, bytes);  // both halves' runs hold it
    EXPECT_EQ(s.stats.extensionRecords, 1u);

    // Recovered, it is both halves, from the base record's runs and the extension record's.
    Bytes first(4 * ImageBuilder::kCluster, 'A'), second(4 * ImageBuilder::kCluster, 'B');
    b.put(200, first);
    b.put(300, second);
    ScanContext context;
    ASSERT_EQ(mountVolume(context, std::make_unique<MemorySectorDevice>(b.image())),
              MountStatus::Mounted);
    ASSERT_EQ(scanVolume(context), 1);
    test::TempDir out;
    const auto outcomes = test::recoverAllFound(context, out.path(), "_");
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_EQ(outcomes[0].result, RecoveryResult::Written) << describeOutcome(outcomes[0]);
    std::ifstream in(outcomes[0].outputPath, std::ios::binary);
    const Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Bytes whole = first;
    whole.insert(whole.end(), second.begin(), second.end());
    EXPECT_EQ(written, whole);
}

// A free record whose $FILE_NAME is gone but whose data survives is listed by its number, in
// the folder a $FILE_NAME cut to its parent reference still gives, else in "<unknown>\\"; one
// with no data is not, and recovery writes it under that name.
TEST(NtfsScan, AFileThatLostItsNameIsListedByItsRecord) {
    ImageBuilder b;
    b.setRecord(
        24, record({standardInformation(0x01D1000000000001, 0x01D1000000000002, 0x01D1000000000003),
                    residentData(5), residentData(3, u"s")},
                   0, 2));
    b.setRecord(
        25, record({fileName({u"docs", reference(kRoot, 5), 0x10000000}), folderIndex()}, 3, 1));
    Bytes parentOnly = fileNameValue({u"lost.txt", reference(25, 1)});
    parentOnly.resize(16);
    b.setRecord(26,
                record({test::residentAttribute(0x30, u"", parentOnly), residentData(4)}, 0, 2));
    b.setRecord(27, record({standardInformation(1, 2, 3), residentData(0)}, 0, 2));  // no data
    const auto files = scan(b).byName();
    ASSERT_EQ(files.size(), 2u);
    const NtfsFoundFile& lost = files.at("<record 24>");
    EXPECT_EQ(lost.folder, "<unknown>\\");
    EXPECT_EQ(lost.size, 5u);
    EXPECT_EQ(lost.createTime, 0x01D1000000000001u);
    EXPECT_EQ(lost.lastAccessTime, 0x01D1000000000003u);
    ASSERT_EQ(lost.streams.size(), 1u);
    EXPECT_EQ(lost.streams[0].name, "s");
    EXPECT_EQ(files.at("<record 26>").folder, "\\docs");

    ScanContext context;
    ASSERT_EQ(mountVolume(context, std::make_unique<MemorySectorDevice>(b.image())),
              MountStatus::Mounted);
    ASSERT_EQ(scanVolume(context), 2);
    test::TempDir out;
    std::map<std::string, std::uint64_t> written;
    for (const RecoveryOutcome& o : test::recoverAllFound(context, out.path(), "_")) {
        EXPECT_EQ(o.result, RecoveryResult::Written) << describeOutcome(o);
        written[o.outputPath.substr(out.path().size() + 1)] = o.bytesWritten;
    }
    EXPECT_EQ(written, (std::map<std::string, std::uint64_t>{
                           {"<record 24>", 5}, {"<record 24>-s", 3}, {"<record 26>", 4}}));
}

// Folders are followed through live and deleted records; a reference whose record has been
// given to another folder or file since, a loop and an endless chain end at a marker.
TEST(NtfsScan, FoldersOfDeletedFiles) {
    ImageBuilder b;
    const std::uint32_t folder = 0x10000000;
    // \live (record 24, in use, sequence 4) \gone (25, freed: sequence 7 -> 8) \deeper (26,
    // freed: 2 -> 3).
    b.setRecord(24,
                record({fileName({u"live", reference(kRoot, 5), folder}), folderIndex()}, 3, 4));
    b.setRecord(25, record({fileName({u"gone", reference(24, 4), folder}), folderIndex()}, 2, 8));
    b.setRecord(26, record({fileName({u"deeper", reference(25, 7), folder}), folderIndex()}, 2, 3));
    b.setRecord(16, deletedFile({u"a.txt", reference(26, 2)}));
    b.setRecord(17, deletedFile({u"b.txt", reference(24, 4)}));
    // Record 27 was a folder with sequence 5, freed (6) and taken by a new folder (still 6).
    b.setRecord(27, record({fileName({u"new", reference(kRoot, 5), folder}), folderIndex()}, 3, 6));
    b.setRecord(18, deletedFile({u"c.txt", reference(27, 5)}));
    // A file record is no folder, whatever the sequence number.
    b.setRecord(28, record({fileName({u"file"}), residentData(1)}, 1, 1));
    b.setRecord(19, deletedFile({u"d.txt", reference(28, 1)}));
    // Two deleted folders that name each other as parent.
    b.setRecord(29, record({fileName({u"x", reference(30, 1), folder}), folderIndex()}, 2, 1));
    b.setRecord(30, record({fileName({u"y", reference(29, 1), folder}), folderIndex()}, 2, 1));
    b.setRecord(21, deletedFile({u"e.txt", reference(29, 1)}));
    // A parent record that cannot be read at all.
    b.setRecord(22, deletedFile({u"f.txt", reference(31, 1)}));
    const auto files = scan(b).byName();
    ASSERT_EQ(files.size(), 6u);
    EXPECT_EQ(files.at("a.txt").folder, "\\live\\gone\\deeper");
    EXPECT_EQ(files.at("b.txt").folder, "\\live");
    EXPECT_EQ(files.at("c.txt").folder, "<unknown 27>\\");
    EXPECT_EQ(files.at("d.txt").folder, "<unknown 28>\\");
    EXPECT_EQ(files.at("e.txt").folder, "<unknown 29>\\y\\x");
    EXPECT_EQ(files.at("f.txt").folder, "<unknown 31>\\");
}

// A volume whose MFT continues past the builder's 32 records: records 32 and on lie from
// cluster kMoreMftCluster.
constexpr std::uint64_t kMoreMftCluster = 200;
constexpr std::uint64_t kMftRecordsInAll = 320;

void extendMft(ImageBuilder& b) {
    const std::uint64_t perRecord = ImageBuilder::kRecord / ImageBuilder::kCluster;
    const std::uint64_t first = ImageBuilder::kMftRecords * perRecord;
    const std::uint64_t more = (kMftRecordsInAll - ImageBuilder::kMftRecords) * perRecord;
    const std::uint64_t bytes = kMftRecordsInAll * ImageBuilder::kRecord;
    b.setRecord(
        0,
        test::fileRecord(
            {test::residentAttribute(0x10, u"", Bytes(48, 0)),
             test::nonResidentAttribute(
                 0x80, u"", {0, first + more - 1, bytes, bytes, bytes, 0},
                 test::mappingPairs({{static_cast<std::int64_t>(ImageBuilder::kMftCluster), first},
                                     {static_cast<std::int64_t>(kMoreMftCluster), more}}))}));
}

void setAnyRecord(ImageBuilder& b, std::uint64_t n, const Bytes& r) {
    if (n < ImageBuilder::kMftRecords) return b.setRecord(n, r);
    b.put(kMoreMftCluster +
              (n - ImageBuilder::kMftRecords) * (ImageBuilder::kRecord / ImageBuilder::kCluster),
          r);
}

// 300 folders, each the parent of the next: the path of the deepest is cut at the depth limit,
// and a second path through the same folders reads none of them again.
TEST(NtfsScan, AFolderChainDeeperThanTheLimitEndsAtAMarker) {
    ImageBuilder b;
    extendMft(b);
    const std::uint64_t top = 20, bottom = 319;
    for (std::uint64_t n = top; n <= bottom; ++n) {
        const std::uint64_t parent = n == top ? kRoot : n - 1;
        setAnyRecord(
            b, n,
            record({fileName({u"f", reference(parent, parent == kRoot ? 5 : 1), 0x10000000}),
                    folderIndex()},
                   3, 1));
    }
    test::MountedImage m(b.image());
    ASSERT_TRUE(m.mounted);
    FolderPaths paths(m.ntfs);
    const std::string deepest = paths.path(reference(bottom, 1));
    std::string expected = unknownFolderMarker(bottom - kMaxFolderDepth);
    for (std::size_t i = 0; i < kMaxFolderDepth; ++i)
        expected += i == 0 ? "f" : "\\f";
    EXPECT_EQ(deepest, expected);
    const std::size_t read = paths.foldersRead();
    EXPECT_EQ(read, kMaxFolderDepth);
    EXPECT_EQ(paths.path(reference(bottom - 1, 1)).size(), deepest.size() - 2);
    EXPECT_EQ(paths.foldersRead(), read);
    // A folder that names itself as its parent.
    EXPECT_EQ(paths.path(reference(top, 1)), "\\f");
    EXPECT_EQ(nextSequenceNumber(0xFFFF), 1);
    EXPECT_EQ(nextSequenceNumber(6), 7);
}

TEST(NtfsScan, AFolderThatIsItsOwnParentEndsAtAMarker) {
    ImageBuilder b;
    b.setRecord(24,
                record({fileName({u"self", reference(24, 1), 0x10000000}), folderIndex()}, 2, 1));
    b.setRecord(16, deletedFile({u"in-loop.txt", reference(24, 1)}));
    const Scan s = scan(b);
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].folder, "<unknown 24>\\self");
}

// Damaged records and runs end in a partial list: a data run far past the volume is "Poor", a
// run past the end of a short cluster bitmap is counted as far as the bitmap reaches, and a
// record with broken fixups is skipped.
TEST(NtfsScan, DamagedRecordsGiveAPartialList) {
    ImageBuilder b;
    Bytes bitmap(16, 0);  // 128 clusters, all free; clusters past them are not covered
    b.setRecord(6, test::fileRecord({test::residentAttribute(0x80, u"", bitmap)}));
    auto nonResident = [](std::vector<test::Run> runs, std::uint64_t clusters) {
        const std::uint64_t bytes = clusters * ImageBuilder::kCluster;
        return test::nonResidentAttribute(0x80, u"", {0, clusters - 1, bytes, bytes, bytes, 0},
                                          test::mappingPairs(runs));
    };
    b.setRecord(16, record({fileName({u"far.bin"}), nonResident({{1ll << 40, 4}}, 4)}, 0, 2));
    b.setRecord(17, record({fileName({u"past-bitmap.bin"}), nonResident({{120, 16}}, 16)}, 0, 2));
    Bytes broken = deletedFile({u"broken.txt"});
    broken[510] ^= 0xFF;  // the update sequence no longer matches
    b.setRecord(18, broken);
    b.setRecord(19, deletedFile({u"fine.txt"}));
    const auto files = scan(b).byName();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files.at("far.bin").status, 0);
    EXPECT_EQ(files.at("past-bitmap.bin").status, 255);  // 8 free clusters examined, none used
    EXPECT_TRUE(files.contains("fine.txt"));
}

}  // namespace
}  // namespace rekkon
