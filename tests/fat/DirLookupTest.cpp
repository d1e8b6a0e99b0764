#include <gtest/gtest.h>

#include "fat/DirLookup.h"
#include "fat/FatMount.h"
#include "fat/LongName.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"
#include "volume/TextEncoding.h"

namespace rekkon {
namespace {

using test::FatBuilder;

DirEntry shortEntry(const std::string& name83) {
    DirEntry e;
    std::string padded = name83;
    padded.resize(11, ' ');
    std::copy(padded.begin(), padded.end(), e.name.begin());
    return e;
}

bool matches(const std::string& entry, const std::string& component,
             const std::optional<std::string>& longName = std::nullopt) {
    const std::string upper = asciiUpper(component);
    return matchEntryName(shortEntry(entry), longName, utf8ToCp437(upper), upper);
}

TEST(DirLookupTest, ShortNameComparison) {
    EXPECT_TRUE(matches("README  TXT", "README.TXT"));
    EXPECT_TRUE(matches("README  TXT", "readme.txt"));
    EXPECT_TRUE(matches("README     ", "README"));
    EXPECT_FALSE(matches("README  TXT", "README"));
    EXPECT_TRUE(matches("A       B  ", "A.B"));
    EXPECT_TRUE(matches("NAME    HTM", "NAME.HTML"));  // three extension characters count
    EXPECT_FALSE(matches("NAME    HTM", "NAMES.HTM"));
    EXPECT_FALSE(matches("READ    ME ", "README"));
    EXPECT_TRUE(matches("LONGFI~1TXT", "LONGFILENAME.TXT", "LongFileName.txt"));
    EXPECT_FALSE(matches("LONGFI~1TXT", "LONGFILENAME.TXT"));
    // A long name that shares nothing with its 8.3 form before the '~' is still found by it.
    EXPECT_TRUE(matches("MYDOCU~1   ", "My Documents", "My Documents"));
    // 8.3 names are CP437 bytes: 0x90 is 'É'.
    EXPECT_TRUE(matches("\x90T\x90     TXT", "ÉTÉ.TXT"));
}

TEST(DirLookupTest, LongNamesAreAssembledFromPieces) {
    FatBuilder b(FatBuilder::Type::Fat16, 20'000, 4);
    const std::u16string name = u"Twenty char long nm";  // 19 units + 0x0000 + 0xFFFF fill
    b.putLongName(1, 0, name + u"!");
    LongNameCollector c;
    const std::size_t root = b.clusterOffset(1);
    for (int i = 0; i < 2; ++i)
        c.collect(std::span<const std::uint8_t, 32>(
            b.bytes().data() + root + static_cast<std::size_t>(i) * 32, 32));
    ASSERT_TRUE(c.name());
    EXPECT_EQ(*c.name(), "Twenty char long nm!");

    // Non-BMP characters survive as one UTF-8 sequence; lone surrogates become U+FFFD.
    FatBuilder u(FatBuilder::Type::Fat16, 20'000, 4);
    u.putLongName(1, 0, u"caf\u00e9 \U0001F600 \xD800x");
    LongNameCollector cu;
    cu.collect(std::span<const std::uint8_t, 32>(u.bytes().data() + u.clusterOffset(1), 32));
    EXPECT_EQ(*cu.name(), "caf\u00e9 \U0001F600 \uFFFDx");
}

TEST(DirLookupTest, PiecesOutsideTheOpeningNumberAreIgnored) {
    std::array<std::uint8_t, 32> piece{};
    piece[0x0B] = 0x0F;
    auto put = [&](std::uint8_t seq, char16_t ch) {
        piece[0] = seq;
        piece[1] = static_cast<std::uint8_t>(ch);
        piece[2] = 0;
        piece[3] = 0;
        piece[4] = 0;
    };
    LongNameCollector c;
    put(0x41, u'A');
    c.collect(piece);
    put(0x05, u'X');  // above the opening piece: would land outside the name
    c.collect(piece);
    put(0x00, u'Y');  // number 0
    c.collect(piece);
    put(0x42, u'Z');  // a second opening piece
    c.collect(piece);
    EXPECT_EQ(*c.name(), "A");
}

struct FolderFixture : ::testing::Test {
    FolderFixture() : b(FatBuilder::Type::Fat16, 20'000, 1) {}
    void mount() {
        attachDevice(volume, std::make_unique<test::MemoryDevice>(b.bytes()));
        ASSERT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    }
    int find(std::uint32_t folder, const std::string& component) {
        return findDirEntry(fat, folder, component, found);
    }
    FatBuilder b;
    VolumeContext volume;
    FatVolume fat{volume, {}};
    DirEntry found;
};

TEST_F(FolderFixture, DeletedEntriesAreFoundOnlyByQuestionMark) {
    b.putEntry(1, 0,
               "\xE5"
               "ELETED",
               0x20, 5, 100);
    b.putEntry(1, 1,
               "\xE5"
               "EW     TXT",
               0x20, 6, 1);
    b.putEntry(1, 2,
               "\xE5"
               "EW     TXT",
               0x20, 7, 1);
    b.putEntry(1, 3,
               "\x05"
               "LIVE   TXT",
               0x20, 8, 1);
    mount();
    EXPECT_EQ(find(1, "?ELETED"), 0);
    EXPECT_EQ(found.name[0], '?');
    EXPECT_EQ(find(1, "DELETED"), ENOENT);
    EXPECT_EQ(fat.lastError, ENOENT);
    EXPECT_EQ(find(1, "?EW.TXT"), 0);
    EXPECT_EQ(found.clusterLow, 6) << "the first of the two in folder order";
    EXPECT_EQ(find(1, "\u03C3LIVE.TXT"), 0) << "0x05 stands for a first byte 0xE5 (CP437 sigma)";
    EXPECT_EQ(found.name[0], 0xE5);
}

TEST_F(FolderFixture, TheEndMarkerEndsTheSearch) {
    for (std::size_t i = 0; i < 5; ++i)
        b.putEntry(1, i, "FILE" + std::to_string(i) + "   TXT", 0x20, 3, 1);
    b.putEntry(1, 6, "LATE    TXT", 0x20, 3, 1);  // entry 5 is all zeros
    mount();
    EXPECT_EQ(find(1, "FILE4.TXT"), 0);
    EXPECT_EQ(find(1, "LATE.TXT"), ENOENT);
}

TEST_F(FolderFixture, ALongFolderIsReadOnce) {
    // A folder of 300 clusters whose links lie one table sector apart (more than the sector
    // cache holds): looking for a missing name reads each part of the table about once.
    FatBuilder big(FatBuilder::Type::Fat32, 40'000, 1);
    std::vector<std::uint32_t> clusters;
    for (std::uint32_t i = 0; i < 300; ++i)
        clusters.push_back(3 + i * 128);
    big.putEntry(2, 0, "DIR", 0x10, clusters[0], 0);
    big.chain(clusters);
    for (std::uint32_t c : clusters)
        for (std::size_t i = 0; i < 16; ++i)
            big.putEntry(c, i, "F" + std::to_string(c) + "_" + std::to_string(i), 0x20, 0, 0);
    auto dev = std::make_unique<test::MemoryDevice>(big.bytes());
    auto stats = dev->stats();
    attachDevice(volume, std::move(dev));
    ASSERT_EQ(mountFatOnOpenDevice(volume, fat.geometry), 1);
    const int before = stats->readCalls;
    EXPECT_EQ(find(clusters[0], "MISSING"), ENOENT);
    EXPECT_LT(stats->readCalls - before, 1000);
}

TEST_F(FolderFixture, ShortEntriesThatLookLikeTextAreNotPieces) {
    // First cluster 0 and name bytes 1-4 letters: a short entry, not a long-name piece.
    b.putEntry(1, 0, "AEMPTY  TXT", 0x20, 0, 0);
    mount();
    EXPECT_EQ(find(1, "AEMPTY.TXT"), 0);
}

TEST_F(FolderFixture, LongNamesInAnyScriptAreFound) {
    b.putEntry(1, 0, "DIR", 0x10, 10, 0);
    b.chain({10});
    std::size_t at = b.putLongName(10, 0, u"\u4E2D\u6587\u6587\u4EF6\u5939");  // 中文文件夹
    b.putEntry(10, at, "4E2D~1", 0x10, 11, 0);
    b.chain({11});
    b.putEntry(11, 0, "INSIDE  TXT", 0x20, 12, 1);
    mount();
    std::string path = "/DIR/\u4E2D\u6587\u6587\u4EF6\u5939/inside.txt";
    ASSERT_EQ(findPathEntry(fat, 1, &path, found), 0);
    EXPECT_EQ(found.clusterLow, 12);
}

TEST(DirEntryTest, LongNamePiecesAreToldByAttributeAndSequence) {
    std::array<std::uint8_t, 32> raw{};
    raw[0x0B] = 0x0F;
    for (std::uint8_t seq : {0x01, 0x14, 0x41, 0x54, 0xE5}) {
        raw[0] = seq;
        EXPECT_TRUE(isLongNamePiece(raw)) << int{seq};
    }
    for (std::uint8_t seq : {0x00, 0x15, 0x40, 0x81, 0xC1, 0x61}) {
        raw[0] = seq;
        EXPECT_FALSE(isLongNamePiece(raw)) << int{seq};
    }
    raw[0] = 0x41;
    raw[0x0B] = 0xCF;  // the top two attribute bits do not count
    EXPECT_TRUE(isLongNamePiece(raw));
    raw[0x0B] = 0x20;
    EXPECT_FALSE(isLongNamePiece(raw));
}

TEST(DirLookupTest, ShortNamesWithZeroBytesAreComparedWithinBothNames) {
    DirEntry entry = shortEntry("AB");
    for (std::size_t i = 2; i < 8; ++i)
        entry.name[i] = 0;
    // The component's own buffer holds dots past its end: a comparison that read there would
    // take them for an extension.
    std::string component = "AB.......";
    component.resize(2);
    EXPECT_FALSE(matchEntryName(entry, std::nullopt, component, "AB"));
    EXPECT_FALSE(matchEntryName(shortEntry("AB      TXT"), std::nullopt, component, "AB"));
    EXPECT_TRUE(matchEntryName(shortEntry("AB"), std::nullopt, component, "AB"));
    EXPECT_TRUE(matchEntryName(shortEntry(".."), std::nullopt, std::string(".."), ".."));
}

TEST_F(FolderFixture, PathsAreWalkedThroughFoldersOnly) {
    b.putEntry(1, 0, "DIR", 0x10, 10, 0);
    b.chain({10});
    b.putEntry(10, 0, ".", 0x10, 10, 0);
    b.putEntry(10, 1, "..", 0x10, 0, 0);
    b.putEntry(10, 2, "SUB", 0x10, 11, 0);
    b.putEntry(10, 3, "FILE    TXT", 0x20, 12, 5);
    std::size_t at = b.putLongName(10, 4, u"Program Files");
    b.putEntry(10, at, "PROGRA~1", 0x10, 13, 0);
    b.chain({11});
    b.chain({12});
    b.chain({13});
    b.putEntry(11, 0,
               "\xE5"
               "OLD",
               0x10, 14, 0);
    b.putEntry(14, 0, "DEEP    TXT", 0x20, 15, 7);
    mount();
    for (const char* path : {"\\DIR\\SUB", "/DIR/SUB", "DIR/sub", "\\\\DIR\\\\SUB\\"}) {
        std::string p = path;
        DirEntry e;
        EXPECT_EQ(findPathEntry(fat, 1, &p, e), 0) << path;
        EXPECT_EQ(e.clusterLow, 11) << path;
    }
    std::string through = "DIR\\FILE.TXT\\X";
    DirEntry e;
    EXPECT_EQ(findPathEntry(fat, 1, &through, e), ENOENT);
    std::string longPath = "\\DIR\\Program Files";
    EXPECT_EQ(findPathEntry(fat, 1, &longPath, e), 0);
    EXPECT_EQ(e.clusterLow, 13);
    std::string deleted = "\\DIR\\SUB\\?OLD\\DEEP.TXT";
    EXPECT_EQ(findPathEntry(fat, 1, &deleted, e), 0);
    EXPECT_EQ(e.size, 7u);
    std::string rootParent = "\\DIR\\..\\DIR";  // ".." of a first-level folder has cluster 0
    EXPECT_EQ(findPathEntry(fat, 1, &rootParent, e), ENOENT);
    EXPECT_EQ(findPathEntry(fat, 1, nullptr, e), EINVAL);
    EXPECT_EQ(fat.lastError, EINVAL);
}

}  // namespace
}  // namespace rekkon
