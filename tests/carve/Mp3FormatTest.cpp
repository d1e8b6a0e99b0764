// MP3 files made by ffmpeg: with an ID3v2 title, an Info frame count and an
// ID3v1 trailer, and bare frames.

#include "carve/Mp3Format.h"

#include <gtest/gtest.h>

#include "carve/MediaSamples.h"

namespace rekkon {
namespace {

TEST(Mp3Format, TaggedAndBareSamples) {
    EXPECT_EQ(test::checkMediaSample("mp3", "sample.mp3", "\xFF\xE3\x48\xC4", 0).name,
              "Carved song");
    EXPECT_EQ(test::checkMediaSample("mp3", "bare.mp3", "\xFF\xE3", 0).name, "");
}

}  // namespace
}  // namespace rekkon
