#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "fat/DeletedLongName.h"
#include "fat/FatFoundEntry.h"
#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

using test::FatBuilder;

struct ScanFixture : ::testing::Test {
    explicit ScanFixture(FatBuilder::Type type = FatBuilder::Type::Fat16,
                         std::uint32_t sectors = 20'000)
        : b(type, sectors, 1) {}

    std::vector<DeletedFileEntry> scan(const std::string& target = "") {
        attachDevice(volume, std::make_unique<test::MemoryDevice>(b.bytes()));
        EXPECT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
        list.clear();
        count = 0;
        texts.clear();
        ProgressSink sink = [this](const std::string& t) { texts.push_back(t); };
        FoundListBuilder builder(list, count, sink);
        result = scanFat(
            fat, target, [&builder](FatFoundFile f) { builder.addFile(toDeletedFileEntry(f)); },
            nullptr, &stats);
        return {list.begin(), list.end()};
    }
    std::optional<DeletedFileEntry> named(const std::string& name) const {
        for (const auto& e : list)
            if (e.name == name) return e;
        return std::nullopt;
    }

    FatBuilder b;
    VolumeContext volume;
    FatVolume fat{volume, {}};
    FoundList list;
    int count = 0;
    int result = -1;
    FatScanStats stats;
    std::vector<std::string> texts;
};

TEST_F(ScanFixture, StatusComesFromTheClustersAfterTheFirst) {
    const std::uint32_t cb = b.clusterBytes();
    b.putEntry(1, 0,
               "\xE5"
               "EADME  TXT",
               0x20, 100, 3 * cb);
    b.setFat(101, 0xFFFF);
    b.putEntry(1, 1,
               "\xE5"
               "LLFREE BIN",
               0x20, 200, 3 * cb);
    b.putEntry(1, 2,
               "\xE5"
               "MALL   TXT",
               0x20, 300, cb - 1);
    b.putEntry(1, 3,
               "\xE5"
               "AKEN   TXT",
               0x20, 400, 10);
    b.setFat(400, 0xFFFF);  // first cluster in use: not listed
    b.putEntry(1, 4,
               "\xE5"
               "MPTY   TXT",
               0x20, 0, 0);                          // no data at all: not listed
    b.putEntry(1, 5, "LIVE    TXT", 0x20, 500, 10);  // live files are never listed
    b.putEntry(1, 6,
               "\xE5"
               "USED   BIN",
               0x20, 600, 4 * cb);
    for (std::uint32_t c = 601; c < 604; ++c)
        b.setFat(c, 0xFFFF);
    scan();
    ASSERT_EQ(list.size(), 4u);
    ASSERT_TRUE(named("?EADME.TXT"));
    EXPECT_EQ(named("?EADME.TXT")->location, 100u);
    EXPECT_EQ(named("?EADME.TXT")->status, 66);  // (10,000 - 3,333) / 100
    EXPECT_EQ(named("?LLFREE.BIN")->status, kStatusGood);
    EXPECT_EQ(named("?MALL.TXT")->status, kStatusGood);
    EXPECT_EQ(named("?USED.BIN")->status, 25);
    EXPECT_EQ(named("?USED.BIN")->status, 25);
    EXPECT_EQ(count, 4);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts.back(), "Found 4 deleted files. Searching...");
}

TEST_F(ScanFixture, NamesAreCheckedAndShownAsStored) {
    b.putEntry(1, 0,
               "\xE5"
               "XT     T\xE9"
               "T",
               0x20, 100, 1);  // a byte above 0x7F is fine
    b.putEntry(1, 1,
               "\xE5"
               "A:B    TXT",
               0x20, 101, 1);  // ':' never occurs in a name
    b.putEntry(1, 2,
               "\xE5"
               "A\x01"
               "B    TXT",
               0x20, 102, 1);  // nor does a control character
    b.putEntry(1, 3,
               "\x05"
               "LIVE   DIR",
               0x10, 103, 0);  // 0x05 stands for 0xE5
    b.putEntry(103, 0,
               "\xE5"
               "INNER  TXT",
               0x20, 104, 1);
    b.putEntry(1, 4,
               "\xE5"
               "NOEXT     ",
               0x20, 105, 1);
    scan();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(named("?XT.T\u0398T"));  // CP437 0xE9 is Greek capital theta
    EXPECT_TRUE(named("?NOEXT"));
    const auto inner = named("?INNER.TXT");
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->folder, "\\\u03C3LIVE.DIR");
    EXPECT_EQ(inner->attributes, 0x20u);
}

