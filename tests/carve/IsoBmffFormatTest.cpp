// ISO base media files made by ffmpeg, heif-enc and avifenc: the box walk finds each file's end,
// its kind by brand and the movie's creation time.

#include "carve/IsoBmffFormat.h"

#include <gtest/gtest.h>

#include "carve/MediaSamples.h"

namespace rekkon {
namespace {

TEST(IsoBmffFormat, SamplesOfEveryBrand) {
    // 2024-05-01 12:30:05 UTC as a FILETIME.
    constexpr std::uint64_t kCreated = (1714566605ull + 11644473600ull) * 10000000ull;
    struct Case {
        const char* type;
        const char* file;
        const char* marker;
        std::ptrdiff_t delta;
        bool timed;
    };
    for (const Case& c :
         {Case{"mp4", "sample.mp4", "trak", -1, true}, Case{"mov", "sample.mov", "moov", 0, true},
          Case{"3gp", "sample.3gp", "stbl", -1, true}, Case{"m4a", "sample.m4a", "moov", 0, true},
          Case{"heic", "sample.heic", "meta", 0, false},
          Case{"avif", "sample.avif", "iloc", -1, false}}) {
        const CarveResult r = test::checkMediaSample(c.type, c.file, c.marker, c.delta);
        EXPECT_EQ(r.extension, c.type);
        EXPECT_EQ(r.time, c.timed ? kCreated : 0u) << c.file;
        EXPECT_EQ(r.timeUtc, c.timed);
    }
}

}  // namespace
}  // namespace rekkon
