#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "volume/SectorDevice.h"

namespace rekkon {

// Whether these first bytes of a file are an Expert Witness (E01) segment's signature.
bool hasEwfSignature(std::span<const std::uint8_t> firstBytes);

// Opens the evidence file set whose first segment is `path` (.E01, with .E02... beside it),
// read-only. Returns null with `error` set (errno, or EINVAL for a damaged set) and `detail`
// saying what the library reported.
std::unique_ptr<SectorDevice> openEwf(const std::string& path, int& error, std::string& detail);

}  // namespace rekkon