TEST_F(ScanFixture, TimesFallBackToCreationAndImpossibleDatesAreZero) {
    b.putEntry(1, 0,
               "\xE5"
               "ATED   TXT",
               0x20, 100, 1, /*date=*/0x3465, /*time=*/0x7069);
    // 0x3465: 2006-03-05; 0x7069: 14:03:18. Zero write fields fall back to the creation fields.
    const std::size_t at = b.clusterOffset(1) + 0 * 32;
    test::put16(b.bytes(), at + 0x16, 0);
    test::put16(b.bytes(), at + 0x18, 0);
    b.putEntry(1, 1,
               "\xE5"
               "ADDATE TXT",
               0x20, 101, 1, /*date=*/0x0000, /*time=*/0x0000);
    b.putEntry(1, 2,
               "\xE5"
               "EB30   TXT",
               0x20, 102, 1, /*date=*/0x345E, /*time=*/0);  // 30 February
    scan();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(named("?ATED.TXT")->createTime, dosDateTimeToFileTime(0x3465, 0x7069));
    EXPECT_NE(named("?ATED.TXT")->createTime, 0u);
    EXPECT_EQ(named("?ATED.TXT")->accessTime, named("?ATED.TXT")->createTime);
    EXPECT_EQ(named("?ADDATE.TXT")->createTime, 0u);
    EXPECT_EQ(named("?EB30.TXT")->createTime, 0u);
}

TEST_F(ScanFixture, DeletedFoldersAreWalkedThroughFreeClusters) {
    b.putEntry(1, 0,
               "\xE5"
               "OLD",
               0x10, 50, 0);
    // The deleted folder spans clusters 50 and 52 (51 was taken by something else since).
    b.setFat(51, 0xFFFF);
    for (std::size_t i = 0; i < 16; ++i)
        b.putEntry(50, i, "F" + std::to_string(i) + "      TXT", 0x20,
                   60 + static_cast<std::uint32_t>(i), 1);
    b.putEntry(52, 0, "LATE    TXT", 0x20, 80, 1);  // a live entry inside the deleted folder
    b.putEntry(52, 1,
               "\xE5"
               "ONE    TXT",
               0x20, 81, 1);
    b.setFat(81, 0xFFFF);  // its data was taken: not listed
    scan();
    EXPECT_EQ(list.size(), 17u);
    ASSERT_TRUE(named("LATE.TXT"));
    EXPECT_EQ(named("LATE.TXT")->folder, "\\?OLD");
}

TEST_F(ScanFixture, DeletedFoldersAreReadNoFurtherThan8192Bytes) {
    b.putEntry(1, 0,
               "\xE5"
               "BIG",
               0x10, 50, 0);
    // 512-byte clusters hold 16 entries; fill 20 clusters with deleted files.
    for (std::uint32_t k = 0; k < 20 * 16; ++k) {
        std::string name =
            "\xE5"
            "F" +
            std::to_string(k);
        name.resize(8, ' ');
        b.putEntry(50 + k / 16, k % 16, name + "TXT", 0x20, 1000 + k, 1);
    }
    scan();
    EXPECT_EQ(list.size(), 256u);  // 8192 bytes: 256 entries
}

TEST_F(ScanFixture, TwoDeletedFoldersWithTheSameShownNameAreBothWalked) {
    b.putEntry(1, 0,
               "\xE5"
               "UB",
               0x10, 50, 0);  // once SUB
    b.putEntry(1, 1,
               "\xE5"
               "UB",
               0x10, 60, 0);  // once TUB
    b.putEntry(50, 0,
               "\xE5"
               "NE     TXT",
               0x20, 70, 1);
    b.putEntry(60, 0,
               "\xE5"
               "WO     TXT",
               0x20, 71, 1);
    scan();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(named("?NE.TXT"));
    EXPECT_TRUE(named("?WO.TXT"));
}

