// GZIP files, carved to the end of their trailer.

#include <gtest/gtest.h>

#include "support/ArchiveSampleChecks.h"

namespace rekkon {
namespace {

TEST(GzipFormat, SampleEndsAfterItsTrailerWithNameAndTime) {
    const auto size = test::carveSample("sample.gz").size();
    const auto gz = test::expectSampleChecks("gz", "sample.gz", size - 3);  // the length
    EXPECT_EQ(gz.name, "numbers.txt");
    EXPECT_EQ(gz.time, 133590402000000000u);  // 2024-05-01 12:30:00 UTC
    EXPECT_TRUE(gz.timeUtc);
    const std::uint8_t signature[] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3};
    test::expectNoiseRejected("gz", signature);
}

}  // namespace
}  // namespace rekkon
