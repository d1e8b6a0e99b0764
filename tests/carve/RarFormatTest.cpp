// RAR 4 and RAR 5 archives, carved to their end-of-archive header.

#include <gtest/gtest.h>

#include "support/ArchiveSampleChecks.h"

namespace rekkon {
namespace {

TEST(RarFormat, SamplesEndAfterTheirEndHeader) {
    const auto rar4 = test::expectSampleChecks("rar", "sample4.rar", 100);  // stored data
    EXPECT_NE(rar4.time, 0u);
    const auto rar5 = test::expectSampleChecks("rar", "sample5.rar", 100);
    EXPECT_TRUE(rar5.time == 0 || rar5.timeUtc);
    const std::uint8_t rar4Signature[] = {'R',  'a',  'r',  '!', 0x1A, 7,  0,
                                          0xCF, 0x90, 0x73, 0,   0,    13, 0};
    test::expectNoiseRejected("rar", rar4Signature);
    const std::uint8_t rar5Signature[] = {'R', 'a', 'r', '!', 0x1A, 7, 1, 0, 1, 2, 3, 4, 3, 1};
    test::expectNoiseRejected("rar", rar5Signature);
}

}  // namespace
}  // namespace rekkon
