#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rekkon::fuzz::fuzzCarveScan(std::span<const std::uint8_t>(data, size));
    return 0;
}
