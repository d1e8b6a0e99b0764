#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "volume/SectorDevice.h"

namespace rekkon {

// Whether these first bytes of a file are an Expert Witness (E01) segment's signature.
bool hasEwfSignature(std::span<const std::uint8_t> firstBytes);

// Opens the evidence file set whose first segment is `path` (.E01, with .E02... beside it),
// read-only. Returns null with `error` set (errno, or EINVAL for a damaged set) and `detail`
// saying what the library reported.
// Its sector size (logicalSectorSize) is the media's; reads of a chunk that fails its checksum,
// or whose data is missing, fail at the chunk's first sector.
std::unique_ptr<SectorDevice> openEwf(const std::string& path, int& error, std::string& detail);

// When `path` starts with the evidence file signature and the set cannot be opened, what is
// wrong with it ("the evidence file set is incomplete: its segment \"disk.E02\" is missing");
// nullopt for any other file, or a set that opens. For messages after a failed open.
std::optional<std::string> evidenceOpenProblem(const std::string& path);

}  // namespace rekkon
