#pragma once

#include <memory>

#include "recovery/FileData.h"

namespace rekkon::fuzz {

// Opens a found entry's data as the commands do.
std::unique_ptr<FileDataHandle> openEntryData(ScanContext& context, const DeletedFileEntry& entry);

// The bytes a whole-image input reads as its source: the input up to kFuzzImageBytes.
std::span<const std::uint8_t> imageOf(std::span<const std::uint8_t> data);
// The control byte that chooses what an input runs: its last byte (also part of the image).
std::uint8_t controlOf(std::span<const std::uint8_t> data);

}  // namespace rekkon::fuzz
