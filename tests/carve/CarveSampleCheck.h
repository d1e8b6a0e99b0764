#pragma once
// The checks every carving format's test runs on a committed sample file.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "carve/CarveFormat.h"
#include "support/Fixtures.h"

namespace rekkon::test {

inline std::vector<std::uint8_t> carveSample(const std::string& relative) {
    std::ifstream in(fixtureSource("carve/" + relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

inline CarveResult carveCheck(const std::string& type, std::span<const std::uint8_t> bytes) {
    const CarveFormat* format = findCarveFormat(type);
    EXPECT_NE(format, nullptr) << type;
    if (!format) return {};
    MemoryCarveInput input(bytes);
    return format->check(input);
}

// The sample followed by random bytes is Whole and exactly its size; cut short it is Truncated;
// with the byte at `flipAt` changed it is never Whole. Returns the Whole result. `cutTo`: where to
// cut it (0: at three quarters).
inline CarveResult expectSample(const std::string& type, const std::string& relative,
                                std::size_t flipAt, std::size_t cutTo = 0) {
    SCOPED_TRACE(relative);
    const auto sample = carveSample(relative);
    EXPECT_GT(sample.size(), flipAt);
    auto padded = sample;
    const auto noise = randomBytes(4096, static_cast<std::uint32_t>(sample.size()));
    padded.insert(padded.end(), noise.begin(), noise.end());
    EXPECT_TRUE(findCarveFormat(type)->starts(std::span(padded).first(kCarveHeadBytes)));
    const CarveResult whole = carveCheck(type, padded);
    EXPECT_EQ(whole.verdict, CarveVerdict::Whole) << whole.problem;
    EXPECT_EQ(whole.length, sample.size());

    const CarveResult cut =
        carveCheck(type, std::span(sample).first(cutTo ? cutTo : sample.size() * 3 / 4));
    EXPECT_EQ(cut.verdict, CarveVerdict::Truncated) << cut.problem;

    auto flipped = padded;
    flipped[flipAt] ^= 0x5A;
    EXPECT_NE(carveCheck(type, flipped).verdict, CarveVerdict::Whole);
    return whole;
}

// A MiB of random bytes behind the format's signature is not taken for a whole file, quickly.
inline void expectRandomRejected(const std::string& type, std::span<const std::uint8_t> signature) {
    auto bytes = randomBytes(1 << 20, 20);
    std::copy(signature.begin(), signature.end(), bytes.begin());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(carveCheck(type, bytes).verdict, CarveVerdict::Whole);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

}  // namespace rekkon::test
