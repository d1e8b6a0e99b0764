// JPEG carving: segments to the EOI after the main image (not the Exif thumbnail's), the scan
// decoded, the Exif date and camera as the name.

#include <gtest/gtest.h>

#include "carve/CarveFormat.h"
#include "carve/CarveSampleCheck.h"

namespace rekkon::test {
namespace {

TEST(JpegFormat, SamplesWholeCutDamagedAndRandom) {
    // 1000: inside the entropy-coded data (an escape broken or the decoding stopped).
    const CarveResult exif = expectSample("jpg", "images/exif.jpg", 1000);
    EXPECT_EQ(exif.name, "2024-05-01 12.30.05 Canon EOS 5D");
    EXPECT_EQ(exif.time, 133590402050000000u);  // 2024-05-01 12:30:05
    EXPECT_FALSE(exif.timeUtc);
    expectSample("jpg", "images/progressive.jpg", 236);  // the first scan header

    // Another picture's data in the middle of the scan: the escapes hold, the decoding does not.
    auto broken = carveSample("images/exif.jpg");
    auto other = randomBytes(600, 5);
    for (std::size_t i = 0; i < other.size(); ++i)
        broken[900 + i] = other[i] == 0xFF ? 0xFE : other[i];
    const CarveResult r = carveCheck("jpg", broken);
    EXPECT_EQ(r.verdict, CarveVerdict::Damaged);
    EXPECT_EQ(r.length, broken.size());
    EXPECT_GE(r.validBytes, 470u);
    EXPECT_LT(r.validBytes, broken.size());

    const std::uint8_t soi[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    expectRandomRejected("jpg", soi);
}

}  // namespace
}  // namespace rekkon::test
