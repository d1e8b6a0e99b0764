#include <gtest/gtest.h>

#include <random>

#include "ntfs/AttributeTable.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsBuilder.h"

namespace rekkon {
namespace {

using test::Bytes;

// The table order as one insertion after another gives it: each entry before the first entry
// held that compares greater over the common length of the names.
std::vector<std::string> insertedOneByOne(
    const NtfsVolume& v, const std::vector<std::pair<std::uint32_t, std::u16string>>& in) {
    std::vector<std::pair<std::uint32_t, std::u16string>> table;
    for (const auto& entry : in) {
        auto at = table.begin();
        for (; at != table.end(); ++at) {
            if (at->first != entry.first) {
                if (at->first > entry.first) break;
                continue;
            }
            const std::vector<std::uint16_t> a(at->second.begin(), at->second.end());
            const std::vector<std::uint16_t> b(entry.second.begin(), entry.second.end());
            if (compareWideNames(v, a, b, std::min(a.size(), b.size())) > 0) break;
        }
        table.insert(at, entry);
    }
    std::vector<std::string> out;
    for (const auto& [type, name] : table)
        out.push_back(std::to_string(type) + ":" + std::string(name.begin(), name.end()));
    return out;
}

std::vector<std::string> order(MftFile& file) {
    finishAttributeTable(file);
    std::vector<std::string> out;
    for (const auto& d : file.attributes)
        out.push_back(std::to_string(d.typeCode) + ":" + d.nameUtf8());
    return out;
}

// Names that are prefixes of one another, empty, or differ in case: where comparing over the
// common length orders nothing by itself.
TEST(AttributeOrder, MatchesInsertionOneByOne) {
    std::mt19937 random(7);
    const std::u16string letters = u"abAB";
    for (int round = 0; round < 300; ++round) {
        NtfsVolume volume;
        volume.bytesPerCluster = 512;
        MftFile file;
        file.volume = &volume;
        std::vector<std::pair<std::uint32_t, std::u16string>> arrivals;
        const int count = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            std::u16string name;
            for (std::size_t n = random() % 4; n > 0; --n)
                name += letters[random() % letters.size()];
            // $FILE_NAME (0x30) entries are never merged, so equal names stay apart.
            const std::uint32_t type = random() % 3 == 0 ? 0x30 : 0x80;
            ASSERT_EQ(parseAttribute(file, test::residentAttribute(type, name, {1})), 0);
            // Equal names of another type are merged: only the first one arrives.
            if (file.attributes.size() > arrivals.size()) arrivals.push_back({type, name});
        }
        ASSERT_EQ(order(file), insertedOneByOne(volume, arrivals)) << round;
    }
}

// Many entries arriving in reverse order: each placement looks at the blocks and one block.
TEST(AttributeOrder, LargeTableArrivingBackwards) {
    NtfsVolume volume;
    MftFile file;
    file.volume = &volume;
    constexpr int kEntries = 20000;
    for (int i = kEntries - 1; i >= 0; --i) {
        char16_t name[4] = {char16_t(u'A' + i / 676), char16_t(u'A' + i / 26 % 26),
                            char16_t(u'A' + i % 26), 0};
        ASSERT_EQ(parseAttribute(file, test::residentAttribute(0x80, name, {})), 0);
    }
    EXPECT_FALSE(file.attributesInOrder);
    finishAttributeTable(file);
    ASSERT_EQ(file.attributes.size(), std::size_t{kEntries});
    for (std::size_t i = 1; i < file.attributes.size(); ++i)
        ASSERT_LT(file.attributes[i - 1].attributeName, file.attributes[i].attributeName) << i;
    // The index follows the entries: a fragment of the first one finds it.
    EXPECT_EQ(parseAttribute(file, test::residentAttribute(0x80, u"aaa", {})), 0);
    EXPECT_EQ(file.attributes.size(), std::size_t{kEntries});
}

}  // namespace
}  // namespace rekkon
