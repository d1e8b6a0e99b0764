// PDF documents, carved to the last "%%EOF" a cross-reference section supports.

#include <gtest/gtest.h>

#include "support/ArchiveSampleChecks.h"

namespace rekkon {
namespace {

TEST(PdfFormat, SampleEndsAfterItsUpdateWithTitleAndDate) {
    // Flip a digit of the update's cross-reference offset: its %%EOF is no longer supported.
    const auto sample = test::carveSample("sample.pdf");
    const std::string text(sample.begin(), sample.end());
    const auto pdf = test::expectSampleChecks("pdf", "sample.pdf", text.rfind("startxref") + 13);
    EXPECT_EQ(pdf.name, "Carving (sample)");
    EXPECT_EQ(pdf.time, 133590330000000000u);  // 2024-05-01 10:30:00 UTC
    EXPECT_TRUE(pdf.timeUtc);
    // Without its update the document still ends at its first %%EOF.
    const std::size_t first = text.find("%%EOF\n") + 6;
    auto older = std::vector<std::uint8_t>(sample.begin(), sample.begin() + first);
    const auto noise = test::randomBytes(2048);
    older.insert(older.end(), noise.begin(), noise.end());
    EXPECT_EQ(test::carveCheck("pdf", older).length, first);
    const std::uint8_t signature[] = {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n'};
    test::expectNoiseRejected("pdf", signature);
}

}  // namespace
}  // namespace rekkon
