#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ntfs/Lznt1.h"
#include "ntfs/NtfsBuilder.h"

namespace rekkon {
namespace {

using test::Bytes;

// A compressed chunk: header (bit 15 set, signature 3, data size - 1) and its data.
Bytes chunk(const Bytes& data, bool compressed = true) {
    EXPECT_LE(data.size(), 4096u);
    const auto header =
        static_cast<std::uint16_t>((compressed ? 0xB000 : 0x3000) | (data.size() - 1));
    // Sized up front: GCC 12 at -O3 misreads an insert into a two-byte vector as an overflow.
    Bytes out(2 + data.size());
    out[0] = static_cast<std::uint8_t>(header);
    out[1] = static_cast<std::uint8_t>(header >> 8);
    std::copy(data.begin(), data.end(), out.begin() + 2);
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct Decoded {
    Bytes out;
    std::size_t end;
};

Decoded decode(const Bytes& stream, std::size_t limit = 3 * 4096) {
    Decoded d{Bytes(limit, 0), 0};
    d.end = decompressLznt1(d.out, stream);
    return d;
}

Bytes head(const Decoded& d, std::size_t from, std::size_t n) {
    return {d.out.begin() + from, d.out.begin() + from + n};
}

TEST(Lznt1, StoredChunkIsCopied) {
    Bytes block(4096);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 13);
    const Decoded d = decode(chunk(block, false) + chunk({0, 'x', 'y', 'z'}));
    EXPECT_EQ(head(d, 0, 4096), block);
    EXPECT_EQ(head(d, 4096, 3), text("xyz"));
    EXPECT_EQ(d.end, 4099u);
}

TEST(Lznt1, LiteralsOnly) {
    const Decoded d = decode(chunk(text(std::string("\x00", 1) + "ABCDEFGH")));
    EXPECT_EQ(head(d, 0, 9), text(std::string("ABCDEFGH") + '\0'));
    EXPECT_EQ(d.end, 8u);
}

TEST(Lznt1, OverlappingCopyRepeatsThePattern) {
    // At q = 3 the token 0x2005 has 4 displacement bits: displacement 3, length 8.
    const Decoded d = decode(chunk({0x08, 'a', 'b', 'c', 0x05, 0x20}));
    EXPECT_EQ(head(d, 0, 12), text(std::string("abcabcabcab") + '\0'));
}

// Tokens after n literal bytes 0, 1, 2, ...: the displacement/length split moves with q.
Bytes literalsThenToken(std::size_t n, std::uint16_t token) {
    Bytes data;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 8 == 0) data.push_back(0);
        data.push_back(static_cast<std::uint8_t>(i % 251));
    }
    if (n % 8 == 0) data.push_back(0);
    data[(n / 8) * 9] |= static_cast<std::uint8_t>(1u << (n % 8));
    data.push_back(static_cast<std::uint8_t>(token));
    data.push_back(static_cast<std::uint8_t>(token >> 8));
    return chunk(data);
}

struct SplitCase {
    std::size_t q;
    std::uint16_t token;
    std::size_t from;  // the copy repeats bytes from..from+length-1
    std::size_t length;
};

class Lznt1Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Lznt1Split, TokenSplitFollowsPosition) {
    const SplitCase& c = GetParam();
    const Decoded d = decode(literalsThenToken(c.q, c.token));
    EXPECT_EQ(d.end, c.q + c.length);
    EXPECT_EQ(head(d, c.q, c.length), head(d, c.from, c.length));
    EXPECT_EQ(d.out[c.q + c.length], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lznt1, Lznt1Split,
    ::testing::Values(SplitCase{16, 0xF000 | 2, 0, 5},       // 4/12 bits up to q = 16
                      SplitCase{17, (16 << 11) | 7, 0, 10},  // 5/11 from q = 17
                      SplitCase{20, (19 << 11) | 7, 0, 10},
                      SplitCase{33, (32 << 10) | 1, 0, 4},       // 6/10
                      SplitCase{2048, (2047 << 5) | 3, 0, 6},    // 11/5 up to q = 2048
                      SplitCase{2100, (1999 << 4) | 2, 100, 5},  // 12/4 from q = 2049
                      SplitCase{3600, (100 << 4) | 15, 3499, 18}));

TEST(Lznt1, DamagedStreamsStopWithWhatWasProduced) {
    // A back-reference as the first item.
    EXPECT_EQ(decode(chunk({0x01, 0x00, 0x10, 'a'}) + chunk({0, 'z'})).end, 0u);
    // A back-reference before the chunk's start ends the decompression, later chunks included.
    Decoded before = decode(chunk({0x04, 'a', 'b', 0x00, 0x20}) + chunk({0, 'z'}));
    EXPECT_EQ(before.end, 2u);
    EXPECT_EQ(before.out[4096], 0);
    // A chunk that grows past 4096 bytes: at q = 1 a copy of 4098 bytes.
    EXPECT_EQ(decode(chunk({0x02, 'a', 0xFF, 0x0F}) + chunk({0, 'z'})).end, 4096u);
    // A chunk that claims more data than the stream holds, and a token cut off.
    EXPECT_EQ(decode({0x20, 0xB0, 0x00, 'a', 'b'}).end, 2u);
    EXPECT_EQ(decode({0x04, 0xB0, 0x04, 'a', 'b', 0x01}).end, 2u);
    // The end marker, and an output limit inside a chunk.
    EXPECT_EQ(decode(Bytes{0, 0} + chunk({0, 'z'})).end, 0u);
    EXPECT_EQ(decode(chunk({0x08, 'a', 'b', 'c', 0x05, 0x20}), 5).end, 5u);
}

TEST(Lznt1, ShortChunkLeavesRestOfItsBlockZero) {
    const Decoded d = decode(chunk({0, 'a', 'b'}) + chunk({0, 'c'}));
    EXPECT_EQ(head(d, 0, 3), text(std::string("ab") + '\0'));
    EXPECT_EQ(d.out[4096], 'c');
}

TEST(Lznt1, RandomStreamsStayInsideTheOutput) {
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes stream(random() % 9000);
        for (auto& b : stream)
            b = static_cast<std::uint8_t>(random());
        // Mostly plausible chunk headers, so the decoder gets past the first chunk.
        if (stream.size() >= 2) stream[1] = static_cast<std::uint8_t>(0xB0 | (stream[1] & 0x0F));
        Bytes out(random() % (3 * 4096 + 1));
        EXPECT_LE(decompressLznt1(out, stream), out.size());
    }
}

}  // namespace
}  // namespace rekkon
