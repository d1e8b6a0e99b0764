// ZIP archives and the documents kept in them, carved from their first local header.

#include <gtest/gtest.h>

#include "support/ArchiveSampleChecks.h"

namespace rekkon {
namespace {

TEST(ZipFormat, SamplesEndAfterTheirEndRecordAndSayWhatTheyHold) {
    // Flip a byte of the deflated entry's data, a descriptor's CRC, a central entry's name.
    const auto zip = test::expectSampleChecks("zip", "sample.zip", 400);
    EXPECT_EQ(zip.extension, "");
    EXPECT_NE(zip.time, 0u);
    test::expectSampleChecks("zip", "streamed.zip", 100);
    const auto docx = test::expectSampleChecks("zip", "sample.docx", 560);
    EXPECT_EQ(docx.extension, "docx");
    EXPECT_EQ(docx.name, "Quarterly & Annual Report");
    const auto odt = test::expectSampleChecks("zip", "sample.odt", 40);
    EXPECT_EQ(odt.extension, "odt");
    EXPECT_EQ(odt.name, "Minutes");
    const std::uint8_t signature[] = {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0};
    test::expectNoiseRejected("zip", signature);
}

}  // namespace
}  // namespace rekkon