TEST_F(ScanFixture, AFolderThatLeadsBackIntoItselfEnds) {
    // A damaged deleted folder whose entries name itself and its parent as subfolders.
    b.putEntry(1, 0,
               "\xE5"
               "LOOP",
               0x10, 50, 0);
    b.putEntry(50, 0,
               "\xE5"
               "SELF",
               0x10, 50, 0);
    b.putEntry(50, 1,
               "\xE5"
               "DOWN",
               0x10, 51, 0);
    b.putEntry(51, 0,
               "\xE5"
               "UP",
               0x10, 50, 0);
    b.putEntry(51, 1,
               "\xE5"
               "ILE    TXT",
               0x20, 90, 1);
    // A live chain of folders deeper than any scan goes, each holding a deleted file: the walk
    // (no recursion) lists every level down to the limit and counts the folder it did not enter.
    constexpr std::uint32_t kLevels = kMaxScanDepth + 52;
    b.putEntry(1, 1, "DEEP", 0x10, 100, 0);
    for (std::uint32_t d = 0; d < kLevels; ++d) {
        b.chain({100 + d});
        b.putEntry(100 + d, 0, "DEEP", 0x10, 101 + d, 0);
        std::string name =
            "\xE5"
            "AT" +
            std::to_string(d);
        name.resize(8, ' ');
        b.putEntry(100 + d, 1, name + "TXT", 0x20, 5000 + d, 1);
    }
    scan();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(named("?ILE.TXT"));
    EXPECT_EQ(list.size(), 1u + kMaxScanDepth);
    EXPECT_EQ(stats.foldersNotEntered, 1u);
    EXPECT_TRUE(named("?AT" + std::to_string(kMaxScanDepth - 1) + ".TXT"));
}

TEST_F(ScanFixture, ALiveFolderTheTableCallsFreeGoesOnWhereItsClustersReadAsAFolder) {
    // LIVE fills clusters 40 and 41; damage zeroed its table entries, so its chain ends at 40.
    b.putEntry(1, 0, "LIVE", 0x10, 40, 0);
    b.putEntry(40, 0, ".", 0x10, 40, 0);
    b.putEntry(40, 1, "..", 0x10, 0, 0);
    for (std::uint32_t i = 2; i < 16; ++i) {
        b.putEntry(40, i, "K" + std::to_string(i) + (i < 10 ? "      TXT" : "     TXT"), 0x20,
                   200 + i, 1);
        b.setFat(200 + i, 0xFFFF);
    }
    b.putEntry(41, 0,
               "\xE5"
               "ONE    TXT",
               0x20, 300, 1);
    b.putEntry(41, 1, "K16     TXT", 0x20, 216, 1);
    b.setFat(216, 0xFFFF);
    // Cluster 42 holds file data, so the folder does not go on there, nor to what follows.
    b.fillCluster(42, 'x');
    b.putEntry(43, 0,
               "\xE5"
               "TWO    TXT",
               0x20, 301, 1);
    scan();
    ASSERT_TRUE(named("?ONE.TXT"));
    EXPECT_EQ(named("?ONE.TXT")->folder, "\\LIVE");
    EXPECT_FALSE(named("?TWO.TXT"));
}

TEST_F(ScanFixture, AFolderChainThatLoopsIsReadOnce) {
    b.putEntry(1, 0, "DIR", 0x10, 10, 0);
    b.setFat(10, 11);
    b.setFat(11, 10);  // the chain leads back to its first cluster
    b.putEntry(10, 0,
               "\xE5"
               "ONCE   TXT",
               0x20, 40, 1);
    for (std::size_t i = 1; i < 16; ++i)  // live files fill the first cluster
        b.putEntry(10, i, "LIVE" + std::to_string(i) + "   TXT", 0x20, 200, 1);
    b.putEntry(11, 0,
               "\xE5"
               "TWICE  TXT",
               0x20, 41, 1);
    scan();
    EXPECT_EQ(list.size(), 2u);
}

