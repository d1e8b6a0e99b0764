// RIFF files made by ffmpeg and cwebp: the header's size is the extent, the
// chunks add up to it.

#include "carve/RiffFormat.h"

#include <gtest/gtest.h>

#include "carve/MediaSamples.h"

namespace rekkon {
namespace {

TEST(RiffFormat, AviWaveAndWebpSamples) {
    EXPECT_EQ(test::checkMediaSample("avi", "sample.avi", "movi", 0).name, "Carved clip");
    EXPECT_EQ(test::checkMediaSample("wav", "sample.wav", "data", 0).extension, "wav");
    // A WebP's first 64 bytes hold all its chunk headers: only the signature goes into the noise.
    EXPECT_EQ(test::checkMediaSample("webp", "sample.webp", "VP8 ", 11, 12).extension, "webp");
    EXPECT_EQ(test::checkMediaSample("webp", "lossless.webp", "VP8L", 8, 12).extension, "webp");
}

}  // namespace
}  // namespace rekkon
