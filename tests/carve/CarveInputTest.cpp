// The buffered reader parsers walk candidates with: values across buffer refills, the limit, and
// windows for long stretches.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "carve/CarveInput.h"

namespace rekkon {
namespace {

TEST(CarveStream, ReadsAcrossRefillsAndStopsAtTheLimit) {
    std::vector<std::uint8_t> bytes(300);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    MemoryCarveInput input(bytes);
    CarveStream s(input, 64);  // the smallest buffer: many refills
    ASSERT_TRUE(s.seek(62));
    EXPECT_EQ(s.be32(), 0x3E3F4041u);  // across the first refill
    EXPECT_EQ(s.le16(), 0x4342u);
    ASSERT_TRUE(s.seek(296));
    EXPECT_FALSE(s.be64());  // past the limit: nothing read, no move
    EXPECT_EQ(s.position(), 296u);
    EXPECT_EQ(s.le32(), 0x2B2A2928u);  // 296..299 wrap at 256
    EXPECT_FALSE(s.u8());
    EXPECT_FALSE(s.skip(1));
    EXPECT_FALSE(s.seek(301));

    ASSERT_TRUE(s.seek(10));
    std::vector<std::uint8_t> big(200);
    ASSERT_TRUE(s.bytes(big));  // longer than the buffer
    EXPECT_EQ(big[199], 209);
    EXPECT_TRUE(s.has(90));
    EXPECT_FALSE(s.has(91));

    // Windows cover the rest without gaps or repeats.
    ASSERT_TRUE(s.seek(0));
    std::uint64_t sum = 0, seen = 0;
    for (auto w = s.window(); !w.empty(); w = s.window()) {
        for (std::uint8_t b : w)
            sum += b;
        seen += w.size();
        s.consume(w.size());
    }
    EXPECT_EQ(seen, 300u);
    EXPECT_EQ(sum, std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0}));
}

}  // namespace
}  // namespace rekkon
