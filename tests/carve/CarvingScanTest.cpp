// A search by content over a FAT volume's free clusters and over a source with no volume, with a
// format of the test's own ("TOYF", a 32-bit length, that many bytes, "END!").

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "carve/CarvingFileSystem.h"
#include "recovery/CarveMount.h"
#include "recovery/FileData.h"
#include "support/FatBuilder.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

bool toyStarts(std::span<const std::uint8_t> head) {
    return head.size() >= 4 && std::memcmp(head.data(), "TOYF", 4) == 0;
}

CarveResult toyCheck(CarveInput& input) {
    CarveStream s(input);
    CarveResult r;
    s.skip(4);
    const auto length = s.le32();
    if (!length || *length > 1 << 20) return r;
    std::array<std::uint8_t, 4> end{};
    if (!s.skip(*length) || !s.bytes(end)) {
        r.verdict = CarveVerdict::Truncated;
        r.length = r.validBytes = input.limit();
        return r;
    }
    r.length = 8 + *length + 4;
    r.verdict =
        std::memcmp(end.data(), "END!", 4) == 0 ? CarveVerdict::Whole : CarveVerdict::Damaged;
    r.validBytes = r.verdict == CarveVerdict::Whole ? r.length : 8;
    if (*length == 7) r.name = "named/by:content";
    return r;
}

const CarveFormat kToy{"toy", "test format", toyStarts, toyCheck, 1 << 22};

void putToy(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t length, bool whole) {
    std::memcpy(image.data() + at, "TOYF", 4);
    std::memcpy(image.data() + at + 4, &length, 4);  // little-endian host
    for (std::uint32_t i = 0; i < length; ++i)
        image[at + 8 + i] = static_cast<std::uint8_t>(i * 7);
    std::memcpy(image.data() + at + 8 + length, whole ? "END!" : "BAD!", 4);
}

TEST(CarvingScan, FindsFilesInFreeSpaceOnceAndNotWhereAnEntryExplainsThem) {
    test::FatBuilder fat(test::FatBuilder::Type::Fat16, 8192, 1);
    auto& image = fat.bytes();
    putToy(image, fat.clusterOffset(10), 5000, true);  // clusters 10-12, whole
    putToy(image, fat.clusterOffset(20), 7, true);     // named by its content
    putToy(image, fat.clusterOffset(30), 100, false);  // damaged
    putToy(image, fat.clusterOffset(40), 64, true);    // a deleted entry's data
    putToy(image, fat.clusterOffset(50), 64, true);    // in a cluster in use: not searched
    fat.setFat(50, 0xFFFF);
    fat.putEntry(1, 0, "\xE5OLD    TOY", 0x20, 40, 76);
    ScanContext context;
    ASSERT_TRUE(mountForCarving(context, std::make_unique<test::MemoryDevice>(image), {}, {&kToy}));
    scanVolume(context);
    std::vector<std::string> carved;
    for (const DeletedFileEntry& e : context.foundList) {
        if (e.origin != kCarvedOrigin) continue;
        carved.push_back(e.name + " " + std::to_string(e.size) + " " + e.contentCheck + " " +
                         std::to_string(e.status));
    }
    const auto sector = [&](std::uint32_t c) { return std::to_string(fat.clusterOffset(c) / 512); };
    EXPECT_EQ(carved, (std::vector<std::string>{"f" + sector(10) + ".toy 5012 whole 255",
                                                "named_by_content.toy 19 whole 255",
                                                "f" + sector(30) + ".toy 112 damaged 7"}));
    // The data of a carved file is read back as found; --only finds it again by its sector.
    std::optional<DeletedFileEntry> first;
    for (const DeletedFileEntry& e : context.foundList)
        if (e.origin == kCarvedOrigin && !first) first = e;
    ASSERT_TRUE(first);
    auto data = openFileData(context, *first);
    ASSERT_TRUE(data);
    std::vector<std::uint8_t> bytes(data->size());
    ASSERT_EQ(data->read(0, bytes), bytes.size());
    EXPECT_EQ(0, std::memcmp(bytes.data(), image.data() + fat.clusterOffset(10), bytes.size()));
    const std::uint64_t only[] = {first->location};
    scanVolume(context, "", only);
    EXPECT_EQ(std::count_if(context.foundList.begin(), context.foundList.end(),
                            [](const DeletedFileEntry& e) { return e.origin == kCarvedOrigin; }),
              1);
}

TEST(CarvingScan, ADeepScanReadsFreeSpaceOnceForLostFoldersAndContent) {
    test::FatBuilder fat(test::FatBuilder::Type::Fat16, 8192, 1);
    auto& image = fat.bytes();
    // A lost folder (its entry gone) naming a deleted file whose data the search also finds.
    fat.putEntry(60, 0, ".          ", 0x10, 60, 0);
    fat.putEntry(60, 1, "..         ", 0x10, 0, 0);
    fat.putEntry(60, 2, "\xE5OST    TOY", 0x20, 70, 76);
    putToy(image, fat.clusterOffset(70), 64, true);
    putToy(image, fat.clusterOffset(80), 64, true);  // no entry names it
    auto stats = std::make_shared<test::MemoryDevice::Stats>();
    ScanContext context;
    ASSERT_TRUE(
        mountForCarving(context, std::make_unique<test::MemoryDevice>(image, stats), {}, {&kToy}));
    scanVolume(context, "", {}, ScanOptions{.deep = true});
    std::vector<std::string> listed;
    for (const DeletedFileEntry& e : context.foundList)
        listed.push_back(std::string(e.origin) + " " + e.name + " " + e.contentCheck);
    const std::string sector80 = std::to_string(fat.clusterOffset(80) / 512);
    EXPECT_EQ(listed, (std::vector<std::string>{"fat-lost-folder ?OST.TOY whole",
                                                "carved f" + sector80 + ".toy whole"}));
    // Free clusters far from any file were each read once.
    std::map<std::uint64_t, int> reads;
    for (const std::uint64_t sector : stats->sectorsRead)
        ++reads[sector];
    const std::uint64_t farSector = fat.clusterOffset(5000) / 512;
    EXPECT_EQ(reads[farSector], 1);
}

TEST(CarvingScan, SearchesEverySectorOfASourceWithNoVolume) {
    std::vector<std::uint8_t> image(1 << 20, 0xA5);
    putToy(image, 3 * 512, 2000, true);
    putToy(image, 3 * 512 + 1024, 10, true);  // inside the first file: part of it
    putToy(image, 9000, 10, true);            // not on a sector boundary
    std::memcpy(image.data() + 700 * 512, "TOYF\0\0\x10\0", 8);  // cut short by the source's end
    ScanContext context;
    EXPECT_FALSE(
        mountForCarving(context, std::make_unique<test::MemoryDevice>(image), {}, {&kToy}));
    EXPECT_EQ(scanVolume(context), 2);
    ASSERT_EQ(context.foundList.size(), 2u);
    EXPECT_EQ(context.foundList[0].location, 3u);
    EXPECT_EQ(context.foundList[0].size, 2012u);
    EXPECT_EQ(context.foundList[1].contentCheck, "truncated");
    EXPECT_LT(context.foundList[1].status, kStatusGood);
}

}  // namespace
}  // namespace rekkon
