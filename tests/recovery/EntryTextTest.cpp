#include <gtest/gtest.h>

#include "fat/DirEntry.h"
#include "ntfs/NtfsEstimate.h"
#include "recovery/EntryText.h"

namespace rekkon {
namespace {

TEST(EntryTextTest, ColumnsAreFormattedAsTheResultsListShowsThem) {
    EXPECT_EQ(sizeText(0), "0,00");
    // Hundredths of a kilobyte: two digits, never "1,102" for 2,047 bytes.
    EXPECT_EQ(sizeText(1023), "0,99");
    EXPECT_EQ(sizeText(1024), "1,00");
    EXPECT_EQ(sizeText(1536), "1,50");
    EXPECT_EQ(sizeText(2047), "1,99");
    EXPECT_EQ(sizeText(5000), "4,88");
    EXPECT_EQ(sizeText(5ULL << 30), "5242880,00");  // sizes are not cut to 32 bits
    EXPECT_EQ(statusText(255), "Good");
    EXPECT_EQ(statusText(0), "Poor");
    EXPECT_EQ(statusText(50), "Average 50 %");
    EXPECT_EQ(statusText(5), "Average 05 %");
    EXPECT_EQ(typeText("README"), "");
    EXPECT_EQ(typeText("archive.tar.gz"), "gz");
}

TEST(EntryTextTest, TimesAreShownAsStored) {
    // 2006-03-05 14:07:09 as a DOS date and time.
    const std::uint16_t date = static_cast<std::uint16_t>(((2006 - 1980) << 9) | (3 << 5) | 5);
    const std::uint16_t time = static_cast<std::uint16_t>((14 << 11) | (7 << 5) | (9 / 2));
    const std::uint64_t ft = dosDateTimeToFileTime(date, time);
    EXPECT_EQ(timeText(ft), "03/05/2006 at 14:07:08");  // DOS keeps seconds in steps of two
    EXPECT_EQ(isoTimeText(ft), "2006-03-05T14:07:08");
    EXPECT_EQ(timeText(dosDateTimeToFileTime(0x0021, 0)), "01/01/1980 at 00:00:00");
    EXPECT_EQ(isoTimeText(
                  dosDateTimeToFileTime((127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29)),
              "2107-12-31T23:59:58");
    EXPECT_EQ(isoTimeText(dosDateTimeToFileTime(((2000 - 1980) << 9) | (2 << 5) | 29, 0)),
              "2000-02-29T00:00:00");
    // Impossible dates and times: no time at all, shown as zeros.
    for (auto [d, t] : {std::pair<int, int>{0, 0},
                        {(2001 - 1980) << 9 | (2 << 5) | 29, 0},
                        {(13 << 5) | 1, 0},
                        {(1 << 5) | 1, 24 << 11},
                        {(1 << 5) | 1, 60 << 5},
                        {(1 << 5) | 1, 30}}) {
        const auto value =
            dosDateTimeToFileTime(static_cast<std::uint16_t>(d), static_cast<std::uint16_t>(t));
        EXPECT_EQ(value, 0u) << d << " " << t;
        EXPECT_EQ(timeText(value), "00/00/0000 at 00:00:00");
        EXPECT_FALSE(isoTimeText(value));
    }
}

TEST(BitmapEstimateTest, ShareOfFreeClusters) {
    // Clusters 0..7 of byte 0 and 8..15 of byte 1; set bits are in use.
    const std::uint8_t bitmap[] = {0b00001000, 0b11111111};
    auto estimate = [&](std::vector<DataRun> runs) { return estimateFromBitmap(bitmap, runs); };
    EXPECT_EQ(estimate({{0, 3}}), 255);
    EXPECT_EQ(estimate({{8, 4}}), 0);
    EXPECT_EQ(estimate({{0, 4}}), 75);
    EXPECT_EQ(estimate({{2, 2}, {9, 1}}), 33);
    EXPECT_EQ(estimate({}), 0);
    EXPECT_EQ(estimate({{0, 2}, {-1, 1000}, {4, 2}}), 255);  // a sparse run is skipped
    // A run past the bitmap counts up to its last cluster; later runs are not examined.
    EXPECT_EQ(estimate({{14, 100}, {0, 3}}), 0);
    EXPECT_EQ(estimate({{4, 1000}}), 33);  // 4..7 free, 8..15 used: 4 / 12
}

}  // namespace
}  // namespace rekkon
