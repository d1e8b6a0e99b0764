#include "fs/FoundList.h"

#include <gtest/gtest.h>

#include <string>

#include "fs/FoundEntry.h"

namespace rekkon {
namespace {

DeletedFileEntry everyField(int i) {
    static constexpr std::string_view kOrigins[] = {"fat-entry", "ntfs-record", "carved"};
    DeletedFileEntry e;
    e.origin = kOrigins[i % 3];
    e.location = 1000 + static_cast<std::uint64_t>(i);
    e.slot = static_cast<std::uint64_t>(i) << 16;
    e.timesUtc = i % 2 == 0;
    e.attributes = 0xFFFFFFA0u + static_cast<std::uint32_t>(i % 4);
    e.size = 7 * static_cast<std::uint64_t>(i);
    e.createTime = 1;
    e.accessTime = 2;
    e.writeTime = 3;
    e.lastAccessTime = 4;
    e.birthTime = 5;
    e.changeTime = 6 + static_cast<std::uint64_t>(i);
    e.name = "?ILE" + std::to_string(i) + ".TXT";
    e.status = static_cast<std::uint8_t>(i * 37);
    e.folder = i % 4 == 0 ? "\\" : "\\DCIM\\" + std::to_string(i % 4);
    if (i % 3 == 0) e.longName = i % 2 ? "" : "file " + std::to_string(i) + ".txt";
    e.longNameCut = i % 5 == 0;
    e.lowerCaseBase = i % 7 == 0;
    if (i % 6 == 0) e.firstChar = "\xC3\x84";
    if (i % 3 == 1) e.stream = "Zone.Identifier";
    if (i % 3 == 2) {
        e.contentType = "jpg";
        e.contentCheck = "damaged: no end marker";
        e.firstFragmentBytes = 4096;
        e.fragmentGapBytes = 8192;
    }
    return e;
}

void expectSame(const DeletedFileEntry& a, const DeletedFileEntry& b) {
    EXPECT_EQ(keyOf(a), keyOf(b));
    EXPECT_EQ(std::tie(a.timesUtc, a.attributes, a.size, a.createTime, a.accessTime, a.writeTime,
                       a.lastAccessTime, a.birthTime, a.changeTime, a.name, a.status, a.folder,
                       a.longName, a.longNameCut, a.lowerCaseBase, a.firstChar, a.contentType,
                       a.contentCheck, a.firstFragmentBytes, a.fragmentGapBytes),
              std::tie(b.timesUtc, b.attributes, b.size, b.createTime, b.accessTime, b.writeTime,
                       b.lastAccessTime, b.birthTime, b.changeTime, b.name, b.status, b.folder,
                       b.longName, b.longNameCut, b.lowerCaseBase, b.firstChar, b.contentType,
                       b.contentCheck, b.firstFragmentBytes, b.fragmentGapBytes));
}

// Entries come back as they went in across the list's blocks, also after a copy outlives its
// original and after an entry is replaced; a text larger than an arena block is kept whole.
TEST(FoundListTest, KeepsEveryFieldAcrossBlocksCopiesAndReplacements) {
    constexpr int kCount = 70'000;  // more than one block of entries and of texts
    FoundList copy;
    {
        FoundList list;
        for (int i = 0; i < kCount; ++i)
            list.push_back(everyField(i));
        DeletedFileEntry huge = everyField(1);
        huge.name.assign(3u << 20, 'x');
        list.replace(1, huge);
        copy = list;
    }
    ASSERT_EQ(copy.size(), std::size_t{kCount});
    for (int i : {0, 2, 3, 4, 5, 6, 65'535, 65'536, kCount - 1})
        expectSame(copy[static_cast<std::size_t>(i)], everyField(i));
    EXPECT_EQ(copy[1].name.size(), 3u << 20);
    EXPECT_EQ(copy.folder(5), "\\DCIM\\1");
    EXPECT_EQ(copy.longName(6), std::optional<std::string_view>("file 6.txt"));
    EXPECT_EQ(copy.longName(3), std::optional<std::string_view>(""));
    EXPECT_FALSE(copy.longName(4));
    EXPECT_EQ(copy.stream(4), "Zone.Identifier");
    EXPECT_EQ(copy.contentType(5), "jpg");
    // Adding to the copy keeps what it held in place.
    const std::string_view name = copy.name(kCount - 1);
    for (int i = 0; i < 1000; ++i)
        copy.push_back(everyField(i));
    EXPECT_EQ(name, everyField(kCount - 1).name);
}

}  // namespace
}  // namespace rekkon
