// 7z archives, carved to the end of the header their signature header points at.

#include <gtest/gtest.h>

#include "support/ArchiveSampleChecks.h"

namespace rekkon {
namespace {

TEST(SevenZipFormat, SampleEndsAfterItsNextHeader) {
    const auto size = test::carveSample("sample.7z").size();
    test::expectSampleChecks("7z", "sample.7z", size - 10);  // in the next header
    const std::uint8_t signature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};
    test::expectNoiseRejected("7z", signature);
}

}  // namespace
}  // namespace rekkon
