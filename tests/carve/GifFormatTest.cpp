// GIF carving: blocks to the trailer.

#include <gtest/gtest.h>

#include "carve/CarveSampleCheck.h"

namespace rekkon::test {
namespace {

TEST(GifFormat, SamplesWholeCutDamagedAndRandom) {
    expectSample("gif", "images/anim.gif", 19);   // the first block's introducer
    expectSample("gif", "images/still.gif", 37);  // the same, after the colour table
    const std::uint8_t signature[] = {'G', 'I', 'F', '8', '9', 'a', 40, 0, 30, 0};
    expectRandomRejected("gif", signature);
}

}  // namespace
}  // namespace rekkon::test
