// JPEG files split in two by other data, as a nearly full card leaves them, found whole.

#include <gtest/gtest.h>

#include <cstring>

#include "carve/CarveSampleCheck.h"
#include "carve/CarvingFileSystem.h"
#include "carve/JpegFormat.h"
#include "recovery/CarveMount.h"
#include "recovery/FileData.h"
#include "support/MemoryDevice.h"

namespace rekkon {
namespace {

constexpr std::size_t kSector = 512;

// Writes `file` at sector `at` of `image`, its first `firstSectors` sectors there and the rest
// `gapSectors` further on; returns the sector after the rest.
std::size_t putSplit(std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>& file,
                     std::size_t at, std::size_t firstSectors, std::size_t gapSectors) {
    const std::size_t first = firstSectors * kSector;
    std::memcpy(image.data() + at * kSector, file.data(), first);
    const std::size_t rest = (at + firstSectors + gapSectors) * kSector;
    std::memcpy(image.data() + rest, file.data() + first, file.size() - first);
    return (rest + file.size() - first + kSector - 1) / kSector;
}

std::vector<std::uint8_t> readAll(ScanContext& context, const DeletedFileEntry& e) {
    auto data = openFileData(context, e);
    if (!data) return {};
    std::vector<std::uint8_t> bytes(data->size());
    bytes.resize(data->read(0, bytes));
    return bytes;
}

TEST(CarveFragments, RejoinsJpegsSplitByOtherDataAndReadsThemBack) {
    const auto restarts = test::carveSample("images/photo-restarts.jpg");
    const auto plain = test::carveSample("images/photo.jpg");
    const auto png = test::carveSample("images/plain.png");
    std::vector<std::uint8_t> image = test::randomBytes(2 << 20, 5);
    // Split by random data; split by a whole PNG and a sector of random data.
    putSplit(image, restarts, 8, 12, 7);
    std::memcpy(image.data() + 210 * kSector, png.data(), png.size());
    putSplit(image, plain, 200, 10, 26);
    ScanContext context;
    mountForCarving(context, std::make_unique<test::MemoryDevice>(image), {}, {});
    scanVolume(context);
    std::vector<std::string> listed;
    for (const DeletedFileEntry& e : context.foundList)
        listed.push_back(e.name + " " + e.contentCheck);
    EXPECT_EQ(listed, (std::vector<std::string>{
                          "f8.jpg whole, in two fragments 3584 bytes apart",
                          "f200.jpg whole, in two fragments 13312 bytes apart", "f210.png whole"}));
    ASSERT_EQ(context.foundList.size(), 3u);
    EXPECT_EQ(readAll(context, context.foundList[0]), restarts);
    EXPECT_EQ(readAll(context, context.foundList[1]), plain);
    EXPECT_EQ(context.foundList[1].status, kStatusGood);
    // Found again alone by its sector (recovering a chosen file), it is the same file.
    const std::uint64_t only[] = {200};
    scanVolume(context, "", only);
    ASSERT_EQ(context.foundList.size(), 1u);
    EXPECT_EQ(readAll(context, context.foundList[0]), plain);
}

TEST(CarveFragments, AJpegWhoseRestIsGoneStaysDamaged) {
    const auto restarts = test::carveSample("images/photo-restarts.jpg");
    std::vector<std::uint8_t> image = test::randomBytes(1 << 20, 6);
    std::memcpy(image.data() + 8 * kSector, restarts.data(), 12 * kSector);
    ScanContext context;
    mountForCarving(context, std::make_unique<test::MemoryDevice>(image), {}, {});
    scanVolume(context);
    ASSERT_EQ(context.foundList.size(), 1u);
    EXPECT_EQ(context.foundList[0].contentCheck.rfind("damaged", 0), 0u);
    EXPECT_LT(context.foundList[0].status, kStatusGood);
    EXPECT_EQ(context.foundList[0].fragmentGapBytes, 0u);
}

TEST(CarveFragments, ContinuationTestAcceptsEntropyDataOnly) {
    const std::uint8_t data[] = {1, 2, 0xFF, 0x00, 3, 0xFF, 0xD3, 4, 0xFF, 0xFF, 0xD9, 0xFF, 0xC4};
    EXPECT_TRUE(jpegContinues(data));
    const std::uint8_t marker[] = {1, 2, 0xFF, 0xC4, 0, 0};
    EXPECT_FALSE(jpegContinues(marker));
    const std::vector<std::uint8_t> zeros(512, 0);
    EXPECT_FALSE(jpegContinues(zeros));
}

}  // namespace
}  // namespace rekkon
