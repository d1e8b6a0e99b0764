// PNG carving: chunks and their CRCs to IEND.

#include <gtest/gtest.h>

#include "carve/CarveSampleCheck.h"

namespace rekkon::test {
namespace {

TEST(PngFormat, SamplesWholeCutDamagedAndRandom) {
    expectSample("png", "images/plain.png", 5000);  // inside IDAT: its CRC fails
    expectSample("png", "images/palette.png", 50);  // inside PLTE
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                      0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    expectRandomRejected("png", signature);
}

}  // namespace
}  // namespace rekkon::test
