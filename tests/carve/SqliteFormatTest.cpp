// SQLite databases, carved to the page count their header vouches for.

#include <gtest/gtest.h>

#include "support/ArchiveSampleChecks.h"

namespace rekkon {
namespace {

TEST(SqliteFormat, SampleIsItsPagesAndAStaleCountIsNotWhole) {
    test::expectSampleChecks("sqlite", "sample.sqlite", 27);  // the change counter
    const std::uint8_t signature[] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a',
                                      't', ' ', '3', 0,   4,   0,   1,   1,   0,   64,  32,  32};
    test::expectNoiseRejected("sqlite", signature);
}

}  // namespace
}  // namespace rekkon
