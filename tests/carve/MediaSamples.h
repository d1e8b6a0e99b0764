#pragma once

// The checks every audio, video and HEIF sample under tests/data/carve/media gets: whole before
// random bytes, truncated when cut short, never whole with a damaged byte, and a signature met
// by chance in random bytes never taken for a whole file.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "carve/CarveFormat.h"
#include "support/Fixtures.h"

namespace rekkon::test {

inline std::vector<std::uint8_t> mediaSample(const std::string& file) {
    std::ifstream in(fixtureSource("carve/media/" + file), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(gen());
    return bytes;
}

inline CarveResult carveBytes(const CarveFormat& format, std::span<const std::uint8_t> bytes) {
    MemoryCarveInput input(bytes);
    return format.check(input);
}

// Runs the four cases on `file` for the format `type`; the damaged copy has the byte at the first
// `marker` in the file (plus `delta`) changed; random bytes get the sample's first `chanceBytes`.
// Returns the verdict on the whole sample.
inline CarveResult checkMediaSample(const std::string& type, const std::string& file,
                                    const std::string& marker, std::ptrdiff_t delta,
                                    std::size_t chanceBytes = kCarveHeadBytes) {
    SCOPED_TRACE(file);
    const CarveFormat* format = findCarveFormat(type);
    EXPECT_NE(format, nullptr);
    if (format == nullptr) return {};
    const std::vector<std::uint8_t> sample = mediaSample(file);
    EXPECT_GT(sample.size(), 64u);
    if (sample.size() <= 64) return {};
    EXPECT_TRUE(format->starts(std::span(sample).first(kCarveHeadBytes)));

    std::vector<std::uint8_t> padded = sample;
    const std::vector<std::uint8_t> noise = randomBytes(64 * 1024, 7);
    padded.insert(padded.end(), noise.begin(), noise.end());
    const CarveResult whole = carveBytes(*format, padded);
    EXPECT_EQ(whole.verdict, CarveVerdict::Whole) << whole.problem;
    EXPECT_EQ(whole.length, sample.size());

    const CarveResult cut = carveBytes(*format, std::span(sample).first(sample.size() * 2 / 3));
    EXPECT_EQ(cut.verdict, CarveVerdict::Truncated) << cut.problem;

    const auto at = std::search(padded.begin(), padded.end(), marker.begin(), marker.end(),
                                [](std::uint8_t a, char b) { return a == std::uint8_t(b); });
    EXPECT_NE(at, padded.end()) << marker;
    if (at != padded.end()) {
        std::vector<std::uint8_t> flipped = padded;
        flipped[static_cast<std::size_t>(at - padded.begin() + delta)] ^= 0x41;
        EXPECT_NE(carveBytes(*format, flipped).verdict, CarveVerdict::Whole);
    }

    std::vector<std::uint8_t> chance = randomBytes(1 << 20, 11);
    std::copy_n(sample.begin(), chanceBytes, chance.begin());
    EXPECT_NE(carveBytes(*format, chance).verdict, CarveVerdict::Whole);
    return whole;
}

}  // namespace rekkon::test
