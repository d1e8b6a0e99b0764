// TIFF and the raw photos on it: the IFD tree and what it points to give the extent.

#include <gtest/gtest.h>

#include "carve/CarveSampleCheck.h"

namespace rekkon::test {
namespace {

TEST(TiffFormat, SamplesWholeCutDamagedAndRandom) {
    // Flips hit the first entry's type; the libtiff files hold IFD0 after the pixels, so they are
    // cut inside its values.
    expectSample("tif", "images/strips.tif", 16304, 16560);
    expectSample("tif", "images/tiles.tif", 13312, 13616);
    expectSample("tif", "images/pages.tif", 3252, 7016);
    const CarveResult nikon = expectSample("tif", "images/nikon.tif", 12);
    EXPECT_EQ(nikon.extension, "nef");
    EXPECT_EQ(nikon.name, "2023-12-24 18.05.00 NIKON D750");
    const CarveResult canon = expectSample("cr2", "images/canon.cr2", 20);
    EXPECT_EQ(canon.name, "2022-07-14 09.10.11 Canon EOS 5D Mark III");
    EXPECT_EQ(carveCheck("cr2", carveSample("images/nikon.tif")).verdict, CarveVerdict::NotFormat);

    const std::uint8_t signature[] = {'I', 'I', 42, 0, 8, 0, 0, 0};
    expectRandomRejected("tif", signature);
}

}  // namespace
}  // namespace rekkon::test
