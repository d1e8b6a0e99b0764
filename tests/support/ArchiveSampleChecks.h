#pragma once

// The checks every document and archive format gets on its samples under tests/data/carve.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "carve/CarveFormat.h"
#include "support/Fixtures.h"

namespace rekkon::test {

inline std::vector<std::uint8_t> carveSample(const std::string& name) {
    std::ifstream in(fixtureSource("carve/" + name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> randomBytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
    if (!out.empty() && (out[0] == '\r' || out[0] == '\n')) out[0] = 'x';
    return out;
}

inline CarveResult carveCheck(std::string_view type, std::span<const std::uint8_t> bytes) {
    const CarveFormat* format = findCarveFormat(type);
    if (format == nullptr) {
        ADD_FAILURE() << "no format " << type;
        return {};
    }
    MemoryCarveInput input(bytes);
    return format->check(input);
}

// The sample followed by random bytes is Whole and exactly its size (returned for more checks);
// cut short it is Truncated; `flipAt` flipped, it is not Whole.
inline CarveResult expectSampleChecks(std::string_view type, const std::string& name,
                                      std::size_t flipAt) {
    const auto sample = carveSample(name);
    EXPECT_FALSE(sample.empty()) << name;
    const CarveFormat* format = findCarveFormat(type);
    EXPECT_TRUE(format &&
                format->starts(std::span(sample).first(std::min(sample.size(), kCarveHeadBytes))))
        << name;
    auto padded = sample;
    const auto noise = randomBytes(4096);
    padded.insert(padded.end(), noise.begin(), noise.end());
    const CarveResult whole = carveCheck(type, padded);
    EXPECT_EQ(whole.verdict, CarveVerdict::Whole) << name << ": " << whole.problem;
    EXPECT_EQ(whole.length, sample.size()) << name;

    const CarveResult cut = carveCheck(type, std::span(sample).first(sample.size() - 7));
    EXPECT_EQ(cut.verdict, CarveVerdict::Truncated) << name << ": " << cut.problem;

    auto flipped = padded;
    flipped.at(flipAt) ^= 0x10;
    EXPECT_NE(carveCheck(type, flipped).verdict, CarveVerdict::Whole) << name << " flipped";
    return whole;
}

// A MiB of random bytes behind the signature is not taken for a whole file.
inline void expectNoiseRejected(std::string_view type, std::span<const std::uint8_t> signature) {
    auto noise = randomBytes(1 << 20, 11);
    std::copy(signature.begin(), signature.end(), noise.begin());
    EXPECT_NE(carveCheck(type, noise).verdict, CarveVerdict::Whole) << type;
}

}  // namespace rekkon::test
