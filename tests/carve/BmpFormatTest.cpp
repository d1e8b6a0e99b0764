// BMP carving: the file-size field against the headers and the pixel array.

#include <gtest/gtest.h>

#include "carve/CarveSampleCheck.h"

namespace rekkon::test {
namespace {

TEST(BmpFormat, SamplesWholeCutDamagedAndRandom) {
    expectSample("bmp", "images/rgb24.bmp", 3);     // the file-size field
    expectSample("bmp", "images/palette.bmp", 28);  // bits per pixel
    const std::uint8_t signature[] = {'B', 'M', 0x36, 0x10, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40};
    expectRandomRejected("bmp", signature);
}

}  // namespace
}  // namespace rekkon::test