TEST_F(ScanFixture, TheEstimateIsTheExactShareOfFreeClusters) {
    const std::uint32_t cb = b.clusterBytes();
    b.putEntry(1, 0,
               "\xE5"
               "AKEN   BIN",
               0x20, 100, 10'001 * cb);
    for (std::uint32_t c = 101; c < 100 + 10'001; ++c)
        b.setFat(c, 0xFFFF);
    b.putEntry(1, 1,
               "\xE5"
               "LMOST  BIN",
               0x20, 10'200, 101 * cb);
    b.setFat(10'250, 0xFFFF);  // one of 101 clusters taken
    b.putEntry(1, 2,
               "\xE5"
               "EVEN   BIN",
               0x20, 10'400, 7 * cb);
    for (std::uint32_t c = 10'401; c < 10'405; ++c)
        b.setFat(c, 0xFFFF);
    scan();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(named("?AKEN.BIN")->status, kStatusPoor);  // 1 free of 10,001
    EXPECT_EQ(named("?LMOST.BIN")->status, 99);          // 100 * 100 / 101
    EXPECT_EQ(named("?EVEN.BIN")->status, 42);           // 3 * 100 / 7
}

TEST_F(ScanFixture, TheTargetFolderIsScannedWithItsSubfolders) {
    b.putEntry(1, 0, "DOCS", 0x10, 10, 0);
    b.chain({10});
    b.putEntry(10, 0,
               "\xE5"
               "N     TXT",
               0x20, 20, 1);
    b.putEntry(10, 1, "SUB", 0x10, 11, 0);
    b.chain({11});
    b.putEntry(11, 0,
               "\xE5"
               "EEP    TXT",
               0x20, 21, 1);
    b.putEntry(1, 1,
               "\xE5"
               "UT     TXT",
               0x20, 22, 1);
    scan("C:\\DOCS");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(named("?UT.TXT"));
    EXPECT_EQ(named("?EEP.TXT")->folder, "\\DOCS\\SUB");
    scan("/NOPE");
    EXPECT_EQ(result, ENOENT);
    EXPECT_TRUE(list.empty());
    scan("\\DOCS\\?EEP.TXT");  // a file is not a folder
    EXPECT_EQ(result, ENOENT);
}

TEST_F(ScanFixture, LowerCaseFlagsShowNamesAndFoldersInLowerCase) {
    // Windows and mtools store "src" and "readme.txt" upper-cased, with byte 0x0C saying which
    // part is shown in lower case (0x08 the base, 0x10 the extension).
    auto setCase = [this](std::uint32_t folder, std::size_t index, std::uint8_t flags) {
        b.bytes()[b.clusterOffset(folder) + index * 32 + 0x0C] = flags;
    };
    b.putEntry(1, 0, "SRC", 0x10, 10, 0);
    setCase(1, 0, 0x08);
    b.chain({10});
    b.putEntry(10, 0,
               "\xE5"
               "EADME  TXT",
               0x20, 20, 1);
    setCase(10, 0, 0x18);
    b.putEntry(10, 1,
               "\xE5"
               "AKEFILE   ",
               0x20, 21, 1);
    setCase(10, 1, 0x10);  // no extension to lower; the base stays as stored
    b.putEntry(10, 2,
               "\xE5"
               "IB     C  ",
               0x20, 22, 1);
    setCase(10, 2, 0x10);
    for (const char* target : {"/src", "/SRC"}) {
        scan(target);
        ASSERT_EQ(result, 0) << target;
        ASSERT_EQ(list.size(), 3u) << target;
        const auto readme = named("?eadme.txt");
        ASSERT_TRUE(readme);
        EXPECT_EQ(readme->folder, "\\src");
        EXPECT_TRUE(named("?AKEFILE"));
        EXPECT_TRUE(named("?IB.c"));
        // A letter put in place of the '?' follows the base's case.
        EXPECT_EQ(inEntryCase(*readme, "Readme.txt"), "readme.txt");
        EXPECT_EQ(inEntryCase(*named("?IB.c"), "Lib.c"), "Lib.c");
    }
}

TEST_F(ScanFixture, ACutOffLongNameIsMarkedAndNeverAnOutputName) {
    // "B file with long name.bin" had two pieces; a later entry took the slot of the farther
    // one, which held the name's end.
    const std::size_t entry = b.putLongName(1, 0, u"B file with long name.bin");
    ASSERT_EQ(entry, 2u);
    b.putEntry(1, 2,
               "\xE5"
               "FILEW~1BIN",
               0x20, 30, 1);
    std::array<std::uint8_t, 11> shortName{};
    std::copy_n("BFILEW~1BIN", 11, shortName.begin());
    b.bytes()[b.clusterOffset(1) + 32 + 0x0D] = shortNameChecksum(shortName);
    b.bytes()[b.clusterOffset(1) + 32] = 0xE5;
    b.putEntry(1, 0, "NEWER   TXT", 0x20, 31, 1);
    b.setFat(31, 0xFFFF);
    scan();
    const auto e = named("?FILEW~1.BIN");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->longName, "B file with l\u2026");
    EXPECT_TRUE(e->longNameCut);
    EXPECT_EQ(e->firstChar, "B");
    EXPECT_EQ(outputNameOf(*e, true), "?FILEW~1.BIN");
}

struct Fat32ScanFixture : ScanFixture {
    Fat32ScanFixture() : ScanFixture(FatBuilder::Type::Fat32, 140'000) {}
};

TEST_F(Fat32ScanFixture, AFolderAtCluster65536IsWalked) {
    b.putEntry(2, 0, "HIGH", 0x10, 65536, 0);
    b.chain({65536});
    b.putEntry(65536, 0,
               "\xE5"
               "IGH    TXT",
               0x20, 70000, 1);
    scan();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].location, 70000u);
    EXPECT_EQ(list[0].folder, "\\HIGH");
}

}  // namespace
}  // namespace rekkon
